#include "ConversionEngine.h"

#include "CollectorFile.h"
#include "EntryTexts.h"
#include "Errors.h"
#include "Quantity.h"
#include "RejectionList.h"
#include "db/Names.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <cmath>
#include <unordered_map>

namespace conversion {

namespace {
const QString ReasonProcessed = QStringLiteral("Produto já processado.");
const QString ReasonNotFound = QStringLiteral("Referência não encontrada.");
const QString ReasonHasMovements = QStringLiteral("Existe movimentos com este produto.");

// A product kept without grades (Grade 1 or 3) is counted under grade "0000"; one kept by
// grade can't be placed by a reference, which names no grade.
// Grade is read as a number, so that one stored as 1.5 or as text is refused alike on every
// driver.
bool gradeRuleAdmits(double grade) {
    return grade == 1.0 || grade == 3.0;
}

QDateTime atMidnight(const QDate& date) {
    return QDateTime(date, QTime(0, 0));
}

// A code that no searched column can hold matches nothing, and is not sent: some engines refuse
// an overlong one as an index key, and a NUL breaks the statement text on others.
bool searchable(const QString& itemCode) {
    return !itemCode.contains(QChar(0)) && itemCode.toUcs4().size() <= db::SearchedCodeWidth;
}

// Some engines store an infinite count and others refuse it; either way the run must end as it
// does for a bad quantity.
void requireFiniteTotal(const QString& itemCode, double total) {
    if (!std::isfinite(total))
        throw ConversionError(
            QStringLiteral("O total da contagem do ítem \"%1\" passaria do maior número "
                           "que se pode gravar.")
                .arg(db::texts::quotedInput(itemCode)));
}
} // namespace

QString reasonText(LineOutcome outcome) {
    switch (outcome) {
    case LineOutcome::NotFound:
        return ReasonNotFound;
    case LineOutcome::Processed:
        return ReasonProcessed;
    case LineOutcome::HasMovements:
        return ReasonHasMovements;
    case LineOutcome::Posted:
    case LineOutcome::NoReading:
        break;
    }
    return {};
}

// The statements of a run, each prepared when the run first needs it, inside the run's
// transaction, with the positions of its parameters. A database without the tables of one mode
// still takes runs of the other, and a missing table fails the line that uses it.
struct ConversionEngine::Statements {
    // The five columns that name a count row.
    struct RowKeyAt {
        explicit RowKeyAt(const db::Statement& statement)
            : company(statement.position(db::param::CodEmpresa))
            , date(statement.position(db::param::DataInv))
            , document(statement.position(db::param::Documento))
            , product(statement.position(db::param::CodProd))
            , grade(statement.position(db::param::CodGrade)) {}
        int company, date, document, product, grade;
    };
    struct CountWriteAt : RowKeyAt {
        explicit CountWriteAt(const db::Statement& statement)
            : RowKeyAt(statement)
            , stamp(statement.position(db::param::DataHora))
            , quantity(statement.position(db::param::Quantidade))
            , kardex(statement.position(db::param::QuantKardex))
            , cause(statement.position(db::param::CodCausa))
            , cost(statement.position(db::param::PrecoCusto)) {}
        int stamp, quantity, kardex, cause, cost;
    };
    struct OpeningStockAt {
        explicit OpeningStockAt(const db::Statement& statement)
            : company(statement.position(db::param::UpperCodEmpresa))
            , product(statement.position(db::param::UpperCodProd))
            , grade(statement.position(db::param::UpperCodGrade))
            , start(statement.position(db::param::DataInicio))
            , cost(statement.position(db::param::PrecoMedio))
            , quantity(statement.position(db::param::UpperQuantidade))
            , stamp(statement.position(db::param::UpperDataHora)) {}
        int company, product, grade, start, cost, quantity, stamp;
    };
    struct OpeningMovementAt {
        explicit OpeningMovementAt(const db::Statement& statement)
            : company(statement.position(db::param::UpperCodEmpresa))
            , product(statement.position(db::param::UpperCodProd))
            , grade(statement.position(db::param::UpperCodGrade))
            , moment(statement.position(db::param::DtMovimento))
            , type(statement.position(db::param::TipoMov))
            , document(statement.position(db::param::UpperDocumento))
            , quantity(statement.position(db::param::UpperQuantidade))
            , cost(statement.position(db::param::PrecoMedio)) {}
        int company, product, grade, moment, type, document, quantity, cost;
    };
    // Bound by position only.
    struct NoPositions {
        explicit NoPositions(const db::Statement&) {}
    };

