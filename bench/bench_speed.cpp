// How near the tool's engine comes to the bare database: each run converts the same collector
// file on a copy of the same catalogue, once through the engine and once through a raw sqlite3
// loop of the very same statements, in separate processes, interleaved and repeated; it checks
// that both left the same rows and prints lines per second, their ratio and peak memory.
//
//   bench_speed [--grades 10000,100000,1000000] [--lines 100000] [--rounds 5]
//               [--modes inventario,inicio-estoque] [--window] [--data DIR]
//               [--servers build/test-servers/servers [--delays 0,0.25,1] [--server-rounds 3]
//                [--server-grades 100000] [--server-lines 10000] [--batch]]
//
// With --servers (the file the test servers' start scripts write), the engine also runs on the
// PostgreSQL and Firebird servers that are up: directly, and through a relay in front of each
// that counts round trips and holds each direction back by each of the delays (milliseconds
// each way), as a shop's network would; with --batch, the batch mode runs the same way.
#include "Catalogue.h"
#include "CountingProxy.h"
#include "RawLoop.h"
#include "Sqlite.h"
#include "app/Startup.h"
#include "conversion/CollectorFile.h"
#include "conversion/ConversionEngine.h"
#include "conversion/EntryTexts.h"
#include "conversion/RejectionList.h"
#include "db/Regional.h"
#include "tests/TestDatabase.h"
#include "ui/Dialogs.h"
#include "ui/MaskEdit.h"
#include "ui/TFConversao.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

const QString Inventory = QStringLiteral("inventario");
const QString OpeningStock = QStringLiteral("inicio-estoque");

void useBrazilianSettings() {
    db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
}

// --- the measured runs, each in a process of its own

qint64 runEngine(const QString& mode, const QString& database, const QString& collector) {
    useBrazilianSettings();
    QElapsedTimer timer;
    timer.start();
    {
        QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        connection.setDatabaseName(database);
        if (!connection.open())
            qFatal("%s", qPrintable(connection.lastError().text()));
        bool flag = false;
        conversion::RejectionList inventoryList(flag);
        conversion::RejectionList openingList(flag);
        conversion::ConversionEngine engine(
            connection, *db::Dialect::forDriver(QStringLiteral("QSQLITE")),
            {QString::fromLatin1(bench::Company), QString::fromLatin1(bench::Cause),
             QString::fromLatin1(bench::InventoryDate)},
            {inventoryList, openingList, flag});
        const QStringList lines = conversion::readLines(collector);
        if (mode == Inventory)
            engine.ConvertInventory(lines);
        else
            engine.ConvertOpeningStock(lines);
    }
    const qint64 elapsed = timer.nsecsElapsed();
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return elapsed;
}

qint64 runRaw(const QString& mode, const QString& database, const QString& collector) {
    QElapsedTimer timer;
    timer.start();
    if (mode == Inventory)
        bench::rawInventory(database, collector);
    else
        bench::rawOpeningStock(database, collector);
    return timer.nsecsElapsed();
}

