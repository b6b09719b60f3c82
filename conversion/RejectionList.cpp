#include "RejectionList.h"

#include "db/Texts.h"

namespace conversion {

RejectionList::RejectionList(bool& rejectionsFlag, QObject* parent)
    : QAbstractTableModel(parent)
    , m_rejectionsFlag(rejectionsFlag) {}

QString RejectionList::codeHeader() {
    return QStringLiteral("Produtos não processados");
}
QString RejectionList::reasonHeader() {
    return QStringLiteral("Motivo");
}

void RejectionList::add(const QString& itemCode, const QString& reason, bool once) {
    if (once && alreadyListed(itemCode))
        return;
    m_listed.insert(db::texts::trimControl(itemCode));
    if (m_rows.isEmpty()) {
        m_rejectionsFlag = true;
        m_headerWritten = true;
        m_rows.append({itemCode, reason, once});
        emit headerDataChanged(Qt::Horizontal, 0, 1);
        emit dataChanged(index(0, 0), index(0, 1));
        return;
    }
    const int row = static_cast<int>(m_rows.size());
    beginInsertRows({}, row, row);
    m_rows.append({itemCode, reason, once});
    endInsertRows();
}

bool RejectionList::alreadyListed(const QString& itemCode) const {
    const QString code = db::texts::trimControl(itemCode);
    if (code.isEmpty())
        return false;
    if (m_headerWritten && code == db::texts::trimControl(codeHeader()))
        return true;
    return m_listed.contains(code);
}

void RejectionList::clear() {
    beginResetModel();
    m_rows.clear();
    m_listed.clear();
    m_headerWritten = false;
    endResetModel();
    emit headerDataChanged(Qt::Horizontal, 0, 1);
}

void RejectionList::append(const QList<Row>& rows) {
    for (const Row& row : rows)
        add(row.itemCode, row.reason, row.once);
}

int RejectionList::gridRowCount() const {
    return 1 + rowCount();
}

QString RejectionList::cell(int gridRow, int column) const {
    if (gridRow == 0) {
        if (!m_headerWritten)
            return {};
        return column == 0 ? codeHeader() : reasonHeader();
    }
    if (gridRow > m_rows.size())
        return {};
    const Row& row = m_rows.at(gridRow - 1);
    return column == 0 ? row.itemCode : row.reason;
}

QStringList RejectionList::exportLines() const {
    QStringList lines;
    for (int row = 0; row < gridRowCount(); ++row)
        lines << cell(row, 0) + QStringLiteral(", ") + cell(row, 1);
    return lines;
}

int RejectionList::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(1, static_cast<int>(m_rows.size()));
}

int RejectionList::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant RejectionList::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    return cell(index.row() + 1, index.column());
}

QVariant RejectionList::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    return cell(0, section);
}

} // namespace conversion
