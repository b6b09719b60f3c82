#include "Batch.h"

#include "ConsoleText.h"
#include "DemoFolder.h"
#include "Startup.h"
#include "conversion/CollectorFile.h"
#include "conversion/ConversionEngine.h"
#include "conversion/EntryTexts.h"
#include "conversion/RejectionExport.h"
#include "conversion/RejectionList.h"
#include "conversion/RunReport.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/LookupQuery.h"
#include "db/Names.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QJsonDocument>
#include <QSaveFile>
#include <QTranslator>
#include <cmath>
#include <cstdio>
#include <memory>
#include <optional>

#ifdef Q_OS_WIN
#include <io.h>
#define COLETOR_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#else
#include <unistd.h>
#define COLETOR_STDERR_IS_TERMINAL() (isatty(fileno(stderr)) != 0)
#endif

namespace batch {

namespace {

// One line on standard error; a message that spans lines in a box is joined into one.
void printError(QString message) {
    message.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    console::write(stderr, message + QLatin1Char('\n'));
}

// An error that ends the batch with its status.
struct Failure {
    int status;
    QString message;
};

// The parser's own texts, in the tool's language.
class ParserTexts final : public QTranslator {
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*,
                      int) const override {
        if (qstrcmp(context, "QCommandLineParser") != 0)
            return {};
        static const std::pair<const char*, const char*> Texts[] = {
            {"Usage: %1", "Uso: %1"},
            {"[options]", "[opções]"},
            {"Options:", "Opções:"},
            {"Arguments:", "Argumentos:"},
            {"Displays help on commandline options.", "Mostra esta ajuda."},
            {"Displays help including Qt specific options.",
             "Mostra esta ajuda e as opções do Qt."},
            {"Displays version information.", "Mostra a versão."},
            {"Unknown option '%1'.", "Opção desconhecida: '%1'."},
            {"Unknown options: %1.", "Opções desconhecidas: %1."},
            {"Missing value after '%1'.", "Falta o valor de %1."},
            {"Unexpected value after '%1'.", "Valor inesperado em %1."},
        };
        for (const auto& [english, portuguese] : Texts) {
            if (qstrcmp(sourceText, english) == 0)
                return QString::fromUtf8(portuguese);
        }
        return {};
    }
};

const QString Description = QStringLiteral(
    "Converte um arquivo do coletor sem abrir a janela; sem argumentos, abre a janela.\n"
    "\n"
    "  conversor-coletor --inventario ARQUIVO --empresa COD --causa COD [--data DD/MM/AAAA]\n"
    "  conversor-coletor --inicio-estoque ARQUIVO --empresa COD [--data DD/MM/AAAA]\n"
    "\n"
    "Usa o Caminho.Dir da pasta atual e o arquivo de aliases, como a janela. Sem --data, a data\n"
    "é a de hoje.\n"
    "\n"
    "Situação de saída:\n"
    "  0  gravado (ou simulado) sem rejeições\n"
    "  1  gravado (ou simulado) com rejeições\n"
    "  2  uso errado ou dados inválidos (empresa ou causa desconhecida, data inválida,\n"
    "     arquivo ausente ou vazio)\n"
    "  3  sem conexão com o banco de dados\n"
    "  4  a conversão falhou e nada foi gravado\n"
    "  5  não foi possível confirmar a gravação\n"
    "  6  gravado, mas um arquivo de saída não pôde ser escrito");

struct Options {
    QCommandLineOption inventory{QStringLiteral("inventario"),
                                 QStringLiteral("Converte ARQUIVO em contagens de inventário."),
                                 QStringLiteral("ARQUIVO")};
    QCommandLineOption openingStock{QStringLiteral("inicio-estoque"),
                                    QStringLiteral("Converte ARQUIVO em início de estoque."),
                                    QStringLiteral("ARQUIVO")};
    QCommandLineOption company{QStringLiteral("empresa"), QStringLiteral("Código da empresa."),
                               QStringLiteral("COD")};
    QCommandLineOption cause{QStringLiteral("causa"),
                             QStringLiteral("Código da causa (só no inventário)."),
                             QStringLiteral("COD")};
    QCommandLineOption date{QStringLiteral("data"),
                            QStringLiteral("Data do inventário; completada como no campo Data."),
                            QStringLiteral("DD/MM/AAAA")};
    QCommandLineOption dryRun{
        QStringLiteral("simular"),
        QStringLiteral("Faz a conversão inteira e desfaz tudo no fim: nada é gravado.")};
    QCommandLineOption rejections{
        QStringLiteral("rejeitadas"),
        QStringLiteral("Grava as leituras rejeitadas em SAIDA, como o botão Salvar."),
        QStringLiteral("SAIDA")};
    QCommandLineOption report{
        QStringLiteral("relatorio"),
        QStringLiteral("Grava o relatório da conversão, uma linha por linha do arquivo, em "
                       "SAIDA.csv (UTF-8)."),
        QStringLiteral("SAIDA.csv")};
    QCommandLineOption json{QStringLiteral("json"),
                            QStringLiteral("Escreve um resumo em JSON na saída padrão.")};
    QCommandLineOption demo{
        QStringLiteral("demo"),
        QStringLiteral("Cria a pasta de demonstração PASTA: um banco SQLite com dados de "
                       "demonstração, o Caminho.Dir que o indica e um coletor.txt. Não substitui "
                       "arquivos que a pasta já tenha."),
        QStringLiteral("PASTA")};
};

// The date argument as the ten positions of the date field: day, month and year each in its
// place, so that the field's completion applies. Empty when a part can't be typed there.
std::optional<QString> datePositions(const QString& argument) {
    const QStringList parts = argument.split(QLatin1Char('/'));
    const int widths[] = {2, 2, 4};
    if (parts.size() > 3)
        return std::nullopt;
    QString positions;
    for (int i = 0; i < 3; ++i) {
        const QString part = i < parts.size() ? parts[i].trimmed() : QString();
        if (part.size() > widths[i])
            return std::nullopt;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        positions += part.leftJustified(widths[i], QLatin1Char(' '));
        if (i < 2)
            positions += QLatin1Char('/');
    }
    return positions;
}

// No date is today, as in the window; anything else is completed and checked as the date field
// does. A three-digit year, which the field only warns about, is refused: nobody reads a
// warning in a scheduled job.
QString inventoryDate(const QString& argument) {
    const QDate today = db::Clock::today();
    if (db::texts::trimControl(argument).isEmpty())
        return db::texts::formatDate(today);
    const auto positions = datePositions(argument);
    if (!positions)
        throw Failure{BadUsage, QStringLiteral("Data inválida: %1").arg(argument)};
    const CompletedDate completed = completeDateText(*positions, today);
    if (completed.suspicious)
        throw Failure{BadUsage,
                      QStringLiteral("Atenção Data Suspeita: %1").arg(completed.text.trimmed())};
    const auto date = db::texts::parseDate(completed.text, today);
    if (!date)
        throw Failure{BadUsage, QStringLiteral("Data inválida: %1").arg(argument)};
    return db::texts::formatDate(*date);
}

QString blankField(const QString& label) {
    return QStringLiteral("O campo \"") + label + QStringLiteral("\" não pode ficar em branco!");
}

// An output file, written beside its target and put in place only when the run succeeded.
std::unique_ptr<QSaveFile> openOutput(const QString& path) {
    if (path.isEmpty())
        return nullptr;
    auto file = std::make_unique<QSaveFile>(path);
    if (!file->open(QIODevice::WriteOnly))
        throw Failure{
            BadUsage,
            QStringLiteral("Não foi possível gravar %1: %2").arg(path, file->errorString())};
    return file;
}

// The batch's side of a run: the report rows, the figures, and a progress line on a terminal.
class BatchObserver final : public conversion::RunObserver {
public:
    BatchObserver(qsizetype lineCount, QSaveFile* report)
        : m_lineCount(static_cast<int>(lineCount))
        , m_step(std::max(1, m_lineCount / 100))
        , m_progress(COLETOR_STDERR_IS_TERMINAL())
        , m_report(report) {
        if (m_report)
            m_buffer = runreport::csvHeader();
    }

