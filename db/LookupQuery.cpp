#include "LookupQuery.h"

#include "Errors.h"
#include "Names.h"

#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace db {

LookupQuery::LookupQuery(QString name, QString text, QString table, QString keyColumn,
                         QObject* parent)
    : QSqlQueryModel(parent)
    , m_name(std::move(name))
    , m_text(std::move(text))
    , m_table(std::move(table))
    , m_keyColumn(std::move(keyColumn)) {}

LookupQuery* LookupQuery::newCauses(QObject* parent) {
    return new LookupQuery(QStringLiteral("CausInv"), QString::fromLatin1(lookup::CausInv),
                           QString::fromLatin1(table::CausInv),
                           QString::fromLatin1(column::CodCausa), parent);
}

LookupQuery* LookupQuery::newCompanies(QObject* parent) {
    return new LookupQuery(QStringLiteral("Empresa"), QString::fromLatin1(lookup::Empresa),
                           QString::fromLatin1(table::Filiais),
                           QString::fromLatin1(column::CodEmpresa), parent);
}

void LookupQuery::open(const QSqlDatabase& database, const Dialect& dialect) {
    m_dialect = &dialect;
    // Not a db::Statement: the model holds every row for the lists, and takes a QSqlQuery.
    QSqlQuery query(database);
    if (!query.exec(m_text)) {
        if (dialect.isPermissionDenied(query.lastError()))
            throw PermissionDenied(query.lastError().text());
        throw DatabaseError(query.lastError().text());
    }
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
        if (textAt(row, column) == key)
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
    return textAt(m_currentRow, index);
}

QString LookupQuery::textAt(int row, int column) const {
    const QVariant value = QSqlQueryModel::data(index(row, column), Qt::EditRole);
    if (value.isNull() || !m_dialect)
        return value.toString();
    return m_dialect->text(value, record().field(column).typeID());
}

QVariant LookupQuery::data(const QModelIndex& item, int role) const {
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && item.isValid())
        return textAt(item.row(), item.column());
    return QSqlQueryModel::data(item, role);
}

void LookupQuery::setCurrentRow(int row) {
    if (row >= 0 && row < rowCount())
        m_currentRow = row;
}

} // namespace db
