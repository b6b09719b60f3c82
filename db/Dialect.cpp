#include "Dialect.h"

#include "Statement.h"
#include "StatementWatchdog.h"

#include <sqlite3.h>

#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>
#include <QUrl>
#include <cstdint>
#include <cstring>
#include <optional>

namespace db {

namespace {

// Runs a look-up of one table's rights, bound to `table`; false, with the driver's words in the
// result, when the database refuses it.
bool lookUpAccess(QSqlQuery& query, const QString& text, const QString& table,
                  access::TableAccess& result) {
    query.prepare(text);
    query.addBindValue(table);
    if (query.exec())
        return true;
    result.unknown = query.lastError().text();
    return false;
}

// How long one try at a run's turn may wait before the caller hears of the wait.
constexpr std::chrono::milliseconds TurnStep{250};

// The advisory locks of this tool on PostgreSQL: "Cole" as a number, and the company's code, whose
// two characters fit one key whole (a longer one is hashed).
constexpr qint32 TurnLockClass = 0x436f6c65;
qint32 turnKey(const QString& company) {
    if (company.size() <= 2)
        return qint32(company.size() > 0 ? company.at(0).unicode() : 0) << 16 |
               (company.size() > 1 ? company.at(1).unicode() : 0);
    quint32 hash = 2166136261u;
    for (const QChar c : company)
        hash = (hash ^ c.unicode()) * 16777619u;
    return qint32(hash);
}

// A variable of the server's client, where it is set and not empty.
LoginPart environment(const char* name) {
    const QString value = qEnvironmentVariable(name);
    if (value.isEmpty())
        return {};
    return {value, LoginOrigin::Environment, QString::fromLatin1(name)};
}

// The PostgreSQL client's password file, as the client library looks for it; empty where there
// is none it would read: on Unix it passes over one that others may read.
QString passwordFile() {
    QString file = qEnvironmentVariable("PGPASSFILE");
    if (file.isEmpty()) {
#ifdef Q_OS_WIN
        file = qEnvironmentVariable("APPDATA") + QStringLiteral("/postgresql/pgpass.conf");
#else
        file = QDir::homePath() + QStringLiteral("/.pgpass");
#endif
    }
    const QFileInfo info(file);
    if (!info.isFile())
        return {};
#ifndef Q_OS_WIN
    const auto others = QFileDevice::ReadGroup | QFileDevice::WriteGroup | QFileDevice::ExeGroup |
                        QFileDevice::ReadOther | QFileDevice::WriteOther | QFileDevice::ExeOther;
    if (info.permissions() & others)
        return {};
#endif
    return file;
}

class SqliteDialect final : public Dialect {
public:
    QString name() const override { return QStringLiteral("SQLite"); }
    QString driver() const override { return QStringLiteral("QSQLITE"); }
    QString schemaResource() const override { return QStringLiteral(":/schema/sqlite.sql"); }

    void applyServerName(QSqlDatabase& database, const QString& serverName) const override {
        // Opened through a URI in read-write mode, so that a missing file is a failed
        // connection rather than a new empty database.
        const QString path = QFileInfo(serverName).absoluteFilePath();
        database.setConnectOptions(
            QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=%1").arg(LockWaitLimit.count()));
        database.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                                 QStringLiteral("?mode=rw"));
    }
    // The tool opens its file by a URI; a database opened by its plain path is that file too.
    QString databaseFile(const QSqlDatabase& database) const override {
        const QUrl uri(database.databaseName());
        return uri.isLocalFile() ? uri.toLocalFile() : database.databaseName();
    }
    bool logsIn() const override { return false; }

    // A file has no privileges: the tables are read, and written without a row in a
    // transaction rolled back, with the database's header written too, which a read-only file
    // or folder refuses.
    access::TableAccess tableAccess(QSqlDatabase& database, const QString& table) const override {
        access::TableAccess result;
        QSqlQuery query(database);
        if (!lookUpAccess(query,
                          QStringLiteral("Select name From sqlite_master Where type In ('table', "
                                         "'view') And name = ? Collate NoCase"),
                          table, result))
            return result;
        result.exists = query.next();
        if (!result.exists)
            return result;
        const QString name = u'"' + query.value(0).toString() + u'"';
        if (query.exec(QStringLiteral("Select * From %1 Where 0 = 1").arg(name)))
            result.granted |= access::Read;
        if (const QSqlError error = beginTransaction(database); error.isValid()) {
            result.unknown = error.text();
            return result;
        }
        int version = 0;
        if (query.exec(QStringLiteral("PRAGMA user_version")) && query.next())
            version = query.value(0).toInt();
        if (query.exec(QStringLiteral("Insert Into %1 Select * From %1 Where 0 = 1").arg(name)) &&
            query.exec(QStringLiteral("Delete From %1 Where 0 = 1").arg(name)) &&
            query.exec(QStringLiteral("PRAGMA user_version = %1").arg(version)))
            result.granted |= access::Insert | access::Update | access::Delete;
        query.exec(QStringLiteral("ROLLBACK"));
        return result;
    }

