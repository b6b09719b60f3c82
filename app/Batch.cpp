#include "Batch.h"

#include "BatchFiles.h"
#include "BatchJournal.h"
#include "BatchOptions.h"
#include "BatchUncounted.h"
#include "BatchVerify.h"
#include "ConsoleText.h"
#include "DemoFolder.h"
#include "Startup.h"
#include "conversion/CollectorFile.h"
#include "conversion/EntryTexts.h"
#include "conversion/Errors.h"
#include "conversion/Journal.h"
#include "conversion/RejectionExport.h"
#include "conversion/RejectionList.h"
#include "conversion/RunReport.h"
#include "conversion/RunService.h"
#include "db/Connection.h"
#include "db/LookupQuery.h"
#include "db/Regional.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>

#ifdef Q_OS_WIN
#include <io.h>
#define COLETOR_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#else
#include <unistd.h>
#define COLETOR_STDERR_IS_TERMINAL() (isatty(fileno(stderr)) != 0)
#endif

namespace app::batch {

namespace {

// The batch's side of a run: the report rows and a progress line on a terminal.
class BatchObserver final : public conversion::RunObserver {
public:
    BatchObserver(int lineCount, Output* report, bool dryRun, conversion::RunFiles files)
        : m_lineCount(lineCount)
        , m_step(std::max(1, m_lineCount / 100))
        , m_progress(COLETOR_STDERR_IS_TERMINAL())
        , m_report(report)
        , m_dryRun(dryRun)
        , m_files(std::move(files)) {
        if (m_report)
            m_buffer = conversion::csvHeader(m_files.size() > 1);
    }

    void lineStarted(int number) override {
        m_current = number;
        if (m_progress && (number % m_step == 0 || number == m_lineCount))
            std::fprintf(stderr, "\rLinha %d de %d", number, m_lineCount);
    }
    bool stopRequested() override { return false; }
    // One line, when the wait begins: a script's log shows why the run took longer.
    void waitingForTurn(int) override {
        if (!m_waitTold)
            printError(
                QStringLiteral("Aguardando outra estação de trabalho terminar a conversão…"));
        m_waitTold = true;
    }
    void lineDone(const conversion::LineReport& line) override {
        if (!m_report)
            return;
        if (m_files.size() < 2) {
            conversion::appendCsvRow(m_buffer, line, m_dryRun);
        } else {
            // Each line as its file numbers it, after the file's name.
            const conversion::FileLine where = conversion::locate(m_files, line.number);
            conversion::appendCsvField(m_buffer, m_files[where.file].name);
            m_buffer += ',';
            conversion::LineReport local = line;
            local.number = where.line;
            conversion::appendCsvRow(m_buffer, local, m_dryRun);
        }
        if (m_buffer.size() >= BufferSize)
            flush();
    }

    // Ends the progress line, and hands the last rows to the report file.
    void finish() {
        if (m_progress && m_current > 0)
            std::fputc('\n', stderr);
        if (m_report)
            flush();
    }

private:
    static constexpr qsizetype BufferSize = 1 << 16;
    // A write error stays with the output, which then refuses to commit.
    void flush() {
        m_report->write(m_buffer);
        m_buffer.clear();
    }

    int m_lineCount;
    int m_step;
    bool m_progress;
    Output* m_report;
    bool m_dryRun;
    conversion::RunFiles m_files;
    QByteArray m_buffer;
    int m_current = 0;
    bool m_waitTold = false;
};

class Conversion {
public:
    Conversion(const QCommandLineParser& parser, const Options& options,
               const QByteArrayList& native)
        : m_parser(parser)
        , m_options(options)
        , m_native(native) {}

    Ending run();

private:
    // The collector files: the mode's value, then every argument that is no option.
    std::vector<FileArgument> files(const QCommandLineOption& option) const {
        std::vector<FileArgument> result{file(option)};
        const QStringList names = m_parser.positionalArguments();
#ifdef Q_OS_UNIX
        const QByteArrayList native = nativePositionals(m_native, m_options.withValue());
#endif
        for (qsizetype i = 0; i < names.size(); ++i) {
            result.push_back(FileArgument{names.at(i), {}});
#ifdef Q_OS_UNIX
            FileArgument& added = result.back();
            added.native = native.value(i);
            if (added.native.isEmpty() || QFile::decodeName(added.native) != added.name)
                added.native = QFile::encodeName(added.name);
#endif
        }
        return result;
    }
    FileArgument file(const QCommandLineOption& option) const {
        return fileArgument(m_parser.value(option), nativeValue(m_native, m_options.withValue(),
                                                                option.names().constFirst()));
    }
    std::unique_ptr<Output> output(const QCommandLineOption& option) const {
        if (!m_parser.isSet(option))
            return nullptr;
        try {
            return std::make_unique<Output>(file(option));
        } catch (const conversion::FileError& error) {
            throw Failure{BadUsage, error.message()};
        }
    }