// The clerk's run in the window, offscreen: entries typed in, the button pressed, until the
// success box.
qint64 runWindow(const QString& mode, const QString& database, const QString& collector) {
    useBrazilianSettings();
    ui::Dialogs::setTestMode(true);
    qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
    const QString folder = QFileInfo(database).absolutePath();
    QDir::setCurrent(folder);
    QFile serverName(folder + QStringLiteral("/Caminho.Dir"));
    if (!serverName.open(QIODevice::WriteOnly) ||
        serverName.write(QFileInfo(database).absoluteFilePath().toUtf8() + "\r\n") < 0)
        qFatal("Can't write Caminho.Dir");
    serverName.close();
    ui::TFConversao form(app::Startup{});
    form.show();
    form.PcDados->setCurrentIndex(mode == Inventory ? 0 : 1);
    form.edtCaminho->setText(collector);
    form.DtInventa->setMaskedText(QString::fromLatin1(bench::InventoryDate));
    form.CodEmpresa->setText(QString::fromLatin1(bench::Company));
    form.CodCausa->setText(QString::fromLatin1(bench::Cause));
    ui::Dialogs::clearShown();
    // The fixed date lies far from the day the bench runs on, some day: the clerk says "Sim".
    const QDate today = db::Clock::today();
    if (conversion::isFarFromToday(
            conversion::toDate(QString::fromLatin1(bench::InventoryDate), today), today))
        ui::Dialogs::setNextAnswer(true);
    QElapsedTimer timer;
    timer.start();
    form.btOKClick();
    const qint64 elapsed = timer.nsecsElapsed();
    if (ui::Dialogs::shown().isEmpty() || !ui::Dialogs::shown().constLast().text.startsWith(
                                              QStringLiteral("Processo de conversão concluído")))
        qFatal("The window's run did not succeed: %s",
               ui::Dialogs::shown().isEmpty() ? "no message"
                                              : qPrintable(ui::Dialogs::shown().constLast().text));
    return elapsed;
}

// --- the coordinator

struct Measured {
    qint64 nanoseconds = 0;
    long peakKiB = 0;
};

Measured spawn(const QStringList& arguments) {
    QList<QByteArray> bytes;
    for (const QString& argument : arguments)
        bytes << argument.toLocal8Bit();
    std::vector<char*> argv;
    for (QByteArray& argument : bytes)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0)
        qFatal("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
        qFatal("Can't start %s", argv[0]);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    QByteArray printed;
    char buffer[256];
    for (ssize_t n; (n = read(out[0], buffer, sizeof buffer)) > 0;)
        printed.append(buffer, n);
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        qFatal("%s failed", qPrintable(arguments.join(QLatin1Char(' '))));
    return {printed.trimmed().toLongLong(), usage.ru_maxrss};
}

// The middle value, or the mean of the two middle ones.
template <typename T> double median(std::vector<T> values) {
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? static_cast<double>(values[half])
                             : (static_cast<double>(values[half - 1]) + values[half]) / 2;
}

void copyFile(const QString& from, const QString& to) {
    QFile::remove(to);
    if (!QFile::copy(from, to))
        qFatal("Can't copy %s", qPrintable(from));
}

QList<int> numbers(const QString& text) {
    QList<int> result;
    for (const QString& part : text.split(QLatin1Char(','), Qt::SkipEmptyParts))
        result << part.toInt();
    return result;
}

// --- the engine on the database servers

// One server with the catalogue on it, a relay in front of it, a connection through the relay
// for the engine, and a folder for the batch mode's runs.
struct Server {
    QByteArray engine;
    std::unique_ptr<TestDatabase> database;
    std::unique_ptr<bench::CountingProxy> proxy;
    QSqlDatabase relayed;
    QTemporaryDir folder;

    Server(const char* name, const QString& catalogue, QTextStream& out)
        : engine(name) {
        qputenv("COLETOR_TEST_ENGINE", engine);
        database = std::make_unique<TestDatabase>(QStringLiteral("bench_") + QLatin1String(name));
        QElapsedTimer timer;
        timer.start();
        bench::copyCatalogue(catalogue, database->database(), database->dialect());
        out << engine << ": catalogue copied in " << timer.elapsed() / 1000 << " s\n";
        out.flush();
        proxy = std::make_unique<bench::CountingProxy>(database->database().port());
        relayed = QSqlDatabase::cloneDatabase(database->database(),
                                              QStringLiteral("relayed_") + QLatin1String(name));
        relayed.setPort(proxy->port());
        if (!relayed.open())
            qFatal("%s", qPrintable(relayed.lastError().text()));
    }
    ~Server() {
        const QString name = relayed.connectionName();
        relayed.close();
        relayed = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        proxy.reset();
        // The test database drops itself from the server its engine names.
        qputenv("COLETOR_TEST_ENGINE", engine);
        database.reset();
    }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // The tool's server name for this database, reached directly or through the relay.
    QString serverName(bool throughRelay) const {
        const QSqlDatabase direct = database->database();
        const int port = throughRelay ? proxy->port() : direct.port();
        return database->dialect().name() == QLatin1String("PostgreSQL")
                   ? QStringLiteral("%1:%2/%3")
                         .arg(direct.hostName())
                         .arg(port)
                         .arg(direct.databaseName())
                   : QStringLiteral("%1/%2:%3")
                         .arg(direct.hostName())
                         .arg(port)
                         .arg(direct.databaseName());
    }
};