    template <typename At> struct Slot {
        std::unique_ptr<db::Statement> statement;
        std::optional<At> at;
    };
    template <typename At> struct Use {
        db::Statement& query;
        const At& at;
    };

    Statements(const QSqlDatabase& database, const db::Dialect& dialect,
               db::StatementWatchdog* watchdog)
        : m_database(database)
        , m_dialect(dialect)
        , m_watchdog(watchdog)
        , m_lockedCountRow(QByteArray(db::sql::InventoryRowExists) + dialect.rowLock())
        , m_insertUnlessCreated(QByteArray(db::sql::InsertInventoryRow) + dialect.unlessCreated()) {
    }

    db::Statement& barcode() { return use(m_barcode, db::sql::BarcodeSearch).query; }
    db::Statement& reference(int search) {
        static const char* const texts[] = {db::sql::ReferenceSearch1, db::sql::ReferenceSearch2,
                                            db::sql::ReferenceSearch3};
        return use(m_references[search], texts[search]).query;
    }
    // The inventory run's read of a count row holds the row until the run ends.
    Use<RowKeyAt> countRow() { return use(m_countRow, m_lockedCountRow.constData()); }
    Use<RowKeyAt> processedCheck() { return use(m_processedCheck, db::sql::ProcessedCheck); }
    // Bound by position, first to third: company, product, grade.
    db::Statement& stock() { return use(m_stock, db::sql::ReadStockAndCost).query; }
    Use<CountWriteAt> update() { return use(m_update, db::sql::UpdateInventoryRow); }
    Use<CountWriteAt> insert() { return use(m_insert, m_insertUnlessCreated.constData()); }
    // Bound by position, first to third, as text.
    db::Statement& movements() { return use(m_movements, db::sql::MovementLookup).query; }
    Use<OpeningStockAt> openingStock() { return use(m_openingStock, db::sql::InsertOpeningStock); }
    Use<OpeningMovementAt> openingMovement() {
        return use(m_openingMovement, db::sql::InsertOpeningMovement);
    }

    // Closes every statement prepared so far, then reports the first that failed to close.
    void closeAll() {
        std::exception_ptr first;
        for (db::Statement* statement : m_prepared) {
            try {
                statement->close();
            } catch (const db::Error&) {
                if (!first)
                    first = std::current_exception();
            }
        }
        if (first)
            std::rethrow_exception(first);
    }

private:
    template <typename At> Use<At> use(Slot<At>& slot, const char* text) {
        if (!slot.statement) {
            auto statement = db::Statement::prepare(m_database, m_dialect, text, m_watchdog);
            slot.at.emplace(*statement);
            m_prepared.push_back(statement.get());
            slot.statement = std::move(statement);
        }
        return {*slot.statement, *slot.at};
    }

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    db::StatementWatchdog* m_watchdog;
    const QByteArray m_lockedCountRow;
    const QByteArray m_insertUnlessCreated;
    std::vector<db::Statement*> m_prepared;
    Slot<NoPositions> m_barcode;
    Slot<NoPositions> m_references[3];
    Slot<RowKeyAt> m_countRow;
    Slot<RowKeyAt> m_processedCheck;
    Slot<NoPositions> m_stock;
    Slot<CountWriteAt> m_update;
    Slot<CountWriteAt> m_insert;
    Slot<NoPositions> m_movements;
    Slot<OpeningStockAt> m_openingStock;
    Slot<OpeningMovementAt> m_openingMovement;
};

// The entries and the texts made of them, worked out once a run.
struct ConversionEngine::RunValues {
    RunValues(const EntryValues& entries, const db::Dialect& dialect)
        : company(entries.companyCode)
        , cause(entries.causeCode)
        , stamps(db::Regional::locale()) {
        // A bad date fails only a reading that gets as far as needing it.
        try {
            date = toDate(entries.dateText, db::Clock::today());
        } catch (const ConversionError& error) {
            dateError = error.message();
            return;
        }
        dateValue = db::BoundValue(dialect.date(date));
        midnight = db::BoundValue(dialect.dateTime(atMidnight(date)));
        document = db::BoundValue(db::texts::inventoryDocumentNumber(date));
    }

