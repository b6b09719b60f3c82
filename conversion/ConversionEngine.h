#pragma once

#include "CollectorFile.h"
#include "db/Dialect.h"
#include "db/StatementWatchdog.h"

#include <QDate>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <exception>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace db {
class Statement;
}

namespace conversion {

class RejectionList;
struct LineDecision;

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

// What became of a line: posted, no reading on it, or one of the rejection reasons.
enum class LineOutcome { Posted, NoReading, NotFound, Processed, HasMovements };

// The rejection reason of an outcome as the lists show it; empty for the other two.
QString reasonText(LineOutcome outcome);

// Which search of product resolution found an item code.
enum class FoundBy { None, Barcode, Reference, ManufacturerReference, OldReference };

// The run report of one line.
struct LineReport {
    int number = 0; // from 1
    LineOutcome outcome = LineOutcome::NoReading;
    // As the line rule cut them; both empty on a line without a reading.
    QString itemCode;
    QString quantityText;
    // The product found, also when it was then refused (processed, movements).
    FoundBy foundBy = FoundBy::None;
    QString CodProd;
    QString CodGrade;
    // How many products (product and grade, for a barcode) the search that found the code
    // returned: the line went to the lowest key among them. 0 when no product was found.
    int productsWithCode = 0;
    // Posted lines: the quantity, the stock on record (CompProd.Estoque, QuantKardex) and the
    // cost price (CompProd.PrecoCusto), both 0 where null.
    double quantity = 0.0;
    double stockOnRecord = 0.0;
    double cost = 0.0;
    // Posted inventory lines: the count row's Quantidade before and after this reading (0
    // before for a new row).
    std::optional<double> countBefore;
    std::optional<double> countAfter;
    // Posted lines: the reading created the row it went to (a new count row; an opening-stock
    // reading always does), rather than adding to one that was there.
    bool rowCreated = false;

    bool rejected() const {
        return outcome != LineOutcome::Posted && outcome != LineOutcome::NoReading;
    }
};

// What a run tells its caller while it goes, and asks it between lines. The caller shows the
// progress its own way (a window also lets its messages run here); the run knows no window.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    // Before line `number` (from 1) is looked at.
    virtual void lineStarted(int number) = 0;
    // Asked after each line; true ends the run there and undoes it.
    virtual bool stopRequested() = 0;
    // After each line that came to its end, before stopRequested; a line that fails has none.
    virtual void lineDone(const LineReport&) {}
    // After the last line of a run that posts, in its transaction, before it commits: what the
    // caller writes along with the readings goes here. A db::Error undoes the whole run.
    virtual void beforeCommit() {}
    // Before the first line, while another workstation's run posts into the same company: the
    // whole seconds waited so far, told again every moment until the run's turn comes.
    virtual void waitingForTurn(int seconds) { Q_UNUSED(seconds); }
    // The run's transaction has begun and the run has the company's turn: no other run posts
    // into the company until it ends. What must be asked under that turn is asked here; a
    // db::Error undoes the run.
    virtual void runBegan() {}
};

// Where the rejected readings of each mode go, and the flag the first rejection sets.
struct RejectionTargets {
    RejectionList& inventory;
    RejectionList& openingStock;
    bool& rejectionsFlag;
};

// Posts the readings of a collector file for one set of entries. Every run is one transaction:
// its readings are all posted, or none is.
//
// Within a run the catalogue does not change (the run writes none of it), so each item code is
// resolved once, and each product and grade's stock on record, movements and count row are asked
// once; an inventory run holds each count row it reads until it commits, and follows it in
// memory. Nothing is kept from one run to the next.
class ConversionEngine {
public:
    enum class Outcome { Completed, Stopped };

    ConversionEngine(const QSqlDatabase& database, const db::Dialect& dialect, EntryValues entries,
                     RejectionTargets rejections, RunObserver* observer = nullptr);
    ~ConversionEngine();
    ConversionEngine(const ConversionEngine&) = delete;
    ConversionEngine& operator=(const ConversionEngine&) = delete;

    // Count rows of Inventa for the company, date and cause.
    Outcome ConvertInventory(const QStringList& lines);
    // Opening stock (INCIEST and MVGERAL) of products without movements.
    Outcome ConvertOpeningStock(const QStringList& lines);

    // Between runs each call asks the database afresh and leaves no statement behind.
    ProductKey ResolveProduct(const QString& itemCode);

    // The line a failed run's error belongs to: the line being decided, or for a batch of reads
    // or writes the first line that needed it; 0 when it came before the first line or after
    // the last.
    int failedLine() const { return m_failedLine; }

    // A dry run goes through every line as a real run does, inside its transaction, reports the
    // same, and then rolls back: nothing is posted.
    void setDryRun(bool dryRun) { m_dryRun = dryRun; }
    // How long a run waits for its turn while another run posts into the same company.
    void setTurnWaitLimit(std::chrono::milliseconds limit) { m_turnWaitLimit = limit; }

