// Many workstations posting into one inventory at once: N processes of the batch mode started
// together on one company, cause and date, each with its own collector file over one catalogue
// (every file reads every product once, each in its own order, half of them backwards), against
// the same N runs one after another. Per engine it prints how many runs posted and how the others
// ended, the slowest run, the time of the N at once and of the N one after another and their
// ratio, and whether each count row holds the sum of the readings of the runs that posted.
//
//   bench_workstations [--workstations 8] [--lines 10000] [--rounds 1]
//                      [--engines sqlite,postgresql,firebird] [--servers FILE] [--espera SECONDS]
//
// --servers is the file the test servers' start scripts write (build/test-servers/servers);
// PostgreSQL and Firebird need it. Rounds alternate which of the two ways goes first, and the
// table gives the medians.
#include "Catalogue.h"
#include "Servers.h"
#include "tests/ProgramRun.h"
#include "tests/TestDatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
#include <QSaveFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <algorithm>
#include <map>
#include <memory>
#include <numeric>
#include <random>
#include <vector>

namespace {

const QString Executable = QStringLiteral(CONVERSOR_EXECUTABLE);
const QStringList KnownEngines = {QStringLiteral("sqlite"), QStringLiteral("postgresql"),
                                  QStringLiteral("firebird")};
// A run still going after this long is stopped and counted as not posted: the runs wait for
// each other's turn, 120 s each by default, so a sound measurement never comes near it.
constexpr int MeasurementLimitMs = 30 * 60 * 1000;

void check(bool ok, const QString& what) {
    if (!ok)
        qFatal("%s", qPrintable(what));
}

QString productCode(int product) {
    return QStringLiteral("W%1").arg(product, 7, 10, QLatin1Char('0'));
}
QString barcode(int product) {
    return QStringLiteral("7899%1").arg(product, 9, 10, QLatin1Char('0'));
}
// Each workstation reads another quantity of each product, so a reading counted twice or lost
// changes the sum.
int quantity(int workstation, int product) {
    return 1 + (product + 3 * workstation) % 9;
}

// The catalogue every file reads: products kept without grades, found by barcode, with stock in
// the company; the company and the cause the runs name. One transaction, one prepared statement
// per table.
void fillCatalogue(const TestDatabase& database, int products) {
    QSqlDatabase connection = database.database();
    check(connection.transaction(), connection.lastError().text());
    database.exec(QStringLiteral("Insert Into Filiais (CodEmpresa, NomeEmpresa) Values (?, ?)"),
                  {QString::fromLatin1(bench::Company), QStringLiteral("Matriz")});
    database.exec(QStringLiteral("Insert Into CausInv (CodCausa, Descricao) Values (?, ?)"),
                  {QString::fromLatin1(bench::Cause), QStringLiteral("Inventario anual")});
    QVariantList codes, descriptions, barcodes, stock;
    for (int product = 0; product < products; ++product) {
        codes << productCode(product);
        descriptions << QStringLiteral("Contado por todos %1").arg(product);
        barcodes << barcode(product);
        stock << double(product % 50);
    }
    const auto insert = [&](const char* statement, const QList<QVariantList>& columns) {
        QSqlQuery query(connection);
        check(query.prepare(QString::fromLatin1(statement)), query.lastError().text());
        for (const QVariantList& column : columns)
            query.addBindValue(column);
        check(query.execBatch(),
              QString::fromLatin1(statement) + QStringLiteral(": ") + query.lastError().text());
    };
    insert("Insert Into Produto (CodProd, Descricao, Grade) Values (?, ?, 1)",
           {codes, descriptions});
    insert("Insert Into ProdGrade (CodProd, CodGrade, CodBarra) Values (?, '0000', ?)",
           {codes, barcodes});
    insert("Insert Into CompProd (CodEmpresa, CodProd, CodGrade, Estoque, PrecoCusto) "
           "Values ('01', ?, '0000', ?, 2)",
           {codes, stock});
    check(connection.commit(), connection.lastError().text());

    // A company's database has statistics for its planner; one freshly filled has none.
    QSqlQuery statistics(connection);
    if (database.dialect().name() == QLatin1String("PostgreSQL")) {
        check(statistics.exec(QStringLiteral("ANALYZE")), statistics.lastError().text());
    } else if (database.dialect().name() == QLatin1String("Firebird")) {
        QStringList indexes;
        check(statistics.exec(QStringLiteral("Select Trim(RDB$INDEX_NAME) From RDB$INDICES "
                                             "Where Coalesce(RDB$SYSTEM_FLAG, 0) = 0")),
              statistics.lastError().text());
        while (statistics.next())
            indexes << statistics.value(0).toString();
        statistics.finish();
        check(connection.transaction(), connection.lastError().text());
        for (const QString& index : indexes)
            check(statistics.exec(QStringLiteral("SET STATISTICS INDEX %1").arg(index)),
                  statistics.lastError().text());
        check(connection.commit(), connection.lastError().text());
    }
}

// Workstation i reads every product once, in an order of its own; every other one backwards.
void writeCollectorFile(const QString& path, int workstation, int products) {
    std::vector<int> order(static_cast<size_t>(products));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), std::mt19937(20261209 + workstation));
    if (workstation % 2)
        std::reverse(order.begin(), order.end());
    QByteArray text;
    text.reserve(static_cast<qsizetype>(products) * 20);
    for (const int product : order)
        text += barcode(product).toLatin1() + ',' +
                QByteArray::number(quantity(workstation, product)) + "\r\n";
    QSaveFile file(path);
    check(file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit(),
          path + QStringLiteral(": ") + file.errorString());
}