// Takes away what a run wrote, so that every run starts from the same catalogue.
void clearRun(QSqlDatabase database) {
    QSqlQuery clean(database);
    for (const char* statement :
         {"Delete From Inventa Where Processado = 'N'", "Delete From IncIest",
          "Delete From MvGeral Where TipoMov = '04'"})
        if (!clean.exec(QString::fromLatin1(statement)))
            qFatal("%s", qPrintable(clean.lastError().text()));
}

double convertOn(QSqlDatabase database, const db::Dialect& dialect, const QString& mode,
                 const QStringList& lines) {
    bool flag = false;
    conversion::RejectionList inventoryList(flag);
    conversion::RejectionList openingList(flag);
    conversion::ConversionEngine engine(database, dialect,
                                        {QString::fromLatin1(bench::Company),
                                         QString::fromLatin1(bench::Cause),
                                         QString::fromLatin1(bench::InventoryDate)},
                                        {inventoryList, openingList, flag});
    QElapsedTimer timer;
    timer.start();
    if (mode == Inventory)
        engine.ConvertInventory(lines);
    else
        engine.ConvertOpeningStock(lines);
    return timer.nsecsElapsed() / 1e9;
}

// The batch mode in a process of its own, as a clerk's script would start it; the time is
// the run's own, as the program reports it.
double convertInBatch(const Server& server, bool throughRelay, const QString& mode,
                      const QString& collector) {
    QFile caminho(server.folder.filePath(QStringLiteral("Caminho.Dir")));
    QSettings aliases(server.folder.filePath(QStringLiteral("aliases.ini")), QSettings::IniFormat);
    aliases.setValue(QStringLiteral("Telvaro/Driver"), server.database->dialect().name());
    aliases.setValue(QStringLiteral("Telvaro/ServerName"), server.serverName(throughRelay));
    aliases.sync();
    if (!caminho.open(QIODevice::WriteOnly) ||
        caminho.write(server.serverName(throughRelay).toUtf8() + "\r\n") < 0)
        qFatal("Can't write Caminho.Dir");
    caminho.close();
    QStringList arguments = {
        QStringLiteral("--") + mode,       collector,
        QStringLiteral("--empresa"),       QString::fromLatin1(bench::Company),
        QStringLiteral("--data"),          QString::fromLatin1(bench::InventoryDate),
        QStringLiteral("--data-distante"), QStringLiteral("--json")};
    if (mode == Inventory)
        arguments << QStringLiteral("--causa") << QString::fromLatin1(bench::Cause);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("CONVERSOR_ALIASES"), aliases.fileName());
    environment.insert(QStringLiteral("LC_NUMERIC"), QStringLiteral("pt_BR.UTF-8"));
    environment.insert(QStringLiteral("LC_TIME"), QStringLiteral("pt_BR.UTF-8"));
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.setWorkingDirectory(server.folder.path());
    batch.start(QStringLiteral(CONVERSOR_EXECUTABLE), arguments);
    if (!batch.waitForFinished(-1) || batch.exitStatus() != QProcess::NormalExit ||
        batch.exitCode() > 1)
        qFatal("batch mode: %s", batch.readAllStandardError().constData());
    return QJsonDocument::fromJson(batch.readAllStandardOutput())
        .object()
        .value(QStringLiteral("segundos"))
        .toDouble();
}