    // Dates are stored as ISO texts, so that equal dates compare equal as text.
    QVariant date(const QDate& date) const override {
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    }
    QVariant dateTime(const QDateTime& moment) const override {
        return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // A deferred transaction that has read is refused at once when it comes to write while
    // another connection writes; taking the write lock up front waits the busy timeout for it.
    QSqlError beginTransaction(QSqlDatabase& database) const override {
        // Not a db::Statement: the statements' fast path needs the transaction this begins.
        QSqlQuery query(database);
        return query.exec(QStringLiteral("BEGIN IMMEDIATE")) ? QSqlError() : query.lastError();
    }
    // The database's write lock is the turn: tried with a short busy timeout, so that the wait
    // for another run is counted in steps the caller can show.
    TurnAttempt beginRunTransaction(QSqlDatabase& database, const QString&) const override {
        sqlite3* connection = sqliteHandle(database);
        if (connection)
            sqlite3_busy_timeout(connection, int(TurnStep.count()));
        const QSqlError error = beginTransaction(database);
        if (connection)
            sqlite3_busy_timeout(connection, int(LockWaitLimit.count()));
        if (!error.isValid())
            return {true, {}};
        if (isLockConflict(error))
            return {};
        return {false, error};
    }
    // SQLite refuses a commit that readers keep waiting (BUSY) and leaves its transaction open;
    // the library tells whether one is open.
    bool failedCommitKeptTransaction(const QSqlDatabase& database) const override {
        sqlite3* connection = sqliteHandle(database);
        return connection && sqlite3_get_autocommit(connection) == 0;
    }
    // The file holds a commit whole or not at all: a commit refused for a full disk was rolled
    // back by SQLite itself.
    bool failedCommitKeptNothing() const override { return true; }
    // The driver drops the reason from its error; the library still has it.
    bool failedCommitWasLockWait(const QSqlDatabase& database,
                                 const QSqlError& error) const override {
        sqlite3* connection = sqliteHandle(database);
        return connection ? (sqlite3_errcode(connection) & 0xff) == SQLITE_BUSY
                          : isLockConflict(error);
    }
    // SQLITE_BUSY, with or without an extended code.
    bool isLockConflict(const QSqlError& error) const override {
        return (error.nativeErrorCode().toInt() & 0xff) == SQLITE_BUSY;
    }
    bool isDuplicateKey(const QSqlError& error) const override {
        const int code = error.nativeErrorCode().toInt();
        return code == SQLITE_CONSTRAINT_PRIMARYKEY || code == SQLITE_CONSTRAINT_UNIQUE;
    }
    const sql::SetWrites& setWrites() const override { return sql::SqliteSetWrites; }
    const sql::KeyedBatches& keyedBatches() const override { return sql::KeyedBySelect; }
};

// host[/port]:path-or-alias
class FirebirdDialect final : public Dialect {
public:
    QString name() const override { return QStringLiteral("Firebird"); }
    QString driver() const override { return QStringLiteral("QIBASE"); }
    QString schemaResource() const override { return QStringLiteral(":/schema/firebird.sql"); }

    void applyServerName(QSqlDatabase& database, const QString& serverName) const override {
        QString path = serverName;
        const qsizetype colon = serverName.indexOf(QLatin1Char(':'));
        // A colon after a single letter is a Windows drive, not a host.
        if (colon > 1) {
            QString host = serverName.left(colon);
            path = serverName.mid(colon + 1);
            const qsizetype slash = host.indexOf(QLatin1Char('/'));
            if (slash >= 0) {
                database.setPort(host.mid(slash + 1).toInt());
                host = host.left(slash);
            }
            database.setHostName(host);
        }
        database.setDatabaseName(path);
        // Texts travel as UTF-8 whatever the database's own character set.
        database.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    }

    // Qt's driver always puts a user and a password into the connection, empty ones too, and
    // the client then reads no variable of its own: the program reads them and passes them on.
    LoginPart clientUser() const override { return environment("ISC_USER"); }
    LoginPart clientPassword(const QSqlDatabase&, const QString&) const override {
        return environment("ISC_PASSWORD");
    }

