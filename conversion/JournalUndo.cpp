#include "EngineRun.h"
#include "Journal.h"
#include "JournalStatements.h"

#include "db/Dialect.h"
#include "db/Errors.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <QHash>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace conversion::journal {

namespace {

// The undo of one run: first every row is checked, then, when none refuses, each is reversed;
// all within one transaction. An inventory run's count rows and the other runs on them are read
// before the check, and the counts put back and the rows removed are written after it, in
// batches, so that a run of tens of thousands of rows costs a few hundred round trips.
class Undo {
public:
    Undo(const QSqlDatabase& database, const db::Dialect& dialect, const RunRecord& run,
         db::StatementWatchdog* watchdog)
        : m_database(database)
        , m_dialect(dialect)
        , m_run(run)
        , m_watchdog(watchdog)
        , m_document(db::texts::inventoryDocumentNumber(run.date))
        , m_date(dialect.date(run.date))
        , m_company(run.companyCode)
        , m_dateValue(m_date)
        , m_documentValue(m_document) {}

    // What the check and the reversal of an inventory run's rows need to know.
    void read(const std::vector<RowRecord>& written) {
        if (!m_run.inventory) {
            readOpeningStock(written);
            return;
        }
        readCounts(written);
        readOtherRuns();
    }

    // Why the row can't be reversed; empty when it can.
    QString check(const RowRecord& row) {
        return m_run.inventory ? checkCount(row) : checkOpeningStock(row);
    }

    void reverse(const RowRecord& row) {
        if (m_run.inventory)
            reverseCount(row);
        else
            m_removed.push_back(&row);
    }

    // Writes what the reversals decided, then ends the statements, before the transaction does.
    void finish() {
        if (!m_run.inventory)
            removeOpeningStock();
        else {
            writeShifts();
            writeCounts();
        }
        m_statements.clear();
        m_keys.clear();
    }

private:
    void writeCounts() {
        inBatches(m_removed.size(), [&](size_t from, int size) {
            db::Statement* const remove =
                prepare(m_dialect.keyedBatches().undoDeleteCountRows.text(size).c_str());
            bindInventory(*remove, 0);
            for (int i = 0; i < size; ++i)
                bindKey(*remove, 3 + 2 * i, *m_removed[from + static_cast<size_t>(i)]);
            if (remove->executeCounted() != size)
                throw db::DatabaseError(countsChangedText());
        });
        inBatches(m_counts.size(), [&](size_t from, int size) {
            db::Statement* const update =
                prepare((db::sql::UndoSetCounts.text(size) +
                         m_dialect.keyedBatches().undoSetCountsRows.text(size))
                            .c_str());
            for (int i = 0; i < size; ++i) {
                const auto& [row, count] = m_counts[from + static_cast<size_t>(i)];
                bindKey(*update, 3 * i, *row);
                update->bindFloat(3 * i + 2, count);
                bindKey(*update, 3 * size + 3 + 2 * i, *row);
            }
            bindInventory(*update, 3 * size);
            if (update->executeCounted() != size)
                throw db::DatabaseError(countsChangedText());
        });
    }

    // Each product's movement of the opening stock, then its opening stock row.
    void removeOpeningStock() {
        const db::sql::KeyedBatches& keyed = m_dialect.keyedBatches();
        inBatches(m_removed.size(), [&](size_t from, int size) {
            for (const db::sql::Batched* text :
                 {&keyed.undoDeleteOpeningMovements, &keyed.undoDeleteOpeningRows}) {
                db::Statement* const remove = prepare(text->text(size).c_str());
                remove->bind(0, m_company);
                for (int i = 0; i < size; ++i)
                    bindKey(*remove, 1 + 2 * i, *m_removed[from + static_cast<size_t>(i)]);
                if (remove->executeCounted() != size)
                    throw db::DatabaseError(QStringLiteral(
                        "Um início de estoque mudou durante o desfazer; nada foi desfeito."));
            }
        });
    }
    // A posted run that added to the same count row as this one, with the counts it recorded.
    struct OtherRun {
        QString id;
        std::optional<double> before;
        std::optional<double> after;
    };
    // A row of a later run to record as if the undone run had never been.
    struct Shift {
        const RowRecord* row;
        std::optional<double> before;
        double after;
        bool created;
    };
    // A count row as it stands now.
    struct CountRow {
        QString processado;
        double count = 0.0;
    };
    using Key = std::pair<QString, QString>;