struct ServerRun {
    double seconds = 0;
    long roundTrips = 0;
};

// One run from a clean catalogue: direct when `delay` is empty, else through the relay with
// that delay each way (in milliseconds).
ServerRun runOnServer(Server& server, bool batch, const QString& mode, std::optional<double> delay,
                      const QString& collector, const QStringList& lines) {
    clearRun(server.database->database());
    server.proxy->setDelay(std::chrono::nanoseconds(std::llround(delay.value_or(0) * 1e6)));
    server.proxy->resetCount();
    ServerRun run;
    if (batch)
        run.seconds = convertInBatch(server, delay.has_value(), mode, collector);
    else
        run.seconds = convertOn(delay ? server.relayed : server.database->database(),
                                server.database->dialect(), mode, lines);
    run.roundTrips = delay ? server.proxy->roundTrips() : 0;
    return run;
}

QString milliseconds(double value) {
    return QString::number(value, 'g', 3) + QStringLiteral(" ms");
}

// Direct, then through the relay at each delay, interleaved (the order turns round every
// round) and repeated; prints every run as it goes and a table of the medians at the end.
void measureServers(const QCommandLineParser& options, QTextStream& out) {
    useBrazilianSettings();
    const QString servers = options.value(QStringLiteral("servers"));
    const QString data = options.value(QStringLiteral("data"));
    const int grades = options.value(QStringLiteral("server-grades")).toInt();
    const int lines = options.value(QStringLiteral("server-lines")).toInt();
    const int rounds = std::max(1, options.value(QStringLiteral("server-rounds")).toInt());
    const QStringList modes = options.value(QStringLiteral("modes")).split(QLatin1Char(','));
    std::vector<std::optional<double>> settings{std::nullopt};
    for (const QString& delay : options.value(QStringLiteral("delays")).split(QLatin1Char(',')))
        settings.emplace_back(delay.toDouble());
    std::vector<bool> kinds{false};
    if (options.isSet(QStringLiteral("batch")))
        kinds.push_back(true);
    const auto kindName = [](bool batch) {
        return batch ? QStringLiteral("batch") : QStringLiteral("engine");
    };
    const auto settingName = [](std::optional<double> delay) {
        return delay ? QStringLiteral("relay ") + milliseconds(*delay) : QStringLiteral("direct");
    };

    QDir().mkpath(data);
    const QString catalogue = data + QStringLiteral("/catalogue-%1.db").arg(grades);
    bench::makeCatalogue(catalogue, grades);
    const QString collector = data + QStringLiteral("/coletor-%1-%2.txt").arg(lines).arg(grades);
    if (!QFile::exists(collector))
        bench::makeCollectorFile(collector, lines, grades);
    const QStringList fileLines = conversion::readLines(collector);
    // What a run costs whatever the file: the engine's run of one line that holds no reading.
    // The batch mode refuses such a file; what it asks beyond the engine's run (its connection,
    // the company and cause) counts as fixed too.
    const QStringList noReading{QStringLiteral("sem leitura")};

    out << "1-byte ping-pong through the relay (median of 200):";
    for (const auto& delay : settings)
        if (delay)
            out << ' ' << milliseconds(*delay) << " each way: "
                << milliseconds(
                       bench::pingPong(std::chrono::nanoseconds(std::llround(*delay * 1e6)), 200)
                           .count() /
                       1e6)
                << ';';
    out << '\n';
    out.flush();

    qputenv("COLETOR_SERVERS_FILE", servers.toLocal8Bit());
    std::vector<std::unique_ptr<Server>> up;
    for (const char* engine : {"postgresql", "firebird"}) {
        if (QFile::exists(servers + QLatin1Char('.') + QLatin1String(engine)))
            up.push_back(std::make_unique<Server>(engine, catalogue, out));
        else
            out << engine << ": no server up\n";
    }

    std::map<QString, std::vector<double>> rates;
    std::map<QString, std::vector<long>> trips;
    std::map<QString, long> fixed;
    for (int round = 0; round < rounds; ++round)
        for (auto& server : up)
            for (const QString& mode : modes)
                for (const bool batch : kinds) {
                    const QString key =
                        QString::fromLatin1(server->engine) + u' ' + mode + u' ' + kindName(batch);
                    if (round == 0 && !batch)
                        fixed[key] =
                            runOnServer(*server, false, mode, 0.0, collector, noReading).roundTrips;
                    for (size_t i = 0; i < settings.size(); ++i) {
                        const auto delay = settings[round % 2 ? settings.size() - 1 - i : i];
                        const ServerRun run =
                            runOnServer(*server, batch, mode, delay, collector, fileLines);
                        rates[key + u' ' + settingName(delay)].push_back(lines / run.seconds);
                        if (delay)
                            trips[key].push_back(run.roundTrips);
                        out << QStringLiteral("round %1 %2 %3: %4 lines/s, %5 round trips\n")
                                   .arg(round + 1)
                                   .arg(key, settingName(delay))
                                   .arg(lines / run.seconds, 0, 'f', 0)
                                   .arg(run.roundTrips);
                        out.flush();
                    }
                }

    out << "\nMedians of " << rounds << " interleaved rounds, " << grades << " grades, " << lines
        << " lines, lines per second:\n\n| server, mode, run |";
    for (const auto& delay : settings)
        out << ' ' << settingName(delay) << " |";
    out << " round trips / line |\n|---|";
    for (size_t i = 0; i < settings.size(); ++i)
        out << "---:|";
    out << "---:|\n";
    const QString engineKind = QLatin1Char(' ') + kindName(false);
    for (const auto& [key, counted] : trips) {
        out << "| " << key << " |";
        for (const auto& delay : settings)
            out << ' ' << QString::number(median(rates[key + u' ' + settingName(delay)]), 'f', 0)
                << " |";
        const QString engineKey = key.section(u' ', 0, 1) + engineKind;
        const double fixedTrips = fixed[engineKey] + median(counted) - median(trips[engineKey]);
        out << ' ' << QString::number((median(counted) - fixedTrips) / lines, 'f', 2) << " (+"
            << QString::number(fixedTrips, 'f', 0) << " fixed";
        if (*std::min_element(counted.begin(), counted.end()) !=
            *std::max_element(counted.begin(), counted.end()))
            out << ", runs differ: " << *std::min_element(counted.begin(), counted.end()) << " to "
                << *std::max_element(counted.begin(), counted.end());
        out << ") |\n";
    }
    out.flush();
    up.clear();
}