// One engine's database with the catalogue, and the folder the workstations run in, whose
// Caminho.Dir and alias file lead there.
struct Engine {
    QByteArray name;
    std::unique_ptr<TestDatabase> database;
    QTemporaryDir folder;
    QProcessEnvironment environment;

    Engine(const QString& engine, int products)
        : name(engine.toLatin1()) {
        qputenv("COLETOR_TEST_ENGINE", name);
        database = std::make_unique<TestDatabase>(QStringLiteral("bench_") + engine);
        fillCatalogue(*database, products);
        database->pointToolAt(folder.path());
        environment = programrun::batchEnvironment();
        environment.insert(QStringLiteral("CONVERSOR_ALIASES"), database->aliasFile());
    }
    ~Engine() {
        // The test database drops itself from the server its engine names.
        qputenv("COLETOR_TEST_ENGINE", name);
        database.reset();
    }
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Every measurement starts from the catalogue alone: no count rows, and a journal that
    // knows none of the files (it would refuse a file posted before with status 7).
    void clear() const {
        for (const char* table : {"ConvColetorIt", "ConvColetor", "Inventa"})
            database->exec(QStringLiteral("Delete From %1").arg(QLatin1String(table)));
        // Without it the deleted rows' versions would pile up over the rounds on PostgreSQL;
        // on Firebird reading the table collects them now rather than during the next runs.
        if (database->dialect().name() == QLatin1String("PostgreSQL"))
            database->exec(QStringLiteral("VACUUM ANALYZE Inventa"));
        database->rows(QStringLiteral("Select Count(*) From Inventa"));
    }
};

struct Run {
    int status = -1; // -1: stopped, crashed or did not start
    QString ending;  // how a run with no status ended
    double seconds = 0;
    QByteArray errors;
};

