#pragma once

#include "ConversionEngine.h"
#include "Journal.h"
#include "RejectionList.h"
#include "RunFiles.h"
#include "RunReport.h"
#include "Uncounted.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

namespace db {
class Dialect;
}

// The one path of a run, for the window and the batch mode alike: a request, the checks of its
// entries, the run, and a result that says how it ended.
namespace conversion {

// A run as asked for: the lines and entries as they stood when it was asked for, so that posting
// after a review posts what was reviewed.
struct RunRequest {
    QStringList lines;
    EntryValues entries;
    bool inventory = true;
    // Goes through every line as a real run, then posts nothing.
    bool dryRun = false;
    // Keeps every line's report in the result, for a review; a batch writes them as they come.
    bool keepLines = false;
    // The journal's tables are there (asked once per start): the run is written into it.
    bool journal = false;
    // Posts even a file the journal holds as posted into the same place; without it such a run
    // ends as AlreadyConverted, however near another workstation's posting of the file came.
    // A dry run posts nothing either way, and tells of the earlier runs.
    bool again = false;
    // How long the run waits for its turn while another workstation's run posts into the same
    // company; then it ends as a lock wait.
    std::chrono::milliseconds turnWaitLimit = db::TurnWaitLimit;
    // The collector files whose lines these are, in the order their lines come; the journal
    // keeps an entry for each.
    RunFiles files;
};

// How a run ended; the error box text and the batch's exit status both come from it.
enum class RunEnding {
    Completed,
    // The caller asked it to stop (the window closing): undone, nothing to tell.
    Stopped,
    // Failed and undone: nothing was posted.
    Failed,
    // The commit was sent but not confirmed: the server may have kept the readings.
    CommitUnconfirmed,
    // Another workstation held a row or the database: undone, worth trying again later.
    LockWait,
    // The journal holds one of the files as posted into the same place, and no repeat was
    // asked for: nothing was posted.
    AlreadyConverted,
};

// What a run did.
struct RunResult {
    RunEnding ending = RunEnding::Completed;
    RunSummary summary;
    // Every line's report when the request kept them, lines without a reading showing their text.
    std::vector<LineReport> lines;
    double seconds = 0.0;
    // A failed run's error box text: the error, then what became of the readings.
    QString failure;
    // The server's own text of the failure, for the box's details and the batch's JSON; empty
    // when the failure text is all there is.
    QString detail;
    // The line of the run the failure came from; 0 when it came before the first line or after
    // the last, or when its text names the line already.
    int failedLine = 0;
    // The run's files, to name the failed line's file in a run of several.
    RunFiles files;
    // The run's id in the journal, chosen before the commit (its first file's entry, which
    // undoes them all); empty without a journal.
    QString runId;
    // Said along with a run that came to its end: the commit's answer was lost and the journal
    // told that the readings are posted.
    QString note;
    // For each of the run's files, the journal's posted, not undone run of the same file into
    // the same place, as the run found them once it had its turn; none without a journal.
    std::vector<journal::RunRecord> earlier;
    // The readings a run that came to its end could not post, each mode's in its list's order.
    QList<RejectionList::Row> inventoryRejections;
    QList<RejectionList::Row> openingRejections;

    bool completed() const { return ending == RunEnding::Completed; }
    // The earlier runs as the window asks and the batch mode refuses: of one file "Este arquivo
    // já foi convertido ...", of several naming each; empty when there is none.
    QString earlierText() const;
    // Adds the run's rejected readings to the lists the clerk sees, and sets the flag when any
    // was added.
    void listRejections(RejectionTargets lists) const;
    // The failure on one line, led by the line it came from: "Linha 3: ...", or "Linha 3 de
    // b.txt: ..." in a run of several files.
    QString failureWithLine() const;
};

// A zeroing of the products nobody counted, as asked for: the entries (company, date, cause) as
// they stood when it was asked for.
struct ZeroRequest {
    EntryValues entries;
    // Goes through the whole zeroing, then writes nothing.
    bool dryRun = false;
    // The journal's tables are there: the zeroing is written into it, as a run of its own.
    bool journal = false;
    std::chrono::milliseconds turnWaitLimit = db::TurnWaitLimit;
};

// What a zeroing did.
struct ZeroResult {
    RunEnding ending = RunEnding::Completed;
    // The products it zeroed (or would zero), as it read them once it had the company's turn.
    UncountedList zeroed;
    double seconds = 0.0;
    // As a run's: the box's text, the server's own text, the id in the journal (none when
    // nothing was zeroed), and a lost answer that the journal made good.
    QString failure;
    QString detail;
    QString runId;
    QString note;

    bool completed() const { return ending == RunEnding::Completed; }
    // "12 produtos zerados (estoque 40, valor 1.234,50)."; of a dry run, what it would zero.
    QString text(bool dryRun) const;
};

// An entry the run can't go without.
enum class Entry { FilePath, Company, Cause };

struct EntryProblem {
    Entry entry;
    // The field's name in the text of a blank field; empty when the field is filled but wrong.
    QString blankLabel;
    QString message;
};

// The entries as typed or given, before a run is asked for.
struct EntryCheck {
    QString filePath;
    QString companyCode;
    QString causeCode;
    bool inventory = true;
    // The window asks for an existing file here; the batch mode reads it later, within its limit.
    bool fileMustExist = false;
};

// The first entry missing, in the order the form asks for them; none when all are there.
std::optional<EntryProblem> checkEntries(const EntryCheck& entries);
// "O campo "label" não pode ficar em branco!"
QString blankFieldText(const QString& label);
// Why the lines of a collector file give no run (empty, or not one reading); fileName, when
// given, is named in the text.
std::optional<QString> checkLines(const QStringList& lines, const QString& fileName = QString());
// Why the lines of a run's files are too many for one run (MaxRunLines).
std::optional<QString> checkRunLines(qsizetype lines);
// Why files can't go in one run: the same readings twice would post them twice.
std::optional<QString> checkFiles(const RunFiles& files);

// Runs requests on one connection. Progress reaches the caller through its observer; a failure
// comes back in the result, never as an exception.
class RunService {
public:
    RunService(const QSqlDatabase& database, const db::Dialect& dialect)
        : m_database(database)
        , m_dialect(dialect) {}

    // A run of a file the journal holds as posted into the same place ends AlreadyConverted,
    // unless the request asks for a repeat.
    RunResult run(const RunRequest& request, RunObserver* observer = nullptr) const;

    // Sets every product nobody counted to a count of 0, in one transaction, once it has the
    // company's turn as a run takes it: the list is read under that turn, so a product that
    // another workstation's run counts meanwhile is either counted before the list is read or
    // added to the row the zeroing made. Progress (the wait for the turn) reaches the observer.
    ZeroResult zeroUncounted(const ZeroRequest& request, RunObserver* observer = nullptr) const;

private:
    std::vector<journal::RunRecord> earlierRuns(const RunRequest& request) const;
    // After a commit whose answer was lost: whether the journal holds the run, asked on a new
    // connection within the lock wait limit; none when the database can't be reached.
    std::optional<bool> journalHolds(const QString& runId) const;

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
};

} // namespace conversion
