#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QSet>
#include <QStringList>

namespace conversion {

// The readings of one conversion mode that were not posted, with the reason, as the grid under
// the list page shows them: a header row (row 0) written with the first rejection, then one row
// per rejection. Rows are counted on their own, so a rejection with an empty item code keeps
// its row too.
class RejectionList : public QAbstractTableModel {
    Q_OBJECT
public:
    // The flag is set when the list receives its first row; nothing here clears it.
    explicit RejectionList(bool& rejectionsFlag, QObject* parent = nullptr);

    static QString codeHeader();
    static QString reasonHeader();

    // AddRejection: one row at the end, the header with the first one. A row listed once is
    // left out when its code is listed already (a code not found, however often it is read).
    void add(const QString& itemCode, const QString& reason, bool once = false);
    // AlreadyListed: the trimmed item code equals the trimmed column 0 of a row, header included.
    bool alreadyListed(const QString& itemCode) const;
    // Empties every row, header included, back to the header and one empty row.
    void clear();

    struct Row {
        QString itemCode;
        QString reason;
        bool once = false;
    };
    QList<Row> rows() const { return m_rows; }
    // Another list's rows after these, each added as it was.
    void append(const QList<Row>& rows);

    bool isEmpty() const { return m_rows.isEmpty(); }
    // Rows as the grid counts them: the header and at least one data row.
    int gridRowCount() const;
    // Cell of a grid row (0 is the header).
    QString cell(int gridRow, int column) const;
    // One line per grid row: column 0, ", ", column 1.
    QStringList exportLines() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool& m_rejectionsFlag;
    bool m_headerWritten = false;
    QList<Row> m_rows;
    // The trimmed item codes of the rows, so that a long list answers at once.
    QSet<QString> m_listed;
};

} // namespace conversion
