#include "Query.h"

#include "Errors.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>

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
} // namespace

Query::Query(const QSqlDatabase& database, const Dialect& dialect)
    : m_database(database)
    , m_dialect(dialect)
    , m_query(&m_prepared.emplace(QString(), QSqlQuery(database)).first->second) {}

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

void Query::open() {
    if (!m_query->exec())
        fail();
    m_open = true;
    m_onRow = m_query->next();
    if (!m_onRow && m_query->lastError().isValid())
        fail();
}

int Query::execute() {
    if (!m_query->exec())
        fail();
    const int rows = m_query->numRowsAffected();
    m_query->finish();
    return rows;
}

void Query::close() {
    if (m_query->isActive())
        m_query->finish();
    m_open = false;
    m_onRow = false;
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
    throw DatabaseError(errorText(m_query->lastError()));
}

TransactionGuard::TransactionGuard(QSqlDatabase database)
    : m_database(std::move(database)) {
    if (!m_database.transaction())
        throw DatabaseError(errorText(m_database.lastError()));
    m_active = true;
}

TransactionGuard::~TransactionGuard() {
    if (m_active)
        m_database.rollback();
}

void TransactionGuard::commit() {
    if (!m_database.commit())
        throw DatabaseError(errorText(m_database.lastError()));
    m_active = false;
}

} // namespace db
