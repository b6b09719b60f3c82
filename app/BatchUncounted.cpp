#include "BatchUncounted.h"

#include "BatchFiles.h"
#include "BatchOptions.h"
#include "ConsoleText.h"
#include "conversion/EntryTexts.h"
#include "conversion/RunService.h"
#include "conversion/Uncounted.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QJsonArray>
#include <cmath>
#include <memory>

namespace app::batch {

namespace {

// What the command was asked for, checked as a conversion checks its entries.
struct UncountedEntries {
    QString companyCode;
    QString causeCode;
    QString dateText;
    QDate date;
};

UncountedEntries readEntries(const QCommandLineParser& parser, const Options& options,
                             bool withCause) {
    const QString company = parser.value(options.company);
    const QString cause = parser.value(options.cause);
    if (db::texts::trimControl(company).isEmpty())
        throw Failure{BadUsage, conversion::blankFieldText(QStringLiteral("Empresa"))};
    requireFits(company, 2, QStringLiteral("Empresa"));
    if (withCause) {
        if (db::texts::trimControl(cause).isEmpty())
            throw Failure{BadUsage, conversion::blankFieldText(QStringLiteral("Causa"))};
        requireFits(cause, 3, QStringLiteral("Causa"));
    }
    UncountedEntries entries;
    entries.companyCode = conversion::companyCode(company);
    entries.causeCode = withCause ? conversion::causeCode(cause) : QString();
    entries.dateText = inventoryDate(parser.value(options.date));
    entries.date = conversion::toDate(entries.dateText, db::Clock::today());
    return entries;
}

// The --relatorio file, checked before connecting as a conversion's outputs are.
std::unique_ptr<Output> reportOutput(const QCommandLineParser& parser, const Options& options,
                                     const QByteArrayList& native) {
    if (!parser.isSet(options.report))
        return nullptr;
    try {
        return std::make_unique<Output>(fileArgument(
            parser.value(options.report),
            nativeValue(native, options.withValue(), options.report.names().constFirst())));
    } catch (const conversion::FileError& error) {
        throw Failure{BadUsage, error.message()};
    }
}

// The database, its look-ups checked against the entries, and the report file not the database.
void checkAgainst(const OpenDatabase& opened, const UncountedEntries& entries,
                  const Output* report) {
    const QString databaseFile =
        QFileInfo(opened.dialect().databaseFile(opened.database())).canonicalFilePath();
    if (report && !databaseFile.isEmpty() && samePath(report->resolvedPath(), databaseFile))
        throw Failure{
            BadUsage,
            QStringLiteral("Não foi possível gravar %1: é o banco de dados").arg(report->name())};
    if (!opened.companies->locate(entries.companyCode))
        throw Failure{BadUsage,
                      QStringLiteral("Empresa não cadastrada: %1").arg(entries.companyCode)};
    if (!entries.causeCode.isEmpty() && !opened.causes->locate(entries.causeCode))
        throw Failure{BadUsage, QStringLiteral("Causa não cadastrada: %1").arg(entries.causeCode)};
}

double cents(double value) {
    return conversion::roundedMoney(value);
}

QJsonObject productJson(const conversion::UncountedProduct& product) {
    return {{QStringLiteral("CodProd"), product.CodProd},
            {QStringLiteral("CodGrade"), product.CodGrade},
            {QStringLiteral("descricao"), product.description},
            {QStringLiteral("estoque"), product.stock},
            {QStringLiteral("custo"), product.cost},
            {QStringLiteral("valor"), cents(product.value())}};
}

// The figures both commands give: how many, their stock and its value.
void addFigures(QJsonObject& summary, const conversion::UncountedList& list,
                const UncountedEntries& entries) {
    summary.insert(QStringLiteral("empresa"), entries.companyCode);
    summary.insert(QStringLiteral("data"), db::texts::formatDate(entries.date));
    summary.insert(QStringLiteral("estoque"), list.stock());
    summary.insert(QStringLiteral("valor_estoque"), cents(list.value()));
}

// The report is put in place once the command came to its end.
void writeReport(Output* report, const conversion::UncountedList& list, Ending& ending) {
    if (!report)
        return;
    report->write(conversion::uncountedCsv(list));
    if (const QString failure = report->commit(); !failure.isEmpty()) {
        printError(failure);
        ending.status = OutputFailed;
        ending.error = failure;
    }
}

} // namespace

Ending listUncounted(const QCommandLineParser& parser, const Options& options,
                     const QByteArrayList& native, bool json) {
    const UncountedEntries entries = readEntries(parser, options, false);
    const std::unique_ptr<Output> report = reportOutput(parser, options, native);
    const OpenDatabase opened;
    checkAgainst(opened, entries, report.get());
    conversion::UncountedList list;
    try {
        list = conversion::uncountedProducts(opened.database(), opened.dialect(),
                                             entries.companyCode, entries.date);
    } catch (const db::Error& error) {
        throw Failure{RunFailed, error.message(), error.detail()};
    }
    Ending ending;
    QJsonArray rows;
    QString text;
    const QLocale locale = db::Regional::locale();
    for (const conversion::UncountedProduct& product : list.products) {
        rows.append(productJson(product));
        text += db::texts::escapedControls(
                    QStringLiteral("%1  %2  %3  estoque %4  custo %5  valor %6")
                        .arg(product.CodProd, product.CodGrade, product.description,
                             locale.toString(product.stock, 'g', 12),
                             conversion::priceText(product.cost),
                             conversion::moneyText(product.value()))) +
                u'\n';
    }
    text += QStringLiteral("%1 na empresa %2, inventário de %3: estoque %4, valor %5.\n")
                .arg(list.count() == 1
                         ? QStringLiteral("1 produto com estoque sem contagem")
                         : QStringLiteral("%1 produtos com estoque sem contagem").arg(list.count()),
                     entries.companyCode, db::texts::formatDate(entries.date),
                     locale.toString(list.stock(), 'g', 12), conversion::moneyText(list.value()));
    ending.summary.insert(QStringLiteral("nao_contados"), list.count());
    addFigures(ending.summary, list, entries);
    ending.summary.insert(QStringLiteral("itens"), rows);
    if (!json)
        writeConsole(stdout, text);
    writeReport(report.get(), list, ending);
    return ending;
}

Ending zeroUncounted(const QCommandLineParser& parser, const Options& options,
                     const QByteArrayList& native, bool json) {
    const UncountedEntries entries = readEntries(parser, options, true);
    refuseFarDate(parser, options, entries.dateText, QStringLiteral("zera"));
    const std::unique_ptr<Output> report = reportOutput(parser, options, native);
    const OpenDatabase opened;
    checkAgainst(opened, entries, report.get());
    conversion::ZeroRequest request;
    request.entries = {entries.companyCode, entries.causeCode, entries.dateText};
    request.dryRun = parser.isSet(options.dryRun);
    request.journal = opened.journal();
    request.turnWaitLimit = opened.connection->turnWait();
    if (parser.isSet(options.wait)) {
        const auto limit = db::waitSeconds(parser.value(options.wait));
        if (!limit)
            throw Failure{BadUsage, QStringLiteral("--espera: SEGUNDOS é um número inteiro de 0 "
                                                   "a 3600.")};
        request.turnWaitLimit = *limit;
    }
    // One line, when the wait begins, as a conversion says it.
    class Waiting final : public conversion::RunObserver {
    public:
        void lineStarted(int) override {}
        bool stopRequested() override { return false; }
        void waitingForTurn(int) override {
            if (!m_told)
                printError(
                    QStringLiteral("Aguardando outra estação de trabalho terminar a conversão…"));
            m_told = true;
        }

    private:
        bool m_told = false;
    } waiting;
    const conversion::RunService service(opened.database(), opened.dialect());
    const conversion::ZeroResult result = service.zeroUncounted(request, &waiting);
    if (!result.completed())
        throw Failure{failureStatus(result.ending), result.failure, result.detail};
    if (!result.note.isEmpty())
        printError(result.note);
    writeConsole(json ? stderr : stdout, result.text(request.dryRun) + u'\n');

    Ending ending;
    ending.summary.insert(QStringLiteral("modo"), QStringLiteral("nao-contados"));
    ending.summary.insert(QStringLiteral("simulacao"), request.dryRun);
    ending.summary.insert(QStringLiteral("causa"), entries.causeCode);
    ending.summary.insert(QStringLiteral("zerados"), result.zeroed.count());
    addFigures(ending.summary, result.zeroed, entries);
    ending.summary.insert(QStringLiteral("segundos"), std::round(result.seconds * 1000) / 1000);
    if (!result.runId.isEmpty())
        ending.summary.insert(QStringLiteral("id"), result.runId);
    if (!result.note.isEmpty())
        ending.summary.insert(QStringLiteral("aviso"), result.note);
    writeReport(report.get(), result.zeroed, ending);
    return ending;
}

} // namespace app::batch
