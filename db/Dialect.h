#pragma once

#include "Access.h"
#include "Login.h"
#include "Statements.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QVariant>
#include <chrono>
#include <functional>

namespace db {

// How long a run waits for rows that another transaction holds before it gives up: long enough
// for a brief writer, short enough that the window does not freeze behind another run.
inline constexpr std::chrono::milliseconds LockWaitLimit{5000};
// How long a run waits by default for its turn, while another workstation's run posts into the
// same company: long enough for that run to end, counted on the clerk's screen meanwhile.
inline constexpr std::chrono::milliseconds TurnWaitLimit{120000};

// One try at a run's transaction and its turn.
struct TurnAttempt {
    // The transaction is open and the turn is the run's.
    bool taken = false;
    // Refused for a reason other than another run's turn.
    QSqlError error;
};

// What differs between the database engines the tool speaks to, chosen by the Qt driver name.
class Dialect {
public:
    virtual ~Dialect() = default;

    // The dialect of a Qt driver name (QSQLITE, QIBASE, QPSQL); nullptr for any other driver.
    static const Dialect* forDriver(const QString& driverName);
    // The dialect named in an alias file: "SQLite", "Firebird" or "PostgreSQL", any case.
    static const Dialect* forName(const QString& name);

    virtual QString name() const = 0;
    virtual QString driver() const = 0;
    // Resource path of the script that creates the tables.
    virtual QString schemaResource() const = 0;
    // Sets host, port and database of a connection from the "SERVER NAME" text.
    virtual void applyServerName(QSqlDatabase& database, const QString& serverName) const = 0;
    // The file that is the database, where the engine runs in the program's own process; empty
    // for a server's database.
    virtual QString databaseFile(const QSqlDatabase&) const { return {}; }
    // Whether the engine logs in at all: a SQLite file has no users.
    virtual bool logsIn() const { return true; }
    // The user and the password that the server's own ways give (its environment variables, its
    // client's password file), for a connection whose host, port and database are set; none
    // where there is none. A password the client library reads itself comes without its value.
    virtual LoginPart clientUser() const { return {}; }
    virtual LoginPart clientPassword(const QSqlDatabase& database, const QString& user) const {
        Q_UNUSED(database);
        Q_UNUSED(user);
        return {};
    }

    // What the connection's user may do with a table, read from the server's own privileges, or
    // where the engine has none, from writes that change no row in a transaction rolled back.
    virtual access::TableAccess tableAccess(QSqlDatabase& database, const QString& table) const = 0;
    // Whether a run takes the company's turn by locking its row of Filiais.
    virtual bool turnLocksCompanyRow() const { return false; }
    // Whether a refusal is for want of a privilege on a table.
    virtual bool isPermissionDenied(const QSqlError& error) const {
        Q_UNUSED(error);
        return false;
    }