struct Together {
    std::vector<Run> runs;
    double seconds = 0; // from the first start to the last end
};
// Starts the given workstations' runs together and waits for the last one.
Together runTogether(const Engine& engine, const QStringList& files,
                     const std::vector<int>& workstations, const QStringList& extra) {
    Together together;
    together.runs.resize(workstations.size());
    std::vector<std::unique_ptr<QProcess>> processes;
    std::vector<qint64> started(workstations.size());
    QEventLoop loop;
    QElapsedTimer clock;
    size_t left = workstations.size();
    const auto ended = [&](size_t i) {
        together.runs[i].seconds = (clock.nsecsElapsed() - started[i]) / 1e9;
        together.runs[i].errors = processes[i]->readAllStandardError();
        if (--left == 0) {
            together.seconds = clock.nsecsElapsed() / 1e9;
            loop.quit();
        }
    };
    clock.start();
    for (size_t i = 0; i < workstations.size(); ++i) {
        auto& process = processes.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(engine.environment);
        process->setWorkingDirectory(engine.folder.path());
        process->setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(process.get(), &QProcess::finished, &loop,
                         [&, i](int code, QProcess::ExitStatus status) {
                             if (status == QProcess::NormalExit)
                                 together.runs[i].status = code;
                             else if (together.runs[i].ending.isEmpty())
                                 together.runs[i].ending = QStringLiteral("crashed");
                             ended(i);
                         });
        QObject::connect(process.get(), &QProcess::errorOccurred, &loop,
                         [&, i](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart)
                                 return;
                             together.runs[i].ending =
                                 QStringLiteral("did not start: ") + processes[i]->errorString();
                             ended(i);
                         });
        started[i] = clock.nsecsElapsed();
        process->start(Executable,
                       QStringList{QStringLiteral("--inventario"), files.at(workstations[i]),
                                   QStringLiteral("--empresa"), QStringLiteral("1"),
                                   QStringLiteral("--causa"), QStringLiteral("1"),
                                   QStringLiteral("--data"),
                                   QString::fromLatin1(bench::InventoryDate),
                                   QStringLiteral("--data-distante")} +
                           extra);
    }
    QTimer::singleShot(MeasurementLimitMs, &loop, [&] {
        for (size_t i = 0; i < processes.size(); ++i)
            if (processes[i]->state() != QProcess::NotRunning) {
                together.runs[i].ending =
                    QStringLiteral("stopped after %1 s").arg(MeasurementLimitMs / 1000);
                processes[i]->kill();
            }
    });
    if (left > 0)
        loop.exec();
    return together;
}

// One way of running the N files, as measured in one round.
struct Measurement {
    int posted = 0;                // status 0
    std::map<QString, int> others; // how the other runs ended, and how many
    QByteArray firstFailure;       // standard error of the first run that did not post
    double slowest = 0;            // the slowest run's wall time
    double seconds = 0;            // all N
    int wrongRows = 0;             // count rows that are not the sum of the posted readings
};

// The count rows against the readings of the runs that posted (status 0 or 1, which both
// commit), product by product: a row missing, one too many or one with another quantity is
// wrong.
int wrongCountRows(const Engine& engine, const std::vector<Run>& runs, int products) {
    QHash<QString, double> expected;
    for (int product = 0; product < products; ++product) {
        double sum = 0;
        for (size_t workstation = 0; workstation < runs.size(); ++workstation)
            if (runs[workstation].status == 0 || runs[workstation].status == 1)
                sum += quantity(static_cast<int>(workstation), product);
        if (sum != 0)
            expected.insert(productCode(product), sum);
    }
    QSqlDatabase connection = engine.database->database();
    // A transaction of its own, begun after the runs ended, sees all that they committed.
    check(connection.transaction(), connection.lastError().text());
    QSqlQuery rows(connection);
    check(rows.exec(QStringLiteral("Select CodProd, CodGrade, Quantidade From Inventa")),
          rows.lastError().text());
    int wrong = 0;
    while (rows.next()) {
        const auto found = expected.constFind(rows.value(0).toString().trimmed());
        if (found == expected.constEnd() ||
            rows.value(1).toString().trimmed() != QLatin1String("0000") ||
            rows.value(2).toDouble() != found.value())
            ++wrong;
        if (found != expected.constEnd())
            expected.erase(found);
    }
    rows.finish();
    check(connection.commit(), connection.lastError().text());
    return wrong + static_cast<int>(expected.size());
}

