#include "conversion/ConversionEngine.h"
#include "conversion/Errors.h"
#include "conversion/RejectionList.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "tests/Relayed.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <QThread>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <sqlite3.h>
#include <thread>

using conversion::ConversionEngine;
using conversion::EntryValues;
using conversion::ProductKey;
using Outcome = conversion::ConversionEngine::Outcome;

namespace {
const QString Processed = QStringLiteral("/*PRODPROCESSADO*/");

// Records what the run reports and stops it after a given line.
class Recorder : public conversion::RunObserver {
public:
    void lineStarted(int number) override { lines << number; }
    bool stopRequested() override { return stopAfter > 0 && lines.size() >= stopAfter; }
    void lineDone(const conversion::LineReport& line) override { reports << line; }

    QList<int> lines;
    QList<conversion::LineReport> reports;
    int stopAfter = 0;
};

// The catalogue every test starts from.
void fillCatalogue(const TestDatabase& database) {
    const QStringList statements = {
        "Insert Into Produto Values ('P1', 'Camisa', 1, 'REF1', 'FAB1')",
        "Insert Into ProdGrade Values ('P1', '0001', '789000001')",
        "Insert Into Produto Values ('P2', 'Calça', 2, 'REF2', NULL)",
        "Insert Into ProdGrade Values ('P2', 'G002', 'Bar2')",
        "Insert Into Produto Values ('P3', 'Meia', 3, 'Ref3', NULL)",
        "Insert Into Produto Values ('P4', 'Boné', 1, 'R4', NULL)",
        "Insert Into ProdGrade Values ('P4', '0007', 'REF1')",
        "Insert Into Relacionarefant Values ('REF1', 'OLD1')",
        "Insert Into Produto Values ('P5', 'Cinto', 1, NULL, NULL)",
        "Insert Into ProdGrade Values ('P5', '0005', 'O''BRIEN')",
        "Insert Into Produto Values ('P6', 'Copo', 1, 'D''AGUA', NULL)",
        "Insert Into Produto Values ('P7', 'Prato', 1, NULL, NULL)",
        "Insert Into ProdGrade Values ('P7', '0001', ' SP ')",
        "Insert Into Produto Values ('P8', 'Garfo', 3, 'REF8', NULL)",
        "Insert Into Produto Values ('P9', 'Faca', 2, 'X9', NULL)",
        "Insert Into Produto Values ('P10', 'Colher', 1, NULL, 'X9')",
        // As wide as the searched columns are.
        "Insert Into ProdGrade Values ('P10', '0001', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ0123')",
        "Insert Into CompProd Values ('01', 'P1', '0001', 40, 12.5)",
        "Insert Into CompProd Values ('01', 'P8', '0000', 7, 3.25)",
        "Insert Into CompProd Values ('02', 'P1', '0001', 99, 99)",
        // Processed in company 01 on 06/12/2026 only.
        "Insert Into Inventa (CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado) "
        "Values ('01', '2026-12-06', '20261206A', 'P3', '0000', 'S')",
        "Insert Into Inventa (CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado) "
        "Values ('02', '2026-12-06', '20261206A', 'P8', '0000', 'S')",
        "Insert Into Inventa (CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado) "
        "Values ('01', '2026-12-05', '20261205A', 'P8', '0000', 'S')",
    };
    for (const QString& statement : statements)
        database.exec(statement);
}

// Calls a test's own action when the run asks whether to stop after a given line.
class ActingRecorder : public Recorder {
public:
    ActingRecorder(int line, std::function<void()> action)
        : m_line(line)
        , m_action(std::move(action)) {}
    bool stopRequested() override {
        if (lines.size() == m_line)
            m_action();
        return false;
    }

private:
    int m_line;
    std::function<void()> m_action;
};

// Calls a test's own action as the run is about to commit, after its last write.
class CommitRecorder : public Recorder {
public:
    explicit CommitRecorder(std::function<void()> action)
        : m_action(std::move(action)) {}
    void beforeCommit() override { m_action(); }

private:
    std::function<void()> m_action;
};

// Another workstation's run: holds the count row of P1 in an open transaction, on a connection
// of its own in a thread of its own, until released or until `hold` has passed.
class RowHolder {
public:
    RowHolder(const QSqlDatabase& database, std::chrono::milliseconds hold) {
        std::future<void> held = m_held.get_future();
        m_thread.reset(QThread::create([this, name = database.connectionName(), hold] {
            {
                QSqlDatabase other =
                    QSqlDatabase::cloneDatabase(name, QStringLiteral("other workstation"));
                m_ok = other.open() && other.transaction();
                // Made after the transaction began, so that it runs in it.
                QSqlQuery update(other);
                m_ok = m_ok &&
                       update.exec(QStringLiteral(
                           "Update Inventa Set Quantidade = Quantidade + 5 Where CodProd = 'P1'"));
                m_held.set_value();
                m_release.get_future().wait_for(hold);
                update.finish();
                m_ok = other.commit() && m_ok;
                other.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("other workstation"));
        }));
        m_thread->start();
        held.wait();
    }
    ~RowHolder() { release(); }
    // Commits the other run; true when all of it went through.
    bool release() {
        if (m_thread && !m_released) {
            m_released = true;
            m_release.set_value();
            m_thread->wait();
        }
        return m_ok;
    }

private:
    std::promise<void> m_held;
    std::promise<void> m_release;
    // Qt's own thread, as OtherRun's below.
    std::unique_ptr<QThread> m_thread;
    bool m_released = false;
    bool m_ok = false;
};

// Another workstation's run on a connection of its own, in a thread of its own: it posts its
// lines, then holds its transaction open for `hold` before it commits.
class OtherRun {
public:
    OtherRun(const QSqlDatabase& database, bool openingStock, const QStringList& lines,
             std::chrono::milliseconds hold) {
        std::future<void> posted = m_posted.get_future();
        m_thread.reset(QThread::create([this, name = database.connectionName(), openingStock, lines,
                                        hold] {
            {
                QSqlDatabase other = QSqlDatabase::cloneDatabase(name, QStringLiteral("other run"));
                other.open();
                bool flag = false;
                conversion::RejectionList inventory(flag);
                conversion::RejectionList opening(flag);
                Holder holder(*this, hold);
                ConversionEngine engine(other, *db::Dialect::forDriver(other.driverName()),
                                        EntryValues{"01", "003", "06/12/2026"},
                                        {inventory, opening, flag}, &holder);
                try {
                    if (openingStock)
                        engine.ConvertOpeningStock(lines);
                    else
                        engine.ConvertInventory(lines);
                } catch (const db::Error& error) {
                    m_error = error.message();
                }
                if (!holder.held)
                    m_posted.set_value();
                other.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("other run"));
        }));
        m_thread->start();
        posted.wait();
    }
    ~OtherRun() { finish(); }
    // Waits for the run to end; its error, if it failed.
    QString finish() {
        if (m_thread)
            m_thread->wait();
        return m_error;
    }

private:
    struct Holder : Recorder {
        Holder(OtherRun& run, std::chrono::milliseconds hold)
            : run(run)
            , hold(hold) {}
        // After the run's writes.
        void beforeCommit() override {
            held = true;
            run.m_posted.set_value();
            std::this_thread::sleep_for(hold);
        }
        OtherRun& run;
        std::chrono::milliseconds hold;
        bool held = false;
    };

