#include "ConversionEngine.h"

#include "CollectorFile.h"
#include "Quantity.h"
#include "RejectionList.h"
#include "db/Errors.h"
#include "db/Names.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <cmath>

namespace conversion {

namespace {
const QString ReasonProcessed = QStringLiteral("Produto já processado.");
const QString ReasonNotFound = QStringLiteral("Referência não encontrada.");
const QString ReasonHasMovements = QStringLiteral("Existe movimentos com este produto.");

// A product kept without grades (Grade 1 or 3) is counted under grade "0000"; one kept by
// grade can't be placed by a reference, which names no grade.
bool gradeRuleAdmits(int grade) {
    return grade == 1 || grade == 3;
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
        throw db::ConversionError(
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

// The statements of a run, prepared once, with the positions of their parameters.
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

    Statements(const QSqlDatabase& database, const db::Dialect& dialect,
               db::StatementWatchdog* watchdog)
        : barcode(prepare(database, dialect, db::sql::BarcodeSearch, watchdog))
        , references{prepare(database, dialect, db::sql::ReferenceSearch1, watchdog),
                     prepare(database, dialect, db::sql::ReferenceSearch2, watchdog),
                     prepare(database, dialect, db::sql::ReferenceSearch3, watchdog)}
        , countRow(prepare(database, dialect, db::sql::InventoryRowExists, watchdog))
        , countRowAt(*countRow)
        , stock(prepare(database, dialect, db::sql::ReadStockAndCost, watchdog))
        , update(prepare(database, dialect, db::sql::UpdateInventoryRow, watchdog))
        , updateAt(*update)
        , insert(prepare(database, dialect, db::sql::InsertInventoryRow, watchdog))
        , insertAt(*insert)
        , movements(prepare(database, dialect, db::sql::MovementLookup, watchdog))
        , openingStock(prepare(database, dialect, db::sql::InsertOpeningStock, watchdog))
        , openingStockAt(*openingStock)
        , openingMovement(prepare(database, dialect, db::sql::InsertOpeningMovement, watchdog))
        , openingMovementAt(*openingMovement) {}

    static std::unique_ptr<db::Statement> prepare(const QSqlDatabase& database,
                                                  const db::Dialect& dialect, const char* text,
                                                  db::StatementWatchdog* watchdog) {
        return db::Statement::prepare(database, dialect, text, watchdog);
    }

    std::unique_ptr<db::Statement> barcode;
    std::unique_ptr<db::Statement> references[3];
    std::unique_ptr<db::Statement> countRow;
    RowKeyAt countRowAt;
    // Bound by position, first to third: company, product, grade.
    std::unique_ptr<db::Statement> stock;
    std::unique_ptr<db::Statement> update;
    CountWriteAt updateAt;
    std::unique_ptr<db::Statement> insert;
    CountWriteAt insertAt;
    // Bound by position, first to third, as text.
    std::unique_ptr<db::Statement> movements;
    std::unique_ptr<db::Statement> openingStock;
    OpeningStockAt openingStockAt;
    std::unique_ptr<db::Statement> openingMovement;
    OpeningMovementAt openingMovementAt;
};

// The entries and the texts made of them, worked out once a run.
struct ConversionEngine::RunValues {
    RunValues(const EntryValues& entries, const db::Dialect& dialect)
        : company(entries.companyCode)
        , cause(entries.causeCode)
        , stamps(db::Regional::locale()) {
        // A bad date fails only a reading that gets as far as needing it.
        try {
            date = db::texts::toDate(entries.dateText, db::Clock::today());
        } catch (const db::ConversionError& error) {
            dateError = error.message();
            return;
        }
        dateValue = db::BoundValue(dialect.date(date));
        midnight = db::BoundValue(dialect.dateTime(atMidnight(date)));
        document = db::BoundValue(db::texts::inventoryDocumentNumber(date));
    }

    void requireDate() const {
        if (!dateError.isNull())
            throw db::ConversionError(dateError);
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
    // The count a reading adds to: Quantidade of an open row, 0 otherwise.
    double count = 0.0;
    std::optional<StockAndCost> stock;
    std::optional<bool> moved;
};

struct ConversionEngine::Resolved {
    FoundBy foundBy = FoundBy::None;
    // Null when the code names no product.
    Known* known = nullptr;
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
    if (const auto* known = dynamic_cast<const db::Error*>(&error))
        return failedRunMessage(known->message());
    return failedRunMessage(QString::fromLocal8Bit(error.what()));
}

void ConversionEngine::startRun() {
    m_codes.clear();
    m_known.clear();
    m_values.reset();
    m_statements.reset();
    // Prepared inside the run's transaction: on some engines a statement prepared outside it
    // reads in a transaction of its own and would miss the movements this run writes.
    statements();
}

ConversionEngine::Statements& ConversionEngine::statements() {
    if (!m_statements)
        m_statements = std::make_unique<Statements>(m_database, m_dialect, m_watchdog.get());
    return *m_statements;
}

ConversionEngine::RunValues& ConversionEngine::values() {
    if (!m_values)
        m_values = std::make_unique<RunValues>(m_entries, m_dialect);
    return *m_values;
}

template <typename PostLine>
ConversionEngine::Outcome ConversionEngine::runLines(const QStringList& lines, Mode mode,
                                                     PostLine&& postLine) {
    m_rejections.rejectionsFlag = false;
    const qsizetype count = lines.size();
    if (count == 0)
        return Outcome::Completed;

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
    startRun();

    try {
        for (qsizetype i = 0; i < count; ++i) {
            const int number = static_cast<int>(i + 1);
            if (m_observer) {
                m_observer->lineStarted(number);
                // The status label belongs to the inventory tab.
                if (mode == Mode::Inventory)
                    m_observer->statusChanged(QStringLiteral("Executando linha ") +
                                              QString::number(number) + u'.');
                m_observer->letMessagesRun();
            }
            LineReport line;
            line.number = number;
            if (auto reading = collector::splitReading(lines.at(i))) {
                line.itemCode = std::move(reading->itemCode);
                line.quantityText = std::move(reading->quantityText);
                postLine(line);
            }
            lineDone(mode, line);
            if (m_observer && m_observer->stopRequested())
                return Outcome::Stopped;
        }
        closeQueries();
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

// Closes every statement, then reports the first that failed to close.
void ConversionEngine::closeQueries() {
    if (!m_statements)
        return;
    Statements& all = *m_statements;
    std::exception_ptr first;
    for (db::Statement* statement :
         {all.barcode.get(), all.references[0].get(), all.references[1].get(),
          all.references[2].get(), all.countRow.get(), all.stock.get(), all.update.get(),
          all.insert.get(), all.movements.get(), all.openingStock.get(),
          all.openingMovement.get()}) {
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

namespace {
// The quantity of a reading about to be posted; a bad one names its line.
double quantityOf(const LineReport& line) {
    return collector::parseQuantity(line.quantityText, db::Regional::locale(), line.number);
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
        const double counted = known.count;
        if (known.rowExists) {
            requireFiniteTotal(line.itemCode, counted + quantity);
            // A row that is neither open nor processed takes no more readings; the clerk must
            // hear of it.
            if (!UpdateInventoryRow(known, quantity)) {
                line.outcome = LineOutcome::Processed;
                return;
            }
        } else {
            InsertInventoryRow(known, quantity);
        }
        line.outcome = LineOutcome::Posted;
        line.quantity = quantity;
        line.stockOnRecord = stock.stock;
        line.countBefore = counted;
        line.countAfter = counted + quantity;
    });
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
        line.quantity = quantity;
        line.stockOnRecord = stock.stock;
    });
}

ProductKey ConversionEngine::ResolveProduct(const QString& itemCode) {
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
    if (const auto cached = m_codes.constFind(code); cached != m_codes.constEnd())
        return cached->known ? &*cached : nullptr;

    Statements& run = statements();
    const db::BoundValue searched(code);
    QString product;
    QString grade;
    FoundBy foundBy = FoundBy::None;
    run.barcode->bind(0, searched);
    if (run.barcode->open()) {
        product = run.barcode->text(0);
        grade = run.barcode->text(1);
        foundBy = FoundBy::Barcode;
    } else {
        for (const auto& [search, by] :
             {std::pair{run.references[0].get(), FoundBy::Reference},
              std::pair{run.references[1].get(), FoundBy::ManufacturerReference},
              std::pair{run.references[2].get(), FoundBy::OldReference}}) {
            search->bind(0, searched);
            const bool hit = search->open();
            const bool admitted = hit && gradeRuleAdmits(search->integer(1));
            if (admitted) {
                product = search->text(0);
                grade = QString::fromLatin1(db::value::NoGrade);
                foundBy = by;
            }
            search->close();
            if (hit)
                break;
        }
    }
    run.barcode->close();

    Resolved resolved;
    if (!product.isEmpty()) {
        resolved.foundBy = foundBy;
        Known& known = m_known[product + QChar(0) + grade];
        if (known.CodProd.isNull()) {
            known.CodProd = product;
            known.CodGrade = grade;
            known.product = db::BoundValue(product);
            known.grade = db::BoundValue(grade);
        }
        resolved.known = &known;
    }
    const auto kept = m_codes.insert(code, resolved);
    return kept->known ? &*kept : nullptr;
}

ConversionEngine::Known& ConversionEngine::countRow(Known& known) {
    if (known.rowRead)
        return known;
    RunValues& entries = values();
    entries.requireDate();
    Statements& run = statements();
    db::Statement& query = *run.countRow;
    const Statements::RowKeyAt& at = run.countRowAt;
    query.bind(at.company, entries.company);
    query.bind(at.date, entries.dateValue);
    query.bind(at.document, entries.document);
    query.bind(at.product, known.product);
    query.bind(at.grade, known.grade);
    known.rowExists = query.open();
    if (known.rowExists) {
        known.processado = query.text(0);
        known.count =
            known.processado == QLatin1String(db::value::NotProcessed) ? query.number(1) : 0.0;
    }
    query.close();
    known.rowRead = true;
    return known;
}

StockAndCost ConversionEngine::ReadStockAndCost(Known& known) {
    if (known.stock)
        return *known.stock;
    db::Statement& query = *statements().stock;
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
    db::Statement& query = *statements().movements;
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
    Statements& run = statements();
    // The stamp's date and time come from one reading of the clock, so they never straddle
    // midnight.
    bindCountRow(*run.update, run.updateAt, entries.stampNow(), quantity, *known.stock,
                 entries.company, entries.dateValue, entries.document, entries.cause, known.product,
                 known.grade);
    if (run.update->execute() == 0)
        return false;
    known.count += quantity;
    return true;
}

void ConversionEngine::InsertInventoryRow(Known& known, double quantity) {
    RunValues& entries = values();
    Statements& run = statements();
    bindCountRow(*run.insert, run.insertAt, entries.stampNow(), quantity, *known.stock,
                 entries.company, entries.dateValue, entries.document, entries.cause, known.product,
                 known.grade);
    run.insert->execute();
    known.rowExists = true;
    known.processado = QString::fromLatin1(db::value::NotProcessed);
    known.count = quantity;
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
        Statements& run = statements();
        db::Statement& query = *run.openingStock;
        const Statements::OpeningStockAt& at = run.openingStockAt;
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
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(known, error.message()));
    }
}

void ConversionEngine::InsertOpeningMovement(Known& known, double quantity) {
    try {
        RunValues& entries = values();
        Statements& run = statements();
        db::Statement& query = *run.openingMovement;
        const Statements::OpeningMovementAt& at = run.openingMovementAt;
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