    // A parameter compared with a column takes the column's length, and a longer item code would
    // be refused as a truncation; the searched codes are widened so they simply find nothing.
    QString statement(const QString& text) const override {
        static const QRegularExpression searched(QStringLiteral(":(PCodBarra|PReferencia)\\b"));
        QString result = text;
        return result.replace(searched, QStringLiteral("CAST(:\\1 AS VARCHAR(8191))"));
    }

    // The user's grants and PUBLIC's, and the role's; the administrator, the database's owner
    // and the RDB$ADMIN role have every right.
    access::TableAccess tableAccess(QSqlDatabase& database, const QString& table) const override {
        access::TableAccess result;
        QSqlQuery query(database);
        if (!lookUpAccess(query,
                          QStringLiteral("Select 1 From RDB$RELATIONS Where RDB$RELATION_NAME = ?"),
                          table.toUpper(), result))
            return result;
        result.exists = query.next();
        if (!result.exists)
            return result;
        if (query.exec(QStringLiteral("Select 1 From RDB$DATABASE Where CURRENT_USER = 'SYSDBA' "
                                      "Or CURRENT_ROLE = 'RDB$ADMIN' Or CURRENT_USER = (Select "
                                      "MON$OWNER From MON$DATABASE)")) &&
            query.next()) {
            result.granted = access::Read | access::Insert | access::Update | access::Delete;
            return result;
        }
        if (!lookUpAccess(
                query,
                QStringLiteral(
                    "Select Distinct Trim(RDB$PRIVILEGE) From RDB$USER_PRIVILEGES Where "
                    "RDB$RELATION_NAME = ? And RDB$OBJECT_TYPE = 0 And ((RDB$USER_TYPE = 8 And "
                    "RDB$USER In (CURRENT_USER, 'PUBLIC')) Or (RDB$USER_TYPE = 13 And RDB$USER = "
                    "CURRENT_ROLE))"),
                table.toUpper(), result))
            return result;
        const std::pair<const char*, access::Privilege> letters[] = {{"S", access::Read},
                                                                     {"I", access::Insert},
                                                                     {"U", access::Update},
                                                                     {"D", access::Delete}};
        while (query.next()) {
            for (const auto& [letter, privilege] : letters) {
                if (query.value(0).toString() == QLatin1String(letter))
                    result.granted |= privilege;
            }
        }
        return result;
    }
    bool turnLocksCompanyRow() const override { return true; }
    // SQLCODE -551: no permission for an access to a table.
    bool isPermissionDenied(const QSqlError& error) const override {
        return error.nativeErrorCode() == QLatin1String("-551");
    }

    // SQLCODE -913: a lock conflict, or rows another transaction changed while this one waited.
    bool isLockConflict(const QSqlError& error) const override {
        return error.nativeErrorCode() == QLatin1String("-913");
    }
    // SQLCODE -803.
    bool isDuplicateKey(const QSqlError& error) const override {
        return error.nativeErrorCode() == QLatin1String("-803");
    }
    // SQLCODE -902: the network or the server's end of the connection failed.
    bool isConnectionLost(const QSqlError& error) const override {
        return error.nativeErrorCode() == QLatin1String("-902");
    }
    // An insert has no clause to add: the run's snapshot sees no row committed after it began,
    // so a row another run has just created can't be found and added to.
    const char* rowLock() const override { return " With Lock"; }
    const sql::SetWrites& setWrites() const override { return sql::FirebirdSetWrites; }
    std::string journalRowInsert(int rows) const override {
        return sql::firebirdJournalInsertBlock(rows);
    }
    bool journalRowInsertBindsIdOnce() const override { return true; }
    std::string journalCountedRowInsert(int rows) const override {
        return sql::firebirdJournalCountedInsertBlock(rows);
    }
    const char* journalForeignKeys() const override { return sql::FirebirdJournalForeignKeys; }
    const char* journalProductIndex() const override { return sql::FirebirdJournalProductIndex; }
    std::string undoShiftBlock(int rows) const override {
        return sql::firebirdUndoShiftBlock(rows);
    }
    bool ignoresTrailingBlanks() const override { return true; }

