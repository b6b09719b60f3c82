// Closing a count: the products nobody counted, their zeroing as a run of the journal and its
// undo, and what the differences between count and stock are worth.
#include "conversion/CollectorFile.h"
#include "conversion/Journal.h"
#include "conversion/RejectionList.h"
#include "conversion/RunService.h"
#include "conversion/Uncounted.h"
#include "db/Regional.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QTest>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>

using conversion::RunResult;
namespace journal = conversion::journal;

namespace {

const QDate Day = QDate(2026, 12, 6);

// Tells when a run or a zeroing has the company's turn, waits for it, or is about to commit.
class Hooks : public conversion::RunObserver {
public:
    void lineStarted(int) override {}
    bool stopRequested() override { return false; }
    void runBegan() override {
        if (began)
            began();
    }
    void waitingForTurn(int) override {
        if (waiting)
            waiting();
    }
    void beforeCommit() override {
        if (committing)
            committing();
    }
    std::function<void()> began;
    std::function<void()> waiting;
    std::function<void()> committing;
};

RunResult convert(const QSqlDatabase& database, const db::Dialect& dialect,
                  const QStringList& lines, bool dryRun = false,
                  conversion::RunObserver* observer = nullptr) {
    conversion::RunRequest request;
    request.lines = lines;
    request.entries = {QStringLiteral("01"), QStringLiteral("003"), QStringLiteral("06/12/2026")};
    request.dryRun = dryRun;
    request.keepLines = true;
    request.journal = !dryRun;
    request.files = {{QStringLiteral("coletor.txt"),
                      conversion::readingsSha256(lines),
                      static_cast<int>(lines.size()),
                      {}}};
    return conversion::RunService(database, dialect).run(request, observer);
}

conversion::ZeroResult zero(const QSqlDatabase& database, const db::Dialect& dialect,
                            bool dryRun = false, conversion::RunObserver* observer = nullptr) {
    conversion::ZeroRequest request;
    request.entries = {QStringLiteral("01"), QStringLiteral("003"), QStringLiteral("06/12/2026")};
    request.dryRun = dryRun;
    request.journal = true;
    return conversion::RunService(database, dialect).zeroUncounted(request, observer);
}

} // namespace

class TestUncounted : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_database;

    // "{06}" and "{07}" in a statement are the 6th and the 7th of December.
    void exec(QString sql) {
        QVariantList values;
        for (const auto& [mark, date] : {std::pair{QStringLiteral("{06}"), Day},
                                         std::pair{QStringLiteral("{07}"), Day.addDays(1)}}) {
            if (sql.contains(mark)) {
                sql.replace(mark, QStringLiteral("?"));
                values << m_database->dialect().date(date);
            }
        }
        m_database->exec(sql, values);
    }
    QStringList uncountedRows() const {
        QStringList rows;
        const conversion::UncountedList list = conversion::uncountedProducts(
            m_database->database(), m_database->dialect(), QStringLiteral("01"), Day);
        for (const conversion::UncountedProduct& product : list.products)
            rows << QStringList{product.CodProd,
                                product.CodGrade,
                                product.description,
                                QString::number(product.stock),
                                QString::number(product.cost),
                                QString::number(product.value())}
                        .join(u'|');
        return rows;
    }
    QStringList counts() const {
        return m_database->rows(QStringLiteral(
            "Select CodProd, CodGrade, Processado, Quantidade From Inventa Order By CodProd"));
    }
    journal::UndoResult undo(const QString& id) {
        return journal::undo(m_database->database(), m_database->dialect(), id,
                             QStringLiteral("maria"));
    }