    std::promise<void> m_posted;
    // Qt's own thread: a plain one that ran an engine crashed at its end under Wine, in Qt's
    // cleanup of the data Qt keeps for a thread it did not start.
    std::unique_ptr<QThread> m_thread;
    QString m_error;
};

// A disk that SQLite finds full while `full` is set: every write to a database file fails then
// as a full disk fails it. It stands in front of SQLite's own file system for the connections
// opened while it lives.
class FullDisk {
public:
    FullDisk()
        : m_base(sqlite3_vfs_find(nullptr))
        , m_vfs(*m_base) {
        m_vfs.zName = "full disk";
        m_vfs.szOsFile = static_cast<int>(sizeof(File)) + m_base->szOsFile;
        m_vfs.pAppData = m_base;
        m_vfs.xOpen = [](sqlite3_vfs* vfs, const char* name, sqlite3_file* opened, int flags,
                         int* outFlags) {
            auto* base = static_cast<sqlite3_vfs*>(vfs->pAppData);
            auto* file = reinterpret_cast<File*>(opened);
            file->real = reinterpret_cast<sqlite3_file*>(file + 1);
            file->database = (flags & SQLITE_OPEN_MAIN_DB) != 0;
            const int result = base->xOpen(base, name, file->real, flags, outFlags);
            opened->pMethods = result == SQLITE_OK ? &methods : nullptr;
            return result;
        };
        sqlite3_vfs_register(&m_vfs, 1);
    }
    ~FullDisk() { sqlite3_vfs_unregister(&m_vfs); }
    FullDisk(const FullDisk&) = delete;
    FullDisk& operator=(const FullDisk&) = delete;

    static inline std::atomic<bool> full = false;

private:
    struct File {
        sqlite3_file base;
        sqlite3_file* real;
        bool database;
    };
    static sqlite3_file* real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }
    static const sqlite3_io_methods* of(sqlite3_file* file) { return real(file)->pMethods; }
    // Version 1: no shared memory, so no write-ahead log; every other call goes through.
    static inline const sqlite3_io_methods methods = {
        1,
        [](sqlite3_file* f) { return of(f)->xClose(real(f)); },
        [](sqlite3_file* f, void* data, int size, sqlite3_int64 at) {
            return of(f)->xRead(real(f), data, size, at);
        },
        [](sqlite3_file* f, const void* data, int size, sqlite3_int64 at) {
            if (full && reinterpret_cast<File*>(f)->database)
                return SQLITE_FULL;
            return of(f)->xWrite(real(f), data, size, at);
        },
        [](sqlite3_file* f, sqlite3_int64 size) { return of(f)->xTruncate(real(f), size); },
        [](sqlite3_file* f, int flags) { return of(f)->xSync(real(f), flags); },
        [](sqlite3_file* f, sqlite3_int64* size) { return of(f)->xFileSize(real(f), size); },
        [](sqlite3_file* f, int lock) { return of(f)->xLock(real(f), lock); },
        [](sqlite3_file* f, int lock) { return of(f)->xUnlock(real(f), lock); },
        [](sqlite3_file* f, int* held) { return of(f)->xCheckReservedLock(real(f), held); },
        [](sqlite3_file* f, int op, void* argument) {
            return of(f)->xFileControl(real(f), op, argument);
        },
        [](sqlite3_file* f) { return of(f)->xSectorSize(real(f)); },
        [](sqlite3_file* f) { return of(f)->xDeviceCharacteristics(real(f)); },
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
        nullptr,
    };

    sqlite3_vfs* m_base;
    sqlite3_vfs m_vfs;
};

QStringList everyRow(const TestDatabase& database) {
    QStringList rows;
    for (const char* table : {"Inventa", "INCIEST", "MvGeral", "CompProd", "Produto"})
        rows << database.rows(
            QStringLiteral("Select * From %1 Order By 1, 2, 3, 4").arg(QLatin1String(table)));
    return rows;
}
} // namespace

class TestEngine : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<conversion::RejectionList> m_inventoryList;
    std::unique_ptr<conversion::RejectionList> m_openingList;
    bool m_flag = false;
    Recorder m_recorder;

    ConversionEngine engine(const QString& company = QStringLiteral("01"),
                            const QString& date = QStringLiteral("06/12/2026")) {
        return ConversionEngine(m_database->database(), m_database->dialect(),
                                EntryValues{company, QStringLiteral("003"), date},
                                {*m_inventoryList, *m_openingList, m_flag}, &m_recorder);
    }
    // An engine on another connection, or with an observer of the test's own.
    ConversionEngine engineOn(const QSqlDatabase& database, conversion::RunObserver* observer) {
        return ConversionEngine(database, m_database->dialect(),
                                EntryValues{"01", "003", "06/12/2026"},
                                {*m_inventoryList, *m_openingList, m_flag}, observer);
    }
    QStringList inventa() const {
        return m_database->rows(QStringLiteral(
            "Select CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado, DataHora, "
            "Usuario, Quantidade, QuantKardex, PrecoCusto, CodCausa From Inventa "
            "Where Processado = 'N' Order By CodProd"));
    }
    static QStringList listed(const conversion::RejectionList& list) {
        QStringList rows;
        for (int row = 1; row < list.gridRowCount(); ++row)
            rows << list.cell(row, 0) + QLatin1Char('|') + list.cell(row, 1);
        return rows;
    }