    // The company's row, locked: a run whose snapshot began before another run took and
    // committed that row can't lock it any more, so it tries again in a new transaction that
    // sees the other run's counts. The lock waits without end on this driver; it is cancelled
    // after a step.
    TurnAttempt beginRunTransaction(QSqlDatabase& database, const QString& company) const override {
        if (const QSqlError error = beginTransaction(database); error.isValid())
            return {false, error};
        std::optional<StatementWatchdog> watchdog;
        if (auto cancel = canceller(database))
            watchdog.emplace(std::move(cancel), TurnStep);
        // Not a db::Statement: part of beginning the transaction, as the begin itself.
        QSqlQuery query(database);
        query.prepare(
            QStringLiteral("Select CodEmpresa From Filiais Where CodEmpresa = ? With Lock"));
        query.addBindValue(company);
        if (watchdog)
            watchdog->arm();
        // The row is locked as it is fetched.
        const bool done = query.exec() && (query.next() || !query.lastError().isValid());
        const bool cancelled = watchdog && watchdog->disarm();
        if (done)
            return {true, {}};
        if (cancelled || isLockConflict(query.lastError()))
            return {};
        return {false, query.lastError()};
    }

    // The driver's transactions wait for locks without end, so a statement is cancelled through
    // the client library the driver has already loaded, with the connection's native handle.
    std::function<void()> canceller(const QSqlDatabase& database) const override {
        using Cancel =
            std::intptr_t (*)(std::intptr_t * status, void* connection, unsigned short option);
        static const auto cancel = reinterpret_cast<Cancel>(
            QLibrary::resolve(QStringLiteral("fbclient"), 2, "fb_cancel_operation"));
        const QVariant handle = database.driver() ? database.driver()->handle() : QVariant();
        std::uintptr_t native = 0;
        if (!cancel || !handle.isValid() || handle.metaType().sizeOf() > qsizetype(sizeof native))
            return {};
        // The handle is copied out here: the watchdog calls this from a thread Qt did not start,
        // which must not call into Qt (Qt's cleanup of such a thread crashes at its end under
        // Windows); the client library alone is called there.
        std::memcpy(&native, handle.constData(), size_t(handle.metaType().sizeOf()));
        return [native]() mutable {
            constexpr unsigned short raiseCancel = 3;
            std::intptr_t status[20] = {};
            cancel(status, &native, raiseCancel);
        };
    }

    // CHAR, with or without the nullable flag.
    bool isFixedChar(int columnType) const override { return (columnType & ~1) == 452; }
};

// host[:port]/database
class PostgresDialect final : public Dialect {
public:
    QString name() const override { return QStringLiteral("PostgreSQL"); }
    QString driver() const override { return QStringLiteral("QPSQL"); }
    QString schemaResource() const override { return QStringLiteral(":/schema/postgresql.sql"); }

    void applyServerName(QSqlDatabase& database, const QString& serverName) const override {
        QString host = serverName;
        const qsizetype slash = serverName.indexOf(QLatin1Char('/'));
        if (slash >= 0) {
            host = serverName.left(slash);
            database.setDatabaseName(serverName.mid(slash + 1));
        }
        const qsizetype colon = host.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            database.setPort(host.mid(colon + 1).toInt());
            host = host.left(colon);
        }
        database.setHostName(host);
    }

    // Qt's driver leaves an empty user or password out of the connection, and the client
    // library then finds them in its variables and its password file; the program only says
    // where they will come from, and passes no password of its own over them.
    LoginPart clientUser() const override { return environment("PGUSER"); }
    LoginPart clientPassword(const QSqlDatabase& database, const QString& user) const override {
        if (!qEnvironmentVariableIsEmpty("PGPASSWORD"))
            return {QString(), LoginOrigin::Environment, QStringLiteral("PGPASSWORD")};
        const QString file = passwordFile();
        if (file.isEmpty() || !pgpassPassword(file, database.hostName(), database.port(),
                                              database.databaseName(), user))
            return {};
        return {QString(), LoginOrigin::ClientFile, QDir::toNativeSeparators(file)};
    }

