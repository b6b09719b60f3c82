#include "RunService.h"

#include "CollectorFile.h"
#include "EntryTexts.h"
#include "Quantity.h"
#include "RejectionList.h"
#include "db/Errors.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/StatementWatchdog.h"
#include "db/Texts.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QThread>
#include <QUuid>
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

namespace conversion {

namespace {

// Keeps the run's figures on the way to the caller's observer.
class Recorder final : public RunObserver {
public:
    // What a file's entry in the journal counts: its lines, the readings posted and rejected.
    struct FileFigures {
        int lines = 0;
        int posted = 0;
        int rejected = 0;
    };
    using JournalWriter = std::function<void(const std::vector<FileFigures>&,
                                             const std::vector<journal::RowRecord>&)>;

    Recorder(RunObserver* caller, RunResult& result, const RunRequest& request,
             JournalWriter writeJournal, std::function<void()> checkEarlier)
        : m_caller(caller)
        , m_result(result)
        , m_request(request)
        , m_rows(request.inventory, writeJournal ? request.lines.size() : 0)
        , m_files(std::max<std::size_t>(1, request.files.size()))
        , m_writeJournal(std::move(writeJournal))
        , m_checkEarlier(std::move(checkEarlier)) {}

    // Asked under the company's turn, so that of two runs of one file at once the second sees
    // the first one's entry.
    void runBegan() override {
        if (m_checkEarlier)
            m_checkEarlier();
        if (m_caller)
            m_caller->runBegan();
    }

