#include "RunService.h"

#include "CollectorFile.h"
#include "Quantity.h"
#include "RejectionList.h"
#include "db/Errors.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace conversion {

namespace {

// Keeps the run's figures on the way to the caller's observer, and the line a failure comes from.
class Recorder final : public RunObserver {
public:
    Recorder(RunObserver* caller, RunResult& result, const RunRequest& request)
        : m_caller(caller)
        , m_result(result)
        , m_request(request) {}

    void lineStarted(int number) override {
        m_current = number;
        if (m_caller)
            m_caller->lineStarted(number);
    }
    bool stopRequested() override { return m_caller && m_caller->stopRequested(); }
    void lineDone(const LineReport& line) override {
        m_done = line.number;
        m_result.summary.add(line);
        if (line.outcome != LineOutcome::NoReading) {
            forward(line);
            return;
        }
        LineReport passedOver = line;
        showPassedOverText(passedOver, m_request.lines);
        forward(passedOver);
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

RunResult RunService::run(const RunRequest& request, RejectionTargets rejections,
                          RunObserver* observer) const {
    RunResult result;
    Recorder recorder(observer, result, request);
    const QList<RejectionList::Row> inventoryBefore = rejections.inventory.rows();
    const QList<RejectionList::Row> openingBefore = rejections.openingStock.rows();
    const bool flagBefore = rejections.rejectionsFlag;

    QElapsedTimer clock;
    clock.start();
    try {
        ConversionEngine engine(m_database, m_dialect, request.entries, rejections, &recorder);
        engine.setDryRun(request.dryRun);
        const auto outcome = request.inventory ? engine.ConvertInventory(request.lines)
                                               : engine.ConvertOpeningStock(request.lines);
        if (outcome == ConversionEngine::Outcome::Stopped)
            result.ending = RunEnding::Stopped;
    } catch (const std::exception& error) {
        result.ending = endingOf(error);
        result.failure = ConversionEngine::failedRunMessage(error);
        // A bad quantity's text names its line already.
        if (!dynamic_cast<const BadQuantity*>(&error))
            result.failedLine = recorder.failedLine();
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