    // The driver sends a date and time in UTC, which a column without time zone would keep as
    // another hour; the moment goes as the wall-clock text it is.
    QVariant dateTime(const QDateTime& moment) const override {
        return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // The server ends a wait for a lock at the limit; the setting lasts for the transaction.
    QSqlError beginTransaction(QSqlDatabase& database) const override {
        if (!database.transaction())
            return database.lastError();
        // Not a db::Statement: a setting of the transaction, run once, before any statement.
        QSqlQuery query(database);
        if (query.exec(QStringLiteral("SET LOCAL lock_timeout = %1").arg(LockWaitLimit.count())))
            return {};
        const QSqlError error = query.lastError();
        database.rollback();
        return error;
    }
    // An advisory lock of the transaction, for this tool and the company, tried without waiting.
    TurnAttempt beginRunTransaction(QSqlDatabase& database, const QString& company) const override {
        if (const QSqlError error = beginTransaction(database); error.isValid())
            return {false, error};
        // Not a db::Statement: part of beginning the transaction, as its setting is.
        QSqlQuery query(database);
        query.prepare(QStringLiteral("Select pg_try_advisory_xact_lock(?, ?)"));
        query.addBindValue(TurnLockClass);
        query.addBindValue(turnKey(company));
        if (!query.exec() || !query.next())
            return {false, query.lastError()};
        return {query.value(0).toBool(), {}};
    }
    // The server's own answer for the connection's role, its groups and PUBLIC included.
    access::TableAccess tableAccess(QSqlDatabase& database, const QString& table) const override {
        access::TableAccess result;
        QSqlQuery query(database);
        if (!lookUpAccess(
                query,
                QStringLiteral(
                    "Select has_table_privilege(r, 'SELECT'), has_table_privilege(r, 'INSERT'), "
                    "has_table_privilege(r, 'UPDATE'), has_table_privilege(r, 'DELETE') From "
                    "(Select to_regclass(?::text) As r) t Where r Is Not Null"),
                table, result))
            return result;
        result.exists = query.next();
        const access::Privilege order[] = {access::Read, access::Insert, access::Update,
                                           access::Delete};
        for (int i = 0; result.exists && i < 4; ++i) {
            if (query.value(i).toBool())
                result.granted |= order[i];
        }
        return result;
    }
    // insufficient_privilege.
    bool isPermissionDenied(const QSqlError& error) const override {
        return error.nativeErrorCode() == QLatin1String("42501");
    }

    // lock_not_available, deadlock_detected, serialization_failure.
    bool isLockConflict(const QSqlError& error) const override {
        const QString code = error.nativeErrorCode();
        return code == QLatin1String("55P03") || code == QLatin1String("40P01") ||
               code == QLatin1String("40001");
    }
    // Connection exceptions, the server shutting down; and a failure of the client library
    // itself, which has no SQLSTATE and comes only from a connection that broke.
    bool isConnectionLost(const QSqlError& error) const override {
        const QString code = error.nativeErrorCode();
        return code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P0")) ||
               (code.isEmpty() && error.isValid());
    }
    // unique_violation.
    bool isDuplicateKey(const QSqlError& error) const override {
        return error.nativeErrorCode() == QLatin1String("23505");
    }
    // Each statement sees what others have committed before it: a row another run creates is
    // waited for, then found.
    const char* rowLock() const override { return " For Update"; }
    const sql::SetWrites& setWrites() const override { return sql::PostgresSetWrites; }
    const sql::KeyedBatches& keyedBatches() const override { return sql::KeyedByValues; }
    const char* journalRowArrays() const override { return sql::PostgresJournalInsertArrays; }
    const char* journalForeignKeys() const override { return sql::PostgresJournalForeignKeys; }
    const char* journalProductIndex() const override { return sql::PostgresJournalProductIndex; }

    // A COMMIT that fails ends the transaction whatever the reason.
    bool failedCommitEndsTransaction() const override { return true; }

    // bpchar, the type of CHAR(n).
    bool isFixedChar(int columnType) const override { return columnType == 1042; }
};

const SqliteDialect sqliteDialect;
const FirebirdDialect firebirdDialect;
const PostgresDialect postgresDialect;
const Dialect* const dialects[] = {&sqliteDialect, &firebirdDialect, &postgresDialect};

} // namespace

TurnAttempt Dialect::beginRunTransaction(QSqlDatabase& database, const QString&) const {
    if (const QSqlError error = beginTransaction(database); error.isValid())
        return {false, error};
    return {true, {}};
}

QSqlError Dialect::beginTransaction(QSqlDatabase& database) const {
    return database.transaction() ? QSqlError() : database.lastError();
}

QString Dialect::text(const QVariant& value, int columnType) const {
    QString result = value.toString();
    if (isFixedChar(columnType)) {
        qsizetype end = result.size();
        while (end > 0 && result.at(end - 1) == QLatin1Char(' '))
            --end;
        result.truncate(end);
    }
    return result;
}

const Dialect* Dialect::forDriver(const QString& driverName) {
    for (const Dialect* dialect : dialects) {
        if (dialect->driver() == driverName)
            return dialect;
    }
    return nullptr;
}

const Dialect* Dialect::forName(const QString& name) {
    for (const Dialect* dialect : dialects) {
        if (dialect->name().compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return dialect;
    }
    return nullptr;
}

} // namespace db