    void lineStarted(int number) override {
        if (m_caller)
            m_caller->lineStarted(number);
    }
    bool stopRequested() override { return m_caller && m_caller->stopRequested(); }
    void waitingForTurn(int seconds) override {
        if (m_caller)
            m_caller->waitingForTurn(seconds);
    }
    void lineDone(const LineReport& line) override {
        m_result.summary.add(line);
        if (m_writeJournal) {
            m_rows.add(line);
            FileFigures& file = m_files[locate(m_request.files, line.number).file];
            ++file.lines;
            file.posted += line.outcome == LineOutcome::Posted;
            file.rejected += line.rejected();
        }
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
            m_writeJournal(m_files, m_rows.rows());
        if (m_caller)
            m_caller->beforeCommit();
    }

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
    // Each file's figures, for its entry in the journal.
    std::vector<FileFigures> m_files;
    JournalWriter m_writeJournal;
    std::function<void()> m_checkEarlier;
};

// A file the journal holds as posted, found once the run had its turn.
class AlreadyPosted final : public Error {
public:
    using Error::Error;
};

QString databaseGoneText(const QString& file) {
    return QStringLiteral("O banco de dados não está mais em %1, onde foi aberto: a pasta ou o "
                          "arquivo foi movido, renomeado ou apagado. Ponha-o de volta e "
                          "converta de novo, ou aponte o Caminho.Dir para o novo lugar e abra o "
                          "programa de novo.")
        .arg(QDir::toNativeSeparators(file));
}

RunEnding endingOf(const std::exception& error) {
    if (dynamic_cast<const AlreadyPosted*>(&error))
        return RunEnding::AlreadyConverted;
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
    return lineLabel(files, failedLine) + QStringLiteral(": ") + failure;
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

std::optional<QString> checkRunLines(qsizetype lines) {
    if (lines <= MaxRunLines)
        return std::nullopt;
    return QStringLiteral("Mais de %1 linhas numa conversão: converta em partes.").arg(MaxRunLines);
}

std::optional<QString> checkFiles(const RunFiles& files) {
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (files[j].sha256 == files[i].sha256)
                return QStringLiteral("%1 tem as mesmas leituras de %2: seriam gravadas duas "
                                      "vezes.")
                    .arg(files[i].name, files[j].name);
        }
    }
    return std::nullopt;
}

namespace {

// The journal's record of a request's file, before its figures are known.
journal::RunRecord recordOf(const RunRequest& request, const RunFile& file) {
    journal::RunRecord run;
    run.inventory = request.inventory;
    run.companyCode = request.entries.companyCode;
    run.causeCode = request.inventory ? request.entries.causeCode : QString();
    run.date =
        conversion::parseDate(request.entries.dateText, db::Clock::today()).value_or(QDate());
    run.fileName = file.name;
    run.sha256 = file.sha256;
    return run;
}

} // namespace

QString RunResult::earlierText() const {
    if (earlier.empty())
        return {};
    return files.size() == 1 ? journal::alreadyConvertedText(earlier.front())
                             : journal::alreadyConvertedText(earlier);
}

void RunResult::listRejections(RejectionTargets lists) const {
    lists.rejectionsFlag = false;
    lists.inventory.append(inventoryRejections);
    lists.openingStock.append(openingRejections);
}

std::vector<journal::RunRecord> RunService::earlierRuns(const RunRequest& request) const {
    std::vector<journal::RunRecord> earlier;
    if (!request.journal)
        return earlier;
    for (const RunFile& file : request.files) {
        const journal::RunRecord wanted = recordOf(request, file);
        // A date that is no date posts nothing, so nothing can have been posted with it.
        if (!wanted.date.isValid())
            break;
        if (auto found = journal::findPosted(m_database, m_dialect, wanted, file.bytesSha256))
            earlier.push_back(std::move(*found));
    }
    return earlier;
}

std::optional<bool> RunService::journalHolds(const QString& runId) const {
    QSqlDatabase database = m_database;
    QElapsedTimer clock;
    clock.start();
    // A commit that reached the server may still be on its way, or under way there: the run is
    // looked for every half second, and "not posted" is said only once the lock wait limit has
    // passed without it.
    bool missing = false;
    for (int attempt = 0;; ++attempt) {
        if (attempt > 0) {
            if (clock.elapsed() >= db::LockWaitLimit.count())
                break;
            QThread::msleep(500);
        }
        if (!database.isOpen() || attempt == 0) {
            database.close();
            if (!database.open())
                continue;
        }
        try {
            if (journal::find(database, m_dialect, runId))
                return true;
            missing = true;
        } catch (const db::Error&) {
            database.close();
        }
    }
    if (missing)
        return false;
    return std::nullopt;
}

RunResult RunService::run(const RunRequest& request, RunObserver* observer) const {
    RunResult result;
    result.files = request.files;
    Recorder::JournalWriter writeJournal;
    if (request.journal && !request.dryRun) {
        result.runId = QUuid::createUuid().toString(QUuid::WithoutBraces);
        writeJournal = [&](const std::vector<Recorder::FileFigures>& figures,
                           const std::vector<journal::RowRecord>& rows) {
            // A run that posted nothing has nothing to double or undo.
            if (rows.empty()) {
                result.runId.clear();
                return;
            }
            const QString when = journal::momentText(db::Clock::now());
            // A request of lines alone is one file without a name.
            const RunFiles files = request.files.empty() ? RunFiles(1) : request.files;
            std::vector<journal::RunRecord> entries;
            for (std::size_t i = 0; i < files.size(); ++i) {
                journal::RunRecord& entry = entries.emplace_back(recordOf(request, files[i]));
                entry.id =
                    i == 0 ? result.runId : QUuid::createUuid().toString(QUuid::WithoutBraces);
                entry.when = when;
                entry.workstation = journal::workstationName();
                entry.user = journal::currentUser();
                entry.lines = figures[i].lines;
                entry.posted = figures[i].posted;
                entry.rejected = figures[i].rejected;
            }
            journal::write(m_database, m_dialect, entries, rows);
        };
    }
    std::function<void()> checkEarlier;
    if (request.journal) {
        checkEarlier = [&] {
            result.earlier = earlierRuns(request);
            if (!result.earlier.empty() && !request.again && !request.dryRun)
                throw AlreadyPosted(result.earlierText());
        };
    }
    Recorder recorder(observer, result, request, writeJournal, checkEarlier);
    bool rejectionsFlag = false;
    RejectionList inventoryRejections(rejectionsFlag);
    RejectionList openingRejections(rejectionsFlag);
    const RejectionTargets rejections{inventoryRejections, openingRejections, rejectionsFlag};

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
        const int line = engine ? engine->failedLine() : 0;
        engine.reset();
        result.ending = endingOf(error);
        result.failure = ConversionEngine::failedRunMessage(error);
        result.detail = db::detailOf(error);
        if (dynamic_cast<const AlreadyPosted*>(&error))
            result.failure = db::messageOf(error);
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
        // A bad quantity's text names its line already, as the run numbers it: in a run of
        // several files its file's line is named instead.
        const auto* badQuantity = dynamic_cast<const BadQuantity*>(&error);
        if (badQuantity && request.files.size() > 1 && line > 0) {
            const QString prefix = QStringLiteral("Linha %1: ").arg(line);
            if (result.failure.startsWith(prefix)) {
                result.failure.remove(0, prefix.size());
                result.failedLine = line;
            }
        } else if (!result.completed() && !badQuantity &&
                   result.ending != RunEnding::AlreadyConverted) {
            result.failedLine = line;
        }
        // The engine's own words for a database file moved away ("disk I/O error", "attempt to
        // write a readonly database") say nothing a clerk can act on.
        const QString file = m_dialect.databaseFile(m_database);
        if (result.ending == RunEnding::Failed && !file.isEmpty() && !QFileInfo::exists(file)) {
            result.failure = ConversionEngine::failedRunMessage(databaseGoneText(file));
            result.detail =
                db::detailOf(error).isEmpty() ? db::messageOf(error) : db::detailOf(error);
            result.failedLine = 0;
        }
    }
    result.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;

    // Nothing of a run that did not come to its end was posted, so its rejections are void.
    if (result.completed()) {
        result.inventoryRejections = inventoryRejections.rows();
        result.openingRejections = openingRejections.rows();
    }
    return result;
}

} // namespace conversion