private slots:
    void initTestCase() {
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        db::Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5)));
    }
    void init() {
        m_database = std::make_unique<TestDatabase>();
        fillCatalogue(*m_database);
        m_flag = false;
        m_inventoryList = std::make_unique<conversion::RejectionList>(m_flag);
        m_openingList = std::make_unique<conversion::RejectionList>(m_flag);
        m_recorder = Recorder();
    }
    void cleanup() {
        m_inventoryList.reset();
        m_openingList.reset();
        m_database.reset();
    }

    void resolvesItemCodes_data() {
        QTest::addColumn<QString>("itemCode");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("key");
        QTest::newRow("barcode keeps its grade") << "789000001"
                                                 << "01"
                                                 << "P1|0001";
        QTest::newRow("barcode before reference, any case") << "ref1"
                                                            << "01"
                                                            << "P4|0007";
        QTest::newRow("reference") << "R4"
                                   << "01"
                                   << "P4|0000";
        QTest::newRow("manufacturer's reference") << "fab1"
                                                  << "01"
                                                  << "P1|0000";
        QTest::newRow("old reference") << "Old1"
                                       << "01"
                                       << "P1|0000";
        QTest::newRow("grade 3 kept without grades") << "ref8"
                                                     << "01"
                                                     << "P8|0000";
        QTest::newRow("product kept by grade not placed") << "REF2"
                                                          << "01"
                                                          << "|";
        QTest::newRow("refused product ends the searches") << "x9"
                                                           << "01"
                                                           << "|";
        QTest::newRow("grade rule not for barcodes") << "BAR2"
                                                     << "01"
                                                     << "P2|G002";
        QTest::newRow("quote in a barcode") << "o'brien"
                                            << "01"
                                            << "P5|0005";
        QTest::newRow("quote in a reference") << "d'agua"
                                              << "01"
                                              << "P6|0000";
        QTest::newRow("blanks are searched") << " sp "
                                             << "01"
                                             << "P7|0001";
        QTest::newRow("blanks not trimmed") << "SP"
                                            << "01"
                                            << "|";
        QTest::newRow("empty code") << ""
                                    << "01"
                                    << "|";
        QTest::newRow("processed keeps the grade") << "REF3"
                                                   << "01" << Processed + "|0000";
        QTest::newRow("processed elsewhere only") << "REF8"
                                                  << "02" << Processed + "|0000";
        QTest::newRow("statement breaker") << "x' or '1'='1"
                                           << "01"
                                           << "|";
        QTest::newRow("code as wide as the columns") << "abcdefghijklmnopqrstuvwxyz0123"
                                                     << "01"
                                                     << "P10|0001";
    }
    void resolvesItemCodes() {
        QFETCH(QString, itemCode);
        QFETCH(QString, company);
        QFETCH(QString, key);
        ConversionEngine subject = engine(company);
        const ProductKey found = subject.ResolveProduct(itemCode);
        QCOMPARE(found.CodProd + QLatin1Char('|') + found.CodGrade, key);
    }

    void processedCheckNeedsTheDate() {
        // A found product needs the date; one not found never converts it.
        ConversionEngine subject = engine(QStringLiteral("01"), QStringLiteral("  /  /    "));
        QCOMPARE(subject.ResolveProduct(QStringLiteral("NADA")).CodProd, QString());
        QVERIFY_THROWS_EXCEPTION(conversion::ConversionError, subject.ResolveProduct("789000001"));
    }

    void inventoryAccumulates() {
        m_database->exec(QStringLiteral(
            "Insert Into Inventa Values ('01', '2026-12-06', '20261206A', 'P8', '0000', 'N', "
            "'010101000000', 'ANA', 10, 1, 1, '009')"));
        const QStringList lines = {
            "789000001,2", "ref8,1,5", "", "sem virgula", "789000001,3", "REF8,-0,5", "P5X,abc",
        };
        QCOMPARE(engine().ConvertInventory(lines), Outcome::Completed);
        QCOMPARE(
            inventa(),
            (QStringList{"01|2026-12-06|20261206A|P1|0001|N|081226143005|ADMIN|5|40|12.5|003",
                         "01|2026-12-06|20261206A|P8|0000|N|081226143005|ADMIN|11|7|3.25|003"}));
        QCOMPARE(listed(*m_inventoryList), QStringList{"P5X|Referência não encontrada."});
        QCOMPARE(m_recorder.lines, (QList<int>{1, 2, 3, 4, 5, 6, 7}));
    }

    void productWithoutStockRecord() {
        QCOMPARE(engine().ConvertInventory({"R4,0"}), Outcome::Completed);
        QCOMPARE(inventa(),
                 QStringList{"01|2026-12-06|20261206A|P4|0000|N|081226143005|ADMIN|0|0|0|003"});
    }

    void inventoryRejections() {
        m_database->exec(QStringLiteral(
            "Insert Into Inventa (CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado) "
            "Values ('01', '2026-12-06', '20261206A', 'P1', '0001', 'X')"));
        m_flag = true;
        const QStringList lines = {"NADA,x",      "ref3,1",   "nada,1", "NADA,2", "Ref3,y",
                                   "789000001,4", " NADA ,1", ",1",     ",2"};
        QCOMPARE(engine().ConvertInventory(lines), Outcome::Completed);
        QVERIFY(m_flag);
        QCOMPARE(listed(*m_inventoryList),
                 (QStringList{"NADA|Referência não encontrada.", "ref3|Produto já processado.",
                              "nada|Referência não encontrada.", "Ref3|Produto já processado.",
                              "789000001|Produto já processado.", "|Referência não encontrada.",
                              "|Referência não encontrada."}));
        QCOMPARE(inventa(), QStringList());
        QCOMPARE(m_database->rows("Select Count(*) From Inventa Where CodProd = 'P1' And "
                                  "Processado = 'X' And DataHora Is Null"),
                 QStringList{"1"});
        QVERIFY(m_openingList->isEmpty());
    }

    void clearsTheFlagWhenNothingIsRejected() {
        m_flag = true;
        QCOMPARE(engine().ConvertInventory({"789000001,1"}), Outcome::Completed);
        QVERIFY(!m_flag);
    }

    void failedRunPostsNothing_data() {
        QTest::addColumn<bool>("openingStock");
        QTest::newRow("inventory") << false;
        QTest::newRow("opening stock") << true;
    }
    void failedRunPostsNothing() {
        QFETCH(bool, openingStock);
        QStringList lines;
        for (int i = 1; i <= 10; ++i) {
            const QString code = QStringLiteral("Q%1").arg(i);
            m_database->exec(
                QStringLiteral("Insert Into Produto Values ('PQ%1', 'x', 1, '%2', NULL)")
                    .arg(i)
                    .arg(code));
            lines << code + (i == 7 ? QStringLiteral(",x") : QStringLiteral(",1"));
        }
        const QStringList before = everyRow(*m_database);
        ConversionEngine subject = engine();
        try {
            if (openingStock)
                subject.ConvertOpeningStock(lines);
            else
                subject.ConvertInventory(lines);
            QFAIL("the bad quantity went through");
        } catch (const conversion::ConversionError& error) {
            QCOMPARE(error.message(),
                     QStringLiteral("Linha 7: a quantidade \"x\" não é um número."));
        }
        QCOMPARE(m_recorder.lines.size(), 7);
        QCOMPARE(everyRow(*m_database), before);
        // The connection is usable again: a later run posts.
        QCOMPARE(engine().ConvertInventory({"Q1,1"}), Outcome::Completed);
        QCOMPARE(inventa().size(), 1);
    }

    // Codes that no searched column can hold are not found, whatever the engine; the run goes
    // on and posts the rest.
    void codesNoColumnHolds_data() {
        QTest::addColumn<QString>("itemCode");
        QTest::addColumn<bool>("openingStock");
        const QChar nul(0);
        QTest::newRow("NUL inside a barcode") << QStringLiteral("789000001") + nul << false;
        QTest::newRow("NUL inside a reference")
            << QStringLiteral("R") + nul + QStringLiteral("4") << false;
        QTest::newRow("one character too wide")
            << QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234") << false;
        QTest::newRow("2,048 characters") << QString(2048, u'7') << false;
        QTest::newRow("8,192 characters") << QString(8192, u'R') << false;
        QTest::newRow("NUL, opening stock") << QStringLiteral("REF1") + nul << true;
        QTest::newRow("8,192 characters, opening stock") << QString(8192, u'R') << true;
    }
    void codesNoColumnHolds() {
        QFETCH(QString, itemCode);
        QFETCH(bool, openingStock);
        const QStringList lines = {itemCode + QStringLiteral(",1"), QStringLiteral("789000001,2"),
                                   itemCode + QStringLiteral(",1")};
        ConversionEngine subject = engine();
        QCOMPARE(openingStock ? subject.ConvertOpeningStock(lines)
                              : subject.ConvertInventory(lines),
                 Outcome::Completed);
        // Inventory lists a code once, opening stock every line.
        QStringList expected{itemCode + QStringLiteral("|Referência não encontrada.")};
        if (openingStock)
            expected << expected;
        QCOMPARE(listed(openingStock ? *m_openingList : *m_inventoryList), expected);
        QCOMPARE(m_database->rows("Select CodProd, Quantidade From Inventa Where Processado = 'N' "
                                  "Union All Select CODPROD, QUANTIDADE From INCIEST"),
                 QStringList{"P1|2"});
    }

    // A quantity or a count total that is no finite number ends the run as a bad quantity does,
    // with nothing posted; the message quotes no more than a readable part of the input.
    void quantitiesThatEndTheRun_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("message");
        const QString tooLarge = QStringLiteral(
            "O total da contagem do ítem \"%1\" passaria do maior número que se pode gravar.");
        QTest::newRow("two readings past the limit")
            << QStringList{"789000001,1e308", "NADA,1", "789000001,1e308"}
            << tooLarge.arg(QStringLiteral("789000001"));
        QTest::newRow("below the negative limit")
            << QStringList{"ref8,-1e308", "ref8,-1e308"} << tooLarge.arg(QStringLiteral("ref8"));
        QTest::newRow("onto the stored count")
            << QStringList{"R4,1", "fab1,1e308"} << tooLarge.arg(QStringLiteral("fab1"));
        QTest::newRow("quantity past the limit")
            << QStringList{"NADA,1", "789000001,1e400"}
            << "Linha 2: a quantidade \"1e400\" não é um número.";
        const QString megabyte(1 << 20, u'9');
        QTest::newRow("a megabyte of quantity") << QStringList{"789000001," + megabyte + "x"}
                                                << "Linha 1: a quantidade \"" + megabyte.left(60) +
                                                       QChar(0x2026) + "\" não é um número.";
    }
    void quantitiesThatEndTheRun() {
        QFETCH(QStringList, lines);
        QFETCH(QString, message);
        // A count of P1 already near the limit.
        m_database->exec(QStringLiteral(
            "Insert Into Inventa Values ('01', '2026-12-06', '20261206A', 'P1', '0000', 'N', "
            "'010101000000', 'ANA', 1e308, 1, 1, '009')"));
        const QStringList before = everyRow(*m_database);
        try {
            engine().ConvertInventory(lines);
            QFAIL("the run went through");
        } catch (const conversion::ConversionError& error) {
            QCOMPARE(error.message(), message);
        }
        QCOMPARE(everyRow(*m_database), before);
    }

    void stoppedRunIsUndone() {
        const QStringList before = everyRow(*m_database);
        m_recorder.stopAfter = 2;
        QCOMPARE(engine().ConvertInventory({"789000001,1", "R4,1", "REF8,1"}), Outcome::Stopped);
        QCOMPARE(m_recorder.lines, (QList<int>{1, 2}));
        QCOMPARE(everyRow(*m_database), before);
    }

    void openingStockWritesBothRows() {
        m_database->exec(QStringLiteral(
            "Insert Into MvGeral Values ('01', 'P4', '0000', '2026-01-01 00:00:00', 'A', "
            "'0000000000', '01', 'D', 1, 1)"));
        m_database->exec(QStringLiteral(
            "Insert Into MvGeral Values ('02', 'P8', '0000', '2026-01-01 00:00:00', 'A', "
            "'0000000000', '01', 'D', 1, 1)"));
        const QStringList lines = {"789000001,2,5", "ref8,-1",     "789000001,9",
                                   "R4,1",          "sem virgula", "NADA,x",
                                   "nada,1",        "ref3,1",      "fab1,0"};
        QCOMPARE(
            engine(QStringLiteral("01"), QStringLiteral("06/12/2026")).ConvertOpeningStock(lines),
            Outcome::Completed);
        QCOMPARE(m_database->rows("Select * From INCIEST Order By CODPROD, CODGRADE"),
                 (QStringList{"01|P1|0000|2026-12-06 00:00:00|0|0|ADMIN|081226143005",
                              "01|P1|0001|2026-12-06 00:00:00|2.5|12.5|ADMIN|081226143005",
                              "01|P8|0000|2026-12-06 00:00:00|-1|3.25|ADMIN|081226143005"}));
        QCOMPARE(
            m_database->rows("Select * From MvGeral Where CODEMPRESA = '01' And TIPOMOV = '04' "
                             "Order By CODPROD, CODGRADE"),
            (QStringList{"01|P1|0000|2026-12-06 00:00:00|A|0000000000|04|08122026A|0|0",
                         "01|P1|0001|2026-12-06 00:00:00|A|0000000000|04|08122026A|2.5|12.5",
                         "01|P8|0000|2026-12-06 00:00:00|A|0000000000|04|08122026A|-1|3.25"}));
        QCOMPARE(listed(*m_openingList),
                 (QStringList{"789000001|Existe movimentos com este produto.",
                              "R4|Existe movimentos com este produto.",
                              "NADA|Referência não encontrada.", "nada|Referência não encontrada.",
                              "ref3|Produto já processado."}));
        QVERIFY(m_flag);
        QVERIFY(m_inventoryList->isEmpty());
        QCOMPARE(m_recorder.lines.size(), lines.size());
    }

    void refusedInsertNamesTheProduct_data() {
        QTest::addColumn<bool>("movementRefused");
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("serverText");
        QTest::newRow("opening stock row") << false << "P1"
                                           << "unique";
        QTest::newRow("movement row") << true << "P4"
                                      << "recusa";
    }
    void refusedInsertNamesTheProduct() {
        QFETCH(bool, movementRefused);
        QFETCH(QString, product);
        QFETCH(QString, serverText);
        if (!movementRefused)
            m_database->exec("Insert Into INCIEST Values ('01', 'P1', '0001', '2026-01-01', 1, 1, "
                             "'X', 'X')");
        else {
            // Schema changes are not prepared statements on every engine.
            const QString refusal =
                TestDatabase::engine() == QLatin1String("sqlite")
                    ? QStringLiteral("Create Trigger Recusa Before Insert On MvGeral Begin "
                                     "Select Raise(Abort, 'movimento recusado'); End")
                    : QStringLiteral(
                          "Alter Table MvGeral Add Constraint Recusa Check (TIPOMOV <> '04')");
            QSqlQuery query(m_database->database());
            QVERIFY2(query.exec(refusal), qPrintable(query.lastError().text()));
        }
        const QStringList before = everyRow(*m_database);
        try {
            engine().ConvertOpeningStock({"R4,1", "789000001,1"});
            QFAIL("the insert went through");
        } catch (const db::Error& error) {
            const QString head =
                QStringLiteral("Não gravou o ítem \"%1\" no arquivo MvGeral, devido "
                               "a ocorrência do seguinte erro:\r")
                    .arg(product);
            QVERIFY2(error.message().startsWith(head), qPrintable(error.message()));
            QVERIFY2(error.message().contains(serverText, Qt::CaseInsensitive),
                     qPrintable(error.message()));
        }
        QCOMPARE(everyRow(*m_database), before);
    }

    void failedRunMessageSaysNothingWasPosted() {
        QCOMPARE(ConversionEngine::failedRunMessage(QStringLiteral("erro")),
                 QStringLiteral("erro\rNenhuma leitura do arquivo foi gravada."));
    }

    // The network drops as the run commits. Whether the server got the commit or not, the tool
    // can't tell, so it must not say that nothing was posted; the server keeps all or nothing.
    void commitCutOff_data() {
        QTest::addColumn<bool>("commitArrives");
        QTest::newRow("commit lost") << false;
        QTest::newRow("answer lost") << true;
    }
    void commitCutOff() {
        QFETCH(bool, commitArrives);
        if (TestDatabase::engine() == QLatin1String("sqlite"))
            QSKIP("no network between SQLite and the tool");
        if (!TcpRelay::available())
            QSKIP("no relay on this platform");
        Relayed relayed(m_database->database());
        TcpRelay& relay = relayed.relay;
        CommitRecorder cutter([&] { relay.cutAtNextRequest(commitArrives); });
        ConversionEngine subject = engineOn(relayed.database(), &cutter);
        try {
            subject.ConvertInventory({"789000001,2", "R4,1"});
            QFAIL("the run reported success");
        } catch (const db::CommitUnconfirmed& error) {
            const QString message = ConversionEngine::failedRunMessage(error);
            QVERIFY2(message.contains(QStringLiteral("Confira o inventário")), qPrintable(message));
            QVERIFY2(!message.contains(QLatin1String("Nenhuma leitura")), qPrintable(message));
        }
        if (TestDatabase::engine() == QLatin1String("postgresql"))
            QVERIFY2(relay.cutRequest().contains("COMMIT"), relay.cutRequest().constData());
        // PostgreSQL commits what reaches it before it sees the connection gone.
        if (!commitArrives)
            QTRY_COMPARE(inventa().size(), 0);
        else if (TestDatabase::engine() == QLatin1String("postgresql"))
            QTRY_COMPARE(inventa().size(), 2);
        else
            QVERIFY(inventa().size() == 0 || inventa().size() == 2);
    }

    // Another workstation converts into the same count rows. A brief hold is waited out where the
    // engine can wait; a long one ends the run at the lock wait limit, undone, with a message
    // that says why. No reading is lost or counted twice.
    void concurrentRun_data() {
        QTest::addColumn<bool>("heldPastLimit");
        QTest::newRow("released within the limit") << false;
        QTest::newRow("held past the limit") << true;
    }
    void concurrentRun() {
        QFETCH(bool, heldPastLimit);
        m_database->exec(QStringLiteral(
            "Insert Into Inventa Values ('01', '2026-12-06', '20261206A', 'P1', '0001', 'N', "
            "'010101000000', 'ANA', 10, 40, 12.5, '003')"));
        // SQLite's wait is its busy timeout, a connection option: shortened to keep the test brief.
        if (TestDatabase::engine() == QLatin1String("sqlite")) {
            QSqlDatabase database = m_database->database();
            database.close();
            database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=2500"));
            QVERIFY(database.open());
        }
        // A snapshot transaction can't update a row changed after it began, even once released.
        const bool waitsOut = !heldPastLimit && TestDatabase::engine() != QLatin1String("firebird");
        RowHolder other(m_database->database(),
                        heldPastLimit ? std::chrono::hours(1) : std::chrono::seconds(1));
        // SQLite's write lock is a run's turn too, waited for up to the turn's limit: shortened
        // alike.
        ConversionEngine subject = engine();
        subject.setTurnWaitLimit(std::chrono::milliseconds(2500));
        try {
            subject.ConvertInventory({"789000001,1"});
            QVERIFY2(waitsOut, "the run went through a held row");
            // The figures count what the other run committed while this one waited.
            const conversion::LineReport& line = m_recorder.reports.value(0);
            QCOMPARE(line.countBefore.value_or(-1), 15.0);
            QCOMPARE(line.countAfter.value_or(-1), 16.0);
        } catch (const db::LockTimeout& error) {
            QVERIFY2(!waitsOut, qPrintable(error.message()));
            const QString message = ConversionEngine::failedRunMessage(error);
            // Where a watchdog cuts the wait off, the server can't say why it did not answer.
            const bool watched =
                heldPastLimit && TestDatabase::engine() == QLatin1String("firebird");
            QVERIFY2(message.startsWith(
                         watched ? QStringLiteral("O servidor não respondeu em 5 "
                                                  "segundos. Outra estação de "
                                                  "trabalho pode estar")
                                 : QStringLiteral("Outra estação de trabalho está convertendo "
                                                  "leituras no mesmo inventário")),
                     qPrintable(message));
            QVERIFY(message.endsWith(QLatin1String("\rNenhuma leitura do arquivo foi gravada.")));
            QVERIFY(other.release());
            QCOMPARE(inventa().value(0).section(QLatin1Char('|'), 8, 8), QStringLiteral("15"));
            QCOMPARE(engine().ConvertInventory({"789000001,1"}), Outcome::Completed);
        }
        QVERIFY(other.release());
        QCOMPARE(inventa().size(), 1);
        QCOMPARE(inventa().value(0).section(QLatin1Char('|'), 8, 8), QStringLiteral("16"));
    }

    // A reader that keeps the file past the busy timeout refuses the commit; SQLite keeps the
    // transaction open then, so the run is undone and says that nothing was posted.
    void commitRefusedByAReader() {
        if (TestDatabase::engine() != QLatin1String("sqlite"))
            QSKIP("readers hold no lock that refuses a commit on the servers");
        QSqlDatabase database = m_database->database();
        database.close();
        database.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=300"));
        QVERIFY(database.open());
        {
            const ExtraConnection reader(database, QStringLiteral("reader"));
            QSqlDatabase other = reader.database();
            QVERIFY(other.open() && other.transaction());
            QSqlQuery read(other);
            QVERIFY(read.exec(QStringLiteral("Select Count(*) From Inventa")) && read.next());
            QVERIFY_THROWS_EXCEPTION(db::LockTimeout, engine().ConvertInventory({"789000001,1"}));
            read.finish();
            QVERIFY(other.commit());
        }
        QCOMPARE(inventa().size(), 0);
        QCOMPARE(engine().ConvertInventory({"789000001,1"}), Outcome::Completed);
        QCOMPARE(inventa().size(), 1);
    }

    // A run leaves no statement behind and keeps nothing it learnt: the connection can close
    // while the engine lives, and a question after the run asks the database.
    void runLeavesNothingBehind() {
        ConversionEngine subject = engine();
        QCOMPARE(subject.ConvertInventory({"789000001,2"}), Outcome::Completed);
        m_database->exec(
            QStringLiteral("Update Inventa Set Processado = 'S' Where CodProd = 'P1'"));
        QCOMPARE(subject.ResolveProduct(QStringLiteral("789000001")).CodProd, Processed);
        QSqlDatabase database = m_database->database();
        database.close();
        QVERIFY2(!database.lastError().isValid(), qPrintable(database.lastError().text()));
        QVERIFY(!database.isOpen());
    }

    // Each statement is prepared when a line first needs it: a database without the tables of
    // the other mode still takes a run, and a missing table fails the line that uses it, with
    // the text of the statement that failed.
    void tablesAStatementNeeds_data() {
        QTest::addColumn<QString>("table");
        QTest::addColumn<bool>("openingStock");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<int>("failedLine");
        QTest::addColumn<QString>("message");
        const QStringList lines{"789000001,1", "R4,2"};
        QTest::newRow("inventory without INCIEST") << "INCIEST" << false << lines << 0 << "";
        QTest::newRow("inventory without MvGeral") << "MvGeral" << false << lines << 0 << "";
        QTest::newRow("references without Relacionarefant")
            << "Relacionarefant" << false << lines << 0 << "";
        QTest::newRow("old reference without Relacionarefant")
            << "Relacionarefant" << false << QStringList{"789000001,1", "OLD1,1"} << 2
            << "relacionarefant";
        QTest::newRow("bad quantity before an old reference without Relacionarefant")
            << "Relacionarefant" << false << QStringList{"789000001,x", "OLD1,1"} << 1
            << "Linha 1: a quantidade";
        QTest::newRow("opening stock without INCIEST")
            << "INCIEST" << true << QStringList{"NADA,1", "789000001,1"} << 2
            << "Não gravou o ítem \"P1\" no arquivo MvGeral, devido a ocorrência do seguinte "
               "erro:\r";
    }
    void tablesAStatementNeeds() {
        QFETCH(QString, table);
        QFETCH(bool, openingStock);
        QFETCH(QStringList, lines);
        QFETCH(int, failedLine);
        QFETCH(QString, message);
        QTest::failOnWarning(QRegularExpression(QStringLiteral("Unable to free statement")));
        m_database->exec(QStringLiteral("Drop Table ") + table);
        ConversionEngine subject = engine();
        try {
            QCOMPARE(openingStock ? subject.ConvertOpeningStock(lines)
                                  : subject.ConvertInventory(lines),
                     Outcome::Completed);
            QVERIFY2(failedLine == 0, "the missing table went unnoticed");
            QCOMPARE(inventa().size(), 2);
        } catch (const db::Error& error) {
            QVERIFY2(failedLine > 0, qPrintable(error.message()));
            QVERIFY2(error.message().startsWith(message) ||
                         error.message().contains(message, Qt::CaseInsensitive),
                     qPrintable(error.message()));
            // The failing line started and did not end. A run writes after the last line:
            // its failed batch names the line.
            if (subject.failedLine() > 0) {
                QCOMPARE(subject.failedLine(), failedLine);
            } else {
                QCOMPARE(m_recorder.lines.size(), failedLine);
                QCOMPARE(m_recorder.reports.size(), failedLine - 1);
            }
        }
    }

    // A code that several products share goes to the lowest key among them, whichever way the run
    // goes, and the line says how many there were. The rows are stored highest key first, and
    // nine unknown codes send the run by sets to a batch of the old-reference search.
    void sharedCodeTakesTheLowestKey_data() {
        QTest::addColumn<QString>("itemCode");
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("products");
        QTest::newRow("barcode") << "sharedbar"
                                 << "S1|0001" << 3;
        QTest::newRow("reference") << "SHAREDREF"
                                   << "S3|0000" << 2;
        QTest::newRow("old reference") << "oldx"
                                       << "S5|0000" << 3;
        QTest::newRow("one product") << "R4"
                                     << "P4|0000" << 1;
    }
    void sharedCodeTakesTheLowestKey() {
        QFETCH(QString, itemCode);
        QFETCH(QString, key);
        QFETCH(int, products);
        for (const char* statement :
             {"Insert Into Produto Values ('S2', 'x', 1, NULL, NULL)",
              "Insert Into ProdGrade Values ('S2', '0002', 'SHAREDBAR')",
              "Insert Into Produto Values ('S1', 'x', 1, NULL, NULL)",
              "Insert Into ProdGrade Values ('S1', '0009', 'SharedBar')",
              "Insert Into ProdGrade Values ('S1', '0001', 'SHAREDBAR')",
              "Insert Into Produto Values ('S4', 'x', 1, 'SHAREDREF', NULL)",
              "Insert Into Produto Values ('S3', 'x', 1, 'sharedref', NULL)",
              "Insert Into Produto Values ('S7', 'x', 2, 'CUR5', NULL)",
              "Insert Into Produto Values ('S6', 'x', 1, 'CUR5', NULL)",
              "Insert Into Produto Values ('S5', 'x', 1, 'CUR6', NULL)",
              "Insert Into Relacionarefant Values ('CUR6', 'OLDX')",
              "Insert Into Relacionarefant Values ('CUR5', 'OLDX')"})
            m_database->exec(QString::fromLatin1(statement));
        const ProductKey single = engine().ResolveProduct(itemCode);
        QCOMPARE(single.CodProd + QLatin1Char('|') + single.CodGrade, key);
        QStringList lines{itemCode + QStringLiteral(",2")};
        for (int i = 1; i <= 9; ++i)
            lines << QStringLiteral("NADA%1,1").arg(i);
        QCOMPARE(engine().ConvertInventory(lines), Outcome::Completed);
        const conversion::LineReport& line = m_recorder.reports.at(0);
        QCOMPARE(line.CodProd + QLatin1Char('|') + line.CodGrade, key);
        QCOMPARE(line.productsWithCode, products);
        QCOMPARE(m_database->rows("Select CodProd, CodGrade, Quantidade From Inventa Where "
                                  "Processado = 'N'"),
                 QStringList{key + QStringLiteral("|2")});
    }

    // On a server that compares texts without their trailing blanks, a grade stored under
    // 'T1 ' is product 'T1': the run keeps one product, posts to one row and does not take its
    // own row for another workstation's.
    void trailingBlankTwinIsOneProduct_data() {
        QTest::addColumn<bool>("openingStock");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("inventory") << false << QStringList{"T1|0000|5"};
        QTest::newRow("opening stock") << true << QStringList{"T1|0000|2"};
    }
    void trailingBlankTwinIsOneProduct() {
        QFETCH(bool, openingStock);
        QFETCH(QStringList, rows);
        if (!m_database->dialect().ignoresTrailingBlanks())
            QSKIP("the engine tells 'T1 ' from 'T1'");
        m_database->exec("Insert Into Produto Values ('T1', 'x', 1, 'TREF', NULL)");
        m_database->exec("Insert Into ProdGrade Values ('T1 ', '0000', 'TBAR')");
        const QStringList lines{"TBAR,2", "TREF,3"};
        QCOMPARE(openingStock ? engine().ConvertOpeningStock(lines)
                              : engine().ConvertInventory(lines),
                 Outcome::Completed);
        QCOMPARE(m_database->rows(openingStock ? "Select Trim(CODPROD), CODGRADE, QUANTIDADE From "
                                                 "INCIEST"
                                               : "Select Trim(CodProd), CodGrade, Quantidade From "
                                                 "Inventa Where Processado = 'N'"),
                 rows);
    }

    // A count row holding no number reads 0 and stays so: the update leaves it null, and the
    // report says what the row holds.
    void nullCountReadsZero_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QStringList>("figures");
        QTest::newRow("two readings")
            << QStringList{"789000001,2", "789000001,3"} << QStringList{"0|0", "0|0"};
        QTest::newRow("two readings past the limit")
            << QStringList{"789000001,1e308", "789000001,1e308"} << QStringList{"0|0", "0|0"};
    }
    void nullCountReadsZero() {
        QFETCH(QStringList, lines);
        QFETCH(QStringList, figures);
        m_database->exec(QStringLiteral(
            "Insert Into Inventa Values ('01', '2026-12-06', '20261206A', 'P1', '0001', 'N', "
            "'010101000000', 'ANA', NULL, 1, 1, '009')"));
        QCOMPARE(engine().ConvertInventory(lines), Outcome::Completed);
        QStringList reported;
        for (const conversion::LineReport& line : std::as_const(m_recorder.reports))
            reported << QString::number(line.countBefore.value_or(-1)) + u'|' +
                            QString::number(line.countAfter.value_or(-1));
        QCOMPARE(reported, figures);
        QCOMPARE(m_database->rows("Select Count(*) From Inventa Where CodProd = 'P1' And "
                                  "Quantidade Is Null"),
                 QStringList{"1"});
    }

    // SQLite keeps whatever a column is given. Every driver reads a number the same way: a text
    // reads as the number it spells whole, or 0; only a Grade of exactly 1 or 3 admits.
    void numbersStoredAsText_data() {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("stock");
        QTest::addColumn<QString>("posted");
        QTest::newRow("grade 1.5") << "1.5"
                                   << "40, 12.5"
                                   << "";
        QTest::newRow("grade as text") << "'um'"
                                       << "40, 12.5"
                                       << "";
        QTest::newRow("grade 3.0") << "3.0"
                                   << "40, 12.5"
                                   << "40|12.5";
        QTest::newRow("stock with a decimal comma") << "1"
                                                    << "'12,5', '3x'"
                                                    << "0|0";
        QTest::newRow("stock spelt whole") << "1"
                                           << "' 12.5 ', '3e1'"
                                           << "12.5|30";
    }
    void numbersStoredAsText() {
        if (TestDatabase::engine() != QLatin1String("sqlite"))
            QSKIP("a server's typed column holds no such value");
        QFETCH(QString, product);
        QFETCH(QString, stock);
        QFETCH(QString, posted);
        m_database->exec("Insert Into Produto Values ('P11', 'Pires', " + product +
                         ", 'PIRES', NULL)");
        m_database->exec("Insert Into CompProd Values ('01', 'P11', '0000', " + stock + ")");
        QCOMPARE(engine().ConvertInventory({"pires,1"}), Outcome::Completed);
        QCOMPARE(m_database->rows("Select QuantKardex, PrecoCusto From Inventa Where CodProd = "
                                  "'P11'"),
                 posted.isEmpty() ? QStringList() : QStringList{posted});
    }

    // Two workstations post the first reading of one product at once. One run at a time posts
    // into a company, so the second waits for the first and then sees its row, on every engine
    // (a snapshot too begins after the first run's commit): both readings are posted.
    void twoWorkstationsCreateOneRow_data() {
        QTest::addColumn<bool>("openingStock");
        QTest::newRow("count row") << false;
        QTest::newRow("opening stock") << true;
    }
    void twoWorkstationsCreateOneRow() {
        QFETCH(bool, openingStock);
        m_database->exec("Insert Into Filiais Values ('01', 'Loja')");
        OtherRun other(m_database->database(), openingStock, {"R4,2"},
                       std::chrono::milliseconds(1000));
        ConversionEngine subject = engine();
        const auto run = [&] {
            return openingStock ? subject.ConvertOpeningStock({"R4,3"})
                                : subject.ConvertInventory({"R4,3"});
        };
        QCOMPARE(run(), Outcome::Completed);
        QCOMPARE(other.finish(), QString());
        if (openingStock) {
            QCOMPARE(m_database->rows("Select QUANTIDADE From INCIEST Where CODPROD = 'P4'"),
                     QStringList{"2"});
            QCOMPARE(listed(*m_openingList), QStringList{"R4|Existe movimentos com este produto."});
        } else {
            QCOMPARE(m_database->rows("Select Quantidade From Inventa Where CodProd = 'P4'"),
                     QStringList{"5"});
            const conversion::LineReport& line = m_recorder.reports.last();
            QCOMPARE(line.countBefore.value_or(-1), 2.0);
            QCOMPARE(line.countAfter.value_or(-1), 5.0);
        }
    }

    // On a server a run asks and writes by sets: the round trips of a file grow with its distinct
    // codes in batches, not with its lines.
    void serverRunGoesBySets_data() {
        QTest::addColumn<bool>("openingStock");
        QTest::newRow("inventory") << false;
        QTest::newRow("opening stock") << true;
    }
    void serverRunGoesBySets() {
        QFETCH(bool, openingStock);
        if (TestDatabase::engine() == QLatin1String("sqlite"))
            QSKIP("no round trips to SQLite");
        if (!TcpRelay::available())
            QSKIP("no relay on this platform");
        QStringList lines;
        for (int i = 0; i < 300; ++i)
            lines << QStringList{"789000001,1", "R4,2", "nada,1", "ref8,1", "OLD1,1", "Bar2,1"}.at(
                i % 6);
        Relayed relayed(m_database->database());
        ConversionEngine subject = engineOn(relayed.database(), &m_recorder);
        const int before = relayed.relay.requests();
        QCOMPARE(openingStock ? subject.ConvertOpeningStock(lines)
                              : subject.ConvertInventory(lines),
                 Outcome::Completed);
        const int asked = relayed.relay.requests() - before;
        // Line by line this file took over a thousand.
        QVERIFY2(asked < 60, qPrintable(QString::number(asked)));
        QCOMPARE(m_recorder.reports.size(), lines.size());
        if (!openingStock)
            QCOMPARE(m_database->rows("Select CodProd, CodGrade, Quantidade From Inventa Where "
                                      "Processado = 'N' Order By CodProd, CodGrade"),
                     QStringList(
                         {"P1|0000|50", "P1|0001|50", "P2|G002|50", "P4|0000|100", "P8|0000|50"}));
    }

    // A server or network that holds one answer past the lock wait limit, with no other
    // workstation about: PostgreSQL waits for locks on its own and goes on; where a watchdog
    // cancels, the message says what is known, not that another workstation holds the rows.
    void slowAnswerIsNoLockWait() {
        const QString engineName = TestDatabase::engine();
        if (engineName == QLatin1String("sqlite"))
            QSKIP("no network between SQLite and the tool");
        if (!TcpRelay::available())
            QSKIP("no relay on this platform");
        Relayed relayed(m_database->database());
        TcpRelay& relay = relayed.relay;
        ActingRecorder slow(
            1, [&] { relay.delayNextReply(db::LockWaitLimit + std::chrono::milliseconds(700)); });
        ConversionEngine subject = engineOn(relayed.database(), &slow);
        try {
            QCOMPARE(subject.ConvertInventory({"789000001,2", "R4,1"}), Outcome::Completed);
            QCOMPARE(engineName, QStringLiteral("postgresql"));
            QCOMPARE(inventa().size(), 2);
        } catch (const db::LockTimeout& error) {
            QCOMPARE(engineName, QStringLiteral("firebird"));
            QCOMPARE(error.message(),
                     QStringLiteral("O servidor não respondeu em 5 segundos. Outra estação de "
                                    "trabalho pode estar convertendo leituras no mesmo "
                                    "inventário, ou o servidor ou a rede estão lentos; tente de "
                                    "novo em instantes."));
            QCOMPARE(inventa().size(), 0);
        }
    }

    // A disk that fills up as SQLite commits: SQLite rolls the run back itself, so the run ends
    // as a failed one, with nothing posted, not as a commit nobody can confirm.
    void fullDiskAtCommit() {
        if (TestDatabase::engine() != QLatin1String("sqlite"))
            QSKIP("the servers' disks are theirs");
        QSqlDatabase database = m_database->database();
        {
            const FullDisk disk;
            database.close();
            QVERIFY(database.open());
            ActingRecorder filler(2, [] { FullDisk::full = true; });
            ConversionEngine subject = engineOn(database, &filler);
            try {
                subject.ConvertInventory({"789000001,2", "R4,1"});
                QFAIL("the run reported success");
            } catch (const db::CommitUnconfirmed& error) {
                QFAIL(qPrintable(error.message()));
            } catch (const db::LockTimeout& error) {
                QFAIL(qPrintable(error.message()));
            } catch (const db::DatabaseError& error) {
                const QString message = ConversionEngine::failedRunMessage(error);
                QVERIFY2(message.contains(QLatin1String("full")), qPrintable(message));
                QVERIFY(
                    message.endsWith(QLatin1String("\rNenhuma leitura do arquivo foi gravada.")));
            }
            FullDisk::full = false;
            database.close();
        }
        QVERIFY(database.open());
        QCOMPARE(inventa(), QStringList());
    }

    // The server ends the connection mid-run: the box says so in the tool's words, and keeps
    // the server's reason for its details.
    void serverGoneMidRun() {
        const QString engineName = TestDatabase::engine();
        if (engineName == QLatin1String("sqlite"))
            QSKIP("no server to end the connection");
        const bool firebird = engineName == QLatin1String("firebird");
        QSqlQuery own(m_database->database());
        QVERIFY(own.exec(firebird ? QStringLiteral("Select Current_Connection From Rdb$Database")
                                  : QStringLiteral("Select pg_backend_pid()")) &&
                own.next());
        const QVariant id = own.value(0);
        own.finish();
        const ExtraConnection admin(m_database->database(), QStringLiteral("admin"));
        QVERIFY(admin.database().open());
        ActingRecorder ender(1, [&] {
            QSqlQuery end(admin.database());
            end.prepare(
                firebird ? QStringLiteral("Delete From Mon$Attachments Where Mon$Attachment_Id = ?")
                         : QStringLiteral("Select pg_terminate_backend(?)"));
            end.addBindValue(id);
            QVERIFY2(end.exec(), qPrintable(end.lastError().text()));
        });
        ConversionEngine subject = engineOn(m_database->database(), &ender);
        try {
            subject.ConvertInventory({"789000001,2", "R4,1", "ref8,1"});
            QFAIL("the run reported success");
        } catch (const db::ConnectionLost& error) {
            QCOMPARE(error.message(), db::connectionLostText());
            QVERIFY2(error.detail().startsWith(firebird ? QLatin1String("connection shutdown")
                                                        : QLatin1String("FATAL:  terminating")),
                     qPrintable(error.detail()));
        }
    }
};

COLETOR_GUILESS_TEST_MAIN(TestEngine)
#include "test_engine.moc"