    // Codes as the database compares them: a server that ignores trailing blanks finds a row
    // whose code has them by the code without them.
    Key keyOf(const QString& product, const QString& grade) const {
        if (!m_dialect.ignoresTrailingBlanks())
            return {product, grade};
        const auto trimmed = [](const QString& text) {
            qsizetype end = text.size();
            while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
                --end;
            return text.left(end);
        };
        return {trimmed(product), trimmed(grade)};
    }
    Key keyOf(const RowRecord& row) const { return keyOf(row.CodProd, row.CodGrade); }

    // Runs `write` for each batch of `rows` rows, with its first row and its size.
    template <typename Write> void inBatches(size_t rows, Write&& write) const {
        for (size_t from = 0; from < rows;) {
            const int size = writeBatchSize(rows - from);
            write(from, size);
            from += static_cast<size_t>(size);
        }
    }

    // Runs the batched look-up `batched` for the rows `written`: the values that `bindFirst`
    // binds, then the keys from `at` on; `found` reads each row it finds. A batch is filled up
    // with its last row, so that few texts are prepared.
    template <typename BindFirst, typename Found>
    void readInBatches(const std::vector<RowRecord>& written, const db::sql::Batched& batched,
                       const char* suffix, int at, BindFirst&& bindFirst, Found&& found) {
        for (size_t from = 0; from < written.size();) {
            const int size = readBatchSize(written.size() - from);
            const size_t to = std::min(written.size(), from + static_cast<size_t>(size));
            db::Statement* const select = prepare(batched.text(size, suffix).c_str());
            bindFirst(*select);
            for (int i = 0; i < size; ++i)
                bindKey(*select, at + 2 * i,
                        written[std::min(from + static_cast<size_t>(i), to - 1)]);
            for (bool onRow = select->open(); onRow; onRow = select->next())
                found(*select);
            select->close();
            from = to;
        }
    }

    // The count rows of the run, locked until the undo ends.
    void readCounts(const std::vector<RowRecord>& written) {
        readInBatches(
            written, m_dialect.keyedBatches().countRows, m_dialect.rowLock(), 3,
            [&](db::Statement& select) { bindInventory(select, 0); },
            [&](const db::Statement& select) {
                m_now[keyOf(select.text(0), select.text(1))] = {select.text(2).trimmed(),
                                                                select.number(3)};
            });
    }

    // How many opening stock rows and movements each product of the run has now.
    void readOpeningStock(const std::vector<RowRecord>& written) {
        const db::sql::KeyedBatches& keyed = m_dialect.keyedBatches();
        for (const auto& [batched, counts] : {std::pair{&keyed.openingRows, &m_openingRows},
                                              std::pair{&keyed.openingMovements, &m_movements}})
            readInBatches(
                written, *batched, "", 1, [&](db::Statement& select) { select.bind(0, m_company); },
                [&, counts = counts](const db::Statement& select) {
                    (*counts)[keyOf(select.text(0), select.text(1))] =
                        static_cast<int>(select.number(2));
                });
    }

    void readOtherRuns() {
        db::Statement* const runs = prepare(db::sql::UndoOtherRuns);
        Binder bound{*runs};
        bound.text(":POutraConv", m_run.id)
            .text(":PCodEmpresa", m_run.companyCode)
            .variant(":PDataInv", m_date);
        QStringList ids;
        for (bool onRow = runs->open(); onRow; onRow = runs->next())
            ids << runs->text(0);
        runs->close();
        db::Statement* const shared = prepare(
            keepsCounts(m_database) ? db::sql::UndoSharedRows : db::sql::UndoSharedRowsNoCounts);
        for (const QString& id : ids) {
            Binder binder{*shared};
            binder.text(":POutraConv", id).text(":PIdConv", m_run.id);
            for (bool onRow = shared->open(); onRow; onRow = shared->next())
                m_others[keyOf(shared->text(0), shared->text(1))].push_back(
                    {id, countOf(*shared, 2), countOf(*shared, 3)});
            shared->close();
        }
    }

