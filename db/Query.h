#pragma once

#include "Dialect.h"
#include "Errors.h"
#include "StatementWatchdog.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <functional>
#include <memory>
#include <unordered_map>

namespace db {

// One statement on the connection: close, set its text, bind, open or execute, read, close.
// Every step is checked, closing too; a refusal raises DatabaseError with the driver's message,
// LockTimeout when another transaction held the rows past the lock wait limit. Its one user
// left is the engine's look-up after a refused insert; new code uses db::Statement.
class Query {
public:
    Query(const QSqlDatabase& database, const Dialect& dialect);

    void setText(const QString& text);
    void bindText(const QString& name, const QString& value);
    void bindDate(const QString& name, const QDate& value);
    void bindDateTime(const QString& name, const QDateTime& value);
    void bindFloat(const QString& name, double value);
    // Binds the placeholder at a position (0 is the first) as text.
    void bindTextAt(int position, const QString& value);

    // Runs a select and stands on its first row, if any.
    void open();
    // Runs an insert or update; returns the number of rows it touched.
    int execute();
    void close();

    bool isOpen() const { return m_open; }
    bool isEmpty() const { return !m_onRow; }
    // Column of the current row; on an empty result or a null column, text reads empty and
    // numbers read 0.
    QString text(const QString& column) const;
    int integer(const QString& column) const;
    double number(const QString& column) const;

private:
    QVariant value(const QString& column) const;
    // Runs the current statement, within the lock wait limit where the server has none.
    void run();
    [[noreturn]] void fail() const;

    QSqlDatabase m_database;
    const Dialect& m_dialect;
    // Each text is prepared once and bound afresh at every use: a run repeats a handful of
    // statements for every line.
    // A node-based map, so the current statement stays where it is as others are added.
    std::unordered_map<QString, QSqlQuery> m_prepared;
    QSqlQuery* m_query = nullptr;
    bool m_open = false;
    bool m_onRow = false;
    std::unique_ptr<StatementWatchdog> m_watchdog;
};

// Raises the error the tool reports for a refusal of the database.
[[noreturn]] void raiseDatabaseError(const QSqlError& error, const Dialect& dialect);
// The message of a run that another workstation's run got in the way of.
QString otherWorkstationText();
// A connection that broke during a run: what happened and what to do.
QString connectionLostText();
// The message of a statement cut off at the lock wait limit.
QString noAnswerText();

// Rolls the transaction back when it goes out of scope without commit(). A commit that fails
// raises CommitUnconfirmed: the server may have kept the work all the same.
// A run's wait for its turn to post into a company.
struct TurnWait {
    QString company;
    std::chrono::milliseconds limit = TurnWaitLimit;
    // Called after each try that found another run's turn, with the whole seconds waited so far.
    std::function<void(int seconds)> waiting;
};

class TransactionGuard {
public:
    explicit TransactionGuard(QSqlDatabase database);
    // A run's transaction, begun the way the engine needs it (locks, lock wait limit).
    TransactionGuard(QSqlDatabase database, const Dialect& dialect);
    // A run's transaction once the run has the company's turn: while another run has it, tried
    // again until `turn.limit`, telling `turn.waiting` how long it has waited; then LockTimeout.
    TransactionGuard(QSqlDatabase database, const Dialect& dialect, const TurnWait& turn);
    ~TransactionGuard();
    TransactionGuard(const TransactionGuard&) = delete;
    TransactionGuard& operator=(const TransactionGuard&) = delete;

    void commit();
    // Called while handling `error`, which ends the work: rolls back and raises the error again.
    // A connection that refuses the rollback too was ended by the server, and the statements
    // after that fail with messages of their own that hide why; the server's reason, which the
    // rollback reports, comes first then.
    [[noreturn]] void rollbackAfter(const Error& error);

private:
    QSqlDatabase m_database;
    const Dialect* m_dialect = nullptr;
    bool m_active = false;
};

} // namespace db
