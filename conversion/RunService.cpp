#include "RunService.h"

#include "CollectorFile.h"
#include "Quantity.h"
#include "RejectionList.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QUuid>
#include <functional>
#include <optional>

namespace conversion {

namespace {

// Keeps the run's figures on the way to the caller's observer, and the line a failure comes from.
class Recorder final : public RunObserver {
public:
    Recorder(RunObserver* caller, RunResult& result, const RunRequest& request,
             std::function<void(const std::vector<journal::RowRecord>&)> writeJournal)
        : m_caller(caller)
        , m_result(result)
        , m_request(request)
        , m_rows(request.inventory)
        , m_writeJournal(std::move(writeJournal)) {}

    void lineStarted(int number) override {
        m_current = number;
        if (m_caller)
            m_caller->lineStarted(number);
    }
    bool stopRequested() override { return m_caller && m_caller->stopRequested(); }
    void waitingForTurn(int seconds) override {
        if (m_caller)
            m_caller->waitingForTurn(seconds);
    }
    void lineDone(const LineReport& line) override {
        m_done = line.number;
        m_result.summary.add(line);
        if (m_writeJournal)
            m_rows.add(line);
        if (line.outcome != LineOutcome::NoReading) {
            forward(line);
            return;
        }
        LineReport passedOver = line;
        showPassedOverText(passedOver, m_request.lines);
        forward(passedOver);
    }

    // The journal goes in the run's transaction: a run that fails or is undone leaves none.
    void beforeCommit() override {
        if (m_writeJournal)
            m_writeJournal(m_rows.rows());
        if (m_caller)
            m_caller->beforeCommit();
    }

    // The line a failure came from; 0 when it came before the first line or after the last.
    int failedLine() const { return m_current > m_done ? m_current : 0; }

private:
    void forward(const LineReport& line) {
        if (m_request.keepLines)
            m_result.lines.push_back(line);
        if (m_caller)
            m_caller->lineDone(line);
    }

