// What the journal of runs costs, and how long an undo takes. The batch mode converts a big
// collector file on the catalogue with the journal's tables and on the same catalogue without
// them (the tool then converts without a journal), each run from a fresh catalogue, interleaved
// and repeated; then a run that writes one count row per line is undone with --desfazer, timed,
// and checked to have left none of its count rows, and an opening stock of the same file is
// undone, timed, and checked to have left no opening stock row nor movement; last, the run is made
// twice and the first undone beneath the second, timed, then the second, and the count rows
// checked to be the catalogue's again. It prints every run, then the medians: wall and processor
// time of the tool's process, and on a server at loopback of the server's processes too (user and
// system: the clock of a busy machine says less), their ratios with and without the journal, the
// undo's times and the rows it undid.
//
//   bench_journal [--lines 100000] [--grades 100000] [--undo-lines 58000] [--rounds 5]
//                 [--engines sqlite,postgresql,firebird] [--servers FILE [--server-lines 10000]
//                  [--server-grades 100000] [--server-undo-lines 58000] [--server-rounds 3]]
//
// --servers is the file the test servers' start scripts write (tests/servers/*.sh); the
// catalogue is copied to a fresh database on each server that is up. There, processor time is
// the tool's own, not the server's.
#include "Catalogue.h"
#include "Servers.h"
#include "db/Schema.h"
#include "tests/ProgramRun.h"
#include "tests/TestDatabase.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

const QString Executable = QStringLiteral(CONVERSOR_EXECUTABLE);
const QStringList KnownEngines = {QStringLiteral("sqlite"), QStringLiteral("postgresql"),
                                  QStringLiteral("firebird")};
const QStringList JournalTables = {QStringLiteral("ConvColetorIt"), QStringLiteral("ConvColetor")};
// A run still going after this long is stopped and the measurement given up: the slowest run
// measured here, an undo on a server, takes minutes at worst.
constexpr int RunLimitMs = 30 * 60 * 1000;
// What the journal may cost a run, and what an undo of a big run may take.
constexpr double JournalCostTarget = 1.10;
constexpr double SqliteUndoTarget = 2.0;
constexpr double ServerUndoTarget = 5.0;

void check(bool ok, const QString& what) {
    if (!ok)
        qFatal("%s", qPrintable(what));
}

double cpuOfChildren() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The processor time of the processes of `program` on this machine, in seconds: a server at
// loopback, whose work a run's own time leaves out. A PostgreSQL backend that has ended counts in
// its parent's time of its children.
double cpuOfProcesses(const QByteArray& program) {
    if (program.isEmpty())
        return 0;
    const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    double seconds = 0;
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile file(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!pid.front().isDigit() || !file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray stat = file.readAll();
        const qsizetype open = stat.indexOf('('), close = stat.lastIndexOf(')');
        if (open < 0 || close < open || stat.mid(open + 1, close - open - 1) != program)
            continue;
        // After the name: state, then utime, stime, cutime and cstime as the 12th to 15th.
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        for (int field = 11; field <= 14 && field < fields.size(); ++field)
            seconds += fields[field].toDouble() / tick;
    }
    return seconds;
}

// How much the files and rounds are on one engine.
struct Size {
    int grades = 0;
    int lines = 0;
    int undoLines = 0;
    int rounds = 0;
};

// A database the tool converts into, and the folder it runs in, whose Caminho.Dir (and alias
// file) lead there.
class Target {
public:
    virtual ~Target() = default;
    // The catalogue alone, with the journal's tables or without them: nothing of an earlier run.
    virtual void fresh(bool journal) = 0;
    virtual QSqlDatabase database() const = 0;

    QString name;
    // The server's program, where it runs on this machine; empty for SQLite.
    QByteArray serverProgram;
    QTemporaryDir folder;
    QProcessEnvironment environment = programrun::batchEnvironment();

