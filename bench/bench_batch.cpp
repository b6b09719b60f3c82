// The batch mode on a 100,000-line collector file, with and without the report file, beside the
// engine alone on the same file: each run starts from a copy of the same database, the three are
// interleaved and repeated (5 rounds unless given: bench_batch 9), and the medians are printed.
#include "conversion/CollectorFile.h"
#include "conversion/ConversionEngine.h"
#include "conversion/RejectionList.h"
#include "db/DemoData.h"
#include "db/Regional.h"
#include "db/Schema.h"
#include "db/Texts.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <sys/resource.h>

namespace {
constexpr int Lines = 100'000;
const QString Executable = QStringLiteral(CONVERSOR_EXECUTABLE);

struct Timing {
    double wall = 0; // the whole process, start-up and files included
    double run = 0;  // the run alone
    // Processor time, user and system, of the whole: less at the mercy of a busy machine than
    // the clock.
    double cpu = 0;
};

double cpuSeconds(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void check(bool ok, const QString& what) {
    if (!ok)
        qFatal("%s", qPrintable(what));
}

QSqlDatabase openDatabase(const QString& path, const QString& name) {
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    database.setDatabaseName(path);
    check(database.open(), database.lastError().text());
    return database;
}

// Barcodes, references, manufacturer's and old references of the demo catalogue, and a few
// unknown codes, over and over: most lines add to a count row that exists by then.
QByteArray collectorFile(const QSqlDatabase& database) {
    QStringList barcodes;
    QSqlQuery query(database);
    check(query.exec(QStringLiteral("Select CodBarra From ProdGrade Order By 1")),
          query.lastError().text());
    while (query.next())
        barcodes << query.value(0).toString();
    QByteArray bytes;
    for (int n = 0; n < Lines; ++n) {
        const int product = n % 300 + 1;
        QString code;
        switch (n % 20) {
        case 0:
            code = QStringLiteral("DESCONHECIDO%1").arg(n % 50);
            break;
        case 1:
            code = QStringLiteral("ant-%1").arg(product % 20 + 1, 3, 10, QLatin1Char('0'));
            break;
        case 2:
        case 3:
            code = QStringLiteral("fb-%1").arg(5000 + product);
            break;
        case 4:
        case 5:
        case 6:
            code = QStringLiteral("REF%1").arg(product, 4, 10, QLatin1Char('0'));
            break;
        default:
            code = barcodes.at(n % barcodes.size());
        }
        bytes += code.toLatin1() + ",1\r\n";
    }
    return bytes;
}

double median(QList<double> values) {
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

Timing runEngine(const QString& databasePath, const QString& collectorPath) {
    Timing timing;
    {
        QSqlDatabase database = openDatabase(databasePath, QStringLiteral("engine"));
        const QStringList lines = conversion::readLines(collectorPath);
        bool flag = false;
        conversion::RejectionList inventoryList(flag);
        conversion::RejectionList openingList(flag);
        conversion::ConversionEngine engine(database,
                                            *db::Dialect::forDriver(QStringLiteral("QSQLITE")),
                                            {QStringLiteral("01"), QStringLiteral("001"),
                                             db::texts::formatDate(db::Clock::today())},
                                            {inventoryList, openingList, flag});
        QElapsedTimer timer;
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        timer.start();
        engine.ConvertInventory(lines);
        timing.run = timing.wall = timer.nsecsElapsed() / 1e9;
        timing.cpu = cpuSeconds(RUSAGE_SELF) - cpuBefore;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("engine"));
    return timing;
}

Timing runBatch(const QString& folder, const QString& collectorPath, bool report) {
    QStringList arguments = {QStringLiteral("--inventario"), collectorPath,
                             QStringLiteral("--empresa"),    QStringLiteral("01"),
                             QStringLiteral("--causa"),      QStringLiteral("001"),
                             QStringLiteral("--json")};
    if (report)
        arguments << QStringLiteral("--relatorio") << folder + QStringLiteral("/relatorio.csv");
    QProcess process;
    process.setWorkingDirectory(folder);
    QElapsedTimer timer;
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    timer.start();
    process.start(Executable, arguments);
    check(process.waitForFinished(600000), QStringLiteral("batch did not finish"));
    Timing timing;
    timing.wall = timer.nsecsElapsed() / 1e9;
    timing.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    check(process.exitCode() <= 1, QString::fromUtf8(process.readAllStandardError()));
    timing.run = QJsonDocument::fromJson(process.readAllStandardOutput())
                     .object()
                     .value(QStringLiteral("segundos"))
                     .toDouble();
    return timing;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(1, QByteArray(argv[1]).toInt()) : 5;
    QTemporaryDir dir;
    const QString pristine = dir.filePath(QStringLiteral("demo.db"));
    const QString working = dir.filePath(QStringLiteral("telvaro.db"));
    const QString collectorPath = dir.filePath(QStringLiteral("coletor.txt"));
    {
        QSqlDatabase database = openDatabase(pristine, QStringLiteral("make"));
        const db::Dialect& dialect = *db::Dialect::forDriver(QStringLiteral("QSQLITE"));
        db::createSchema(database, dialect);
        db::demo::fill(database, dialect, db::Clock::today());
        QFile file(collectorPath);
        check(file.open(QIODevice::WriteOnly) && file.write(collectorFile(database)) > 0,
              file.errorString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    QFile caminho(dir.filePath(QStringLiteral("Caminho.Dir")));
    check(caminho.open(QIODevice::WriteOnly) && caminho.write("telvaro.db\r\n") > 0,
          caminho.errorString());
    caminho.close();
    // The tool's default alias: SQLite, named by Caminho.Dir.
    qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));

    const QStringList names = {QStringLiteral("engine alone"), QStringLiteral("batch"),
                               QStringLiteral("batch --relatorio")};
    QList<QList<double>> wall(names.size());
    QList<QList<double>> run(names.size());
    QList<QList<double>> cpu(names.size());
    QTextStream out(stdout);
    for (int round = 0; round < rounds; ++round) {
        for (int variant = 0; variant < names.size(); ++variant) {
            QFile::remove(working);
            check(QFile::copy(pristine, working), QStringLiteral("copy"));
            const Timing timing = variant == 0 ? runEngine(working, collectorPath)
                                               : runBatch(dir.path(), collectorPath, variant == 2);
            wall[variant] << timing.wall;
            run[variant] << timing.run;
            cpu[variant] << timing.cpu;
            out << "round " << round + 1 << ", " << names[variant] << ": run "
                << QString::number(timing.run, 'f', 3) << " s, process "
                << QString::number(timing.wall, 'f', 3) << " s, cpu "
                << QString::number(timing.cpu, 'f', 3) << " s\n";
            out.flush();
        }
    }
    out << "\nmedians of " << rounds << " rounds, " << Lines << " lines (inventory):\n";
    for (int variant = 0; variant < names.size(); ++variant)
        out << "  " << names[variant].leftJustified(18) << " run "
            << QString::number(median(run[variant]), 'f', 3) << " s ("
            << QString::number(median(run[variant]) * 1e6 / Lines, 'f', 1)
            << " us per line), process " << QString::number(median(wall[variant]), 'f', 3)
            << " s, cpu " << QString::number(median(cpu[variant]), 'f', 3) << " s\n";
    return 0;
}