    const QCommandLineParser& m_parser;
    const Options& m_options;
    const QByteArrayList& m_native;
};

Ending Conversion::run() {
    const QCommandLineParser& parser = m_parser;
    const Options& options = m_options;
    const bool inventory = parser.isSet(options.inventory);
    if (inventory == parser.isSet(options.openingStock))
        throw Failure{BadUsage,
                      QStringLiteral("Informe um modo: --inventario ou --inicio-estoque.")};
    const std::vector<FileArgument> inputs =
        files(inventory ? options.inventory : options.openingStock);
    const QString companyArgument = parser.value(options.company);
    const QString causeArgument = parser.value(options.cause);
    // The window's checks and texts; a company too long is told before a blank cause.
    const auto blank =
        conversion::checkEntries({inputs.front().name, companyArgument, causeArgument, inventory});
    if (blank && blank->entry != conversion::Entry::Cause)
        throw Failure{BadUsage, blank->message};
    requireFits(companyArgument, 2, QStringLiteral("Empresa"));
    if (blank)
        throw Failure{BadUsage, blank->message};
    if (inventory)
        requireFits(causeArgument, 3, QStringLiteral("Causa"));
    const QString dateText = inventoryDate(parser.value(options.date));
    refuseFarDate(parser, options, dateText, QStringLiteral("converte"));
    // Every file read and checked before the database is asked anything.
    QStringList lines;
    conversion::RunFiles runFiles;
    QStringList collectorPaths;
    for (const FileArgument& input : inputs) {
        if (input.name.isEmpty())
            throw Failure{BadUsage,
                          conversion::blankFieldText(QStringLiteral("Caminho do Arquivo"))};
        CollectorInput collector;
        try {
            collector = readCollector(input, conversion::MaxCollectorBytes);
        } catch (const conversion::FileError& error) {
            throw Failure{BadUsage, error.message()};
        }
        if (const auto problem = conversion::checkLines(collector.lines, input.name))
            throw Failure{BadUsage, *problem};
        if (const auto problem = conversion::checkRunLines(lines.size() + collector.lines.size()))
            throw Failure{BadUsage, *problem};
        lines += collector.lines;
        runFiles.push_back({QFileInfo(input.name).fileName(),
                            conversion::readingsSha256(collector.lines),
                            static_cast<int>(collector.lines.size()), collector.sha256});
        collectorPaths << collector.canonicalPath;
    }
    if (const auto problem = conversion::checkFiles(runFiles))
        throw Failure{BadUsage, *problem};

    const std::unique_ptr<Output> rejectionFile = output(options.rejections);
    const std::unique_ptr<Output> reportFile = output(options.report);
    for (const Output* file : {rejectionFile.get(), reportFile.get()}) {
        for (const QString& collectorPath : collectorPaths) {
            if (file && samePath(file->resolvedPath(), collectorPath))
                throw Failure{BadUsage, QStringLiteral("Não foi possível gravar %1: é o próprio "
                                                       "arquivo do coletor")
                                            .arg(file->name())};
        }
    }
    if (rejectionFile && reportFile &&
        samePath(rejectionFile->resolvedPath(), reportFile->resolvedPath()))
        throw Failure{BadUsage, QStringLiteral("--rejeitadas e --relatorio são o mesmo arquivo: %1")
                                    .arg(reportFile->name())};

    const OpenDatabase opened;
    const std::unique_ptr<db::Connection>& connection = opened.connection;
    const std::unique_ptr<db::LookupQuery>& causes = opened.causes;
    const std::unique_ptr<db::LookupQuery>& companies = opened.companies;

    // A database that is a local file would be replaced by an output too.
    const QString databaseFile =
        QFileInfo(connection->dialect().databaseFile(connection->database())).canonicalFilePath();
    for (const Output* file : {rejectionFile.get(), reportFile.get()}) {
        if (file && !databaseFile.isEmpty() && samePath(file->resolvedPath(), databaseFile))
            throw Failure{
                BadUsage,
                QStringLiteral("Não foi possível gravar %1: é o banco de dados").arg(file->name())};
    }

    // Padded as the fields pad them when they are left, and looked up the same way.
    const QString companyCode = conversion::companyCode(companyArgument);
    if (!companies->locate(companyCode))
        throw Failure{BadUsage, QStringLiteral("Empresa não cadastrada: %1").arg(companyCode)};
    const QString causeCode = inventory ? conversion::causeCode(causeArgument) : QString();
    if (inventory && !causes->locate(causeCode))
        throw Failure{BadUsage, QStringLiteral("Causa não cadastrada: %1").arg(causeCode)};

    conversion::RunRequest request;
    request.lines = lines;
    request.entries = {companyCode, causeCode, dateText};
    request.inventory = inventory;
    request.dryRun = parser.isSet(options.dryRun);
    request.journal = opened.journal();
    request.files = runFiles;
    request.again = parser.isSet(options.again);
    if (request.journal && !request.dryRun && runFiles.size() > 1 &&
        !conversion::journal::keepsLotes(connection->database()))
        throw Failure{BadUsage, conversion::journal::noLotesText()};
    request.turnWaitLimit = connection->turnWait();
    if (parser.isSet(options.wait)) {
        const auto limit = db::waitSeconds(parser.value(options.wait));
        if (!limit)
            throw Failure{BadUsage, QStringLiteral("--espera: SEGUNDOS é um número inteiro de 0 "
                                                   "a 3600.")};
        request.turnWaitLimit = *limit;
    }
    BatchObserver observer(static_cast<int>(lines.size()), reportFile.get(), request.dryRun,
                           runFiles);
    const conversion::RunResult result =
        conversion::RunService(connection->database(), connection->dialect())
            .run(request, &observer);
    observer.finish();
    // The journal holds one of the files as posted, and no repeat was asked for.
    if (result.ending == conversion::RunEnding::AlreadyConverted)
        throw Failure{AlreadyConverted,
                      result.failure +
                          QStringLiteral(" Nada foi gravado; --de-novo converte de novo.")};
    if (request.dryRun && !result.earlier.empty())
        printError(result.earlierText() + QStringLiteral(" Simulação: gravar pediria --de-novo."));
    if (!result.completed())
        throw Failure{failureStatus(result.ending), result.failureWithLine(), result.detail};
    if (!result.note.isEmpty())
        printError(result.note);
    // Quiet on success; a run that posted nothing must not pass for one.
    if (const QString none = conversion::nothingPostedText(result.summary, request.dryRun);
        !none.isEmpty())
        printError(none + u'.');

    Ending ending;
    ending.status = result.summary.rejected() > 0 ? PostedWithRejections : Posted;
    if (rejectionFile) {
        bool rejectionsFlag = false;
        conversion::RejectionList inventoryRejections(rejectionsFlag);
        conversion::RejectionList openingRejections(rejectionsFlag);
        result.listRejections({inventoryRejections, openingRejections, rejectionsFlag});
        const conversion::RejectionList& list = inventory ? inventoryRejections : openingRejections;
        if (!list.isEmpty())
            rejectionFile->write(conversion::rejectionFileBytes(list.exportLines()));
    }
    for (Output* file : {rejectionFile.get(), reportFile.get()}) {
        if (!file)
            continue;
        if (const QString failure = file->commit(); !failure.isEmpty()) {
            printError(failure);
            ending.status = OutputFailed;
            ending.error = failure;
        }
    }
    ending.summary = result.summary.toJson(
        inventory ? QStringLiteral("inventario") : QStringLiteral("inicio-estoque"), request.dryRun,
        std::round(result.seconds * 1000) / 1000);
    if (!result.runId.isEmpty())
        ending.summary.insert(QStringLiteral("id"), result.runId);
    // A simulation of a file converted before says which run; a posting with --de-novo too.
    if (!result.earlier.empty())
        ending.summary.insert(QStringLiteral("ja_convertido"), historyJson(result.earlier.front()));
    if (!result.note.isEmpty())
        ending.summary.insert(QStringLiteral("aviso"), result.note);
    return ending;
}

// The summary, one object on one line, whatever the ending; false when it could not be written.
bool printJson(const Ending& ending) {
    QJsonObject object = ending.summary;
    object.insert(QStringLiteral("situacao"), ending.status);
    if (!ending.error.isEmpty())
        object.insert(QStringLiteral("erro"), oneLine(ending.error));
    if (!ending.detail.isEmpty())
        object.insert(QStringLiteral("detalhe"), ending.detail);
    const QByteArray text = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    errno = 0;
    if (writeConsole(stdout, QString::fromUtf8(text)))
        return true;
    printError(QStringLiteral("Não foi possível escrever o JSON na saída padrão: %1")
                   .arg(systemErrorText(errno)));
    return false;
}

// The text goes where the JSON does not: standard output is the JSON's alone.
Ending makeDemo(const QString& folder, bool json) {
    try {
        makeDemoFolder(folder, ExistingFiles::Refuse);
    } catch (const db::Error& error) {
        throw Failure{BadUsage, error.message()};
    }
    writeConsole(json ? stderr : stdout,
                 QStringLiteral("Demo pronta em %1: abra o programa nessa pasta e converta "
                                "coletor.txt com a empresa 01, a causa 001 e a data de hoje.\n")
                     .arg(folder));
    Ending ending;
    ending.summary.insert(QStringLiteral("pasta"),
                          QDir::toNativeSeparators(QFileInfo(folder).absoluteFilePath()));
    return ending;
}

Ending version(bool json) {
    Ending ending;
    ending.summary.insert(QStringLiteral("versao"), QCoreApplication::applicationVersion());
    if (!json)
        writeConsole(stdout, QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                                           QCoreApplication::applicationVersion()));
    return ending;
}

} // namespace