    // How a date and a date-and-time are bound; engines with native types take them as they are.
    virtual QVariant date(const QDate& date) const { return date; }
    virtual QVariant dateTime(const QDateTime& moment) const { return moment; }
    // The statement as this engine runs it; the same text on engines that need no change.
    virtual QString statement(const QString& text) const { return text; }
    // Begins a run's transaction; returns the driver's error when refused.
    virtual QSqlError beginTransaction(QSqlDatabase& database) const;
    // Begins a run's transaction and takes the company's turn in it, waiting a moment at most:
    // one run at a time posts into a company, so runs that would hold each other's rows in
    // another order wait for each other instead of deadlocking. Not taken, with no error, while
    // another run has the turn: the caller rolls back and tries again.
    virtual TurnAttempt beginRunTransaction(QSqlDatabase& database, const QString& company) const;
    // Whether a refusal means that another transaction held the rows past the wait limit or
    // changed them while this one waited.
    virtual bool isLockConflict(const QSqlError& error) const {
        Q_UNUSED(error);
        return false;
    }
    // Whether a refusal is a second row with the key of an existing one.
    // The connection to the server broke: the server's transaction is gone with it.
    virtual bool isConnectionLost(const QSqlError& error) const {
        Q_UNUSED(error);
        return false;
    }
    virtual bool isDuplicateKey(const QSqlError& error) const = 0;
    // What a select of the count row adds to hold the row against other transactions until the
    // run ends: read before a wait, a count would miss what the other run then commits.
    virtual const char* rowLock() const { return ""; }
    // The writes of a run: a run reads the file first, asks for what its lines need in batches
    // and writes in batches, where every statement costs a round trip to a server, and one
    // statement of many rows costs an engine in the program's own process less than many of one.
    virtual const sql::SetWrites& setWrites() const = 0;
    // How a batch of count rows or products is looked up.
    virtual const sql::KeyedBatches& keyedBatches() const { return sql::KeyedByOr; }
    // The journal's insert of a batch of `rows` of a run's rows, and whether it binds the run's
    // id once, first, rather than with each row.
    virtual std::string journalRowInsert(int rows) const {
        return sql::JournalInsertRows.text(rows);
    }
    virtual bool journalRowInsertBindsIdOnce() const { return false; }
    // The journal's insert of a batch of count rows that the run created and left holding their
    // quantity, binding the run's id once, then each row's product, grade and quantity; empty
    // where such rows go as the others do.
    virtual std::string journalCountedRowInsert(int /*rows*/) const { return {}; }
    // The journal's insert of a run's rows as one array a column, where the engine has arrays;
    // null where it has none.
    virtual const char* journalRowArrays() const { return nullptr; }
    // The names of the foreign keys on the journal's rows table, which journals made before kept
    // to their runs at a cost to every run; null where the engine checks none (SQLite).
    virtual const char* journalForeignKeys() const { return nullptr; }
    // An undo's shift of a batch of a later run's rows as one block that binds the run, then
    // each row's product, grade, Antes, Depois and Criou, and answers the rows it changed; empty
    // where the batch goes as UndoShiftBefore and the rest.
    virtual std::string undoShiftBlock(int /*rows*/) const { return {}; }
    // A row when the journal's rows table still has the index by product that journals made
    // before kept, which every run paid for.
    virtual const char* journalProductIndex() const { return sql::SqliteJournalProductIndex; }
    // Whether the engine compares texts without their trailing blanks ('A' = 'A  '), so that a
    // row a batch finds answers every code that differs from it only there.
    virtual bool ignoresTrailingBlanks() const { return false; }
    // Whether a commit that failed has ended the transaction on the server, so that nothing is
    // left to roll back (a rollback there only draws a warning from the server).
    virtual bool failedCommitEndsTransaction() const { return false; }
    // Whether a commit just refused left the transaction open, so that none of it was kept: the
    // engine then knows that nothing was posted.
    virtual bool failedCommitKeptTransaction(const QSqlDatabase& database) const {
        Q_UNUSED(database);
        return false;
    }
    // Whether a refused commit is known to have kept nothing, whatever the reason: true for a
    // database file that the tool itself writes, false for a server that may have committed.
    virtual bool failedCommitKeptNothing() const { return false; }
    // Whether a commit just refused was kept waiting by another connection.
    virtual bool failedCommitWasLockWait(const QSqlDatabase& database,
                                         const QSqlError& error) const {
        Q_UNUSED(database);
        return isLockConflict(error);
    }
    // Cancels the statement running on the connection, called from another thread once the wait
    // limit has passed; empty where the server itself ends a wait at the limit.
    virtual std::function<void()> canceller(const QSqlDatabase& database) const {
        Q_UNUSED(database);
        return {};
    }
    // A text column as the tool reads it, given the driver's type of the column: a fixed-length
    // CHAR column comes back padded with blanks that are no part of the value.
    QString text(const QVariant& value, int columnType) const;

protected:
    virtual bool isFixedChar(int columnType) const {
        Q_UNUSED(columnType);
        return false;
    }
};

} // namespace db
