#pragma once

#include "db/Dialect.h"
#include "db/Query.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <exception>

class RejectionList;

namespace conversion {

// The entries of the form, taken once when a run starts, so that nothing typed during the run
// reaches its statements.
struct EntryValues {
    QString companyCode;
    QString causeCode;
    // As typed (dd/mm/yyyy); converted where a statement needs the date, so a bad date fails
    // only a reading that gets that far.
    QString dateText;
};

// Product key: CodProd empty means not found, the processed marker means already processed.
struct ProductKey {
    QString CodProd;
    QString CodGrade;
};

struct StockAndCost {
    double stock = 0.0;
    double cost = 0.0;
};

// What a run tells the window while it goes, and asks it between lines.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Before line `number` (from 1) is looked at.
    virtual void lineStarted(int number) = 0;
    virtual void statusChanged(const QString& text) = 0;
    // Pending window messages are handled once per line.
    virtual void letMessagesRun() = 0;
    // Asked after each line; true ends the run there and undoes it.
    virtual bool stopRequested() = 0;
};

// Where the rejected readings of each mode go, and the flag the first rejection sets.
struct RejectionTargets {
    RejectionList& inventory;
    RejectionList& openingStock;
    bool& rejectionsFlag;
};

// Posts the readings of a collector file for one set of entries. Every run is one transaction:
// its readings are all posted, or none is.
class ConversionEngine {
public:
    enum class Outcome { Completed, Stopped };

    ConversionEngine(const QSqlDatabase& database, const db::Dialect& dialect, EntryValues entries,
                     RejectionTargets rejections, RunObserver* observer = nullptr);

    // Count rows of Inventa for the company, date and cause.
    Outcome ConvertInventory(const QStringList& lines);
    // Opening stock (INCIEST and MVGERAL) of products without movements.
    Outcome ConvertOpeningStock(const QStringList& lines);

    ProductKey ResolveProduct(const QString& itemCode);
    StockAndCost ReadStockAndCost(const ProductKey& key);
    // With `counted`, also gives the Quantidade a reading would add to: 0 when the row takes no
    // more readings.
    bool InventoryRowExists(const ProductKey& key, double* counted = nullptr);
    // False when no row was touched: the row is no longer open for counting.
    bool UpdateInventoryRow(const ProductKey& key, double quantity, const StockAndCost& stock);
    void InsertInventoryRow(const ProductKey& key, double quantity, const StockAndCost& stock);
    void InsertOpeningStock(const ProductKey& key, double quantity, double cost);
    void InsertOpeningMovement(const ProductKey& key, double quantity, double cost);

    // The error box text of a run that failed: the error, then that nothing was posted.
    static QString failedRunMessage(const QString& errorMessage);
    // The error box text for what a run raised: a failed commit can't say that nothing was
    // posted, since the server may have kept the readings.
    static QString failedRunMessage(const std::exception& error);

private:
    enum class Mode { Inventory, OpeningStock };
    template <typename PostLine>
    Outcome runLines(const QStringList& lines, Mode mode, PostLine&& postLine);
    void closeQueries();
    QDate inventoryDate() const;
    void bindInventoryRow(const QDate& today, const ProductKey& key, double quantity,
                          const StockAndCost& stock);
    static QString insertFailure(const ProductKey& key, const QString& serverMessage);

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    EntryValues m_entries;
    RejectionTargets m_rejections;
    RunObserver* m_observer;
    // The form's queries: resolution and the Inventa and CompProd statements; the movement
    // look-up; the two opening-stock inserts.
    db::Query m_qryConversao;
    db::Query m_MvGeral;
    db::Query m_qryInciEst;
    db::Query m_qryMvGeral;
};

} // namespace conversion