    // A count row back to what it held without the run. When nothing changed the row since the
    // run, the count the run found goes back exactly (a row it created goes); otherwise the run's
    // quantity comes off, and the runs after it are recorded as if it had never been, so that
    // undoing them later, in any order, is exact too. A row a run created goes once no posted
    // run and no change from outside the journal is left on it.
    void reverseCount(const RowRecord& row) {
        const double count = m_now.value(keyOf(row)).count;
        const auto others = m_others.constFind(keyOf(row));
        const bool alone = others == m_others.cend();
        const std::vector<OtherRun> later =
            row.after && !alone ? laterRuns(row, *others) : std::vector<OtherRun>();
        if (row.after && later.empty() && same(count, *row.after)) {
            if (row.before) {
                m_counts.push_back({&row, *row.before});
                return;
            }
            if (alone) {
                m_removed.push_back(&row);
                return;
            }
        }
        const double left = count - row.quantity;
        std::optional<double> before = row.before;
        bool created = row.created;
        for (const OtherRun& next : later) {
            if (!next.after)
                break;
            const double after = *next.after - row.quantity;
            shift(next.id, row, before, after, created);
            before = after;
            created = false;
        }
        if (alone && row.created && same(left, 0.0)) {
            m_removed.push_back(&row);
            return;
        }
        m_counts.push_back({&row, left});
    }

    // The runs after this one on the row, in their order: each started from the count the one
    // before it left. A change from outside the journal breaks the chain there.
    static std::vector<OtherRun> laterRuns(const RowRecord& row, std::vector<OtherRun> others) {
        std::vector<OtherRun> chain;
        for (std::optional<double> left = row.after; left;) {
            const auto next = std::find_if(others.begin(), others.end(), [&](const OtherRun& run) {
                return run.before && run.after && same(*run.before, *left);
            });
            if (next == others.end())
                break;
            chain.push_back(*next);
            left = next->after;
            others.erase(next);
        }
        return chain;
    }

    void shift(const QString& id, const RowRecord& row, const std::optional<double>& before,
               double after, bool created) {
        m_shifts[id].push_back({&row, before, after, created});
    }

    // The later runs' counts, a run at a time in batches: an undo beneath a big run shifts a
    // row of it for each of its own.
    void writeShifts() {
        for (const auto& [id, shifts] : m_shifts) {
            const db::BoundValue run(id);
            inBatches(shifts.size(), [&](size_t from, int size) {
                const auto batch = std::span(shifts).subspan(from, static_cast<size_t>(size));
                // Each row's Antes, then its Criou.
                std::vector<db::BoundValue> values;
                values.reserve(2 * batch.size());
                for (const Shift& each : batch) {
                    values.emplace_back(countValue(each.before));
                    values.emplace_back(each.created ? QStringLiteral("S") : QStringLiteral("N"));
                }
                const std::string block = m_dialect.undoShiftBlock(size);
                const int changed = block.empty() ? shiftByCases(run, batch, values)
                                                  : shiftByBlock(block, run, batch, values);
                if (changed != size)
                    throw db::DatabaseError(rowChangedText(*batch.front().row));
            });
        }
    }

    // One update a row, in the dialect's block; the rows it changed.
    int shiftByBlock(const std::string& block, const db::BoundValue& run,
                     std::span<const Shift> batch, const std::vector<db::BoundValue>& values) {
        db::Statement* const update = prepare(block.c_str());
        update->bind(0, run);
        for (size_t i = 0; i < batch.size(); ++i) {
            const int at = 1 + 5 * static_cast<int>(i);
            bindKey(*update, at, *batch[i].row);
            update->bind(at + 2, values[2 * i]);
            update->bindFloat(at + 3, batch[i].after);
            update->bind(at + 4, values[2 * i + 1]);
        }
        const int changed = update->open() ? static_cast<int>(update->number(0)) : -1;
        update->close();
        return changed;
    }

    // One update for the batch, each column a Case over its rows, which the dialect's list of
    // keys picks; the rows it changed.
    int shiftByCases(const db::BoundValue& run, std::span<const Shift> batch,
                     const std::vector<db::BoundValue>& values) {
        const int size = static_cast<int>(batch.size());
        db::Statement* const update =
            prepare((db::sql::UndoShiftBefore.text(size) + db::sql::UndoShiftAfter.text(size) +
                     db::sql::UndoShiftCreated.text(size) +
                     m_dialect.keyedBatches().undoShiftRows.text(size))
                        .c_str());
        for (int i = 0; i < size; ++i) {
            const Shift& each = batch[static_cast<size_t>(i)];
            const size_t value = 2 * static_cast<size_t>(i);
            bindKey(*update, 3 * i, *each.row);
            update->bind(3 * i + 2, values[value]);
            bindKey(*update, 3 * (size + i), *each.row);
            update->bindFloat(3 * (size + i) + 2, each.after);
            bindKey(*update, 3 * (2 * size + i), *each.row);
            update->bind(3 * (2 * size + i) + 2, values[value + 1]);
            update->bind(9 * size + 3 * i, run);
            bindKey(*update, 9 * size + 3 * i + 1, *each.row);
        }
        return update->executeCounted();
    }