    qint64 count(const QString& select, const QVariantList& values = {}) const {
        QSqlQuery query(database());
        check(query.prepare(select), select + QStringLiteral(": ") + query.lastError().text());
        for (const QVariant& value : values)
            query.addBindValue(value);
        // A server that went away may leave no error text.
        check(query.exec() && query.next(),
              select + QStringLiteral(": ") +
                  (query.lastError().isValid() ? query.lastError().text()
                                               : QStringLiteral("no answer")));
        return query.value(0).toLongLong();
    }
    void exec(const QString& statement) const {
        QSqlQuery query(database());
        check(query.exec(statement), statement + QStringLiteral(": ") + query.lastError().text());
    }
};

// A copy of the catalogue file for every run.
class SqliteTarget : public Target {
public:
    explicit SqliteTarget(const QString& catalogue)
        : m_catalogue(catalogue)
        , m_working(folder.filePath(QStringLiteral("telvaro.db"))) {
        name = QStringLiteral("sqlite");
        QFile caminho(folder.filePath(QStringLiteral("Caminho.Dir")));
        check(caminho.open(QIODevice::WriteOnly) && caminho.write(m_working.toUtf8() + "\r\n") > 0,
              caminho.errorString());
        // The tool's default alias: SQLite, named by Caminho.Dir.
        environment.insert(QStringLiteral("CONVERSOR_ALIASES"),
                           QStringLiteral("/nonexistent/aliases.ini"));
    }
    ~SqliteTarget() override { close(); }

    void fresh(bool journal) override {
        close();
        QFile::remove(m_working);
        check(QFile::copy(m_catalogue, m_working), QStringLiteral("can't copy the catalogue"));
        QSqlDatabase connection = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), Connection);
        connection.setDatabaseName(m_working);
        check(connection.open(), connection.lastError().text());
        if (!journal)
            for (const QString& table : JournalTables)
                exec(QStringLiteral("Drop Table ") + table);
    }
    QSqlDatabase database() const override { return QSqlDatabase::database(Connection, false); }

private:
    void close() {
        if (QSqlDatabase::contains(Connection)) {
            QSqlDatabase::database(Connection, false).close();
            QSqlDatabase::removeDatabase(Connection);
        }
    }

    static inline const QString Connection = QStringLiteral("bench_journal_sqlite");
    QString m_catalogue;
    QString m_working;
};

// A fresh database on a server with the catalogue copied in once; between runs, what the runs
// wrote is deleted, and the journal's tables dropped or made again.
class ServerTarget : public Target {
public:
    ServerTarget(const QString& engine, const QString& catalogue) {
        name = engine;
        serverProgram = engine == QLatin1String("firebird") ? "firebird" : "postgres";
        qputenv("COLETOR_TEST_ENGINE", engine.toLatin1());
        m_database = std::make_unique<TestDatabase>(QStringLiteral("bench_journal_") + engine);
        bench::copyCatalogue(catalogue, m_database->database(), m_database->dialect());
        m_database->pointToolAt(folder.path());
        environment.insert(QStringLiteral("CONVERSOR_ALIASES"), m_database->aliasFile());
        for (const QString& statement : db::schemaStatements(m_database->dialect()))
            if (statement.contains(QLatin1String("ConvColetor"), Qt::CaseInsensitive))
                m_journalStatements << statement;
    }
    ~ServerTarget() override {
        // The test database drops itself from the server its engine names.
        qputenv("COLETOR_TEST_ENGINE", name.toLatin1());
        m_database.reset();
    }

    void fresh(bool journal) override {
        if (m_journal)
            for (const QString& table : JournalTables)
                exec(QStringLiteral("Delete From ") + table);
        exec(QStringLiteral("Delete From Inventa Where Processado = 'N'"));
        if (m_journal && !journal)
            for (const QString& table : JournalTables)
                exec(QStringLiteral("Drop Table ") + table);
        if (!m_journal && journal)
            for (const QString& statement : m_journalStatements)
                exec(statement);
        m_journal = journal;
        QStringList written{QStringLiteral("Inventa")};
        if (journal)
            written << JournalTables;
        for (const QString& table : written) {
            // Without it the deleted rows' versions would pile up over the rounds on PostgreSQL;
            // on Firebird reading the table collects them now rather than during the next run.
            if (m_database->dialect().name() == QLatin1String("PostgreSQL"))
                exec(QStringLiteral("VACUUM ANALYZE ") + table);
            count(QStringLiteral("Select Count(*) From ") + table);
        }
    }
    QSqlDatabase database() const override { return m_database->database(); }

private:
    std::unique_ptr<TestDatabase> m_database;
    QStringList m_journalStatements;
    bool m_journal = true;
};

