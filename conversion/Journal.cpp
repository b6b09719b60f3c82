#include "Journal.h"

#include "db/Dialect.h"
#include "db/Errors.h"
#include "db/Names.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <QDateTime>
#include <QDir>
#include <QSqlQuery>
#include <QSysInfo>
#include <cmath>
#include <map>

namespace conversion::journal {

namespace {

constexpr char Posted[] = "G";
constexpr char Undone[] = "D";
constexpr char InventoryMode[] = "I";
constexpr char OpeningStockMode[] = "E";

using Prepared = std::unique_ptr<db::Statement>;

Prepared prepare(const QSqlDatabase& database, const db::Dialect& dialect, const char* text,
                 db::StatementWatchdog* watchdog = nullptr) {
    return db::Statement::prepare(database, dialect, text, watchdog);
}

// Binds a value by its placeholder; the statement reads it when it runs, so the caller keeps
// the values alive until then.
struct Binder {
    explicit Binder(db::Statement& bound)
        : statement(bound) {}

    db::Statement& statement;
    std::vector<std::unique_ptr<db::BoundValue>> values;

    Binder& text(const char* name, const QString& value) {
        return keep(name, std::make_unique<db::BoundValue>(value));
    }
    Binder& variant(const char* name, const QVariant& value) {
        return keep(name, std::make_unique<db::BoundValue>(value));
    }
    Binder& number(const char* name, double value) {
        statement.bindFloat(statement.position(name), value);
        return *this;
    }

private:
    Binder& keep(const char* name, std::unique_ptr<db::BoundValue> value) {
        statement.bind(statement.position(name), *value);
        values.push_back(std::move(value));
        return *this;
    }
};

RunRecord readRun(const db::Statement& row) {
    RunRecord run;
    run.id = row.text(0);
    run.when = row.text(1);
    run.workstation = row.text(2);
    run.user = row.text(3);
    run.inventory = row.text(4).trimmed() == QLatin1String(InventoryMode);
    run.companyCode = row.text(5);
    run.causeCode = row.text(6);
    run.date = QDate::fromString(row.text(7).left(10), Qt::ISODate);
    run.fileName = row.text(8);
    run.sha256 = row.text(9);
    run.lines = static_cast<int>(row.number(10));
    run.posted = static_cast<int>(row.number(11));
    run.rejected = static_cast<int>(row.number(12));
    run.undone = row.text(13).trimmed() == QLatin1String(Undone);
    run.undoneBy = row.text(14);
    run.undoneAt = row.text(15);
    return run;
}

QList<RunRecord> readRuns(db::Statement& select) {
    QList<RunRecord> runs;
    for (bool onRow = select.open(); onRow; onRow = select.next())
        runs << readRun(select);
    select.close();
    return runs;
}

QString modeCode(bool inventory) {
    return QLatin1String(inventory ? InventoryMode : OpeningStockMode);
}

bool isJournalStatement(const QString& statement) {
    return statement.contains(QLatin1String(db::table::ConvColetor), Qt::CaseInsensitive);
}

// "1 leitura gravada", "3 leituras gravadas".
QString counted(int count, const char* one, const char* many) {
    return QString::number(count) + u' ' + QString::fromUtf8(count == 1 ? one : many);
}

} // namespace

QString shownMoment(const QString& stored) {
    const QDateTime moment =
        QDateTime::fromString(stored.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return moment.isValid() ? moment.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : stored;
}

QString currentUser() {
    for (const char* name : {"USERNAME", "USER", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user.left(60);
    }
    // The home folder is named after the user where no variable says so.
    return QDir::home().dirName().left(60);
}

QString workstationName() {
    const QString name = qEnvironmentVariable("COMPUTERNAME");
    return (name.isEmpty() ? QSysInfo::machineHostName() : name).left(60);
}

QString momentText(const QDateTime& moment) {
    // Milliseconds, so that two runs of one second still sort in their order.
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

bool present(const QSqlDatabase& database) {
    int found = 0;
    for (const QString& table : database.tables()) {
        for (const char* wanted : {db::table::ConvColetor, db::table::ConvColetorIt}) {
            if (table.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
                ++found;
        }
    }
    return found == 2;
}

QStringList creationStatements(const db::Dialect& dialect) {
    QStringList statements = db::schemaStatements(dialect);
    statements.removeIf([](const QString& statement) { return !isJournalStatement(statement); });
    return statements;
}

void create(QSqlDatabase database, const db::Dialect& dialect) {
    const QStringList statements = creationStatements(dialect);
    db::TransactionGuard transaction(database);
    for (const QString& statement : statements) {
        QSqlQuery query(database);
        if (!query.exec(statement))
            db::raiseDatabaseError(query.lastError(), dialect);
    }
    transaction.commit();
}

QString offText() {
    return QStringLiteral("Diário de conversões desligado: o banco não tem as tabelas ConvColetor "
                          "e ConvColetorIt (conversor-coletor --preparar-banco as cria).");
}

void RowCollector::add(const LineReport& line) {
    if (line.outcome != LineOutcome::Posted)
        return;
    if (m_inventory) {
        for (RowRecord& row : m_rows) {
            if (row.CodProd == line.CodProd && row.CodGrade == line.CodGrade) {
                row.quantity += line.quantity;
                return;
            }
        }
    }
    m_rows.push_back({line.CodProd, line.CodGrade, line.quantity, line.rowCreated});
}

void write(const QSqlDatabase& database, const db::Dialect& dialect, const RunRecord& run,
           const std::vector<RowRecord>& rows) {
    const Prepared insertRun = prepare(database, dialect, db::sql::JournalInsertRun);
    Binder(*insertRun)
        .text(":PIdConv", run.id)
        .text(":PDataHora", run.when)
        .text(":PEstacao", run.workstation)
        .text(":PUsuario", run.user)
        .text(":PModo", modeCode(run.inventory))
        .text(":PCodEmpresa", run.companyCode)
        .text(":PCodCausa", run.causeCode)
        .variant(":PDataInv", dialect.date(run.date))
        .text(":PArquivo", run.fileName.right(255))
        .text(":PSha256", run.sha256)
        .number(":PLinhas", run.lines)
        .number(":PGravadas", run.posted)
        .number(":PRejeitadas", run.rejected)
        .statement.execute();
    const Prepared insertRow = prepare(database, dialect, db::sql::JournalInsertRow);
    for (const RowRecord& row : rows) {
        Binder(*insertRow)
            .text(":PIdConv", run.id)
            .text(":PCodProd", row.CodProd)
            .text(":PCodGrade", row.CodGrade)
            .number(":PQuantidade", row.quantity)
            .text(":PCriou", QLatin1String(row.created ? "S" : "N"))
            .statement.execute();
    }
}

std::optional<RunRecord> findPosted(const QSqlDatabase& database, const db::Dialect& dialect,
                                    const RunRecord& wanted) {
    const Prepared select = prepare(database, dialect, db::sql::JournalFindPosted);
    Binder binder{*select};
    binder.text(":PSha256", wanted.sha256)
        .text(":PModo", modeCode(wanted.inventory))
        .text(":PCodEmpresa", wanted.companyCode)
        .variant(":PDataInv", dialect.date(wanted.date))
        .text(":PCodCausa", wanted.causeCode);
    const QList<RunRecord> runs = readRuns(*select);
    if (runs.isEmpty())
        return std::nullopt;
    return runs.constFirst();
}

std::optional<RunRecord> find(const QSqlDatabase& database, const db::Dialect& dialect,
                              const QString& id) {
    const Prepared select = prepare(database, dialect, db::sql::JournalFindRun);
    Binder binder{*select};
    binder.text(":PIdConv", id);
    const QList<RunRecord> runs = readRuns(*select);
    if (runs.isEmpty())
        return std::nullopt;
    return runs.constFirst();
}

QList<RunRecord> history(const QSqlDatabase& database, const db::Dialect& dialect,
                         const QString& companyCode, const QDate& date) {
    const Prepared select = prepare(database, dialect, db::sql::JournalHistory);
    QList<RunRecord> runs = readRuns(*select);
    runs.removeIf([&](const RunRecord& run) {
        return (!companyCode.isEmpty() && run.companyCode != companyCode) ||
               (date.isValid() && run.date != date);
    });
    return runs;
}

std::vector<RowRecord> rows(const QSqlDatabase& database, const db::Dialect& dialect,
                            const QString& id) {
    const Prepared select = prepare(database, dialect, db::sql::JournalRows);
    Binder binder{*select};
    binder.text(":PIdConv", id);
    std::vector<RowRecord> result;
    for (bool onRow = select->open(); onRow; onRow = select->next())
        result.push_back({select->text(0), select->text(1), select->number(2),
                          select->text(3).trimmed() == QLatin1String("S")});
    select->close();
    return result;
}

QString describe(const RunRecord& run) {
    return QStringLiteral("convertido em %1 por %2 na estação %3: %4")
        .arg(shownMoment(run.when), run.user, run.workstation,
             counted(run.posted, "leitura gravada", "leituras gravadas"));
}

QString alreadyConvertedText(const RunRecord& run) {
    return QStringLiteral("Este arquivo já foi %1 (%2, empresa %3, data %4%5).")
        .arg(describe(run),
             run.inventory ? QStringLiteral("inventário") : QStringLiteral("início de estoque"),
             run.companyCode, db::texts::formatDate(run.date),
             run.causeCode.isEmpty() ? QString() : QStringLiteral(", causa ") + run.causeCode);
}

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
                const QString& user) {
    UndoResult result;
    std::unique_ptr<db::StatementWatchdog> watchdog;
    if (auto cancel = dialect.canceller(database))
        watchdog = std::make_unique<db::StatementWatchdog>(std::move(cancel), db::LockWaitLimit);
    // Declared before the guard, so that the statements end before the transaction does.
    db::TransactionGuard transaction(database, dialect);
    const std::optional<RunRecord> run = find(database, dialect, id);
    if (!run) {
        result.message = QStringLiteral("Conversão não encontrada no diário: %1").arg(id);
        return result;
    }
    if (run->undone) {
        result.message = QStringLiteral("A conversão %1 já foi desfeita em %2 por %3.")
                             .arg(id, shownMoment(run->undoneAt), run->undoneBy);
        return result;
    }
    const std::vector<RowRecord> written = rows(database, dialect, id);
    Undo undo(database, dialect, *run, watchdog.get());
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
    const Prepared mark = prepare(database, dialect, db::sql::JournalMarkUndone, watchdog.get());
    Binder binder{*mark};
    binder.text(":PDesfeitoPor", user)
        .text(":PDesfeitoEm", momentText(db::Clock::now()))
        .text(":PIdConv", id);
    if (mark->executeCounted() != 1)
        throw db::DatabaseError(
            QStringLiteral("A conversão %1 mudou durante o desfazer; nada foi desfeito.").arg(id));
    transaction.commit();
    result.undone = true;
    result.message =
        QStringLiteral("Conversão desfeita: %1 de %2.")
            .arg(counted(static_cast<int>(written.size()), "linha revertida", "linhas revertidas"),
                 run->inventory ? QStringLiteral("Inventa") : QStringLiteral("INCIEST e MVGERAL"));
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