    // Equal but for the noise of adding decimals: a server adds a run's readings to the row in
    // one sum, the run added them one at a time.
    static bool same(double a, double b) {
        return std::abs(a - b) <= 1e-9 * std::max({1.0, std::abs(a), std::abs(b)});
    }

    // Each statement is prepared once an undo and run for every row or batch: preparing it again
    // for each of tens of thousands of rows cost more than running it.
    db::Statement* prepare(const char* text) {
        Prepared& statement = m_statements[text];
        if (!statement)
            statement = journal::prepare(m_database, m_dialect, text, m_watchdog);
        return statement.get();
    }

    // Company, date and document from `at` on.
    void bindInventory(db::Statement& statement, int at) {
        statement.bind(at, m_company);
        statement.bind(at + 1, m_dateValue);
        statement.bind(at + 2, m_documentValue);
    }
    // A row's product and grade at `at` and the next; the values live until the undo ends.
    void bindKey(db::Statement& statement, int at, const RowRecord& row) {
        const auto found = m_keys.find(&row);
        const auto& [product, grade] =
            found != m_keys.end() ? found->second
                                  : m_keys
                                        .emplace(&row, std::pair{db::BoundValue(row.CodProd),
                                                                 db::BoundValue(row.CodGrade)})
                                        .first->second;
        statement.bind(at, product);
        statement.bind(at + 1, grade);
    }

    QString checkCount(const RowRecord& row) {
        const auto now = m_now.constFind(keyOf(row));
        if (now == m_now.cend())
            return QStringLiteral("a contagem não existe mais");
        if (!countRowIsOpen(now->processado))
            return QStringLiteral("a contagem foi processada depois da conversão");
        return {};
    }

    QString checkOpeningStock(const RowRecord& row) const {
        if (m_openingRows.value(keyOf(row)) < 1)
            return QStringLiteral("o início de estoque não existe mais");
        const int movements = m_movements.value(keyOf(row));
        if (movements < 1)
            return QStringLiteral("o movimento de início de estoque não existe mais");
        if (movements > 1)
            return QStringLiteral("o produto tem outros movimentos depois da conversão");
        return {};
    }

    static QString rowChangedText(const RowRecord& row) {
        return QStringLiteral("O produto %1 grade %2 mudou durante o desfazer; nada foi desfeito.")
            .arg(row.CodProd, row.CodGrade);
    }

    static QString countsChangedText() {
        return QStringLiteral("Uma contagem mudou durante o desfazer; nada foi desfeito.");
    }

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    const RunRecord& m_run;
    db::StatementWatchdog* m_watchdog;
    QString m_document;
    QVariant m_date;
    const db::BoundValue m_company, m_dateValue, m_documentValue;
    QHash<Key, CountRow> m_now;
    QHash<Key, std::vector<OtherRun>> m_others;
    // An opening stock's rows and movements, by product.
    QHash<Key, int> m_openingRows, m_movements;
    // What the reversals decided: rows to remove (count rows, or the products of an opening
    // stock), and counts to put back.
    std::vector<const RowRecord*> m_removed;
    std::vector<std::pair<const RowRecord*, double>> m_counts;
    // The rows of later runs to record as if the undone run had never been, by run.
    std::map<QString, std::vector<Shift>> m_shifts;
    std::map<const RowRecord*, std::pair<db::BoundValue, db::BoundValue>> m_keys;
    // Declared last, so that the statements end before the values bound to them.
    std::map<std::string, Prepared> m_statements;
};

} // namespace

