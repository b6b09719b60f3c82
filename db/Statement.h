#pragma once

#include "Dialect.h"
#include "StatementWatchdog.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <memory>

struct sqlite3;

namespace db {

// The SQLite library handle of a connection the Qt driver opened; null on other drivers, and
// null when the driver's SQLite is not the library this program calls. The handle is borrowed:
// it lives as long as the connection is open, and whatever is made with it (a statement) must be
// finalised before the connection closes.
sqlite3* sqliteHandle(const QSqlDatabase& database);

// Whether Qt's SQLite driver and this program use one libsqlite3: the driver may carry a copy of
// its own, whose handles this program's library must never touch. Asked of an open SQLite
// connection, once for the process; an unanswered question is asked again next time.
bool sharesSqliteLibrary(const QSqlDatabase& database);

// A value bound at many executions, converted once: the variant the Qt driver takes, and for a
// text the UTF-8 bytes SQLite takes.
struct BoundValue {
    BoundValue() = default;
    // A null text is bound as the empty text: the tool never means SQL NULL.
    explicit BoundValue(const QString& text);
    explicit BoundValue(const QVariant& value);

    QVariant value;
    QByteArray utf8;
    bool isText = false;
};

// One statement of a run, prepared once and run for every line: values are bound by position
// and columns read by position, so nothing is looked up by name while the run goes. Every step
// is checked; a refusal raises DatabaseError with the driver's message (LockTimeout for a lock
// wait that ran out).
class Statement {
public:
    virtual ~Statement() = default;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Prepares `text` (a statement of db/Statements.h) as the dialect runs it. On SQLite the
    // statement runs through the connection's own library handle when the driver shares this
    // program's library: the Qt layer around each execution costs several times what SQLite
    // itself does for these one-row statements. Elsewhere, and as the fallback, through Qt.
    // The watchdog, where the dialect has one, cuts off a statement at the lock wait limit; the
    // statements of one run share it.
    static std::unique_ptr<Statement> prepare(const QSqlDatabase& database, const Dialect& dialect,
                                              const char* text,
                                              StatementWatchdog* watchdog = nullptr);

    // Position of a named placeholder (":PCodProd"), from 0, in the order the text names them.
    int position(const char* name) const;

    // The value must stay alive and unchanged until the statement has run.
    virtual void bind(int position, const BoundValue& value) = 0;
    virtual void bindFloat(int position, double value) = 0;
    // A text bound without a BoundValue's copies, for statements that bind many; a null text is
    // bound as the empty text.
    virtual void bindText(int position, const QString& text) = 0;

    // Runs a select and stands on its first row; false when there is none.
    virtual bool open() = 0;
    // Moves to the next row of an open select; false when there is none.
    virtual bool next() = 0;
    // Columns of the current row; a null column reads as empty text or 0. A number stored as
    // text reads as the number the whole text spells, any other text as 0, on every driver.
    virtual QString text(int column) const = 0;
    virtual double number(int column) const = 0;
    virtual bool isNull(int column) const = 0;
    // Runs an insert or update.
    virtual void execute() = 0;
    // Runs an insert or update and returns the number of rows it touched. Some drivers ask the
    // server for it in a round trip of its own, so only a caller that uses it asks.
    virtual int executeCounted() = 0;
    // Ends a select; reported errors are the server's.
    virtual void close() = 0;

protected:
    explicit Statement(const char* text);

private:
    QList<QByteArray> m_placeholders;
};

} // namespace db
