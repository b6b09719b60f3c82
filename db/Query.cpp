#include "Query.h"

#include "Errors.h"

#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QThread>

namespace db {

namespace {
// A null QString would be bound as SQL NULL; the tool always means the empty text.
QString notNull(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

QString errorText(const QSqlError& error) {
    QString text = error.text().trimmed();
    return text.isEmpty() ? QStringLiteral("Erro desconhecido do banco de dados.") : text;
}

// The server's own text, kept for the details, when it gave one.
QString detailText(const QSqlError& error) {
    return error.isValid() ? errorText(error) : QString();
}

[[noreturn]] void raise(const QSqlError& error, const Dialect* dialect) {
    // What the clerk can act on is said in the tool's words; the server's text is the detail.
    if (dialect && dialect->isLockConflict(error))
        throw LockTimeout(otherWorkstationText(), detailText(error));
    if (dialect && dialect->isConnectionLost(error))
        throw ConnectionLost(connectionLostText(), detailText(error));
    if (dialect && dialect->isDuplicateKey(error))
        throw DuplicateKey(errorText(error));
    throw DatabaseError(errorText(error));
}
} // namespace

Query::Query(const QSqlDatabase& database, const Dialect& dialect)
    : m_database(database)
    , m_dialect(dialect)
    , m_query(&m_prepared.emplace(QString(), QSqlQuery(database)).first->second) {
    if (auto cancel = dialect.canceller(database))
        m_watchdog = std::make_unique<StatementWatchdog>(std::move(cancel), LockWaitLimit);
}

void Query::setText(const QString& text) {
    close();
    if (const auto found = m_prepared.find(text); found != m_prepared.end()) {
        m_query = &found->second;
        return;
    }
    QSqlQuery query(m_database);
    query.setForwardOnly(true);
    if (!query.prepare(m_dialect.statement(text)))
        throw DatabaseError(errorText(query.lastError()));
    m_query = &m_prepared.emplace(text, std::move(query)).first->second;
}

void Query::bindText(const QString& name, const QString& value) {
    m_query->bindValue(name, notNull(value));
}

void Query::bindDate(const QString& name, const QDate& value) {
    m_query->bindValue(name, m_dialect.date(value));
}

void Query::bindDateTime(const QString& name, const QDateTime& value) {
    m_query->bindValue(name, m_dialect.dateTime(value));
}

void Query::bindFloat(const QString& name, double value) {
    m_query->bindValue(name, value);
}

void Query::bindTextAt(int position, const QString& value) {
    m_query->bindValue(position, notNull(value));
}

void Query::run() {
    if (!m_watchdog) {
        if (!m_query->exec())
            fail();
        return;
    }
    m_watchdog->arm();
    const bool done = m_query->exec();
    if (m_watchdog->disarm())
        throw LockTimeout(noAnswerText());
    if (!done)
        fail();
}

void Query::open() {
    run();
    m_open = true;
    m_onRow = m_query->next();
    if (!m_onRow && m_query->lastError().isValid())
        fail();
}

int Query::execute() {
    run();
    const int rows = m_query->numRowsAffected();
    close();
    return rows;
}

// A statement that fails to close is reported here, with the server's reason; left open, it
// would fail the next use with a message that hides that reason.
void Query::close() {
    m_open = false;
    m_onRow = false;
    if (!m_query->isActive())
        return;
    m_query->finish();
    if (m_query->lastError().isValid())
        fail();
}

QVariant Query::value(const QString& column) const {
    if (!m_onRow)
        return {};
    const int index = m_query->record().indexOf(column);
    if (index < 0)
        throw DatabaseError(QStringLiteral("Coluna %1 não encontrada.").arg(column));
    return m_query->value(index);
}

QString Query::text(const QString& column) const {
    const QVariant v = value(column);
    if (v.isNull())
        return {};
    return m_dialect.text(v, m_query->record().field(column).typeID());
}

int Query::integer(const QString& column) const {
    const QVariant v = value(column);
    return v.isNull() ? 0 : v.toInt();
}

double Query::number(const QString& column) const {
    const QVariant v = value(column);
    return v.isNull() ? 0.0 : v.toDouble();
}

void Query::fail() const {
    raise(m_query->lastError(), &m_dialect);
}

void raiseDatabaseError(const QSqlError& error, const Dialect& dialect) {
    raise(error, &dialect);
}

QString connectionLostText() {
    return QStringLiteral("A conexão com o servidor do banco de dados caiu. Confira a rede e se o "
                          "servidor está no ar, e converta de novo.");
}

QString otherWorkstationText() {
    return QStringLiteral("Outra estação de trabalho está convertendo leituras no mesmo "
                          "inventário; tente de novo quando ela terminar.");
}

// A cancelled lock wait and a cancelled slow answer end with the same error, so nothing more is
// known than that the limit passed.
QString noAnswerText() {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(LockWaitLimit).count();
    return QStringLiteral("O servidor não respondeu em %1 segundos. Outra estação de trabalho "
                          "pode estar convertendo leituras no mesmo inventário, ou o servidor "
                          "ou a rede estão lentos; tente de novo em instantes.")
        .arg(seconds);
}

TransactionGuard::TransactionGuard(QSqlDatabase database)
    : m_database(std::move(database)) {
    if (!m_database.transaction())
        throw DatabaseError(errorText(m_database.lastError()));
    m_active = true;
}

TransactionGuard::TransactionGuard(QSqlDatabase database, const Dialect& dialect)
    : m_database(std::move(database))
    , m_dialect(&dialect) {
    if (const QSqlError error = dialect.beginTransaction(m_database); error.isValid())
        raise(error, m_dialect);
    m_active = true;
}

TransactionGuard::TransactionGuard(QSqlDatabase database, const Dialect& dialect,
                                   const TurnWait& turn)
    : m_database(std::move(database))
    , m_dialect(&dialect) {
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const TurnAttempt attempt = dialect.beginRunTransaction(m_database, turn.company);
        if (attempt.error.isValid()) {
            m_database.rollback();
            raise(attempt.error, m_dialect);
        }
        if (attempt.taken)
            break;
        m_database.rollback();
        if (clock.elapsed() >= turn.limit.count())
            throw LockTimeout(otherWorkstationText());
        if (turn.waiting)
            turn.waiting(int(clock.elapsed() / 1000));
        QThread::msleep(100);
    }
    m_active = true;
}

TransactionGuard::~TransactionGuard() {
    if (m_active)
        m_database.rollback();
}

void TransactionGuard::rollbackAfter(const Error& error) {
    m_active = false;
    // A connection that broke takes its transaction with it: the rollback can only fail too.
    if (m_database.rollback() || dynamic_cast<const ConnectionLost*>(&error))
        throw;
    const QString cause = m_database.lastError().databaseText().trimmed();
    if (cause.isEmpty() || error.message().contains(cause))
        throw;
    throw DatabaseError(cause + QLatin1Char('\r') + error.message());
}

void TransactionGuard::commit() {
    if (m_database.commit()) {
        m_active = false;
        return;
    }
    const QSqlError error = m_database.lastError();
    const QString commitLost = QStringLiteral("A confirmação da gravação não teve resposta do "
                                              "banco de dados.");
    if (!m_dialect)
        throw CommitUnconfirmed(commitLost, detailText(error));
    const bool keptNothing = m_dialect->failedCommitKeptNothing();
    // What is still open is rolled back with the guard; nothing else is left to roll back.
    if (m_dialect->failedCommitEndsTransaction() ||
        (keptNothing && !m_dialect->failedCommitKeptTransaction(m_database)))
        m_active = false;
    // A commit kept waiting for a lock was refused whole.
    if (m_dialect->failedCommitWasLockWait(m_database, error))
        throw LockTimeout(otherWorkstationText(), detailText(error));
    if (keptNothing)
        throw DatabaseError(errorText(error));
    if (m_dialect->isConnectionLost(error))
        throw CommitUnconfirmed(commitLost, detailText(error));
    throw CommitUnconfirmed(errorText(error));
}

} // namespace db
