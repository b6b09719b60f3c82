#include "ConversionEngine.h"

#include "EngineRun.h"
#include "RejectionList.h"

#include <exception>

namespace conversion {

namespace {
const QString ReasonProcessed = QStringLiteral("Produto já processado.");
const QString ReasonNotFound = QStringLiteral("Referência não encontrada.");
const QString ReasonHasMovements = QStringLiteral("Existe movimentos com este produto.");

// Ends what a run holds when it goes out of scope.
template <typename End> struct AtScopeEnd {
    End end;
    ~AtScopeEnd() { end(); }
};
template <typename End> AtScopeEnd(End) -> AtScopeEnd<End>;

// The product part of a line's report.
void fillFound(LineReport& line, FoundBy foundBy, const QString& codProd, const QString& codGrade) {
    line.foundBy = foundBy;
    line.CodProd = codProd;
    line.CodGrade = codGrade;
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
    m_failedLine = 0;
    db::TurnWait turn{m_entries.companyCode, m_turnWaitLimit, {}};
    if (m_observer)
        turn.waiting = [this](int seconds) {
            m_observer->waitingForTurn(seconds);
        };
    m_run = std::make_unique<Run>(m_database, m_dialect, m_entries, m_watchdog.get(), &turn);
    if (m_observer)
        m_observer->runBegan();
}

// What the run learnt goes with it; the next run, and a question between runs, ask afresh.
void ConversionEngine::endRun() {
    m_run.reset();
}

ConversionEngine::Run& ConversionEngine::run() {
    if (!m_run)
        m_run = std::make_unique<Run>(m_database, m_dialect, m_entries, m_watchdog.get(), nullptr);
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

void ConversionEngine::closeQueries() {
    if (m_run)
        m_run->statements.closeAll();
}

ConversionEngine::Outcome ConversionEngine::runLines(const QStringList& lines, Mode mode) {
    m_rejections.rejectionsFlag = false;
    const qsizetype count = lines.size();
    if (count == 0)
        return Outcome::Completed;

    startRun(mode);
    const AtScopeEnd finish{[this] {
        endRun();
    }};
    Run& current = *m_run;
    // A failure that no batch claimed belongs to the line being decided.
    int deciding = 0;
    const AtScopeEnd blame{[&] {
        if (std::uncaught_exceptions() > 0 && m_failedLine == 0)
            m_failedLine = deciding;
    }};
    try {
        Readings readings;
        readings.reserve(static_cast<size_t>(count));
        for (const QString& text : lines)
            readings.push_back(splitReading(text));
        readAheadInFileOrder(readings, mode);
        for (qsizetype i = 0; i < count; ++i) {
            const int number = static_cast<int>(i + 1);
            if (m_observer)
                m_observer->lineStarted(number);
            LineReport line;
            line.number = number;
            deciding = number;
            if (auto& reading = readings[static_cast<size_t>(i)]) {
                line.itemCode = std::move(reading->itemCode);
                line.quantityText = std::move(reading->quantityText);
                try {
                    if (number == current.readFailureLine)
                        std::rethrow_exception(current.readFailure);
                    decideLine(line);
                } catch (const db::Error&) {
                    // The writes of the lines before come first, as if each line were written as
                    // it is decided: a write they can't make is what the clerk hears of.
                    writeSets();
                    throw;
                }
            }
            deciding = 0;
            lineDone(mode, line);
            if (m_observer && m_observer->stopRequested())
                return Outcome::Stopped;
        }
        writeSets();
        closeQueries();
        if (m_observer && !m_dryRun)
            m_observer->beforeCommit();
    } catch (const OpeningStockClash& clash) {
        current.closeQuietly();
        try {
            current.transaction->rollbackAfter(clash);
        } catch (const OpeningStockClash&) {
            clash.explain(m_database, m_dialect, m_failedLine);
        }
    } catch (const db::Error& error) {
        current.closeQuietly();
        current.transaction->rollbackAfter(error);
    }
    // The guard rolls a dry run back.
    if (!m_dryRun)
        current.transaction->commit();
    return Outcome::Completed;
}

void ConversionEngine::lineDone(Mode mode, const LineReport& line) {
    if (line.rejected()) {
        RejectionList& list =
            mode == Mode::Inventory ? m_rejections.inventory : m_rejections.openingStock;
        // The inventory list names a code that is not found once, however often it is read.
        list.add(line.itemCode, reasonText(line.outcome),
                 mode == Mode::Inventory && line.outcome == LineOutcome::NotFound);
    }
    if (m_observer)
        m_observer->lineDone(line);
}

ConversionEngine::Outcome ConversionEngine::ConvertInventory(const QStringList& lines) {
    return runLines(lines, Mode::Inventory);
}

ConversionEngine::Outcome ConversionEngine::ConvertOpeningStock(const QStringList& lines) {
    return runLines(lines, Mode::OpeningStock);
}

void ConversionEngine::decideLine(LineReport& line) {
    const Resolved* found = resolve(line.itemCode);
    if (!found) {
        line.outcome = LineOutcome::NotFound;
        return;
    }
    // A bad date fails the first line that finds a product.
    values().requireDate();
    Known& known = *found->known;
    fillFound(line, found->foundBy, known.CodProd, known.CodGrade);
    line.productsWithCode = found->productsWithCode;
    const LineDecision decision = decideReading(m_mode == Mode::Inventory, known.state,
                                                line.itemCode, line.quantityText, line.number);
    line.outcome = decision.outcome;
    if (decision.write == RowWrite::None)
        return;
    line.quantity = decision.quantity;
    line.stockOnRecord = known.state.stock.stock;
    line.cost = known.state.stock.cost;
    line.countBefore = decision.countBefore;
    line.countAfter = decision.countAfter;
    line.rowCreated = decision.write == RowWrite::Create;
    keepWrite(known, decision);
    follow(known.state, decision);
}

ProductKey ConversionEngine::ResolveProduct(const QString& itemCode) {
    // Between runs nothing is kept: each question asks the database and leaves no statement.
    const bool between = !m_run;
    const AtScopeEnd forget{[this, between] {
        if (between)
            endRun();
    }};
    const Resolved* found = resolve(itemCode);
    if (!found)
        return {};
    const Known& known = countRow(*found->known);
    if (known.state.rowExists && countRowIsProcessed(known.state.processado))
        return {QString::fromLatin1(db::value::ProcessedMarker), known.CodGrade};
    return {known.CodProd, known.CodGrade};
}

} // namespace conversion
