#pragma once

#include "ConversionEngine.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace db {
class Dialect;
}

// The journal of runs in the company database (ConvColetor, and ConvColetorIt for the rows each
// run wrote). It is written in the run's own transaction, so it never disagrees with what was
// posted; it tells a file converted before, answers a commit whose answer was lost, and lets a
// run be undone. The tables are optional: an administrator adds them, the tool never does so on
// its own.
namespace conversion::journal {

// One run as the journal holds it.
struct RunRecord {
    QString id;
    // yyyy-MM-dd HH:mm:ss.zzz, the workstation's time.
    QString when;
    QString workstation;
    QString user;
    bool inventory = true;
    // A zeroing of the products nobody counted (mode "não contados"): count rows of the
    // inventory it created with a count of 0, from no file.
    bool uncounted = false;
    QString companyCode;
    // Empty on an opening-stock run.
    QString causeCode;
    QDate date;
    QString fileName;
    // The identity of the file's readings (conversion::readingsSha256), or of its bytes for
    // runs recorded before; in hex.
    QString sha256;
    int lines = 0;
    int posted = 0;
    int rejected = 0;
    bool undone = false;
    QString undoneBy;
    QString undoneAt;
    // Of a run of several files: the id of its first file's entry, the one that holds the rows
    // and undoes them all. Empty for a run of one file.
    QString lote;
};

// A count row (per product and grade, the summed quantity of the run's readings) or an
// opening-stock row the run wrote.
struct RowRecord {
    QString CodProd;
    QString CodGrade;
    double quantity = 0.0;
    // The run created the row rather than adding to one that was there.
    bool created = false;
    // Of a count row: its count before the run (none when the run created it) and the count the
    // run left; both unknown for rows recorded before the journal kept them.
    std::optional<double> before;
    std::optional<double> after;
};

// Who and where, for a run or an undo: the user of the operating system and the workstation.
QString currentUser();
QString workstationName();
// The moment as the journal stores it.
QString momentText(const QDateTime& moment);
// A stored moment as the clerk reads it: "08/12/2026 14:30".
QString shownMoment(const QString& stored);

// Whether the database has both tables; asked once per start.
bool present(const QSqlDatabase& database);
// What is wrong with the journal's tables, in the administrator's words: one of the two
// missing, or a column the tool always writes missing from one. Empty when both tables are there
// as the tool needs them, or neither is (the journal is then off).
QString damage(const QSqlDatabase& database);
// Whether the journal keeps each count row's count before and after a run (the columns Antes and
// Depois of ConvColetorIt), which an undo in any order puts back exactly.
bool keepsCounts(const QSqlDatabase& database);
// Whether the journal can keep the files of one run together (its IdLote column, which journals
// made before runs of several files lack); false without a journal.
bool keepsLotes(const QSqlDatabase& database);
// The statements that add the journal's tables to a company database.
QStringList creationStatements(const db::Dialect& dialect);
// The statements that bring a journal of an earlier version up to date; none when it is.
QStringList completionStatements(const QSqlDatabase& database, const db::Dialect& dialect);
// The refusal of a run of several files by a journal that can't keep them together.
QString noLotesText();
// For a database without the tables: what is off and how to turn it on; the short form fits
// the window's status line, the whole one is its tooltip and the batch mode's warning.
QString offText();
QString offShortText();

// The rows of a run, gathered from its posted lines.
class RowCollector {
public:
    // lines: how many the run has, at most a row each; room for them is made at once, since
    // growing the rows step by step cost a big run more than writing them.
    RowCollector(bool inventory, qsizetype lines);
    void add(const LineReport& line);
    // In key order, each count row once: the lines of one row summed in the order they came.
    const std::vector<RowRecord>& rows();

private:
    bool m_inventory;
    bool m_merged = false;
    // Every posted line as it came: sorting them once at the end costs a big run less than a
    // look-up a line, and the rows are written in key order anyway.
    std::vector<RowRecord> m_rows;
};

// Writes a run, an entry for each of its files, and its rows, under the first entry; called
// inside the run's transaction.
void write(const QSqlDatabase& database, const db::Dialect& dialect,
           const std::vector<RunRecord>& entries, const std::vector<RowRecord>& rows);

// The newest posted, not undone run of the same bytes into the same mode, company, date and
// cause.
// bytesSha256: the file's bytes' hash, as runs recorded before the readings' identity.
std::optional<RunRecord> findPosted(const QSqlDatabase& database, const db::Dialect& dialect,
                                    const RunRecord& wanted, const QString& bytesSha256 = {});
std::optional<RunRecord> find(const QSqlDatabase& database, const db::Dialect& dialect,
                              const QString& id);
// The entries of the run an entry belongs to: itself alone, or every file of its run, the first
// file's entry first.
QList<RunRecord> lote(const QSqlDatabase& database, const db::Dialect& dialect,
                      const RunRecord& entry);
// Newest first; an empty company or a null date lets every run through.
QList<RunRecord> history(const QSqlDatabase& database, const db::Dialect& dialect,
                         const QString& companyCode = QString(), const QDate& date = QDate());
std::vector<RowRecord> rows(const QSqlDatabase& database, const db::Dialect& dialect,
                            const QString& id);

// "convertido em 08/12/2026 14:30 por maria na estação CAIXA1: 12 leituras gravadas"
QString describe(const RunRecord& run);
// The question before a second conversion of the same file, and the batch mode's refusal; of
// several files, each converted before.
QString alreadyConvertedText(const RunRecord& run);
QString alreadyConvertedText(const std::vector<RunRecord>& runs);

// A row that stops an undo, with why.
struct UndoRefusal {
    QString CodProd;
    QString CodGrade;
    QString reason;
};

struct UndoResult {
    // The undo went through: committed, or, simulated, rolled back at its very end.
    bool undone = false;
    // The rows it reversed.
    int rows = 0;
    // Why the run was not undone: unknown, undone already, or the rows below.
    QString message;
    std::vector<UndoRefusal> refusals;
};

// Simulate goes through the whole undo, checks, changes and the journal's mark, and rolls it
// all back at the end: what it says is what the undo would do.
enum class UndoMode { Apply, Simulate };

// Reverses exactly what a run posted, in one transaction, or nothing at all; the id of any of
// the files of a run of several undoes them all. Inventory: each
// quantity comes off its count row while the row is not processed; a row the run created and
// that nothing else added to since goes. Opening stock: the run's INCIEST and MVGERAL rows go
// while the product has no other movement. A refusal or an error leaves everything as it was.
// It takes the company's turn first, as a run does, waiting up to turnWait.
UndoResult undo(const QSqlDatabase& database, const db::Dialect& dialect, const QString& id,
                const QString& user, UndoMode mode = UndoMode::Apply,
                std::chrono::milliseconds turnWait = db::TurnWaitLimit,
                const std::function<void(int seconds)>& waiting = {});
// The message of a refused undo, one row a line.
QString refusalText(const UndoResult& result);

} // namespace conversion::journal