private slots:
    void initTestCase() {
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        db::Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5)));
    }
    void init() {
        m_database = std::make_unique<TestDatabase>();
        m_database->exec(QStringLiteral("Insert Into Filiais Values ('01', 'Matriz')"));
        for (int n = 1; n <= 4; ++n)
            m_database->exec(QStringLiteral("Insert Into Produto Values ('P%1', 'Produto %1', 1, "
                                            "'REF%1', NULL)")
                                 .arg(n));
    }
    void cleanup() { m_database.reset(); }

    // Listed: stock on record, of company 01, and no count row of any kind on the date.
    void listed_data() {
        QTest::addColumn<QStringList>("setup"); // statements, or "convert:" and a file's line
        QTest::addColumn<QStringList>("rows");  // CodProd|CodGrade|Descricao|stock|cost|value
        const QString stock =
            QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0000', %1)");
        const QString counted = QStringLiteral("Insert Into Inventa Values ('01', %1, '%2A', 'P1', "
                                               "'%3', '%4', 'x', 'ADMIN', 3, 0, 0, '003')");
        QTest::newRow("stock on record")
            << QStringList{stock.arg("5, 2")} << QStringList{"P1|0000|Produto 1|5|2|10"};
        QTest::newRow("stock zero") << QStringList{stock.arg("0, 2")} << QStringList();
        QTest::newRow("stock null") << QStringList{stock.arg("NULL, 2")} << QStringList();
        QTest::newRow("negative stock")
            << QStringList{stock.arg("-3, 2")} << QStringList{"P1|0000|Produto 1|-3|2|-6"};
        QTest::newRow("null cost")
            << QStringList{stock.arg("4, NULL")} << QStringList{"P1|0000|Produto 1|4|0|0"};
        QTest::newRow("another company")
            << QStringList{"Insert Into CompProd Values ('02', 'P1', '0000', 5, 2)"}
            << QStringList();
        QTest::newRow("counted on another date")
            << QStringList{stock.arg("5, 2"), counted.arg("{07}", "20261207", "0000", "N")}
            << QStringList{"P1|0000|Produto 1|5|2|10"};
        QTest::newRow("processed count row")
            << QStringList{stock.arg("5, 2"), counted.arg("{06}", "20261206", "0000", "S")}
            << QStringList();
        QTest::newRow("counted by this date's run")
            << QStringList{stock.arg("5, 2"), "convert:REF1,1"} << QStringList();
        QTest::newRow("another grade counted")
            << QStringList{"Insert Into CompProd Values ('01', 'P1', '0001', 5, 2)",
                           "Insert Into CompProd Values ('01', 'P1', '0002', 1, 2)",
                           counted.arg("{06}", "20261206", "0001", "N")}
            << QStringList{"P1|0002|Produto 1|1|2|2"};
    }
    void listed() {
        QFETCH(QStringList, setup);
        QFETCH(QStringList, rows);
        for (const QString& step : setup) {
            if (step.startsWith(QLatin1String("convert:")))
                QVERIFY(convert(m_database->database(), m_database->dialect(), {step.mid(8)})
                            .completed());
            else
                exec(step);
        }
        QCOMPARE(uncountedRows(), rows);
    }

    // The zeroing writes each count row as a conversion would, at 0, goes into the journal as a
    // run of its own; a second one finds nothing, and a simulation writes nothing.
    void zeroing() {
        for (const char* values : {"'P1', '0000', 4, 2", "'P2', '0000', -3, 5",
                                   "'P3', '0000', 7, NULL", "'P4', '0000', 0, 1"})
            exec(QStringLiteral("Insert Into CompProd Values ('01', %1)").arg(values));
        QVERIFY(convert(m_database->database(), m_database->dialect(), {"REF3,2"}).completed());
        const QStringList before = counts();

        conversion::ZeroResult result = zero(m_database->database(), m_database->dialect(), true);
        QVERIFY2(result.completed(), qPrintable(result.failure));
        QCOMPARE(result.zeroed.count(), 2);
        QCOMPARE(result.zeroed.value(), -7.0);
        QCOMPARE(counts(), before);

        result = zero(m_database->database(), m_database->dialect());
        QVERIFY2(result.completed(), qPrintable(result.failure));
        QCOMPARE(result.text(false),
                 QStringLiteral("2 produtos não contados zerados (estoque 1, valor -7,00)."));
        QCOMPARE(m_database->rows(QStringLiteral(
                     "Select CodProd, Processado, DataHora, Usuario, Quantidade, QuantKardex, "
                     "PrecoCusto, CodCausa From Inventa Where Quantidade = 0 Order By CodProd")),
                 (QStringList{"P1|N|081226143005|ADMIN|0|4|2|003",
                              "P2|N|081226143005|ADMIN|0|-3|5|003"}));
        QCOMPARE(m_database->rows(
                     QStringLiteral(
                         "Select Modo, CodEmpresa, CodCausa, DataInv, Linhas, Gravadas, Situacao "
                         "From ConvColetor Where IdConv = '%1'")
                         .arg(result.runId)),
                 QStringList{"Z|01|003|2026-12-06|2|2|G"});
        QCOMPARE(m_database->rows(QStringLiteral("Select CodProd, Quantidade, Criou, Depois From "
                                                 "ConvColetorIt Where IdConv = '%1' And Antes Is "
                                                 "Null Order By CodProd")
                                      .arg(result.runId)),
                 (QStringList{"P1|0|S|0", "P2|0|S|0"}));
        const auto entry =
            journal::find(m_database->database(), m_database->dialect(), result.runId);
        QVERIFY(entry && entry->uncounted && entry->inventory);

        const conversion::ZeroResult again = zero(m_database->database(), m_database->dialect());
        QVERIFY(again.completed());
        QCOMPARE(again.zeroed.count(), 0);
        QVERIFY(again.runId.isEmpty());
        QCOMPARE(m_database->rows(QStringLiteral("Select Count(*) From ConvColetor")),
                 QStringList{"2"});

        const journal::UndoResult undone = undo(result.runId);
        QVERIFY2(undone.undone, qPrintable(journal::refusalText(undone)));
        QCOMPARE(undone.message,
                 QStringLiteral("Zeragem dos não contados desfeita: 2 linhas de Inventa."));
        QCOMPARE(counts(), before);
    }

    // The zeroing is undone by the journal's own undo: its rows go while untouched, a count a
    // conversion added since stays in whichever order the two are undone, a row processed since
    // stops the undo.
    void undoOfAZeroing_data() {
        QTest::addColumn<QString>("since"); // a statement, or "convert" for a run of REF1,5
        QTest::addColumn<bool>("zeroingFirst");
        QTest::addColumn<QStringList>("afterZeroingUndone");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("untouched") << QString() << true << QStringList() << QString();
        QTest::newRow("counted since, zeroing undone first")
            << "convert" << true << QStringList{"P1|0000|N|5"} << QString();
        QTest::newRow("counted since, conversion undone first")
            << "convert" << false << QStringList() << QString();
        QTest::newRow("processed since")
            << "Update Inventa Set Processado = 'S'" << true << QStringList{"P1|0000|S|0"}
            << "P1 grade 0000: a contagem foi processada depois da conversão";
    }
    void undoOfAZeroing() {
        QFETCH(QString, since);
        QFETCH(bool, zeroingFirst);
        QFETCH(QStringList, afterZeroingUndone);
        QFETCH(QString, refusal);
        exec(QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0000', 4, 2)"));
        const QString zeroing = zero(m_database->database(), m_database->dialect()).runId;
        QVERIFY(!zeroing.isEmpty());
        QString conversion;
        if (since == QLatin1String("convert"))
            conversion = convert(m_database->database(), m_database->dialect(), {"REF1,5"}).runId;
        else if (!since.isEmpty())
            exec(since);
        if (!zeroingFirst)
            QVERIFY(undo(conversion).undone);

        const journal::UndoResult undone = undo(zeroing);
        QCOMPARE(undone.undone, refusal.isEmpty());
        QCOMPARE(journal::refusalText(undone).section(u'\n', 1), refusal);
        QCOMPARE(counts(), afterZeroingUndone);
        if (zeroingFirst && !conversion.isEmpty()) {
            QVERIFY(undo(conversion).undone);
            QCOMPARE(counts(), QStringList());
        }
    }

    // Another workstation's run counts P1 while the zeroing waits for the company's turn: the
    // zeroing reads its list once the run has committed, and leaves P1 as the run counted it.
    void countedMeanwhileIsNotZeroed() {
        exec(QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0000', 4, 2)"));
        exec(QStringLiteral("Insert Into CompProd Values ('01', 'P2', '0000', 3, 1)"));
        const QString source = m_database->database().connectionName();
        const db::Dialect& dialect = m_database->dialect();
        std::atomic<bool> runHasTurn{false};
        std::atomic<bool> zeroingWaits{false};
        RunResult run;
        conversion::ZeroResult zeroed;
        const auto workstation = [&](const QString& name,
                                     const std::function<void(QSqlDatabase)>& work) {
            return QThread::create([&, name, work] {
                {
                    QSqlDatabase own = QSqlDatabase::cloneDatabase(source, name);
                    if (own.open())
                        work(own);
                    own.close();
                }
                QSqlDatabase::removeDatabase(name);
            });
        };
        Hooks runHooks;
        runHooks.began = [&] {
            runHasTurn = true;
        };
        // Holds the turn until the zeroing is seen waiting for it (10 s at most).
        runHooks.committing = [&] {
            for (int i = 0; i < 1000 && !zeroingWaits; ++i)
                QThread::msleep(10);
        };
        Hooks zeroHooks;
        zeroHooks.waiting = [&] {
            zeroingWaits = true;
        };
        std::unique_ptr<QThread> first(
            workstation(QStringLiteral("counting"), [&](QSqlDatabase own) {
                run = convert(own, dialect, {"REF1,5"}, false, &runHooks);
            }));
        first->start();
        QTRY_VERIFY_WITH_TIMEOUT(runHasTurn, 30000);
        std::unique_ptr<QThread> second(
            workstation(QStringLiteral("zeroing"),
                        [&](QSqlDatabase own) { zeroed = zero(own, dialect, false, &zeroHooks); }));
        second->start();
        QVERIFY(first->wait(60000));
        QVERIFY(second->wait(60000));
        QVERIFY2(run.completed(), qPrintable(run.failure));
        QVERIFY2(zeroed.completed(), qPrintable(zeroed.failure));
        QVERIFY(zeroingWaits);
        QCOMPARE(zeroed.zeroed.count(), 1);
        QCOMPARE(counts(), (QStringList{"P1|0000|N|5", "P2|0000|N|0"}));
    }

    // What a difference is worth: count less stock, times the cost, each count row once with the
    // count its last line leaves; a null cost is 0, a negative stock makes a gain.
    void differenceValues_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<double>("cost");      // of the last line
        QTest::addColumn<QByteArray>("worth"); // valor_diferenca of the last line
        QTest::addColumn<double>("losses");
        QTest::addColumn<double>("gains");
        QTest::newRow("a loss") << QStringList{"REF1,1"} << 2.5 << QByteArray("-7.5") << -7.5
                                << 0.0;
        QTest::newRow("negative stock: a gain")
            << QStringList{"REF2,1"} << 5.0 << QByteArray("15") << 0.0 << 15.0;
        QTest::newRow("null cost") << QStringList{"REF3,1"} << 0.0 << QByteArray("0") << 0.0 << 0.0;
        QTest::newRow("no stock row")
            << QStringList{"REF4,2"} << 0.0 << QByteArray("0") << 0.0 << 0.0;
        QTest::newRow("a product read twice, and a gain")
            << QStringList{"REF1,1", "REF2,1", "REF1,2"} << 2.5 << QByteArray("-2.5") << -2.5
            << 15.0;
    }
    void differenceValues() {
        QFETCH(QStringList, lines);
        QFETCH(double, cost);
        QFETCH(QByteArray, worth);
        QFETCH(double, losses);
        QFETCH(double, gains);
        for (const char* values :
             {"'P1', '0000', 4, 2.5", "'P2', '0000', -2, 5", "'P3', '0000', 4, NULL"})
            exec(QStringLiteral("Insert Into CompProd Values ('01', %1)").arg(values));
        const RunResult result =
            convert(m_database->database(), m_database->dialect(), lines, true);
        QVERIFY2(result.completed(), qPrintable(result.failure));
        QCOMPARE(result.lines.back().cost, cost);
        QByteArray row;
        conversion::appendCsvRow(row, result.lines.back());
        const QList<QByteArray> fields = row.split(',');
        QCOMPARE(fields.value(fields.size() - 2), worth);
        QCOMPARE(result.summary.values().losses, losses);
        QCOMPARE(result.summary.values().gains, gains);
        QCOMPARE(result.summary.values().net(), losses + gains);
    }
};

COLETOR_GUILESS_TEST_MAIN(TestUncounted)
#include "test_uncounted.moc"