int run(const QStringList& arguments, const QByteArrayList& nativeArguments) {
    ParserTexts texts;
    QCoreApplication::installTranslator(&texts);
    QCommandLineParser parser;
    const Options options;
    parser.setApplicationDescription(description(options));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOptions(options.all());
    Ending ending;
    bool json = false;
    try {
        const bool parsed = parser.parse(arguments);
        // Known even when the rest of the line is wrong: a script that asked for JSON gets it.
        json = parser.isSet(options.json);
        if (!parsed)
            throw Failure{BadUsage, parser.errorText()};
        refuseRepeatedOptions(parser);
        refuseOptionsAsValues(parser, options);
        // Whatever else is on the line: the help is what one asks for when unsure of the rest.
        if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
            writeConsole(stdout, parser.helpText());
            return Posted;
        }
        const std::optional<Command> command = chosenCommand(parser, options);
        switch (command ? command->task : Task::Conversion) {
        case Task::Conversion:
            ending = Conversion(parser, options, nativeArguments).run();
            break;
        case Task::Uncounted:
            ending = listUncounted(parser, options, nativeArguments, json);
            break;
        case Task::ZeroUncounted:
            ending = zeroUncounted(parser, options, nativeArguments, json);
            break;
        case Task::History:
            ending = history(parser, options, json);
            break;
        case Task::Undo:
            ending = undoRun(parser.value(options.undo), parser.isSet(options.dryRun));
            break;
        case Task::Prepare:
            ending = prepareDatabase(parser.isSet(options.yes), json);
            break;
        case Task::Verify:
            ending = verify(json);
            break;
        case Task::Demo:
            ending = makeDemo(parser.value(options.demo), json);
            break;
        case Task::Version:
            ending = version(json);
            break;
        }
    } catch (const Failure& failure) {
        printError(failure.message());
        ending.status = failure.status();
        ending.error = failure.message();
        ending.detail = failure.detail();
    } catch (const db::Error& error) {
        // The journal's look-ups, listing and tables: a database that refuses them.
        printError(error.message());
        ending.status = dynamic_cast<const db::LockTimeout*>(&error) ? LockWait : RunFailed;
        ending.error = error.message();
        ending.detail = error.detail();
    }
    // Posted but not told: the script can't know, as when an output file fails.
    if (json && !printJson(ending) && ending.status <= PostedWithRejections)
        return OutputFailed;
    return ending.status;
}

} // namespace app::batch
