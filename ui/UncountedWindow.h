#pragma once

#include "conversion/ConversionEngine.h"
#include "conversion/Uncounted.h"

#include <QDialog>
#include <QSqlDatabase>
#include <chrono>

class QLabel;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace db {
class Dialect;
}

namespace ui {

// Where the products nobody counted are listed, and how they may be zeroed.
struct UncountedPlace {
    // The company, the date and the cause as the form's fields hold them; the cause may be blank,
    // which the zeroing then asks for.
    conversion::EntryValues entries;
    QDate date;
    // "01 - Matriz", as the review names the company and cause.
    QString company;
    QString cause;
    // The journal's tables are there; what is wrong with a journal half there (which stops the
    // zeroing as it stops a run), empty otherwise.
    bool journal = false;
    QString journalDamage;
    std::chrono::milliseconds turnWait{};
};

// The products of a company with stock on record that the inventory of a date has no count row
// for, with what their stock is worth, for the clerk who closes the count once every file is in;
// "Zerar não contados…" gives each a count of 0 after a question. The form opens it from
// "Não contados".
class UncountedWindow : public QDialog {
    Q_OBJECT
public:
    UncountedWindow(const QSqlDatabase& database, const db::Dialect& dialect, UncountedPlace place,
                    QWidget* parent = nullptr);

    QTableView* table() const { return m_table; }
    const conversion::UncountedList& list() const { return m_list; }

    // Reads the list again.
    void reload();
    // Asks, naming how many products and what their stock is worth, then zeroes them in one
    // transaction and says what was done or why nothing was.
    void zeroAll();

private:
    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    UncountedPlace m_place;
    conversion::UncountedList m_list;
    QStandardItemModel* m_model = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_totals = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_zero = nullptr;
};

} // namespace ui