struct Run {
    int status = -1;
    double wall = 0;
    double cpu = 0; // the tool's user and system time, and a server's at loopback
    QJsonObject json;
    QByteArray errors;
};

Run runTool(const Target& target, const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(target.environment);
    process.setWorkingDirectory(target.folder.path());
    QElapsedTimer timer;
    const double cpuBefore = cpuOfChildren() + cpuOfProcesses(target.serverProgram);
    timer.start();
    process.start(Executable, arguments);
    if (!process.waitForFinished(RunLimitMs)) {
        process.kill();
        process.waitForFinished();
        qFatal("%s %s did not end within %d s", qPrintable(Executable),
               qPrintable(arguments.join(QLatin1Char(' '))), RunLimitMs / 1000);
    }
    Run run;
    run.wall = timer.nsecsElapsed() / 1e9;
    // The server's end of the connection finishes after the tool.
    if (!target.serverProgram.isEmpty())
        QThread::msleep(200);
    run.cpu = cpuOfChildren() + cpuOfProcesses(target.serverProgram) - cpuBefore;
    check(process.exitStatus() == QProcess::NormalExit,
          QStringLiteral("the tool crashed: ") + arguments.join(QLatin1Char(' ')));
    run.status = process.exitCode();
    run.json = QJsonDocument::fromJson(process.readAllStandardOutput()).object();
    run.errors = process.readAllStandardError().trimmed();
    return run;
}