    void requireDate() const {
        if (!dateError.isNull())
            throw ConversionError(dateError);
    }

    // The stamp for a statement about to run, from one reading of the clock.
    const db::BoundValue& stampNow() {
        const db::LocalMoment now = db::Clock::localNow();
        const QString& text = stamps.at(now.date, now.time);
        if (text != stamp.value.toString())
            stamp = db::BoundValue(text);
        return stamp;
    }

    // The movement document number of today's date.
    const db::BoundValue& movementDocument() {
        const QDate today = db::Clock::localNow().date;
        if (today != movementDay) {
            movementDay = today;
            movementDocumentValue = db::BoundValue(db::texts::movementDocumentNumber(today));
        }
        return movementDocumentValue;
    }

    db::BoundValue company;
    db::BoundValue cause;
    QDate date;
    QString dateError;
    db::BoundValue dateValue;
    db::BoundValue midnight;
    db::BoundValue document;
    db::BoundValue movementType{QString::fromLatin1(db::value::OpeningMovementType)};
    db::texts::StampTexts stamps;
    db::BoundValue stamp;
    QDate movementDay;
    db::BoundValue movementDocumentValue;
};

// What the run knows of one product and grade once it has asked.
struct ConversionEngine::Known {
    QString CodProd;
    QString CodGrade;
    db::BoundValue product;
    db::BoundValue grade;
    bool rowRead = false;
    bool rowExists = false;
    QString processado;
    // What the count row holds, which a reading adds to: Quantidade of an open row, 0 otherwise.
    // A null Quantidade reads 0 and stays null, as the update leaves it.
    double count = 0.0;
    bool countIsNull = false;
    std::optional<StockAndCost> stock;
    std::optional<bool> moved;
};

// An opening stock row that the insert found already there: either another workstation has just
// posted the product's opening stock, or the row was there without a movement before the run.
class ConversionEngine::OpeningStockClash : public db::DatabaseError {
public:
    OpeningStockClash(const QString& insertFailure, const Known& known, const QString& company)
        : db::DatabaseError(insertFailure)
        , m_company(company)
        , m_product(known.CodProd)
        , m_grade(known.CodGrade) {}

    // Asked once the run is undone, afresh: the other workstation's movement is committed by
    // the time the insert is refused, but a run that can't see it (a snapshot) or can't ask any
    // more (a transaction the refusal broke) can't tell.
    [[noreturn]] void explain(const QSqlDatabase& database, const db::Dialect& dialect) const {
        bool moved = false;
        try {
            db::Query lookup(database, dialect);
            lookup.setText(QString::fromLatin1(db::sql::MovementLookup));
            lookup.bindTextAt(0, m_company);
            lookup.bindTextAt(1, m_product);
            lookup.bindTextAt(2, m_grade);
            lookup.open();
            moved = !lookup.isEmpty();
            lookup.close();
        } catch (const db::Error&) {
        }
        if (moved)
            throw db::LockTimeout(db::otherWorkstationText());
        throw db::Error(message());
    }

private:
    QString m_company;
    QString m_product;
    QString m_grade;
};

struct ConversionEngine::Resolved {
    FoundBy foundBy = FoundBy::None;
    // Null when the code names no product.
    Known* known = nullptr;
};

struct ConversionEngine::RunMemory {
    std::unordered_map<QString, Resolved> codes;
    std::unordered_map<QString, Known> known;
};

// Declared so that the statements go first: the values they bind outlive them.
struct ConversionEngine::Run {
    Run(const QSqlDatabase& database, const db::Dialect& dialect, const EntryValues& entries,
        db::StatementWatchdog* watchdog)
        : values(entries, dialect)
        , statements(database, dialect, watchdog) {}

