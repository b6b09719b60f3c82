#include "LookupQuery.h"

#include "Errors.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

LookupQuery::LookupQuery(QString name, QString text, QString keyColumn, QObject* parent)
    : QSqlQueryModel(parent)
    , m_name(std::move(name))
    , m_text(std::move(text))
    , m_keyColumn(std::move(keyColumn)) {}

void LookupQuery::open(const QSqlDatabase& database) {
    QSqlQuery query(database);
    if (!query.exec(m_text))
        throw DatabaseError(query.lastError().text());
    setQuery(std::move(query));
    if (lastError().isValid())
        throw DatabaseError(lastError().text());
    // The lists show every row; fetch them all now rather than as the list scrolls.
    while (canFetchMore())
        fetchMore();
    m_open = true;
    m_currentRow = rowCount() > 0 ? 0 : -1;
}

void LookupQuery::close() {
    clear();
    m_open = false;
    m_currentRow = -1;
}

void LookupQuery::requireOpen() const {
    if (!m_open)
        throw DatabaseError(
            QStringLiteral("%1: operação não permitida com a consulta fechada.").arg(m_name));
}

int LookupQuery::columnOf(const QString& column) const {
    return record().indexOf(column);
}

int LookupQuery::rowOfKey(const QString& key) const {
    const int column = columnOf(m_keyColumn);
    if (!m_open || column < 0)
        return -1;
    for (int row = 0; row < rowCount(); ++row) {
        if (record(row).value(column).toString() == key)
            return row;
    }
    return -1;
}

bool LookupQuery::locate(const QString& key) {
    requireOpen();
    const int row = rowOfKey(key);
    if (row < 0)
        return false;
    m_currentRow = row;
    return true;
}

void LookupQuery::first() {
    requireOpen();
    m_currentRow = rowCount() > 0 ? 0 : -1;
}

QString LookupQuery::fieldText(const QString& column) const {
    requireOpen();
    const int index = columnOf(column);
    if (index < 0)
        throw DatabaseError(QStringLiteral("%1: coluna %2 não encontrada.").arg(m_name, column));
    if (m_currentRow < 0)
        return {};
    return record(m_currentRow).value(index).toString();
}

void LookupQuery::setCurrentRow(int row) {
    if (row >= 0 && row < rowCount())
        m_currentRow = row;
}

} // namespace db