    RunObserver* m_caller;
    RunResult& m_result;
    const RunRequest& m_request;
    journal::RowCollector m_rows;
    std::function<void(const std::vector<journal::RowRecord>&)> m_writeJournal;
    int m_current = 0;
    int m_done = 0;
};

RunEnding endingOf(const std::exception& error) {
    if (dynamic_cast<const db::CommitUnconfirmed*>(&error))
        return RunEnding::CommitUnconfirmed;
    if (dynamic_cast<const db::LockTimeout*>(&error))
        return RunEnding::LockWait;
    return RunEnding::Failed;
}

} // namespace

QString RunResult::failureWithLine() const {
    if (failedLine <= 0)
        return failure;
    return QStringLiteral("Linha %1: ").arg(failedLine) + failure;
}

QString blankFieldText(const QString& label) {
    return QStringLiteral("O campo \"") + label + QStringLiteral("\" não pode ficar em branco!");
}

std::optional<EntryProblem> checkEntries(const EntryCheck& entries) {
    const auto blank = [](Entry entry, const QString& label) {
        return EntryProblem{entry, label, blankFieldText(label)};
    };
    if (entries.filePath.isEmpty())
        return blank(Entry::FilePath, QStringLiteral("Caminho do Arquivo"));
    if (entries.fileMustExist && !QFileInfo(entries.filePath).isFile())
        return EntryProblem{Entry::FilePath, {}, QStringLiteral("Arquivo .TXT não selecionado!")};
    if (entries.companyCode.isEmpty())
        return blank(Entry::Company, QStringLiteral("Empresa"));
    if (entries.inventory && entries.causeCode.isEmpty())
        return blank(Entry::Cause, QStringLiteral("Causa"));
    return std::nullopt;
}

std::optional<QString> checkLines(const QStringList& lines, const QString& fileName) {
    if (lines.isEmpty()) {
        const QString empty = QStringLiteral("Arquivo vazio!");
        return fileName.isEmpty() ? empty : empty + u' ' + fileName;
    }
    if (holdsNoReading(lines))
        return noReadingMessage(fileName);
    return std::nullopt;
}

namespace {

// The journal's record of a request, before its figures are known.
journal::RunRecord recordOf(const RunRequest& request) {
    journal::RunRecord run;
    run.inventory = request.inventory;
    run.companyCode = request.entries.companyCode;
    run.causeCode = request.inventory ? request.entries.causeCode : QString();
    run.date = db::texts::parseDate(request.entries.dateText, db::Clock::today()).value_or(QDate());
    run.fileName = request.fileName;
    run.sha256 = request.fileSha256;
    return run;
}

} // namespace

std::optional<journal::RunRecord> RunService::earlierRun(const RunRequest& request) const {
    const journal::RunRecord wanted = recordOf(request);
    // A date that is no date posts nothing, so nothing can have been posted with it.
    if (!request.journal || !wanted.date.isValid())
        return std::nullopt;
    return journal::findPosted(m_database, m_dialect, wanted);
}

std::optional<bool> RunService::journalHolds(const QString& runId) const {
    QSqlDatabase database = m_database;
    QElapsedTimer clock;
    clock.start();
    // A commit that reached the server may still be under way when the run is first looked
    // for: "not posted" is said only when a second look, a moment later, agrees.
    bool missing = false;
    for (int attempt = 0; attempt < 3 && clock.elapsed() < db::LockWaitLimit.count(); ++attempt) {
        if (attempt > 0)
            QThread::msleep(500);
        if (!database.isOpen() || attempt == 0) {
            database.close();
            if (!database.open())
                continue;
        }
        try {
            if (journal::find(database, m_dialect, runId))
                return true;
            if (missing)
                return false;
            missing = true;
        } catch (const db::Error&) {
            database.close();
        }
    }
    if (missing)
        return false;
    return std::nullopt;
}

RunResult RunService::run(const RunRequest& request, RejectionTargets rejections,
                          RunObserver* observer) const {
    RunResult result;
    std::function<void(const std::vector<journal::RowRecord>&)> writeJournal;
    if (request.journal && !request.dryRun) {
        result.runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        writeJournal = [&](const std::vector<journal::RowRecord>& rows) {
            // A run that posted nothing has nothing to double or undo.
            if (rows.empty()) {
                result.runId.clear();
                return;
            }
            journal::RunRecord run = recordOf(request);
            run.id = result.runId;
            run.when = journal::momentText(db::Clock::now());
            run.workstation = journal::workstationName();
            run.user = journal::currentUser();
            run.lines = result.summary.lines();
            run.posted = result.summary.posted();
            run.rejected = result.summary.rejected();
            journal::write(m_database, m_dialect, run, rows);
        };
    }
    Recorder recorder(observer, result, request, writeJournal);
    const QList<RejectionList::Row> inventoryBefore = rejections.inventory.rows();
    const QList<RejectionList::Row> openingBefore = rejections.openingStock.rows();
    const bool flagBefore = rejections.rejectionsFlag;

    QElapsedTimer clock;
    clock.start();
    std::optional<ConversionEngine> engine;
    try {
        engine.emplace(m_database, m_dialect, request.entries, rejections, &recorder);
        engine->setDryRun(request.dryRun);
        engine->setTurnWaitLimit(request.turnWaitLimit);
        const auto outcome = request.inventory ? engine->ConvertInventory(request.lines)
                                               : engine->ConvertOpeningStock(request.lines);
        if (outcome == ConversionEngine::Outcome::Stopped)
            result.ending = RunEnding::Stopped;
        engine.reset();
    } catch (const std::exception& error) {
        // Of a failed batch only the engine knows the line.
        const int batchLine = engine ? engine->failedLine() : 0;
        engine.reset();
        result.ending = endingOf(error);
        result.failure = ConversionEngine::failedRunMessage(error);
        if (result.ending == RunEnding::CommitUnconfirmed && !result.runId.isEmpty()) {
            // The journal went in with the readings: it tells whether the commit was kept.
            if (const auto held = journalHolds(result.runId)) {
                result.ending = *held ? RunEnding::Completed : RunEnding::Failed;
                result.failure =
                    *held ? QString() : ConversionEngine::failedRunMessage(db::messageOf(error));
                if (*held)
                    result.note = QStringLiteral(
                        "A resposta do banco à gravação se perdeu, mas o diário de conversões "
                        "confirma que as leituras foram gravadas.");
            }
        }
        // A bad quantity's text names its line already.
        if (!result.completed() && !dynamic_cast<const BadQuantity*>(&error))
            result.failedLine = batchLine > 0 ? batchLine : recorder.failedLine();
    }
    result.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;

    // Nothing of a run that did not come to its end was posted, so its rejections are void.
    if (!result.completed()) {
        rejections.inventory.restore(inventoryBefore);
        rejections.openingStock.restore(openingBefore);
        rejections.rejectionsFlag = flagBefore;
    }
    return result;
}

} // namespace conversion
