#include "BatchJournal.h"

#include "BatchOptions.h"
#include "ConsoleText.h"
#include "conversion/EntryTexts.h"
#include "conversion/Errors.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Schema.h"
#include "db/Texts.h"

#include <QCommandLineParser>
#include <QDir>
#include <QJsonArray>
#include <cstdio>

namespace app::batch {

namespace {

// Who undid it, or nothing; for the history's text.
QString stateText(const conversion::journal::RunRecord& run) {
    return run.undone ? QStringLiteral("desfeita em %1 por %2")
                            .arg(conversion::journal::shownMoment(run.undoneAt), run.undoneBy)
                      : QStringLiteral("gravada");
}

} // namespace

OpenDatabase::OpenDatabase() {
    try {
        startup.open(*connection, {causes.get(), companies.get()});
    } catch (const db::Error& error) {
        connection->close();
        // Connected, but the database is held by another workstation's long write: a wait, which
        // a scheduler tries again later, not a database out of reach.
        throw Failure{dynamic_cast<const db::LockTimeout*>(&error) ? LockWait : NoConnection,
                      QStringLiteral("Ocorreu um erro ao tentar conectar ao banco de dados: ") +
                          error.message(),
                      error.detail()};
    }
}

bool OpenDatabase::journal() const {
    // A journal half there can't guard anything: posting waits until it is mended.
    if (const QString damage = conversion::journal::damage(database()); !damage.isEmpty())
        throw Failure{RunFailed, damage + QStringLiteral(" Nada foi gravado.")};
    const bool present = conversion::journal::present(database());
    if (!present)
        printError(conversion::journal::offText());
    return present;
}

QJsonObject historyJson(const conversion::journal::RunRecord& run) {
    QJsonObject object{
        {QStringLiteral("id"), run.id},
        {QStringLiteral("quando"), run.when},
        {QStringLiteral("estacao"), run.workstation},
        {QStringLiteral("usuario"), run.user},
        {QStringLiteral("modo"), run.uncounted   ? QStringLiteral("nao-contados")
                                 : run.inventory ? QStringLiteral("inventario")
                                                 : QStringLiteral("inicio-estoque")},
        {QStringLiteral("empresa"), run.companyCode},
        {QStringLiteral("data"), db::texts::formatDate(run.date)},
        {QStringLiteral("arquivo"), run.fileName},
        {QStringLiteral("sha256"), run.sha256},
        {QStringLiteral("linhas"), run.lines},
        {QStringLiteral("gravadas"), run.posted},
        {QStringLiteral("rejeitadas"), run.rejected},
        {QStringLiteral("situacao"),
         run.undone ? QStringLiteral("desfeita") : QStringLiteral("gravada")},
    };
    if (run.inventory)
        object.insert(QStringLiteral("causa"), run.causeCode);
    if (run.undone) {
        object.insert(QStringLiteral("desfeita_por"), run.undoneBy);
        object.insert(QStringLiteral("desfeita_em"), run.undoneAt);
    }
    // The files converted together share the id that undoes them.
    if (!run.lote.isEmpty())
        object.insert(QStringLiteral("lote"), run.lote);
    return object;
}

Ending prepareDatabase(bool answeredYes, bool json) {
    const OpenDatabase opened;
    std::FILE* const text = json ? stderr : stdout;
    const QString file = opened.dialect().databaseFile(opened.database());
    const QString database =
        file.isEmpty() ? opened.database().databaseName() : QDir::toNativeSeparators(file);
    // One table of the two counts as a journal to complete, not one to create.
    const QString damage = conversion::journal::damage(opened.database());
    const bool present = conversion::journal::present(opened.database()) || !damage.isEmpty();
    const QStringList statements =
        present ? conversion::journal::completionStatements(opened.database(), opened.dialect())
                : conversion::journal::creationStatements(opened.dialect());
    // Columns missing from a table that is there: not a journal this tool can mend.
    if (!damage.isEmpty() && statements.isEmpty())
        throw Failure{RunFailed, damage};
    Ending ending;
    ending.summary.insert(QStringLiteral("banco"), database);
    ending.summary.insert(QStringLiteral("comandos"), QJsonArray::fromStringList(statements));
    if (statements.isEmpty()) {
        writeConsole(text, QStringLiteral("O diário de conversões já existe neste banco.\n"));
        ending.summary.insert(QStringLiteral("diario"), QStringLiteral("existente"));
        return ending;
    }
    writeConsole(text,
                 (present ? QStringLiteral("O diário de conversões do banco %1 será completado:"
                                           "\n\n%2;\n\n")
                          : QStringLiteral("Serão criadas no banco %1 as tabelas do diário de "
                                           "conversões:\n\n%2;\n\n"))
                     .arg(database, statements.join(QStringLiteral(";\n\n"))));
    if (!answeredYes) {
        writeConsole(text, present ? QStringLiteral("Completar o diário? [s/N] ")
                                   : QStringLiteral("Criar as tabelas? [s/N] "));
        std::fflush(text);
        char answer[16] = {};
        const bool read = std::fgets(answer, sizeof answer, stdin) != nullptr;
        const QString reply = QString::fromLocal8Bit(answer).trimmed().toLower();
        if (!read || (reply != QLatin1String("s") && reply != QLatin1String("sim")))
            throw Failure{BadUsage, present ? QStringLiteral("Nada foi mudado.")
                                            : QStringLiteral("Nada foi criado.")};
    }
    db::runScript(opened.database(), opened.dialect(), statements);
    writeConsole(text, present ? QStringLiteral("Diário completado.\n")
                               : QStringLiteral("Tabelas do diário criadas.\n"));
    ending.summary.insert(QStringLiteral("diario"),
                          present ? QStringLiteral("completado") : QStringLiteral("criado"));
    return ending;
}

Ending history(const QCommandLineParser& parser, const Options& options, bool json) {
    const OpenDatabase opened;
    if (const QString damage = conversion::journal::damage(opened.database()); !damage.isEmpty())
        throw Failure{BadUsage, damage};
    if (!conversion::journal::present(opened.database()))
        throw Failure{BadUsage, conversion::journal::offText()};
    const QString company = parser.isSet(options.company)
                                ? conversion::companyCode(parser.value(options.company))
                                : QString();
    QDate date;
    if (parser.isSet(options.date))
        date = conversion::toDate(inventoryDate(parser.value(options.date)), db::Clock::today());
    const auto runs =
        conversion::journal::history(opened.database(), opened.dialect(), company, date);
    Ending ending;
    QJsonArray list;
    QString text;
    for (const conversion::journal::RunRecord& run : runs) {
        list.append(historyJson(run));
        QString line =
            QStringLiteral("%1  %2  %3  empresa %4  data %5%6  %7  %8 linhas, %9 gravadas, "
                           "%10 rejeitadas  %11@%12  %13")
                .arg(run.id, conversion::journal::shownMoment(run.when),
                     run.uncounted   ? QStringLiteral("não contados")
                     : run.inventory ? QStringLiteral("inventário")
                                     : QStringLiteral("início de estoque"),
                     run.companyCode, db::texts::formatDate(run.date),
                     run.causeCode.isEmpty() ? QString()
                                             : QStringLiteral("  causa ") + run.causeCode,
                     run.fileName)
                .arg(run.lines)
                .arg(run.posted)
                .arg(run.rejected)
                .arg(run.user, run.workstation, stateText(run));
        // The other files of a run point at the id that undoes them all.
        if (!run.lote.isEmpty() && run.lote != run.id)
            line += QStringLiteral("  (convertido junto com %1)").arg(run.lote);
        // A file name is whatever the workstation's file system took: one run stays one line.
        text += db::texts::escapedControls(line) + u'\n';
    }
    ending.summary.insert(QStringLiteral("conversoes"), list);
    if (!json)
        writeConsole(stdout,
                     text.isEmpty() ? QStringLiteral("Nenhuma conversão no diário.\n") : text);
    return ending;
}

Ending undoRun(const QString& id, bool dryRun) {
    const OpenDatabase opened;
    if (const QString damage = conversion::journal::damage(opened.database()); !damage.isEmpty())
        throw Failure{BadUsage, damage};
    if (!conversion::journal::present(opened.database()))
        throw Failure{BadUsage, conversion::journal::offText()};
    conversion::journal::UndoResult result;
    try {
        result = conversion::journal::undo(
            opened.database(), opened.dialect(), id, conversion::journal::currentUser(),
            dryRun ? conversion::journal::UndoMode::Simulate : conversion::journal::UndoMode::Apply,
            opened.connection->turnWait());
    } catch (const db::LockTimeout& error) {
        throw Failure{LockWait, error.message() + QStringLiteral(" Nada foi desfeito."),
                      error.detail()};
    } catch (const db::Error& error) {
        throw Failure{RunFailed, error.message() + QStringLiteral(" Nada foi desfeito."),
                      error.detail()};
    }
    Ending ending;
    ending.summary.insert(QStringLiteral("id"), id);
    ending.summary.insert(QStringLiteral("desfeita"), result.undone && !dryRun);
    ending.summary.insert(QStringLiteral("simulacao"), dryRun);
    if (result.undone) {
        ending.summary.insert(QStringLiteral("linhas"), result.rows);
        // It names the run's files.
        writeConsole(stderr, db::texts::escapedControls(result.message) + QLatin1Char('\n'));
        return ending;
    }
    if (result.refusals.empty())
        throw Failure{BadUsage, result.message};
    // Every row that stops it, one a line: the clerk sees what to look at.
    QString text;
    for (const QString& line : conversion::journal::refusalText(result).split(QLatin1Char('\n')))
        text += db::texts::escapedControls(line) + QLatin1Char('\n');
    writeConsole(stderr, text);
    QJsonArray refused;
    for (const auto& refusal : result.refusals)
        refused.append(QJsonObject{{QStringLiteral("codprod"), refusal.CodProd},
                                   {QStringLiteral("codgrade"), refusal.CodGrade},
                                   {QStringLiteral("motivo"), refusal.reason}});
    ending.summary.insert(QStringLiteral("recusadas"), refused);
    ending.status = RunFailed;
    ending.error = result.message;
    return ending;
}

} // namespace app::batch