// One round of two runs side by side, each on its own copy of the catalogue, in separate
// processes; interleaved, so that neither side always runs on a warmer machine.
struct Pair {
    Measured first;
    Measured second;
};
Pair pairedRound(int round, const QString& catalogue, const QString& collector, const QString& mode,
                 const QString& first, const QString& firstCopy, const QString& second,
                 const QString& secondCopy) {
    const QString self = QCoreApplication::applicationFilePath();
    copyFile(catalogue, firstCopy);
    copyFile(catalogue, secondCopy);
    Pair measured;
    const auto run = [&](const QString& what, const QString& copy) {
        return spawn({self, QStringLiteral("--run"), what, QStringLiteral("--modes"), mode, copy,
                      collector});
    };
    if (round % 2 == 0) {
        measured.first = run(first, firstCopy);
        measured.second = run(second, secondCopy);
    } else {
        measured.second = run(second, secondCopy);
        measured.first = run(first, firstCopy);
    }
    return measured;
}

int coordinate(const QCommandLineParser& options) {
    QTextStream out(stdout);
    if (options.isSet(QStringLiteral("servers"))) {
        measureServers(options, out);
        if (!options.isSet(QStringLiteral("grades")))
            return 0;
    }
    const QString data = options.value(QStringLiteral("data"));
    QDir().mkpath(data);
    const int lines = options.value(QStringLiteral("lines")).toInt();
    const int rounds = std::max(1, options.value(QStringLiteral("rounds")).toInt());
    const QStringList modes = options.value(QStringLiteral("modes")).split(QLatin1Char(','));
    const QString work = data + QStringLiteral("/work");
    QDir().mkpath(work);
    const QString engineCopy = work + QStringLiteral("/engine.db");
    const QString rawCopy = work + QStringLiteral("/raw.db");

    out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
               .arg(QStringLiteral("grades"), 8)
               .arg(QStringLiteral("lines"), 7)
               .arg(QStringLiteral("mode"), -15)
               .arg(QStringLiteral("engine l/s"), 10)
               .arg(QStringLiteral("raw l/s"), 10)
               .arg(QStringLiteral("engine/raw"), 10)
               .arg(QStringLiteral("engine MiB"), 10)
               .arg(QStringLiteral("raw MiB"), 8);
    out.flush();
    for (const int grades : numbers(options.value(QStringLiteral("grades")))) {
        const QString catalogue = data + QStringLiteral("/catalogue-%1.db").arg(grades);
        bench::makeCatalogue(catalogue, grades);
        const QString collector =
            data + QStringLiteral("/coletor-%1-%2.txt").arg(lines).arg(grades);
        if (!QFile::exists(collector))
            bench::makeCollectorFile(collector, lines, grades);
        for (const QString& mode : modes) {
            std::vector<double> engineRates, rawRates, ratios;
            long enginePeak = 0, rawPeak = 0;
            for (int round = 0; round < rounds; ++round) {
                const auto [engine, raw] =
                    pairedRound(round, catalogue, collector, mode, QStringLiteral("engine"),
                                engineCopy, QStringLiteral("raw"), rawCopy);
                const QStringList engineRows = bench::writtenRows(engineCopy);
                const QStringList rawRows = bench::writtenRows(rawCopy);
                if (engineRows != rawRows) {
                    out << "The engine and the raw loop left different rows (" << engineRows.size()
                        << " against " << rawRows.size() << ")\n";
                    for (qsizetype i = 0; i < std::min(engineRows.size(), rawRows.size()); ++i)
                        if (engineRows[i] != rawRows[i]) {
                            out << "  engine: " << engineRows[i] << "\n  raw:    " << rawRows[i]
                                << "\n";
                            break;
                        }
                    return 1;
                }
                engineRates.push_back(lines * 1e9 / engine.nanoseconds);
                rawRates.push_back(lines * 1e9 / raw.nanoseconds);
                ratios.push_back(static_cast<double>(raw.nanoseconds) / engine.nanoseconds);
                enginePeak = std::max(enginePeak, engine.peakKiB);
                rawPeak = std::max(rawPeak, raw.peakKiB);
            }
            out << QStringLiteral("%1 %2 %3 %4 %5 %6 %7 %8\n")
                       .arg(grades, 8)
                       .arg(lines, 7)
                       .arg(mode, -15)
                       .arg(median(engineRates), 10, 'f', 0)
                       .arg(median(rawRates), 10, 'f', 0)
                       .arg(median(ratios), 10, 'f', 2)
                       .arg(enginePeak / 1024.0, 10, 'f', 1)
                       .arg(rawPeak / 1024.0, 8, 'f', 1);
            out.flush();
        }
        if (options.isSet(QStringLiteral("window"))) {
            std::vector<double> ratios;
            std::vector<double> windowRates;
            long windowPeak = 0;
            for (int round = 0; round < rounds; ++round) {
                const auto [engine, window] =
                    pairedRound(round, catalogue, collector, Inventory, QStringLiteral("engine"),
                                engineCopy, QStringLiteral("window"), rawCopy);
                windowRates.push_back(lines * 1e9 / window.nanoseconds);
                ratios.push_back(static_cast<double>(window.nanoseconds) / engine.nanoseconds);
                windowPeak = std::max(windowPeak, window.peakKiB);
            }
            out << QStringLiteral("%1 %2 window inventario: %3 l/s, window/engine time %4, "
                                  "peak %5 MiB\n")
                       .arg(grades, 8)
                       .arg(lines, 7)
                       .arg(median(windowRates), 0, 'f', 0)
                       .arg(median(ratios), 0, 'f', 2)
                       .arg(windowPeak / 1024.0, 0, 'f', 1);
            out.flush();
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // Only the window's run needs a display, and offscreen is enough to measure it; the others
    // load no more of Qt than the tool's engine does.
    bool window = false;
    for (int i = 1; i + 1 < argc; ++i)
        window = window || (QByteArray(argv[i]) == "--run" && QByteArray(argv[i + 1]) == "window");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app(window ? new QApplication(argc, argv)
                                                 : new QCoreApplication(argc, argv));
    QCommandLineParser options;
    options.addOptions({
        {QStringLiteral("grades"), QStringLiteral("Catalogue sizes, comma-separated."),
         QStringLiteral("list"), QStringLiteral("10000,1000000")},
        {QStringLiteral("lines"), QStringLiteral("Lines of the collector file."),
         QStringLiteral("count"), QStringLiteral("100000")},
        {QStringLiteral("rounds"), QStringLiteral("Interleaved rounds per figure."),
         QStringLiteral("count"), QStringLiteral("5")},
        {QStringLiteral("modes"), QStringLiteral("inventario and/or inicio-estoque."),
         QStringLiteral("list"), Inventory + QLatin1Char(',') + OpeningStock},
        {QStringLiteral("window"), QStringLiteral("Also time the window's run, offscreen.")},
        {QStringLiteral("data"), QStringLiteral("Where catalogues and files are kept."),
         QStringLiteral("dir"), QDir::tempPath() + QStringLiteral("/coletor-bench")},
        {QStringLiteral("servers"),
         QStringLiteral("Servers file of the test servers: run the engine on them too."),
         QStringLiteral("file")},
        {QStringLiteral("server-grades"), QStringLiteral("Catalogue size on the servers."),
         QStringLiteral("count"), QStringLiteral("100000")},
        {QStringLiteral("server-lines"), QStringLiteral("Collector lines on the servers."),
         QStringLiteral("count"), QStringLiteral("10000")},
        {QStringLiteral("server-rounds"), QStringLiteral("Interleaved rounds on the servers."),
         QStringLiteral("count"), QStringLiteral("3")},
        {QStringLiteral("delays"),
         QStringLiteral("Delays of the relay in front of the servers, ms each way."),
         QStringLiteral("list"), QStringLiteral("0,0.25,1")},
        {QStringLiteral("batch"), QStringLiteral("On the servers, time the batch mode too.")},
        {QStringLiteral("run"),
         QStringLiteral("(internal) one measured run: engine, raw or window."),
         QStringLiteral("what")},
    });
    options.addPositionalArgument(QStringLiteral("database collector"),
                                  QStringLiteral("(internal) for --run"));
    options.addHelpOption();
    options.process(*app);
    if (!options.isSet(QStringLiteral("run")))
        return coordinate(options);

    const QString what = options.value(QStringLiteral("run"));
    const QString mode = options.value(QStringLiteral("modes"));
    const QStringList files = options.positionalArguments();
    if (files.size() != 2)
        qFatal("--run needs a database and a collector file");
    const qint64 elapsed = what == QLatin1String("engine") ? runEngine(mode, files[0], files[1])
                           : what == QLatin1String("raw")  ? runRaw(mode, files[0], files[1])
                                                           : runWindow(mode, files[0], files[1]);
    QTextStream(stdout) << elapsed << "\n";
    return 0;
}
