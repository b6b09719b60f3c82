#include "Journal.h"
#include "JournalStatements.h"

#include "db/Dialect.h"
#include "db/Errors.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <QVariant>
#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace conversion::journal {

namespace {

// The undo of one run, row by row: first every row is checked, then, when none refuses, each is
// reversed; all within one transaction.
class Undo {
public:
    Undo(const QSqlDatabase& database, const db::Dialect& dialect, const RunRecord& run,
         db::StatementWatchdog* watchdog)
        : m_database(database)
        , m_dialect(dialect)
        , m_run(run)
        , m_watchdog(watchdog)
        , m_document(db::texts::inventoryDocumentNumber(run.date))
        , m_date(dialect.date(run.date)) {}

    // Why the row can't be reversed; empty when it can.
    QString check(const RowRecord& row) {
        return m_run.inventory ? checkCount(row) : checkOpeningStock(row);
    }

    // The statements end before the transaction does.
    void release() { m_statements.clear(); }

    void reverse(const RowRecord& row) {
        if (m_run.inventory) {
            reverseCount(row);
            return;
        }
        for (const char* text :
             {db::sql::UndoDeleteOpeningMovement, db::sql::UndoDeleteOpeningStock}) {
            db::Statement* const remove = prepare(text);
            Binder binder{*remove};
            binder.text(":PCODEMPRESA", m_run.companyCode)
                .text(":PCODPROD", row.CodProd)
                .text(":PCODGRADE", row.CodGrade);
            if (remove->executeCounted() != 1)
                throw db::DatabaseError(rowChangedText(row));
        }
    }

private:
    // A posted run that added to the same count row after this one, with the counts it recorded.
    struct LaterRun {
        QString id;
        std::optional<double> before;
        std::optional<double> after;
    };

    // A count row back to what it held without the run. When nothing changed the row since the
    // run, the count the run found goes back exactly (a row it created goes); otherwise the run's
    // quantity comes off, and the runs after it are recorded as if it had never been, so that
    // undoing them later, in any order, is exact too. A row a run created goes once no posted
    // run and no change from outside the journal is left on it.
    void reverseCount(const RowRecord& row) {
        const double count = m_counts.at({row.CodProd, row.CodGrade});
        const std::vector<LaterRun> later = row.after ? laterRuns(row) : std::vector<LaterRun>();
        const bool alone = onlyThisRun(row);
        if (row.after && later.empty() && same(count, *row.after)) {
            if (row.before) {
                setCount(row, *row.before);
                return;
            }
            if (alone) {
                deleteRow(row);
                return;
            }
        }
        const double left = count - row.quantity;
        std::optional<double> before = row.before;
        bool created = row.created;
        for (const LaterRun& next : later) {
            if (!next.after)
                break;
            const double after = *next.after - row.quantity;
            shift(next.id, row, before, after, created);
            before = after;
            created = false;
        }
        if (alone && row.created && same(left, 0.0)) {
            deleteRow(row);
            return;
        }
        setCount(row, left);
    }