namespace conversion {

namespace {

// The box's text of a zeroing that did not come to its end.
QString zeroFailedText(const std::exception& error) {
    if (const auto* unconfirmed = dynamic_cast<const db::CommitUnconfirmed*>(&error))
        return unconfirmed->message() +
               QStringLiteral("\rNão foi possível confirmar se as contagens foram zeradas. Zerar "
                              "de novo só zera o que ainda estiver sem contagem.");
    return db::messageOf(error) + QStringLiteral("\rNenhuma contagem foi zerada.");
}

// The zeroing as the journal keeps a run: no file, one count row of 0 per product, each created.
journal::RunRecord zeroEntry(const ZeroRequest& request, const QDate& date, const QString& id,
                             int products) {
    journal::RunRecord entry;
    entry.id = id;
    entry.when = journal::momentText(db::Clock::now());
    entry.workstation = journal::workstationName();
    entry.user = journal::currentUser();
    entry.inventory = true;
    entry.uncounted = true;
    entry.companyCode = request.entries.companyCode;
    entry.causeCode = request.entries.causeCode;
    entry.date = date;
    entry.lines = products;
    entry.posted = products;
    return entry;
}

} // namespace

QString ZeroResult::text(bool dryRun) const {
    const int count = zeroed.count();
    if (count == 0)
        return QStringLiteral("Nenhum produto com estoque está sem contagem: nada a zerar.");
    const QString figures = QStringLiteral("(estoque %1, valor %2)")
                                .arg(db::Regional::locale().toString(zeroed.stock(), 'g', 12),
                                     moneyText(zeroed.value()));
    if (dryRun)
        return QStringLiteral("Simulação: %1 %2; nada foi gravado.")
            .arg(count == 1 ? QStringLiteral("1 produto não contado seria zerado")
                            : QStringLiteral("%1 produtos não contados seriam zerados").arg(count),
                 figures);
    return QStringLiteral("%1 %2.").arg(count == 1 ? QStringLiteral("1 produto não contado zerado")
                                                   : QStringLiteral("%1 produtos não contados "
                                                                    "zerados")
                                                         .arg(count),
                                        figures);
}

ZeroResult RunService::zeroUncounted(const ZeroRequest& request, RunObserver* observer) const {
    ZeroResult result;
    QElapsedTimer clock;
    clock.start();
    const QString id = request.journal && !request.dryRun
                           ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                           : QString();
    try {
        const QDate date = toDate(request.entries.dateText, db::Clock::today());
        // Declared before the transaction, whose statements it watches until they end.
        std::unique_ptr<db::StatementWatchdog> watchdog;
        if (auto cancel = m_dialect.canceller(m_database))
            watchdog =
                std::make_unique<db::StatementWatchdog>(std::move(cancel), db::LockWaitLimit);
        db::TurnWait turn{request.entries.companyCode, request.turnWaitLimit, {}};
        if (observer)
            turn.waiting = [observer](int seconds) {
                observer->waitingForTurn(seconds);
            };
        db::TransactionGuard transaction(m_database, m_dialect, turn);
        try {
            if (observer)
                observer->runBegan();
            result.zeroed = uncountedProducts(m_database, m_dialect, request.entries.companyCode,
                                              date, watchdog.get());
            zeroCounts(m_database, m_dialect, request.entries.companyCode,
                       request.entries.causeCode, date, result.zeroed, watchdog.get());
            // A zeroing that found nothing has nothing to undo.
            if (!id.isEmpty() && !result.zeroed.products.empty()) {
                std::vector<journal::RowRecord> rows;
                rows.reserve(result.zeroed.products.size());
                for (const UncountedProduct& product : result.zeroed.products)
                    rows.push_back(
                        {product.CodProd, product.CodGrade, 0.0, true, std::nullopt, 0.0});
                journal::write(m_database, m_dialect,
                               {zeroEntry(request, date, id, result.zeroed.count())}, rows);
                result.runId = id;
            }
        } catch (const db::Error& error) {
            transaction.rollbackAfter(error);
        }
        // The guard rolls a dry run back.
        if (!request.dryRun)
            transaction.commit();
    } catch (const std::exception& error) {
        result.ending = endingOf(error);
        result.failure = zeroFailedText(error);
        result.detail = db::detailOf(error);
        if (result.ending == RunEnding::CommitUnconfirmed && !result.runId.isEmpty()) {
            if (const auto held = journalHolds(result.runId)) {
                result.ending = *held ? RunEnding::Completed : RunEnding::Failed;
                if (*held) {
                    result.failure.clear();
                    result.note = QStringLiteral(
                        "A resposta do banco à gravação se perdeu, mas o diário de conversões "
                        "confirma que as contagens foram zeradas.");
                } else {
                    result.failure =
                        db::messageOf(error) + QStringLiteral("\rNenhuma contagem foi zerada.");
                }
            }
        }
        if (!result.completed()) {
            result.runId.clear();
            result.zeroed = {};
        }
    }
    result.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    return result;
}

} // namespace conversion
