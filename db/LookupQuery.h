#pragma once

#include "Dialect.h"

#include <QSqlQueryModel>

namespace db {

// A look-up query (companies, causes) that stays open for the whole run and has a current row,
// which searches, first-row requests and picks move. Its rows feed a look-up list.
class LookupQuery : public QSqlQueryModel {
    Q_OBJECT
public:
    LookupQuery(QString name, QString text, QString table, QString keyColumn,
                QObject* parent = nullptr);
    // The look-ups of the entries, for the window and the batch mode alike: the causes by
    // CodCausa, the companies by CodEmpresa.
    static LookupQuery* newCauses(QObject* parent = nullptr);
    static LookupQuery* newCompanies(QObject* parent = nullptr);

    const QString& name() const { return m_name; }
    const QString& keyColumn() const { return m_keyColumn; }
    // The table it reads.
    const QString& table() const { return m_table; }

    // Runs the query on the connection; a refusal raises DatabaseError, PermissionDenied where
    // the user may not read the table.
    void open(const QSqlDatabase& database, const Dialect& dialect);
    void close();
    bool isOpen() const { return m_open; }

    // Moves to the row whose key column equals key exactly (case counts). A failed search
    // leaves the current row where it was. Raises DatabaseError when the query is closed.
    bool locate(const QString& key);
    // Moves to the first row. Raises DatabaseError when the query is closed.
    void first();
    // A column of the current row as text; empty on an empty result.
    QString fieldText(const QString& column) const;

    int currentRow() const { return m_currentRow; }
    // Row of a key, or -1; does not move the current row.
    int rowOfKey(const QString& key) const;
    void setCurrentRow(int row);
    int columnOf(const QString& column) const;
    // A cell as the tool reads it: a CHAR column without the blanks that pad it.
    QString textAt(int row, int column) const;

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    void requireOpen() const;

    const Dialect* m_dialect = nullptr;
    QString m_name;
    QString m_text;
    QString m_table;
    QString m_keyColumn;
    bool m_open = false;
    int m_currentRow = -1;
};

} // namespace db