UndoResult undo(const QSqlDatabase& database, const db::Dialect& dialect, const QString& id,
                const QString& user, UndoMode mode, std::chrono::milliseconds turnWait,
                const std::function<void(int seconds)>& waiting) {
    UndoResult result;
    const auto unknown = [&] {
        result.message = QStringLiteral("Conversão não encontrada no diário: %1").arg(id);
        return result;
    };
    // The company's turn, as a run takes it: an undo and the runs into the company, and two
    // undos of one run, go one after another, and the second undo finds the first one's mark.
    const std::optional<RunRecord> asked = find(database, dialect, id);
    if (!asked)
        return unknown();
    std::unique_ptr<db::StatementWatchdog> watchdog;
    if (auto cancel = dialect.canceller(database))
        watchdog = std::make_unique<db::StatementWatchdog>(std::move(cancel), db::LockWaitLimit);
    // Declared before the guard, so that the statements end before the transaction does.
    db::TransactionGuard transaction(database, dialect,
                                     db::TurnWait{asked->companyCode, turnWait, waiting});
    const std::optional<RunRecord> entry = find(database, dialect, id);
    if (!entry)
        return unknown();
    // A run of several files is undone whole, from the entry of its first file.
    const QList<RunRecord> entries = lote(database, dialect, *entry);
    const RunRecord& run = entries.constFirst();
    if (run.undone) {
        result.message = QStringLiteral("A conversão %1 já foi desfeita em %2 por %3.")
                             .arg(id, shownMoment(run.undoneAt), run.undoneBy);
        return result;
    }
    const std::vector<RowRecord> written = rows(database, dialect, run.id);
    Undo undo(database, dialect, run, watchdog.get());
    undo.read(written);
    for (const RowRecord& row : written) {
        if (const QString reason = undo.check(row); !reason.isEmpty())
            result.refusals.push_back({row.CodProd, row.CodGrade, reason});
    }
    if (!result.refusals.empty()) {
        result.message =
            QStringLiteral("Nada foi desfeito: %1 de %2 %3.")
                .arg(QString::number(result.refusals.size()),
                     counted(static_cast<int>(written.size()), "linha", "linhas"),
                     result.refusals.size() == 1 ? QStringLiteral("não pode ser desfeita")
                                                 : QStringLiteral("não podem ser desfeitas"));
        return result;
    }
    for (const RowRecord& row : written)
        undo.reverse(row);
    undo.finish();
    const bool inLote = !run.lote.isEmpty();
    const Prepared mark = prepare(
        database, dialect, inLote ? db::sql::JournalMarkLoteUndone : db::sql::JournalMarkUndone,
        watchdog.get());
    Binder binder{*mark};
    binder.text(":PDesfeitoPor", user).text(":PDesfeitoEm", momentText(db::Clock::now()));
    if (inLote)
        binder.text(":PIdLote", run.lote);
    else
        binder.text(":PIdConv", run.id);
    if (mark->executeCounted() != entries.size())
        throw db::DatabaseError(
            QStringLiteral("A conversão %1 mudou durante o desfazer; nada foi desfeito.").arg(id));
    // A simulation leaves the guard to roll back everything it did.
    if (mode == UndoMode::Apply)
        transaction.commit();
    result.undone = true;
    // In the words of the question before it: the readings the run posted.
    int posted = 0;
    for (const RunRecord& each : entries)
        posted += each.posted;
    result.rows = static_cast<int>(written.size());
    const QString tables =
        run.inventory ? QStringLiteral("Inventa") : QStringLiteral("INCIEST e MVGERAL");
    if (run.uncounted) {
        // Its rows were made by the zeroing, not read from a file.
        const QString rows = counted(result.rows, "linha", "linhas");
        result.message =
            mode == UndoMode::Apply
                ? QStringLiteral("Zeragem dos não contados desfeita: %1 de Inventa.").arg(rows)
                : QStringLiteral("Simulação: a zeragem dos não contados seria desfeita: %1 de "
                                 "Inventa.")
                      .arg(rows);
        return result;
    }
    result.message = mode == UndoMode::Apply
                         ? QStringLiteral("Conversão desfeita: %1 em %2 de %3.")
                               .arg(counted(posted, "leitura", "leituras"),
                                    counted(result.rows, "linha", "linhas"), tables)
                         : QStringLiteral("Simulação: a conversão seria desfeita: %1 em %2 de %3.")
                               .arg(counted(posted, "leitura", "leituras"),
                                    counted(result.rows, "linha", "linhas"), tables);
    if (inLote) {
        QStringList names;
        for (const RunRecord& each : entries)
            names << each.fileName;
        result.message += QStringLiteral(" Arquivos: %1.").arg(names.join(QStringLiteral(", ")));
    }
    return result;
}

QString refusalText(const UndoResult& result) {
    QStringList lines{result.message};
    for (const UndoRefusal& refusal : result.refusals)
        lines << QStringLiteral("%1 grade %2: %3")
                     .arg(refusal.CodProd, refusal.CodGrade, refusal.reason);
    return lines.join(QLatin1Char('\n'));
}

} // namespace conversion::journal