    void lineStarted(int number) override {
        m_current = number;
        if (m_progress && (number % m_step == 0 || number == m_lineCount))
            std::fprintf(stderr, "\rLinha %d de %d", number, m_lineCount);
    }
    void statusChanged(const QString&) override {}
    void letMessagesRun() override {}
    bool stopRequested() override { return false; }
    void lineDone(const conversion::LineReport& line) override {
        m_done = line.number;
        m_summary.add(line);
        if (!m_report)
            return;
        runreport::appendCsvRow(m_buffer, line);
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

    // The line a failure came from; 0 when it came before the first line or after the last.
    int failedLine() const { return m_current > m_done ? m_current : 0; }
    const runreport::Summary& summary() const { return m_summary; }

private:
    static constexpr qsizetype BufferSize = 1 << 16;
    // A write error stays with the file, which then refuses to commit.
    void flush() {
        m_report->write(m_buffer);
        m_buffer.clear();
    }

    int m_lineCount;
    int m_step;
    bool m_progress;
    QSaveFile* m_report;
    QByteArray m_buffer;
    int m_current = 0;
    int m_done = 0;
    runreport::Summary m_summary;
};

int convert(const QCommandLineParser& parser, const Options& options) {
    const bool inventory = parser.isSet(options.inventory);
    if (inventory == parser.isSet(options.openingStock))
        throw Failure{BadUsage,
                      QStringLiteral("Informe um modo: --inventario ou --inicio-estoque.")};
    const QString path = parser.value(inventory ? options.inventory : options.openingStock);
    if (path.isEmpty())
        throw Failure{BadUsage, blankField(QStringLiteral("Caminho do Arquivo"))};
    const QString companyArgument = parser.value(options.company);
    if (companyArgument.isEmpty())
        throw Failure{BadUsage, blankField(QStringLiteral("Empresa"))};
    const QString causeArgument = parser.value(options.cause);
    if (inventory && causeArgument.isEmpty())
        throw Failure{BadUsage, blankField(QStringLiteral("Causa"))};
    const QString dateText = inventoryDate(parser.value(options.date));
    if (!QFileInfo(path).isFile())
        throw Failure{BadUsage, QStringLiteral("Arquivo não encontrado: %1").arg(path)};
    QStringList lines;
    try {
        lines = collector::readLines(path);
    } catch (const db::FileError& error) {
        throw Failure{BadUsage, error.message()};
    }
    if (lines.isEmpty())
        throw Failure{BadUsage, QStringLiteral("Arquivo vazio! %1").arg(path)};
    const std::unique_ptr<QSaveFile> rejectionFile = openOutput(parser.value(options.rejections));
    const std::unique_ptr<QSaveFile> reportFile = openOutput(parser.value(options.report));

    const Startup startup;
    const std::unique_ptr<Connection> connection(startup.newConnection(nullptr));
    db::LookupQuery causes(QStringLiteral("CausInv"), QString::fromLatin1(db::lookup::CausInv),
                           QString::fromLatin1(db::column::CodCausa));
    db::LookupQuery companies(QStringLiteral("Empresa"), QString::fromLatin1(db::lookup::Empresa),
                              QString::fromLatin1(db::column::CodEmpresa));
    try {
        startup.open(*connection, {&causes, &companies});
    } catch (const db::Error& error) {
        connection->close();
        throw Failure{NoConnection,
                      QStringLiteral("Ocorreu um erro ao tentar conectar ao banco de dados: ") +
                          error.message()};
    }

    // Padded as the fields pad them when they are left, and looked up the same way.
    const QString companyCode = ZeroPad(companyArgument, 2);
    if (!companies.locate(companyCode))
        throw Failure{BadUsage, QStringLiteral("Empresa não cadastrada: %1").arg(companyCode)};
    const QString causeCode = inventory ? ZeroPad(causeArgument, 3) : QString();
    if (inventory && !causes.locate(causeCode))
        throw Failure{BadUsage, QStringLiteral("Causa não cadastrada: %1").arg(causeCode)};

    bool rejectionsFlag = false;
    RejectionList inventoryRejections(rejectionsFlag);
    RejectionList openingRejections(rejectionsFlag);
    BatchObserver observer(lines.size(), reportFile.get());
    const bool dryRun = parser.isSet(options.dryRun);
    QElapsedTimer timer;
    timer.start();
    try {
        conversion::ConversionEngine engine(
            connection->database(), connection->dialect(), {companyCode, causeCode, dateText},
            {inventoryRejections, openingRejections, rejectionsFlag}, &observer);
        engine.setDryRun(dryRun);
        if (inventory)
            engine.ConvertInventory(lines);
        else
            engine.ConvertOpeningStock(lines);
    } catch (const std::exception& error) {
        observer.finish();
        // The window's text, with the line it came from.
        QString message = conversion::ConversionEngine::failedRunMessage(error);
        if (observer.failedLine() > 0)
            message = QStringLiteral("Linha %1: ").arg(observer.failedLine()) + message;
        throw Failure{dynamic_cast<const db::CommitUnconfirmed*>(&error) ? CommitUnconfirmed
                                                                         : RunFailed,
                      message};
    }
    const double seconds = timer.nsecsElapsed() / 1e9;
    observer.finish();

    int status = observer.summary().rejected() > 0 ? PostedWithRejections : Posted;
    const auto commitOutput = [&status](QSaveFile* file) {
        if (file && !file->commit()) {
            printError(QStringLiteral("Não foi possível gravar %1: %2")
                           .arg(file->fileName(), file->errorString()));
            status = OutputFailed;
        }
    };
    if (rejectionFile) {
        const RejectionList& list = inventory ? inventoryRejections : openingRejections;
        if (!list.isEmpty())
            rejectionFile->write(rejectionexport::bytes(list.exportLines()));
        commitOutput(rejectionFile.get());
    }
    commitOutput(reportFile.get());
    if (parser.isSet(options.json)) {
        const QJsonObject summary = observer.summary().toJson(
            inventory ? QStringLiteral("inventario") : QStringLiteral("inicio-estoque"), dryRun,
            std::round(seconds * 1000) / 1000);
        console::write(stdout,
                       QString::fromUtf8(QJsonDocument(summary).toJson(QJsonDocument::Compact)) +
                           QLatin1Char('\n'));
    }
    return status;
}

int makeDemo(const QString& folder) {
    try {
        demofolder::make(folder, demofolder::Existing::Refuse);
    } catch (const db::Error& error) {
        throw Failure{BadUsage, error.message()};
    }
    console::write(stdout,
                   QStringLiteral("Demo pronta em %1: abra o programa nessa pasta e converta "
                                  "coletor.txt com a empresa 01, a causa 001 e a data de "
                                  "hoje.\n")
                       .arg(folder));
    return Posted;
}

} // namespace

int run(const QStringList& arguments) {
    ParserTexts texts;
    QCoreApplication::installTranslator(&texts);
    QCommandLineParser parser;
    parser.setApplicationDescription(Description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const Options options;
    parser.addOptions({options.inventory, options.openingStock, options.company, options.cause,
                       options.date, options.dryRun, options.rejections, options.report,
                       options.json, options.demo});
    try {
        if (!parser.parse(arguments))
            throw Failure{BadUsage, parser.errorText()};
        if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
            console::write(stdout, parser.helpText());
            return Posted;
        }
        if (parser.isSet(version)) {
            std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                        qPrintable(QCoreApplication::applicationVersion()));
            return Posted;
        }
        if (parser.isSet(options.demo))
            return makeDemo(parser.value(options.demo));
        if (!parser.positionalArguments().isEmpty())
            throw Failure{BadUsage, QStringLiteral("Argumento inesperado: %1")
                                        .arg(parser.positionalArguments().constFirst())};
        return convert(parser, options);
    } catch (const Failure& failure) {
        printError(failure.message);
        return failure.status;
    }
}

} // namespace batch