    RunMemory memory;
    RunValues values;
    Statements statements;
};

ConversionEngine::ConversionEngine(const QSqlDatabase& database, const db::Dialect& dialect,
                                   EntryValues entries, RejectionTargets rejections,
                                   RunObserver* observer)
    : m_database(database)
    , m_dialect(dialect)
    , m_entries(std::move(entries))
    , m_rejections(rejections)
    , m_observer(observer) {
    if (auto cancel = dialect.canceller(database))
        m_watchdog = std::make_unique<db::StatementWatchdog>(std::move(cancel), db::LockWaitLimit);
}

ConversionEngine::~ConversionEngine() = default;

QString ConversionEngine::failedRunMessage(const QString& errorMessage) {
    return errorMessage + QStringLiteral("\rNenhuma leitura do arquivo foi gravada.");
}

QString ConversionEngine::failedRunMessage(const std::exception& error) {
    if (const auto* unconfirmed = dynamic_cast<const db::CommitUnconfirmed*>(&error))
        return unconfirmed->message() +
               QStringLiteral("\rNão foi possível confirmar se as leituras do arquivo foram "
                              "gravadas. Confira o inventário antes de converter o arquivo de "
                              "novo.");
    return failedRunMessage(db::messageOf(error));
}

void ConversionEngine::startRun(Mode mode) {
    endRun();
    m_mode = mode;
    m_running = true;
}

// The statements end with the run, after its transaction: a connection can then close while the
// engine lives, and no statement is freed inside a transaction that a failure has broken. What
// the run learnt goes with them; the next run, and a question between runs, ask afresh.
void ConversionEngine::endRun() {
    m_run.reset();
    m_running = false;
}

ConversionEngine::Run& ConversionEngine::run() {
    if (!m_run)
        m_run = std::make_unique<Run>(m_database, m_dialect, m_entries, m_watchdog.get());
    return *m_run;
}

ConversionEngine::Statements& ConversionEngine::statements() {
    return run().statements;
}

ConversionEngine::RunMemory& ConversionEngine::memory() {
    return run().memory;
}

ConversionEngine::RunValues& ConversionEngine::values() {
    return run().values;
}

namespace {
// Ends what a run holds when it goes out of scope.
template <typename End> struct AtScopeEnd {
    End end;
    ~AtScopeEnd() { end(); }
};
template <typename End> AtScopeEnd(End) -> AtScopeEnd<End>;
} // namespace

template <typename PostLine>
ConversionEngine::Outcome ConversionEngine::runLines(const QStringList& lines, Mode mode,
                                                     PostLine&& postLine) {
    m_rejections.rejectionsFlag = false;
    const qsizetype count = lines.size();
    if (count == 0)
        return Outcome::Completed;

    // Declared before the guard, so the statements go after the transaction has ended.
    const AtScopeEnd finish{[this] {
        endRun();
    }};
    db::TransactionGuard transaction(m_database, m_dialect);
    // Declared after the guard, so the statements are closed before it rolls back. A run that
    // is failing already reports its first error, not one from closing.
    struct Closer {
        ConversionEngine& engine;
        void quietly() {
            try {
                engine.closeQueries();
            } catch (const db::Error&) {
            }
        }
        ~Closer() { quietly(); }
    } closer{*this};
    startRun(mode);

    try {
        for (qsizetype i = 0; i < count; ++i) {
            const int number = static_cast<int>(i + 1);
            if (m_observer)
                m_observer->lineStarted(number);
            LineReport line;
            line.number = number;
            if (auto reading = splitReading(lines.at(i))) {
                line.itemCode = std::move(reading->itemCode);
                line.quantityText = std::move(reading->quantityText);
                postLine(line);
            }
            lineDone(mode, line);
            if (m_observer && m_observer->stopRequested())
                return Outcome::Stopped;
        }
        closeQueries();
        if (m_observer && !m_dryRun)
            m_observer->beforeCommit();
    } catch (const OpeningStockClash& clash) {
        closer.quietly();
        try {
            transaction.rollbackAfter(clash);
        } catch (const OpeningStockClash&) {
            clash.explain(m_database, m_dialect);
        }
    } catch (const db::Error& error) {
        closer.quietly();
        transaction.rollbackAfter(error);
    }
    // The guard rolls a dry run back.
    if (!m_dryRun)
        transaction.commit();
    return Outcome::Completed;
}

void ConversionEngine::lineDone(Mode mode, const LineReport& line) {
    if (line.rejected()) {
        RejectionList& list =
            mode == Mode::Inventory ? m_rejections.inventory : m_rejections.openingStock;
        // The inventory list names a code that is not found once, however often it is read.
        if (mode != Mode::Inventory || line.outcome != LineOutcome::NotFound ||
            !list.alreadyListed(line.itemCode))
            list.add(line.itemCode, reasonText(line.outcome));
    }
    if (m_observer)
        m_observer->lineDone(line);
}

void ConversionEngine::closeQueries() {
    if (m_run)
        m_run->statements.closeAll();
}

namespace {
// The quantity of a reading about to be posted; a bad one names its line.
double quantityOf(const LineReport& line) {
    return parseQuantity(line.quantityText, db::Regional::locale(), line.number);
}

// The product part of a line's report.
void fillFound(LineReport& line, FoundBy foundBy, const QString& codProd, const QString& codGrade) {
    line.foundBy = foundBy;
    line.CodProd = codProd;
    line.CodGrade = codGrade;
}
} // namespace

ConversionEngine::Outcome ConversionEngine::ConvertInventory(const QStringList& lines) {
    return runLines(lines, Mode::Inventory, [&](LineReport& line) {
        const Resolved* found = resolve(line.itemCode);
        if (!found) {
            line.outcome = LineOutcome::NotFound;
            return;
        }
        Known& known = countRow(*found->known);
        fillFound(line, found->foundBy, known.CodProd, known.CodGrade);
        if (known.processado == QLatin1String(db::value::Processed)) {
            line.outcome = LineOutcome::Processed;
            return;
        }
        const double quantity = quantityOf(line);
        const StockAndCost stock = ReadStockAndCost(known);
        // A row that is neither open nor processed takes no more readings; the clerk must hear
        // of it.
        if (!postCount(known, quantity, line)) {
            line.outcome = LineOutcome::Processed;
            return;
        }
        line.outcome = LineOutcome::Posted;
        line.quantity = quantity;
        line.stockOnRecord = stock.stock;
    });
}

bool ConversionEngine::postCount(Known& known, double quantity, LineReport& line) {
    if (!known.rowExists) {
        if (InsertInventoryRow(known, quantity)) {
            line.countBefore = 0.0;
            line.countAfter = quantity;
            line.rowCreated = true;
            return true;
        }
        // Another workstation has created the row since it was read: the reading adds to it.
        known.rowRead = false;
        countRow(known);
        if (!known.rowExists)
            throw db::LockTimeout(db::otherWorkstationText());
        if (known.processado == QLatin1String(db::value::Processed))
            return false;
    }
    const double before = known.count;
    if (!known.countIsNull)
        requireFiniteTotal(line.itemCode, before + quantity);
    if (!UpdateInventoryRow(known, quantity))
        return false;
    line.countBefore = before;
    line.countAfter = known.count;
    return true;
}

ConversionEngine::Outcome ConversionEngine::ConvertOpeningStock(const QStringList& lines) {
    return runLines(lines, Mode::OpeningStock, [&](LineReport& line) {
        const Resolved* found = resolve(line.itemCode);
        if (!found) {
            line.outcome = LineOutcome::NotFound;
            return;
        }
        Known& known = countRow(*found->known);
        fillFound(line, found->foundBy, known.CodProd, known.CodGrade);
        if (known.processado == QLatin1String(db::value::Processed)) {
            line.outcome = LineOutcome::Processed;
            return;
        }
        if (hasMovements(known)) {
            line.outcome = LineOutcome::HasMovements;
            return;
        }
        const double quantity = quantityOf(line);
        const StockAndCost stock = ReadStockAndCost(known);
        InsertOpeningStock(known, quantity);
        InsertOpeningMovement(known, quantity);
        // The product and grade has a movement now: a later reading of it is refused.
        known.moved = true;
        line.outcome = LineOutcome::Posted;
        line.rowCreated = true;
        line.quantity = quantity;
        line.stockOnRecord = stock.stock;
    });
}

ProductKey ConversionEngine::ResolveProduct(const QString& itemCode) {
    // Between runs nothing is kept: each question asks the database and leaves no statement.
    const AtScopeEnd forget{[this] {
        if (!m_running)
            endRun();
    }};
    const Resolved* found = resolve(itemCode);
    if (!found)
        return {};
    const Known& known = countRow(*found->known);
    if (known.processado == QLatin1String(db::value::Processed))
        return {QString::fromLatin1(db::value::ProcessedMarker), known.CodGrade};
    return {known.CodProd, known.CodGrade};
}

const ConversionEngine::Resolved* ConversionEngine::resolve(const QString& itemCode) {
    if (!searchable(itemCode))
        return nullptr;
    const QString code = db::texts::upperAscii(itemCode);
    RunMemory& kept = memory();
    if (const auto cached = kept.codes.find(code); cached != kept.codes.end())
        return cached->second.known ? &cached->second : nullptr;

    Statements& prepared = statements();
    const db::BoundValue searched(code);
    QString product;
    QString grade;
    FoundBy foundBy = FoundBy::None;
    db::Statement& barcode = prepared.barcode();
    barcode.bind(0, searched);
    if (barcode.open()) {
        product = barcode.text(0);
        grade = barcode.text(1);
        foundBy = FoundBy::Barcode;
    } else {
        // Relacionarefant is asked only for a code that neither reference finds.
        for (const auto& [search, by] :
             {std::pair{0, FoundBy::Reference}, std::pair{1, FoundBy::ManufacturerReference},
              std::pair{2, FoundBy::OldReference}}) {
            db::Statement& query = prepared.reference(search);
            query.bind(0, searched);
            const bool hit = query.open();
            const bool admitted = hit && gradeRuleAdmits(query.number(1));
            if (admitted) {
                product = query.text(0);
                grade = QString::fromLatin1(db::value::NoGrade);
                foundBy = by;
            }
            query.close();
            if (hit)
                break;
        }
    }
    barcode.close();

    Resolved resolved;
    if (!product.isEmpty()) {
        resolved.foundBy = foundBy;
        Known& known = kept.known[product + QChar(0) + grade];
        if (known.CodProd.isNull()) {
            known.CodProd = product;
            known.CodGrade = grade;
            known.product = db::BoundValue(product);
            known.grade = db::BoundValue(grade);
        }
        resolved.known = &known;
    }
    const Resolved& stored = kept.codes.insert_or_assign(code, resolved).first->second;
    return stored.known ? &stored : nullptr;
}

ConversionEngine::Known& ConversionEngine::countRow(Known& known) {
    if (known.rowRead)
        return known;
    RunValues& entries = values();
    entries.requireDate();
    // Only an inventory run adds to the count, and holds the row it reads until it ends.
    const bool counting = m_running && m_mode == Mode::Inventory;
    const auto [query, at] = counting ? statements().countRow() : statements().processedCheck();
    query.bind(at.company, entries.company);
    query.bind(at.date, entries.dateValue);
    query.bind(at.document, entries.document);
    query.bind(at.product, known.product);
    query.bind(at.grade, known.grade);
    known.rowExists = query.open();
    if (known.rowExists) {
        known.processado = query.text(0);
        const bool open = counting && known.processado == QLatin1String(db::value::NotProcessed);
        known.countIsNull = open && query.isNull(1);
        known.count = open ? query.number(1) : 0.0;
    }
    query.close();
    known.rowRead = true;
    return known;
}

StockAndCost ConversionEngine::ReadStockAndCost(Known& known) {
    if (known.stock)
        return *known.stock;
    db::Statement& query = statements().stock();
    query.bind(0, values().company);
    query.bind(1, known.product);
    query.bind(2, known.grade);
    StockAndCost result;
    if (query.open())
        result = {query.number(0), query.number(1)};
    query.close();
    known.stock = result;
    return result;
}

bool ConversionEngine::hasMovements(Known& known) {
    if (known.moved)
        return *known.moved;
    db::Statement& query = statements().movements();
    query.bind(0, values().company);
    query.bind(1, known.product);
    query.bind(2, known.grade);
    known.moved = query.open();
    query.close();
    return *known.moved;
}

namespace {
template <typename At>
void bindCountRow(db::Statement& query, const At& at, const db::BoundValue& stamp, double quantity,
                  const StockAndCost& stock, const db::BoundValue& company,
                  const db::BoundValue& date, const db::BoundValue& document,
                  const db::BoundValue& cause, const db::BoundValue& product,
                  const db::BoundValue& grade) {
    query.bind(at.stamp, stamp);
    query.bindFloat(at.quantity, quantity);
    query.bindFloat(at.kardex, stock.stock);
    query.bind(at.cause, cause);
    query.bindFloat(at.cost, stock.cost);
    query.bind(at.company, company);
    query.bind(at.date, date);
    query.bind(at.document, document);
    query.bind(at.product, product);
    query.bind(at.grade, grade);
}
} // namespace

bool ConversionEngine::UpdateInventoryRow(Known& known, double quantity) {
    RunValues& entries = values();
    const auto [query, at] = statements().update();
    // The stamp's date and time come from one reading of the clock, so they never straddle
    // midnight.
    bindCountRow(query, at, entries.stampNow(), quantity, *known.stock, entries.company,
                 entries.dateValue, entries.document, entries.cause, known.product, known.grade);
    if (query.executeCounted() == 0)
        return false;
    // Null plus a number stays null.
    if (!known.countIsNull)
        known.count += quantity;
    return true;
}

bool ConversionEngine::InsertInventoryRow(Known& known, double quantity) {
    RunValues& entries = values();
    const auto [query, at] = statements().insert();
    bindCountRow(query, at, entries.stampNow(), quantity, *known.stock, entries.company,
                 entries.dateValue, entries.document, entries.cause, known.product, known.grade);
    if (*m_dialect.unlessCreated()) {
        if (query.executeCounted() == 0)
            return false;
    } else {
        // The row was not there when the run read it: another workstation's run has created it
        // since, and this run can't add to a row it can't see.
        try {
            query.execute();
        } catch (const db::DuplicateKey&) {
            throw db::LockTimeout(db::otherWorkstationText());
        }
    }
    known.rowExists = true;
    known.processado = QString::fromLatin1(db::value::NotProcessed);
    known.count = quantity;
    known.countIsNull = false;
    return true;
}

QString ConversionEngine::insertFailure(const Known& known, const QString& serverMessage) {
    return QStringLiteral("Não gravou o ítem \"") + known.CodProd +
           QStringLiteral("\" no arquivo MvGeral, devido a ocorrência do seguinte erro:") +
           QLatin1Char('\r') + serverMessage;
}

// Both inserts run inside the run's own transaction, which commits when the last line is done.
void ConversionEngine::InsertOpeningStock(Known& known, double quantity) {
    try {
        RunValues& entries = values();
        const auto [query, at] = statements().openingStock();
        query.bind(at.company, entries.company);
        query.bind(at.product, known.product);
        query.bind(at.grade, known.grade);
        query.bind(at.start, entries.midnight);
        query.bindFloat(at.cost, known.stock->cost);
        query.bindFloat(at.quantity, quantity);
        query.bind(at.stamp, entries.stampNow());
        query.execute();
    } catch (const db::LockTimeout&) {
        throw;
    } catch (const db::DuplicateKey& error) {
        throw OpeningStockClash(insertFailure(known, error.message()), known,
                                m_entries.companyCode);
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(known, error.message()));
    }
}

void ConversionEngine::InsertOpeningMovement(Known& known, double quantity) {
    try {
        RunValues& entries = values();
        const auto [query, at] = statements().openingMovement();
        query.bind(at.company, entries.company);
        query.bind(at.product, known.product);
        query.bind(at.grade, known.grade);
        query.bind(at.moment, entries.midnight);
        query.bind(at.type, entries.movementType);
        query.bind(at.document, entries.movementDocument());
        query.bindFloat(at.quantity, quantity);
        query.bindFloat(at.cost, known.stock->cost);
        query.execute();
    } catch (const db::LockTimeout&) {
        throw;
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(known, error.message()));
    }
}

} // namespace conversion