Run convert(const Target& target, const QString& collector, bool inventory = true,
            const QStringList& more = {}) {
    QStringList arguments{inventory ? QStringLiteral("--inventario")
                                    : QStringLiteral("--inicio-estoque"),
                          collector,
                          QStringLiteral("--empresa"),
                          QString::fromLatin1(bench::Company),
                          QStringLiteral("--data"),
                          QString::fromLatin1(bench::InventoryDate),
                          QStringLiteral("--data-distante"),
                          QStringLiteral("--json")};
    if (inventory)
        arguments << QStringLiteral("--causa") << QString::fromLatin1(bench::Cause);
    arguments << more;
    const Run run = runTool(target, arguments);
    // 1: posted, some readings rejected (the big file has unknown codes).
    check(run.status == 0 || run.status == 1, QStringLiteral("%1: the run ended with status %2: %3")
                                                  .arg(target.name)
                                                  .arg(run.status)
                                                  .arg(QString::fromUtf8(run.errors)));
    return run;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

QString fixed(double value, int decimals = 2) {
    return QString::number(value, 'f', decimals);
}

QString range(const std::vector<double>& values) {
    return fixed(*std::min_element(values.begin(), values.end())) + QStringLiteral("–") +
           fixed(*std::max_element(values.begin(), values.end()));
}

// One engine's figures, round by round.
struct Figures {
    Size size;
    std::vector<double> withWall, withoutWall, withCpu, withoutCpu, wallRatios, cpuRatios;
    std::vector<double> undoRunWall, undoWall, undoCpu;
    std::vector<qint64> undoRows, rowsLeft;
    bool undoOk = true;
    std::vector<double> openingUndoWall;
    bool openingUndoOk = true;
    std::vector<double> beneathWall;
    bool beneathOk = true;
};

// The big file with the journal and without it, in the order the round gives.
void measureJournalCost(Target& target, const QString& collector, int round, Figures& figures,
                        QTextStream& out) {
    double wall[2] = {}, cpu[2] = {};
    for (const bool journal : {round % 2 == 0, round % 2 != 0}) {
        target.fresh(journal);
        const Run run = convert(target, collector);
        // The run without the tables must have gone without a journal, the other one with it.
        check(run.json.contains(QStringLiteral("id")) == journal,
              QStringLiteral("%1: the run %2 the journal")
                  .arg(target.name,
                       journal ? QStringLiteral("did not write") : QStringLiteral("wrote")));
        wall[journal] = run.wall;
        cpu[journal] = run.cpu;
        (journal ? figures.withWall : figures.withoutWall).push_back(run.wall);
        (journal ? figures.withCpu : figures.withoutCpu).push_back(run.cpu);
        out << QStringLiteral("round %1 %2 %3 journal: %4 s, cpu %5 s, run %6 s, %7 posted\n")
                   .arg(round + 1)
                   .arg(target.name, journal ? QStringLiteral("with") : QStringLiteral("without"))
                   .arg(fixed(run.wall, 3), fixed(run.cpu, 3))
                   .arg(fixed(run.json.value(QStringLiteral("segundos")).toDouble(), 3))
                   .arg(run.json.value(QStringLiteral("gravadas")).toInt());
        out.flush();
    }
    figures.wallRatios.push_back(wall[1] / wall[0]);
    figures.cpuRatios.push_back(cpu[1] / cpu[0]);
}

// A run that writes a count row per line, then its undo, timed; afterwards none of the rows
// the run created may be left, and the count rows must be as the catalogue had them.
void measureUndo(Target& target, const QString& collector, int round, Figures& figures,
                 QTextStream& out) {
    target.fresh(true);
    const QString countRows = QStringLiteral("Select Count(*) From Inventa");
    const qint64 before = target.count(countRows);
    const Run run = convert(target, collector);
    const QString id = run.json.value(QStringLiteral("id")).toString();
    check(!id.isEmpty(), target.name + QStringLiteral(": the run has no id in the journal"));
    const qint64 written =
        target.count(QStringLiteral("Select Count(*) From ConvColetorIt Where IdConv = ?"), {id});
    const qint64 created = target.count(
        QStringLiteral("Select Count(*) From ConvColetorIt Where IdConv = ? And Criou = 'S'"),
        {id});
    const qint64 posted = target.count(countRows) - before;

    const Run undo = runTool(target, {QStringLiteral("--desfazer"), id});
    // The count rows the run created that are still there.
    const qint64 left = target.count(
        QStringLiteral("Select Count(*) From Inventa Inner Join ConvColetorIt On "
                       "ConvColetorIt.CodProd = Inventa.CodProd And "
                       "ConvColetorIt.CodGrade = Inventa.CodGrade Where "
                       "ConvColetorIt.IdConv = ? And ConvColetorIt.Criou = 'S' And "
                       "Inventa.CodEmpresa = ? And Inventa.Documento = ?"),
        {id, QString::fromLatin1(bench::Company), QString::fromLatin1(bench::InventoryDocument)});
    const qint64 after = target.count(countRows);
    const qint64 undone = target.count(
        QStringLiteral("Select Count(*) From ConvColetor Where IdConv = ? And Situacao = 'D'"),
        {id});
    const bool ok = undo.status == 0 && left == 0 && after == before && undone == 1 &&
                    created == written && posted == written;
    figures.undoOk = figures.undoOk && ok;
    figures.undoRunWall.push_back(run.wall);
    figures.undoWall.push_back(undo.wall);
    figures.undoCpu.push_back(undo.cpu);
    figures.undoRows.push_back(written);
    figures.rowsLeft.push_back(left);
    out << QStringLiteral("round %1 %2 undo: run of %3 lines %4 s wrote %5 journal rows (%6 "
                          "created, %7 count rows); undo %8 s, cpu %9 s, status %10; count rows "
                          "left %11, count rows %12 before and %13 after%14\n")
               .arg(round + 1)
               .arg(target.name)
               .arg(run.json.value(QStringLiteral("linhas")).toInt())
               .arg(fixed(run.wall, 3))
               .arg(written)
               .arg(created)
               .arg(posted)
               .arg(fixed(undo.wall, 3), fixed(undo.cpu, 3))
               .arg(undo.status)
               .arg(left)
               .arg(before)
               .arg(after)
               .arg(ok ? QString() : QStringLiteral(" — WRONG: ") + QString::fromUtf8(undo.errors));
    out.flush();
}

// The same run twice, the second adding to every row of the first, then the first undone
// beneath the second, timed (it finds the later run on each row and shifts its counts), then the
// second; afterwards the count rows must be as the catalogue had them.
void measureUndoBeneath(Target& target, const QString& collector, int round, Figures& figures,
                        QTextStream& out) {
    target.fresh(true);
    const QString countRows = QStringLiteral("Select Count(*) From Inventa");
    const qint64 before = target.count(countRows);
    const QString id = QStringLiteral("id");
    const QString first = convert(target, collector).json.value(id).toString();
    const QString second =
        convert(target, collector, true, {QStringLiteral("--de-novo")}).json.value(id).toString();
    const Run beneath = runTool(target, {QStringLiteral("--desfazer"), first});
    const Run last = runTool(target, {QStringLiteral("--desfazer"), second});
    const qint64 after = target.count(countRows);
    const bool ok = !first.isEmpty() && !second.isEmpty() && beneath.status == 0 &&
                    last.status == 0 && after == before;
    figures.beneathOk = figures.beneathOk && ok;
    figures.beneathWall.push_back(beneath.wall);
    out << QStringLiteral("round %1 %2 undo beneath a later run: %3 s, status %4; then the later "
                          "run %5 s, status %6; count rows %7 before and %8 after%9\n")
               .arg(round + 1)
               .arg(target.name, fixed(beneath.wall, 3))
               .arg(beneath.status)
               .arg(fixed(last.wall, 3))
               .arg(last.status)
               .arg(before)
               .arg(after)
               .arg(ok ? QString()
                       : QStringLiteral(" — WRONG: ") +
                             QString::fromUtf8(beneath.errors + ' ' + last.errors));
    out.flush();
}

// An opening stock of the same file, then its undo, timed; afterwards the opening stock rows and
// the movements must be as the catalogue had them.
void measureOpeningUndo(Target& target, const QString& collector, int round, Figures& figures,
                        QTextStream& out) {
    target.fresh(true);
    const auto rows = [&] {
        return target.count(QStringLiteral("Select Count(*) From INCIEST")) +
               target.count(QStringLiteral("Select Count(*) From MvGeral"));
    };
    const qint64 before = rows();
    const Run run = convert(target, collector, false);
    const QString id = run.json.value(QStringLiteral("id")).toString();
    const qint64 posted = rows() - before;
    const Run undo = runTool(target, {QStringLiteral("--desfazer"), id});
    const qint64 after = rows();
    const bool ok = !id.isEmpty() && undo.status == 0 && after == before && posted > 0;
    figures.openingUndoOk = figures.openingUndoOk && ok;
    figures.openingUndoWall.push_back(undo.wall);
    out << QStringLiteral("round %1 %2 opening stock undo: run %3 s added %4 rows; undo %5 s, "
                          "status %6; rows %7 before and %8 after%9\n")
               .arg(round + 1)
               .arg(target.name, fixed(run.wall, 3))
               .arg(posted)
               .arg(fixed(undo.wall, 3))
               .arg(undo.status)
               .arg(before)
               .arg(after)
               .arg(ok ? QString() : QStringLiteral(" — WRONG: ") + QString::fromUtf8(undo.errors));
    out.flush();
}

QString verdict(double value, double target) {
    return value <= target ? QStringLiteral("met") : QStringLiteral("missed");
}

void printTables(const std::vector<std::pair<QString, Figures>>& measured, QTextStream& out) {
    out << "\nJournal's cost, medians (ratios: median of the rounds' with / without, the rounds' "
           "range in brackets; target ≤ "
        << fixed(JournalCostTarget)
        << "; cpu: the tool's, and on a server the server's processes' on this machine "
           "too):\n\n"
        << "| engine | lines | grades | rounds | with, s | without, s | wall ratio | cpu with, "
           "s | cpu without, s | cpu ratio |\n"
        << "|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n";
    const auto ratio = [](const std::vector<double>& ratios) {
        const double value = median(ratios);
        return fixed(value) + QStringLiteral(" (") + range(ratios) + QStringLiteral("), ") +
               verdict(value, JournalCostTarget);
    };
    for (const auto& [engine, f] : measured)
        out << "| " << engine << " | " << f.size.lines << " | " << f.size.grades << " | "
            << f.size.rounds << " | " << fixed(median(f.withWall)) << " | "
            << fixed(median(f.withoutWall)) << " | " << ratio(f.wallRatios) << " | "
            << fixed(median(f.withCpu)) << " | " << fixed(median(f.withoutCpu)) << " | "
            << ratio(f.cpuRatios) << " |\n";
    out << "\nUndo of a run (--desfazer), medians:\n\n"
        << "| engine | journal rows undone | run, s | undo, s | undo range, s | undo cpu, s | "
           "target | count rows left | opening stock undo, s | undo beneath a later run, s |\n"
        << "|---|---:|---:|---:|---:|---:|---|---|---|---|\n";
    for (const auto& [engine, f] : measured) {
        const double undo = median(f.undoWall);
        const double target =
            engine == QLatin1String("sqlite") ? SqliteUndoTarget : ServerUndoTarget;
        const auto [fewest, most] = std::minmax_element(f.undoRows.begin(), f.undoRows.end());
        out << "| " << engine << " | "
            << (*fewest == *most ? QString::number(*fewest)
                                 : QStringLiteral("%1–%2").arg(*fewest).arg(*most))
            << " | " << fixed(median(f.undoRunWall)) << " | " << fixed(undo) << " | "
            << range(f.undoWall) << " | " << fixed(median(f.undoCpu)) << " | ≤ " << fixed(target, 0)
            << " s, " << verdict(undo, target) << " | "
            << (f.undoOk ? QStringLiteral("none, right")
                         : QStringLiteral("WRONG (max %1 left)")
                               .arg(*std::max_element(f.rowsLeft.begin(), f.rowsLeft.end())))
            << " | " << fixed(median(f.openingUndoWall)) << ", "
            << verdict(median(f.openingUndoWall), target)
            << (f.openingUndoOk ? QString() : QStringLiteral(", WRONG")) << " | "
            << fixed(median(f.beneathWall)) << ", " << verdict(median(f.beneathWall), target)
            << (f.beneathOk ? QString() : QStringLiteral(", WRONG")) << " |\n";
    }
    out.flush();
}

int fail(const QString& message) {
    QTextStream(stderr) << "bench_journal: " << message << '\n';
    return 2;
}

// Grades a catalogue has without a processed count row: the undo file reads each at most once.
int readableOnce(int grades) {
    return grades - (grades + 100) / 101;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("The journal's cost on a big batch run, and the time of an undo."));
    const auto count = [](const char* name, const char* description, const char* value) {
        return QCommandLineOption(QString::fromLatin1(name), QString::fromLatin1(description),
                                  QStringLiteral("count"), QString::fromLatin1(value));
    };
    options.addOptions({
        count("lines",
              "Lines of the collector file whose run is timed with and without the "
              "journal (SQLite).",
              "100000"),
        count("grades", "Grades of the catalogue (SQLite).", "100000"),
        count("undo-lines", "Lines, each of another product, of the run that is undone (SQLite).",
              "58000"),
        count("rounds", "Interleaved rounds (SQLite).", "5"),
        {QStringLiteral("engines"), QStringLiteral("sqlite, postgresql and/or firebird."),
         QStringLiteral("list"), KnownEngines.join(QLatin1Char(','))},
        {QStringLiteral("servers"),
         QStringLiteral("Servers file of the test servers, for postgresql and firebird."),
         QStringLiteral("file")},
        count("server-lines", "As --lines, on the servers.", "10000"),
        count("server-grades", "As --grades, on the servers.", "100000"),
        count("server-undo-lines", "As --undo-lines, on the servers.", "58000"),
        count("server-rounds", "As --rounds, on the servers.", "3"),
    });
    options.addHelpOption();
    options.process(app);

    const auto sizeOf = [&](const char* prefix) -> std::optional<Size> {
        Size sized;
        const std::pair<const char*, int*> fields[] = {{"grades", &sized.grades},
                                                       {"lines", &sized.lines},
                                                       {"undo-lines", &sized.undoLines},
                                                       {"rounds", &sized.rounds}};
        for (const auto& [name, value] : fields) {
            bool ok = false;
            const QString option = QString::fromLatin1(prefix) + QLatin1String(name);
            *value = options.value(option).toInt(&ok);
            if (!ok || *value <= 0) {
                fail(QStringLiteral("--%1 takes a whole number above 0").arg(option));
                return std::nullopt;
            }
        }
        if (sized.undoLines > readableOnce(sized.grades)) {
            fail(QStringLiteral("--%1undo-lines: %2 grades have only %3 products to read once")
                     .arg(QString::fromLatin1(prefix))
                     .arg(sized.grades)
                     .arg(readableOnce(sized.grades)));
            return std::nullopt;
        }
        return sized;
    };
    const std::optional<Size> local = sizeOf("");
    const std::optional<Size> remote = sizeOf("server-");
    if (!local || !remote)
        return 2;
    const bench::EngineChoice chosen = bench::chooseEngines(options, Executable);
    if (!chosen.error.isEmpty())
        return fail(chosen.error);
    const QStringList& engines = chosen.engines;
    const QString& servers = chosen.servers;

    QTextStream out(stdout);
    QTemporaryDir data;
    check(data.isValid(), QStringLiteral("no temporary folder"));
    std::vector<std::pair<QString, Figures>> measured;
    for (const QString& engine : KnownEngines) {
        if (!engines.contains(engine))
            continue;
        const bool server = engine != QLatin1String("sqlite");
        if (server)
            if (const QString missing = bench::serverMissing(engine, servers); !missing.isEmpty()) {
                out << engine << ": skipped, " << missing << '\n';
                continue;
            }
        const Size sized = server ? *remote : *local;
        QElapsedTimer timer;
        timer.start();
        // Made once for every engine of the same sizes.
        const QString catalogue =
            data.filePath(QStringLiteral("catalogue-%1.db").arg(sized.grades));
        bench::makeCatalogue(catalogue, sized.grades);
        const QString collector =
            data.filePath(QStringLiteral("coletor-%1-%2.txt").arg(sized.lines).arg(sized.grades));
        if (!QFile::exists(collector))
            bench::makeCollectorFile(collector, sized.lines, sized.grades);
        const QString undoFile = data.filePath(
            QStringLiteral("desfazer-%1-%2.txt").arg(sized.undoLines).arg(sized.grades));
        if (!QFile::exists(undoFile))
            bench::makeDistinctCollectorFile(undoFile, sized.undoLines, sized.grades);
        std::unique_ptr<Target> target;
        if (server)
            target = std::make_unique<ServerTarget>(engine, catalogue);
        else
            target = std::make_unique<SqliteTarget>(catalogue);
        out << engine << ": catalogue of " << sized.grades << " grades ready in "
            << fixed(timer.nsecsElapsed() / 1e9) << " s\n";
        out.flush();

        Figures& figures = measured.emplace_back(engine, Figures{}).second;
        figures.size = sized;
        for (int round = 0; round < sized.rounds; ++round) {
            measureJournalCost(*target, collector, round, figures, out);
            measureUndo(*target, undoFile, round, figures, out);
            measureOpeningUndo(*target, undoFile, round, figures, out);
            measureUndoBeneath(*target, undoFile, round, figures, out);
        }
        // Each engine's table as soon as it is measured: a server that goes away later costs
        // only its own figures.
        printTables({{engine, figures}}, out);
        out << '\n';
    }
    if (measured.empty())
        return fail(QStringLiteral("no engine to measure"));
    if (measured.size() > 1)
        printTables(measured, out);
    bool undoOk = true;
    for (const auto& [engine, figures] : measured)
        undoOk = undoOk && figures.undoOk && figures.openingUndoOk && figures.beneathOk;
    return undoOk ? 0 : 1;
}
