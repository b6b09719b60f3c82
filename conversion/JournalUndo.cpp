#include "Journal.h"
#include "JournalStatements.h"

#include "db/Dialect.h"
#include "db/Errors.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <QVariant>
#include <cmath>
#include <map>

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

    void reverse(const RowRecord& row) {
        if (m_run.inventory) {
            const bool remove = row.created && onlyThisRun(row) && countIs(row);
            const Prepared change =
                prepare(remove ? db::sql::UndoDeleteCountRow : db::sql::UndoSubtractCount);
            Binder binder{*change};
            if (!remove)
                binder.number(":PQuantidade", row.quantity);
            countKey(binder, row);
            if (change->executeCounted() != 1)
                throw db::DatabaseError(rowChangedText(row));
            return;
        }
        for (const char* text :
             {db::sql::UndoDeleteOpeningMovement, db::sql::UndoDeleteOpeningStock}) {
            const Prepared remove = prepare(text);
            Binder binder{*remove};
            binder.text(":PCODEMPRESA", m_run.companyCode)
                .text(":PCODPROD", row.CodProd)
                .text(":PCODGRADE", row.CodGrade);
            if (remove->executeCounted() != 1)
                throw db::DatabaseError(rowChangedText(row));
        }
    }

private:
    Prepared prepare(const char* text) {
        return journal::prepare(m_database, m_dialect, text, m_watchdog);
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
        const Prepared select = prepare(text.constData());
        Binder binder{*select};
        countKey(binder, row);
        if (!select->open())
            return QStringLiteral("a contagem não existe mais");
        const QString processado = select->text(0).trimmed();
        m_counts[{row.CodProd, row.CodGrade}] = select->number(1);
        select->close();
        if (processado != QLatin1String("N"))
            return QStringLiteral("a contagem foi processada depois da conversão");
        return {};
    }

    bool onlyThisRun(const RowRecord& row) {
        const Prepared select = prepare(db::sql::UndoOtherRunsOnRow);
        Binder binder{*select};
        binder.text(":PIdConv", m_run.id)
            .text(":PCodEmpresa", m_run.companyCode)
            .variant(":PDataInv", m_date)
            .text(":PCodProd", row.CodProd)
            .text(":PCodGrade", row.CodGrade);
        const bool none = !select->open() || select->number(0) == 0;
        select->close();
        return none;
    }

    // Whether the count row holds exactly what the run put in: then nothing else added to it.
    bool countIs(const RowRecord& row) const {
        const double count = m_counts.at({row.CodProd, row.CodGrade});
        return std::abs(count - row.quantity) <= 1e-9 * std::max(1.0, std::abs(row.quantity));
    }

    QString checkOpeningStock(const RowRecord& row) {
        const auto count = [&](const char* text, const char* empresa, const char* prod,
                               const char* grade) {
            const Prepared select = prepare(text);
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
};

} // namespace

UndoResult undo(const QSqlDatabase& database, const db::Dialect& dialect, const QString& id,
                const QString& user, UndoMode mode) {
    UndoResult result;
    std::unique_ptr<db::StatementWatchdog> watchdog;
    if (auto cancel = dialect.canceller(database))
        watchdog = std::make_unique<db::StatementWatchdog>(std::move(cancel), db::LockWaitLimit);
    // Declared before the guard, so that the statements end before the transaction does.
    db::TransactionGuard transaction(database, dialect);
    const std::optional<RunRecord> entry = find(database, dialect, id);
    if (!entry) {
        result.message = QStringLiteral("Conversão não encontrada no diário: %1").arg(id);
        return result;
    }
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
    result.rows = static_cast<int>(written.size());
    const QString tables =
        run.inventory ? QStringLiteral("Inventa") : QStringLiteral("INCIEST e MVGERAL");
    result.message =
        mode == UndoMode::Apply
            ? QStringLiteral("Conversão desfeita: %1 de %2.")
                  .arg(counted(result.rows, "linha revertida", "linhas revertidas"), tables)
            : QStringLiteral("Simulação: a conversão seria desfeita: %1 de %2.")
                  .arg(counted(result.rows, "linha", "linhas"), tables);
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
