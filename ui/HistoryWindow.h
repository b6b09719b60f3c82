#pragma once

#include "conversion/Journal.h"

#include <QDialog>
#include <QList>
#include <QSqlDatabase>

class QLabel;
class QLineEdit;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace db {
class Dialect;
}

namespace ui {

// The journal's runs, newest first, filtered by company and inventory date, and the undo of
// the one selected. The form opens it from "Histórico".
class HistoryWindow : public QDialog {
    Q_OBJECT
public:
    HistoryWindow(const QSqlDatabase& database, const db::Dialect& dialect,
                  QWidget* parent = nullptr);

    QTableView* table() const { return m_table; }
    QLineEdit* companyFilter() const { return m_company; }
    QLineEdit* dateFilter() const { return m_date; }

    // Reads the journal again through the filter, leaving the run `keep` chosen when it is
    // listed (the first run otherwise).
    void reload(const QString& keep = QString());
    // Asks, then undoes the selected run whole or says which rows stop it.
    void undoSelected();

private:
    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    QList<conversion::journal::RunRecord> m_runs;
    QLineEdit* m_company = nullptr;
    QLineEdit* m_date = nullptr;
    QStandardItemModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QPushButton* m_undo = nullptr;
    // What the window waits for while an undo waits for the company's turn.
    QLabel* m_status = nullptr;
};

} // namespace ui