    // The error box text of a run that failed: the error, then that nothing was posted.
    static QString failedRunMessage(const QString& errorMessage);
    // The error box text for what a run raised: a failed commit can't say that nothing was
    // posted, since the server may have kept the readings.
    static QString failedRunMessage(const std::exception& error);

private:
    enum class Mode { Inventory, OpeningStock };
    struct Statements;
    struct RunValues;
    struct Known;
    struct Resolved;
    // What one run has learnt, so that it asks the database once for each thing: each item
    // code's resolution (by its upper-cased text) and, by product and grade, the stock on record,
    // whether it has movements, and its count row. Created with the run's first question and
    // dropped when the run ends, with its statements. It stays right for the whole run because
    // the run writes none of the catalogue, and a count row is the run's own until it commits
    // (read under lock, or created by the run), so the run's memory of it is followed as it
    // decides. Past the run other workstations may change any of it, so nothing is kept. Nothing
    // is removed during a run, and the maps are node-based: a pointer into them holds until the
    // memory goes. The run also keeps the writes its lines decided until it makes them.
    struct RunMemory;
    // One run, or one question between runs: its memory, the values of its entries, its prepared
    // statements and the transaction of a run that posts, made when it starts and dropped when it
    // ends.
    struct Run;
    class OpeningStockClash;
    using Readings = std::vector<std::optional<Reading>>;

    // The run of both modes: what the file's lines need is read in batches first, then each line
    // is decided in file order by the line rules, and the writes the lines decided are made in
    // batches last, within the run's transaction.
    Outcome runLines(const QStringList& lines, Mode mode);
    // The line rules: a code that names no product is not found; the rest is decideReading's.
    void decideLine(LineReport& line);
    // Hands a finished line to the rejection list of its mode and to the observer.
    void lineDone(Mode mode, const LineReport& line);
    // Begins a run that posts: its transaction, and statements prepared as it needs them.
    void startRun(Mode mode);
    // Ends the run: its transaction rolls back unless it committed, its statements are
    // finalised, and what it knew is dropped.
    void endRun();
    void closeQueries();
    Run& run();
    Statements& statements();
    RunValues& values();
    RunMemory& memory();

    // Product resolution. Null when the code names no product; the product's count row is not
    // looked at.
    const Resolved* resolve(const QString& itemCode);
    const Resolved& remember(const QString& code, FoundBy foundBy, const QString& product,
                             const QString& grade, int productsWithCode = 0);
    // The distinct products that a search's rows name, from the current row on; `grade` is -1
    // for a search that names products only.
    int productsFrom(db::Statement& query, int product, int grade);
    // A product and grade as the engine compares keys: one text for keys the server holds equal.
    QString keyOf(const QString& product, const QString& grade) const;
    // Resolves the distinct codes of a file in batches, one search at a time.
    void resolveAll(std::span<const std::optional<Reading>> readings);

    // The count row of one product and grade, read once a run: a question between runs, and a
    // row that another workstation created while the run read ahead.
    Known& countRow(Known& known);
    // What a count row read holds, Processado at column `at` and Quantidade after it: the count
    // a reading adds to is that of an open row in an inventory run, 0 otherwise.
    static void takeCountRow(Known& known, const db::Statement& query, int at, bool counting);
    static QString insertFailure(const QString& CodProd, const QString& serverMessage);

    // What the lines of the file need, read in batches before the first line.
    void readAhead(std::span<const std::optional<Reading>> readings, Mode mode);
    // Reads ahead so that a failure is the first line's, in file order, that fails: the lines
    // before the one a failed read names are read again, and may fail first as they are decided.
    void readAheadInFileOrder(const Readings& readings, Mode mode);
    // Runs one batch: should it fail, the failure is `line`'s.
    template <typename Batch> void forLine(int line, Batch&& batch);
    void createCountRows(const std::vector<Known*>& products);
    static void bindCountRows(db::Statement& query, RunValues& entries,
                              std::span<Known* const> rows, bool update);
    // Keeps the write a line decided until the writes are made.
    void keepWrite(Known& known, const LineDecision& decision);
    void writeSets();
    void writeCountRows();
    void writeOpeningStocks();
    // The text the dialect compares: a row a batch finds answers the codes it equals there.
    QString compared(const QString& text) const;

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    EntryValues m_entries;
    RejectionTargets m_rejections;
    RunObserver* m_observer;
    bool m_dryRun = false;
    std::chrono::milliseconds m_turnWaitLimit = db::TurnWaitLimit;
    Mode m_mode = Mode::Inventory;
    int m_failedLine = 0;
    std::unique_ptr<db::StatementWatchdog> m_watchdog;
    std::unique_ptr<Run> m_run;
};

} // namespace conversion