    // The runs after this one on the row, in their order: each started from the count the one
    // before it left. A change from outside the journal breaks the chain there.
    std::vector<LaterRun> laterRuns(const RowRecord& row) {
        db::Statement* const select = prepare(db::sql::UndoOtherRunCounts);
        Binder binder{*select};
        otherRunsKey(binder, row);
        std::vector<LaterRun> others;
        for (bool onRow = select->open(); onRow; onRow = select->next())
            others.push_back({select->text(0), countOf(*select, 1), countOf(*select, 2)});
        select->close();
        std::vector<LaterRun> chain;
        for (std::optional<double> left = row.after; left;) {
            const auto next = std::find_if(others.begin(), others.end(), [&](const LaterRun& run) {
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
        db::Statement* const update = prepare(db::sql::UndoShiftLaterRun);
        Binder binder{*update};
        binder.variant(":PAntes", countValue(before))
            .number(":PDepois", after)
            .text(":PCriou", QLatin1String(created ? "S" : "N"))
            .text(":PIdConv", id)
            .text(":PCodProd", row.CodProd)
            .text(":PCodGrade", row.CodGrade);
        if (update->executeCounted() != 1)
            throw db::DatabaseError(rowChangedText(row));
    }

    void setCount(const RowRecord& row, double count) {
        db::Statement* const update = prepare(db::sql::UndoSetCount);
        Binder binder{*update};
        binder.number(":PQuantidade", count);
        countKey(binder, row);
        if (update->executeCounted() != 1)
            throw db::DatabaseError(rowChangedText(row));
    }

    void deleteRow(const RowRecord& row) {
        db::Statement* const remove = prepare(db::sql::UndoDeleteCountRow);
        Binder binder{*remove};
        countKey(binder, row);
        if (remove->executeCounted() != 1)
            throw db::DatabaseError(rowChangedText(row));
    }

    // Equal but for the noise of adding decimals: a server adds a run's readings to the row in
    // one sum, the run added them one at a time.
    static bool same(double a, double b) {
        return std::abs(a - b) <= 1e-9 * std::max({1.0, std::abs(a), std::abs(b)});
    }

    // Each statement is prepared once an undo and run for every row: preparing it again for each
    // of tens of thousands of rows cost more than running it.
    db::Statement* prepare(const char* text) {
        Prepared& statement = m_statements[text];
        if (!statement)
            statement = journal::prepare(m_database, m_dialect, text, m_watchdog);
        return statement.get();
    }

    void countKey(Binder& binder, const RowRecord& row) {
        binder.text(":PCodEmpresa", m_run.companyCode)
            .variant(":PDataInv", m_date)
            .text(":PDocumento", m_document)
            .text(":PCodProd", row.CodProd)
            .text(":PCodGrade", row.CodGrade);
    }

    QString checkCount(const RowRecord& row) {
        const QByteArray text = QByteArray(db::sql::UndoCountRow) + m_dialect.rowLock();
        db::Statement* const select = prepare(text.constData());
        Binder binder{*select};
        countKey(binder, row);
        if (!select->open()) {
            select->close();
            return QStringLiteral("a contagem não existe mais");
        }
        const QString processado = select->text(0).trimmed();
        m_counts[{row.CodProd, row.CodGrade}] = select->number(1);
        select->close();
        if (processado != QLatin1String("N"))
            return QStringLiteral("a contagem foi processada depois da conversão");
        return {};
    }

    // The row of other runs' journal entries: the same count row, another run.
    void otherRunsKey(Binder& binder, const RowRecord& row) {
        binder.text(":PIdConv", m_run.id)
            .text(":PCodEmpresa", m_run.companyCode)
            .variant(":PDataInv", m_date)
            .text(":PCodProd", row.CodProd)
            .text(":PCodGrade", row.CodGrade);
    }

    bool onlyThisRun(const RowRecord& row) {
        db::Statement* const select = prepare(db::sql::UndoOtherRunsOnRow);
        Binder binder{*select};
        otherRunsKey(binder, row);
        const bool none = !select->open() || select->number(0) == 0;
        select->close();
        return none;
    }

    QString checkOpeningStock(const RowRecord& row) {
        const auto count = [&](const char* text, const char* empresa, const char* prod,
                               const char* grade) {
            db::Statement* const select = prepare(text);
            Binder binder{*select};
            binder.text(empresa, m_run.companyCode)
                .text(prod, row.CodProd)
                .text(grade, row.CodGrade);
            const double rows = select->open() ? select->number(0) : 0.0;
            select->close();
            return rows;
        };
        if (count(db::sql::UndoOpeningRowCount, ":PCODEMPRESA", ":PCODPROD", ":PCODGRADE") < 1)
            return QStringLiteral("o início de estoque não existe mais");
        const double movements =
            count(db::sql::UndoMovementCount, ":PCodEmpresa", ":PCodProd", ":PCodGrade");
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

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    const RunRecord& m_run;
    db::StatementWatchdog* m_watchdog;
    QString m_document;
    QVariant m_date;
    std::map<std::pair<QString, QString>, double> m_counts;
    std::map<std::string, Prepared> m_statements;
};

} // namespace

UndoResult undo(const QSqlDatabase& database, const db::Dialect& dialect, const QString& id,
                const QString& user, UndoMode mode, std::chrono::milliseconds turnWait) {
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
                                     db::TurnWait{asked->companyCode, turnWait, {}});
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
    undo.release();
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