Measurement measure(const Engine& engine, const QStringList& files, bool atOnce,
                    const QStringList& extra, int products) {
    engine.clear();
    std::vector<int> all(static_cast<size_t>(files.size()));
    std::iota(all.begin(), all.end(), 0);
    std::vector<Run> runs;
    Measurement measured;
    if (atOnce) {
        Together together = runTogether(engine, files, all, extra);
        runs = std::move(together.runs);
        measured.seconds = together.seconds;
    } else {
        for (const int workstation : all) {
            Together alone = runTogether(engine, files, {workstation}, extra);
            measured.seconds += alone.seconds;
            runs.push_back(std::move(alone.runs.front()));
        }
    }
    for (const Run& run : runs) {
        measured.slowest = std::max(measured.slowest, run.seconds);
        if (run.status == 0) {
            ++measured.posted;
            continue;
        }
        ++measured
              .others[run.status >= 0 ? QStringLiteral("status %1").arg(run.status) : run.ending];
        if (measured.firstFailure.isEmpty())
            measured.firstFailure = run.errors.trimmed().isEmpty()
                                        ? QByteArray("(nothing on standard error)")
                                        : run.errors.trimmed();
    }
    measured.wrongRows = wrongCountRows(engine, runs, products);
    return measured;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

QString seconds(double value) {
    return QString::number(value, 'f', 2);
}

QString endings(const std::map<QString, int>& others) {
    QStringList parts;
    for (const auto& [ending, count] : others)
        parts << QStringLiteral("%1 × %2").arg(count).arg(ending);
    return parts.join(QStringLiteral(", "));
}

// "8/8" when every round agrees, else each round's count.
QString postedText(const std::vector<Measurement>& rounds, int workstations) {
    QStringList parts;
    std::map<QString, int> others;
    for (const Measurement& measured : rounds) {
        parts << QStringLiteral("%1/%2").arg(measured.posted).arg(workstations);
        for (const auto& [ending, count] : measured.others)
            others[ending] += count;
    }
    parts.removeDuplicates();
    QString text = parts.join(QStringLiteral(", "));
    if (!others.empty())
        text += QStringLiteral(" (") + endings(others) + u')';
    return text;
}

QString rowsText(const std::vector<Measurement>& rounds) {
    int worst = 0;
    for (const Measurement& measured : rounds)
        worst = std::max(worst, measured.wrongRows);
    return worst == 0 ? QStringLiteral("OK") : QStringLiteral("%1 wrong").arg(worst);
}

int fail(const QString& message) {
    QTextStream(stderr) << "bench_workstations: " << message << '\n';
    return 2;
}

int positive(const QCommandLineParser& options, const QString& name, bool* ok) {
    const int value = options.value(name).toInt(ok);
    *ok = *ok && value > 0;
    return value;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("N workstations converting into one inventory at once, against the same "
                       "N runs one after another."));
    options.addOptions({
        {QStringLiteral("workstations"), QStringLiteral("Batch runs started together."),
         QStringLiteral("count"), QStringLiteral("8")},
        {QStringLiteral("lines"),
         QStringLiteral("Lines of each collector file, and products of the catalogue."),
         QStringLiteral("count"), QStringLiteral("10000")},
        {QStringLiteral("rounds"), QStringLiteral("Interleaved rounds per figure."),
         QStringLiteral("count"), QStringLiteral("1")},
        {QStringLiteral("engines"), QStringLiteral("sqlite, postgresql and/or firebird."),
         QStringLiteral("list"), KnownEngines.join(QLatin1Char(','))},
        {QStringLiteral("servers"),
         QStringLiteral("Servers file of the test servers, for postgresql and firebird."),
         QStringLiteral("file")},
        {QStringLiteral("espera"),
         QStringLiteral("Passed on to every run: seconds it waits for another one's turn."),
         QStringLiteral("seconds")},
    });
    options.addHelpOption();
    options.process(app);

    bool ok = false;
    const int workstations = positive(options, QStringLiteral("workstations"), &ok);
    if (!ok)
        return fail(QStringLiteral("--workstations takes a whole number above 0"));
    const int lines = positive(options, QStringLiteral("lines"), &ok);
    if (!ok)
        return fail(QStringLiteral("--lines takes a whole number above 0"));
    const int rounds = positive(options, QStringLiteral("rounds"), &ok);
    if (!ok)
        return fail(QStringLiteral("--rounds takes a whole number above 0"));
    QStringList extra;
    if (options.isSet(QStringLiteral("espera"))) {
        if (options.value(QStringLiteral("espera")).toInt(&ok) < 0 || !ok)
            return fail(QStringLiteral("--espera takes a whole number of seconds"));
        extra << QStringLiteral("--espera") << options.value(QStringLiteral("espera"));
    }
    const bench::EngineChoice chosen = bench::chooseEngines(options, Executable);
    if (!chosen.error.isEmpty())
        return fail(chosen.error);
    const QStringList& engines = chosen.engines;
    const QString& servers = chosen.servers;

    QTextStream out(stdout);
    QTemporaryDir data;
    QStringList files;
    for (int workstation = 0; workstation < workstations; ++workstation) {
        files << data.filePath(QStringLiteral("estacao%1.txt").arg(workstation + 1));
        writeCollectorFile(files.last(), workstation, lines);
    }

    std::vector<std::unique_ptr<Engine>> up;
    for (const QString& engine : engines) {
        if (engine != QLatin1String("sqlite"))
            if (const QString missing = bench::serverMissing(engine, servers); !missing.isEmpty()) {
                out << engine << ": skipped, " << missing << '\n';
                continue;
            }
        QElapsedTimer timer;
        timer.start();
        up.push_back(std::make_unique<Engine>(engine, lines));
        out << engine << ": catalogue of " << lines << " products written in "
            << seconds(timer.nsecsElapsed() / 1e9) << " s\n";
        out.flush();
    }
    if (up.empty())
        return fail(QStringLiteral("no engine to measure"));

    std::map<QByteArray, std::vector<Measurement>> together, serial;
    std::map<QByteArray, std::vector<double>> ratios;
    for (int round = 0; round < rounds; ++round)
        for (const auto& engine : up)
            for (const bool atOnce : {round % 2 == 0, round % 2 != 0}) {
                const Measurement measured = measure(*engine, files, atOnce, extra, lines);
                (atOnce ? together : serial)[engine->name].push_back(measured);
                out << QStringLiteral("round %1 %2 %3: %4/%5 posted%6, slowest run %7 s, "
                                      "all %8 s, count rows %9\n")
                           .arg(round + 1)
                           .arg(QLatin1String(engine->name),
                                atOnce ? QStringLiteral("at once") : QStringLiteral("one by one"))
                           .arg(measured.posted)
                           .arg(workstations)
                           .arg(measured.others.empty()
                                    ? QString()
                                    : QStringLiteral(" (") + endings(measured.others) + u')')
                           .arg(seconds(measured.slowest), seconds(measured.seconds))
                           .arg(measured.wrongRows == 0
                                    ? QStringLiteral("OK")
                                    : QStringLiteral("%1 wrong").arg(measured.wrongRows));
                if (!measured.firstFailure.isEmpty())
                    out << "  standard error of the first run that did not post:\n    "
                        << QString::fromUtf8(measured.firstFailure)
                               .replace(QLatin1Char('\n'), QStringLiteral("\n    "))
                        << '\n';
                out.flush();
            }
    for (const auto& engine : up) {
        const auto& a = together[engine->name];
        const auto& s = serial[engine->name];
        for (size_t round = 0; round < a.size(); ++round)
            ratios[engine->name].push_back(a[round].seconds / s[round].seconds);
    }

    out << "\nMedians of " << rounds << (rounds == 1 ? " round, " : " interleaved rounds, ")
        << workstations << " workstations, " << lines << "-line files over " << lines
        << " products:\n\n"
        << "| engine | posted at once | posted one by one | slowest run at once, s | all at "
           "once, s | one by one, s | at once / one by one | count rows |\n"
        << "|---|---|---|---:|---:|---:|---:|---|\n";
    for (const auto& engine : up) {
        const auto& a = together[engine->name];
        const auto& s = serial[engine->name];
        std::vector<double> slowest, atOnce, oneByOne;
        for (const Measurement& measured : a) {
            slowest.push_back(measured.slowest);
            atOnce.push_back(measured.seconds);
        }
        for (const Measurement& measured : s)
            oneByOne.push_back(measured.seconds);
        std::vector<Measurement> both = a;
        both.insert(both.end(), s.begin(), s.end());
        out << "| " << engine->name << " | " << postedText(a, workstations) << " | "
            << postedText(s, workstations) << " | " << seconds(median(slowest)) << " | "
            << seconds(median(atOnce)) << " | " << seconds(median(oneByOne)) << " | "
            << QString::number(median(ratios[engine->name]), 'f', 2) << " | " << rowsText(both)
            << " |\n";
    }
    out.flush();
    up.clear();
    return 0;
}
