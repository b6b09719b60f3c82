#include "conversion/CollectorFile.h"
#include "conversion/Journal.h"
#include "conversion/RejectionList.h"
#include "conversion/RunService.h"
#include "db/Regional.h"
#include "tests/Relayed.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QTest>
#include <QThread>
#include <functional>
#include <memory>

using conversion::RunEnding;
using conversion::RunRequest;
using conversion::RunResult;
namespace journal = conversion::journal;

namespace {

// Acts just before the run commits, after the journal is written.
class BeforeCommit : public conversion::RunObserver {
public:
    explicit BeforeCommit(std::function<void()> action)
        : m_action(std::move(action)) {}
    void lineStarted(int) override {}
    bool stopRequested() override { return false; }
    void beforeCommit() override { m_action(); }

private:
    std::function<void()> m_action;
};

RunRequest requestFor(const QStringList& lines, bool inventory, bool dryRun = false) {
    RunRequest request;
    request.lines = lines;
    request.entries = {QStringLiteral("01"), QStringLiteral("003"), QStringLiteral("06/12/2026")};
    request.inventory = inventory;
    request.dryRun = dryRun;
    request.journal = true;
    request.files = {{QStringLiteral("coletor.txt"),
                      conversion::readingsSha256(lines),
                      static_cast<int>(lines.size()),
                      {}}};
    return request;
}

RunResult post(const QSqlDatabase& database, const db::Dialect& dialect, const RunRequest& request,
               conversion::RunObserver* observer = nullptr) {
    return conversion::RunService(database, dialect).run(request, observer);
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_database;

    RunResult post(const RunRequest& request, conversion::RunObserver* observer = nullptr) {
        return ::post(m_database->database(), m_database->dialect(), request, observer);
    }
    // What a run can write, and what an undo must give back.
    QStringList stock() const {
        QStringList rows;
        rows << m_database->rows(QStringLiteral("Select CodProd, CodGrade, Processado, Quantidade "
                                                "From Inventa Order By CodProd"));
        rows << m_database->rows(
            QStringLiteral("Select CODPROD, QUANTIDADE From INCIEST Order By CODPROD"));
        rows << m_database->rows(
            QStringLiteral("Select CODPROD, TIPOMOV From MvGeral Order By CODPROD, TIPOMOV"));
        return rows;
    }
    QStringList journalRuns() const {
        return m_database->rows(
            QStringLiteral("Select Modo, CodEmpresa, CodCausa, DataInv, Arquivo, Linhas, "
                           "Gravadas, Rejeitadas, Situacao From ConvColetor"));
    }
    QStringList journalRows() const {
        return m_database->rows(QStringLiteral(
            "Select CodProd, CodGrade, Quantidade, Criou From ConvColetorIt Order By CodProd"));
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
        for (const char* product :
             {"'P1', 'Camisa', 1, 'REF1', NULL", "'P2', 'Calça', 1, 'REF2', NULL",
              "'P3', 'Meia', 1, 'REF3', NULL"})
            m_database->exec(QStringLiteral("Insert Into Produto Values (%1)").arg(product));
        m_database->exec(QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0000', 4, 2)"));
        // P2 has a count row open before any run: a run adds to it and does not create it.
        m_database->exec(QStringLiteral("Insert Into Inventa Values ('01', ?, '20261206A', 'P2', "
                                        "'0000', 'N', 'x', 'ADMIN', 4, 0, 0, '003')"),
                         {m_database->dialect().date(QDate(2026, 12, 6))});
        // P3 has a movement: an opening-stock run refuses it.
        m_database->exec(QStringLiteral("Insert Into MvGeral Values ('01', 'P3', '0000', ?, 'A', "
                                        "'0', '01', 'D1', 1, 1)"),
                         {m_database->dialect().dateTime(QDateTime(QDate(2026, 1, 1), QTime()))});
    }
    void cleanup() { m_database.reset(); }

    // The journal is written in the run's transaction: what posts writes it, what does not post
    // leaves none.
    void journalGoesWithTheRun_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("inventory");
        QTest::addColumn<bool>("dryRun");
        QTest::addColumn<QStringList>("runs");
        QTest::addColumn<QStringList>("rows");

        const QStringList lines = {"REF1,2", "REF1,3", "REF2,1", "NADA,1", "REF3,1"};
        QTest::newRow("inventory: per count row, summed")
            << lines << true << false << QStringList{"I|01|003|2026-12-06|coletor.txt|5|4|1|G"}
            << QStringList{"P1|0000|5|S", "P2|0000|1|N", "P3|0000|1|S"};
        QTest::newRow("opening stock: per reading")
            << lines << false << false << QStringList{"E|01||2026-12-06|coletor.txt|5|2|3|G"}
            << QStringList{"P1|0000|2|S", "P2|0000|1|S"};
        QTest::newRow("simulated: none") << lines << true << true << QStringList() << QStringList();
        QTest::newRow("failed: none")
            << QStringList{"REF1,2", "REF2,x"} << true << false << QStringList() << QStringList();
    }
    void journalGoesWithTheRun() {
        QFETCH(QStringList, lines);
        QFETCH(bool, inventory);
        QFETCH(bool, dryRun);
        QFETCH(QStringList, runs);
        QFETCH(QStringList, rows);

        const RunResult result = post(requestFor(lines, inventory, dryRun));
        QCOMPARE(result.completed(), lines.size() > 2);
        QCOMPARE(journalRuns(), runs);
        QCOMPARE(journalRows(), rows);
        if (!runs.isEmpty())
            QCOMPARE(m_database->rows(QStringLiteral("Select IdConv From ConvColetor")),
                     QStringList{result.runId});
    }

    // The collector's rows come in key order, a count row's lines summed in the order they came:
    // whether the run created the row and what it held before from its first line, what it
    // left from its last.
    void collectorMergesLines_data() {
        QTest::addColumn<QString>("longer");
        QTest::newRow("codes a catalogue gives") << QStringLiteral("P9");
        QTest::newRow("a code longer than a catalogue's") << QStringLiteral("P9-0123456789ABCDEF");
    }
    void collectorMergesLines() {
        QFETCH(QString, longer);
        const auto line = [](const QString& product, double quantity, bool created,
                             std::optional<double> before, double after) {
            conversion::LineReport report;
            report.outcome = conversion::LineOutcome::Posted;
            report.CodProd = product;
            report.CodGrade = QStringLiteral("0000");
            report.quantity = quantity;
            report.rowCreated = created;
            report.countBefore = before;
            report.countAfter = after;
            return report;
        };
        journal::RowCollector collector(true, 6);
        collector.add(line(longer, 0.1, true, std::nullopt, 0.1));
        collector.add(line(QStringLiteral("P1"), 2, false, 5.0, 7));
        conversion::LineReport rejected = line(QStringLiteral("P1"), 9, false, 7.0, 16);
        rejected.outcome = conversion::LineOutcome::NotFound;
        collector.add(rejected);
        collector.add(line(longer, 0.2, false, 0.1, 0.1 + 0.2));
        collector.add(line(QStringLiteral("P1"), 3, false, 7.0, 10));
        QStringList rows;
        for (const journal::RowRecord& row : collector.rows())
            rows << QStringLiteral("%1|%2|%3|%4|%5")
                        .arg(row.CodProd)
                        .arg(row.quantity, 0, 'g', 17)
                        .arg(row.created ? 'S' : 'N')
                        .arg(row.before ? QString::number(*row.before) : QStringLiteral("-"))
                        .arg(row.after.value(), 0, 'g', 17);
        QCOMPARE(rows, (QStringList{"P1|5|N|5|10",
                                    longer + "|0.30000000000000004|S|-|0.30000000000000004"}));
    }

    // A big run's rows go in batches of several sizes (128, 16, 1 here, both of the rows the run
    // created and of the others): each row keeps its own values, and the undo gives every count
    // back.
    void rowsInBatches() {
        QStringList lines, expected;
        for (int i = 0; i < 435; ++i) {
            const QString code = QStringLiteral("Q%1").arg(i, 3, 10, QLatin1Char('0'));
            // Some products' keys hold what a list of values would have to quote.
            const QString product = code + QLatin1String(i % 5 == 1 ? "\"\\,}" : "");
            m_database->exec(QStringLiteral("Insert Into Produto Values ('%1', 'x', 1, '%2', NULL)")
                                 .arg(product, code));
            // Every third product has a count row before the run.
            if (i % 3 == 0)
                m_database->exec(QStringLiteral("Insert Into Inventa Values ('01', ?, "
                                                "'20261206A', '%1', '0000', 'N', 'x', 'ADMIN', "
                                                "%2, 0, 0, '003')")
                                     .arg(product)
                                     .arg(i),
                                 {m_database->dialect().date(QDate(2026, 12, 6))});
            lines << code + QStringLiteral(",2");
            expected << QStringLiteral("%1|0000|2|%2|%3|%4")
                            .arg(product, QLatin1String(i % 3 == 0 ? "N" : "S"),
                                 i % 3 == 0 ? QString::number(i) : QStringLiteral("-1"))
                            .arg(i % 3 == 0 ? i + 2 : 2);
        }
        const QStringList before = stock();
        const RunResult result = post(requestFor(lines, true));
        QVERIFY(result.completed());
        QCOMPARE(m_database->rows(QStringLiteral(
                     "Select CodProd, CodGrade, Quantidade, Criou, Coalesce(Antes, -1), Depois "
                     "From ConvColetorIt Order By CodProd")),
                 expected);
        // Undone beneath a second run of the same lines, the first leaves the second's rows as
        // if it had never been, and the second's undo the stock as it was.
        RunRequest again = requestFor(lines, true);
        again.again = true;
        const RunResult second = post(again);
        QVERIFY(second.completed());
        QVERIFY(undo(result.runId).undone);
        QCOMPARE(m_database->rows(QStringLiteral("Select CodProd, CodGrade, Quantidade, Criou, "
                                                 "Coalesce(Antes, -1), Depois From ConvColetorIt "
                                                 "Where IdConv = '%1' Order By CodProd")
                                      .arg(second.runId)),
                 expected);
        QVERIFY(undo(second.runId).undone);
        QCOMPARE(stock(), before);
        // The same products' opening stock goes in batches too.
        const RunResult opening = post(requestFor(lines, false));
        QVERIFY(opening.completed());
        QCOMPARE(m_database->rows(
                     QStringLiteral("Select Count(*) From MvGeral Where CODPROD Like 'Q%'")),
                 QStringList{"435"});
        QVERIFY(undo(opening.runId).undone);
        QCOMPARE(stock(), before);
    }

    // The same file into the same place is refused, and a dry run tells of it, until its run is
    // undone; another date, mode, company or cause is another place.
    void earlierRunFound_data() {
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("inventory");
        QTest::addColumn<bool>("found");
        QTest::newRow("same place") << "01"
                                    << "003"
                                    << "06/12/2026" << true << true;
        QTest::newRow("other date") << "01"
                                    << "003"
                                    << "07/12/2026" << true << false;
        QTest::newRow("other mode") << "01"
                                    << ""
                                    << "06/12/2026" << false << false;
        QTest::newRow("other company") << "02"
                                       << "003"
                                       << "06/12/2026" << true << false;
        QTest::newRow("other cause") << "01"
                                     << "004"
                                     << "06/12/2026" << true << false;
    }
    void earlierRunFound() {
        QFETCH(QString, company);
        QFETCH(QString, cause);
        QFETCH(QString, date);
        QFETCH(bool, inventory);
        QFETCH(bool, found);
        const RunRequest request = requestFor({"REF1,2"}, true);
        const RunResult first = post(request);
        QVERIFY(first.earlier.empty());
        RunRequest asked = requestFor({"REF1,2"}, inventory, true);
        asked.entries = {company, cause, date};
        const RunResult review = post(asked);
        QVERIFY(review.completed());
        QCOMPARE(review.earlier.size(), size_t(found));
        if (found)
            QCOMPARE(review.earlier.front().id, first.runId);
        asked.dryRun = false;
        const RunResult again = post(asked);
        QCOMPARE(again.ending, found ? RunEnding::AlreadyConverted : RunEnding::Completed);
        QCOMPARE(again.failure, review.earlierText());

        QVERIFY(undo(first.runId).undone);
        QVERIFY(post(requestFor({"REF1,2"}, true, true)).earlier.empty());
    }

    // An undo gives the database back as it was before the run: counts added to lose what the
    // run added, rows the run created go, opening stock and its movement go.
    void undoRestores_data() {
        QTest::addColumn<bool>("inventory");
        QTest::newRow("inventory") << true;
        QTest::newRow("opening stock") << false;
    }
    void undoRestores() {
        QFETCH(bool, inventory);
        const QStringList before = stock();
        const RunResult result = post(requestFor({"REF1,2", "REF2,1,5", "REF1,3"}, inventory));
        QVERIFY(result.completed());
        QVERIFY(stock() != before);

        const journal::UndoResult undone = undo(result.runId);
        QVERIFY2(undone.undone, qPrintable(journal::refusalText(undone)));
        QCOMPARE(stock(), before);
        QCOMPARE(m_database->rows(QStringLiteral("Select Situacao, DesfeitoPor From ConvColetor")),
                 QStringList{"D|maria"});
        // Once only.
        const journal::UndoResult again = undo(result.runId);
        QVERIFY(!again.undone);
        QVERIFY2(again.message.contains(QStringLiteral("já foi desfeita")),
                 qPrintable(again.message));
        QCOMPARE(stock(), before);
    }

    // Someone outside the journal changes a count the run left: the undo takes off only what the
    // run added, and a row the run created stays.
    void undoKeepsOutsideChanges_data() {
        QTest::addColumn<QString>("product");
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("left");
        QTest::newRow("row the run created") << "P1"
                                             << "REF1"
                                             << "P1|7";
        QTest::newRow("row there before") << "P2"
                                          << "REF2"
                                          << "P2|7";
    }
    void undoKeepsOutsideChanges() {
        QFETCH(QString, product);
        QFETCH(QString, code);
        QFETCH(QString, left);
        const RunResult result = post(requestFor({code + QStringLiteral(",2")}, true));
        QVERIFY(result.completed());
        m_database->exec(
            QStringLiteral("Update Inventa Set Quantidade = 9 Where CodProd = '%1'").arg(product));
        QVERIFY(undo(result.runId).undone);
        QCOMPARE(m_database->rows(
                     QStringLiteral("Select CodProd, Quantidade From Inventa Where CodProd = '%1'")
                         .arg(product)),
                 QStringList{left});
    }

    // A row that no longer qualifies stops the whole undo, and says which and why.
    void undoRefusedWhole_data() {
        QTest::addColumn<bool>("inventory");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("count row processed since")
            << true << "Update Inventa Set Processado = 'S' Where CodProd = 'P2'"
            << "P2 grade 0000: a contagem foi processada depois da conversão";
        QTest::newRow("count row gone") << true << "Delete From Inventa Where CodProd = 'P1'"
                                        << "P1 grade 0000: a contagem não existe mais";
        QTest::newRow("product moved since")
            << false
            << "Insert Into MvGeral Values ('01', 'P1', '0000', '2026-12-07 00:00:00', 'A', '0', "
               "'02', 'V1', -1, 1)"
            << "P1 grade 0000: o produto tem outros movimentos depois da conversão";
        QTest::newRow("opening stock row gone")
            << false << "Delete From INCIEST Where CODPROD = 'P2'"
            << "P2 grade 0000: o início de estoque não existe mais";
        QTest::newRow("opening movement gone")
            << false << "Delete From MvGeral Where CODPROD = 'P1'"
            << "P1 grade 0000: o movimento de início de estoque não existe mais";
    }
    void undoRefusedWhole() {
        QFETCH(bool, inventory);
        QFETCH(QString, change);
        QFETCH(QString, refusal);
        const RunResult result = post(requestFor({"REF1,2", "REF2,1"}, inventory));
        QVERIFY(result.completed());
        m_database->exec(change);
        const QStringList changed = stock();

        const journal::UndoResult undone = undo(result.runId);
        QVERIFY(!undone.undone);
        QCOMPARE(undone.refusals.size(), size_t(1));
        QCOMPARE(journal::refusalText(undone).section(u'\n', 1), refusal);
        QCOMPARE(stock(), changed);
        QCOMPARE(m_database->rows(QStringLiteral("Select Situacao From ConvColetor")),
                 QStringList{"G"});
    }

    // Run A posts decimals, run B adds to the same row; undone in either order the row is
    // exactly as before: gone where A created it, its count to the last bit where it was there.
    void undoInAnyOrder_data() {
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("firstRunFirst");
        for (const char* code : {"REF1", "REF2"}) {
            const QString created =
                QLatin1String(code) == QLatin1String("REF1") ? "created by A" : "there before";
            QTest::addRow("%s, A then B", qPrintable(created)) << QString::fromLatin1(code) << true;
            QTest::addRow("%s, B then A", qPrintable(created))
                << QString::fromLatin1(code) << false;
        }
    }
    void undoInAnyOrder() {
        QFETCH(QString, code);
        QFETCH(bool, firstRunFirst);
        const QStringList before = stock();
        const RunResult a = post(requestFor({code + ",0,1", code + ",0,2"}, true));
        const RunResult b = post(requestFor({code + ",0,7", code + ",0,3"}, true));
        QVERIFY(a.completed() && b.completed());
        QVERIFY(undo(firstRunFirst ? a.runId : b.runId).undone);
        QVERIFY(undo(firstRunFirst ? b.runId : a.runId).undone);
        QCOMPARE(stock(), before);
        // To the last bit: the database compares the double itself.
        QCOMPARE(m_database->rows(QStringLiteral(
                     "Select Count(*) From Inventa Where CodProd = 'P2' And Quantidade = 4")),
                 QStringList{QStringLiteral("1")});
    }

    // The connection breaks before the run or at its commit. At the commit the journal, read on
    // a new connection, tells whether the readings were kept. What broke is said in the tool's
    // words; the server's own text is only the detail.
    void cutConnection_data() {
        QTest::addColumn<bool>("atStart");
        QTest::addColumn<bool>("commitArrives");
        // How late the commit reaches the server, in milliseconds.
        QTest::addColumn<int>("late");
        QTest::addColumn<QString>("told");
        QTest::newRow("before the run") << true << false << 0 << "A conexão com o servidor";
        QTest::newRow("commit lost: nothing posted") << false << false << 0 << "A confirmação";
        QTest::newRow("answer lost: posted") << false << true << 0 << QString();
        QTest::newRow("commit 1.2 s late: posted") << false << true << 1200 << QString();
        QTest::newRow("commit 2.5 s late: posted") << false << true << 2500 << QString();
    }
    void cutConnection() {
        QFETCH(bool, atStart);
        QFETCH(bool, commitArrives);
        QFETCH(int, late);
        QFETCH(QString, told);
        if (TestDatabase::engine() == QLatin1String("sqlite"))
            QSKIP("no network between SQLite and the tool");
        if (!TcpRelay::available())
            QSKIP("no relay on this platform");
        Relayed relayed(m_database->database());
        BeforeCommit cutter([&] {
            relayed.relay.cutAtNextRequest(commitArrives, std::chrono::milliseconds(late));
        });
        if (atStart)
            relayed.relay.cutAtNextRequest(false);
        const RunResult result = ::post(relayed.database(), m_database->dialect(),
                                        requestFor({"REF1,2", "REF2,1"}, true), &cutter);

        const int posted = m_database->rows(QStringLiteral("Select * From ConvColetor")).size();
        QCOMPARE(result.completed(), posted == 1);
        if (result.completed()) {
            QVERIFY2(result.note.contains(QStringLiteral("diário")), qPrintable(result.note));
            QVERIFY(result.failure.isNull());
            QCOMPARE(stock().first(), QStringLiteral("P1|0000|N|2"));
        } else {
            QCOMPARE(int(result.ending), int(RunEnding::Failed));
            QVERIFY2(result.failure.startsWith(told) &&
                         result.failure.contains(QStringLiteral("Nenhuma leitura")),
                     qPrintable(result.failure));
            QVERIFY2(!result.detail.isEmpty() && !result.failure.contains(result.detail),
                     qPrintable(result.detail));
            QCOMPARE(stock().first(), QStringLiteral("P2|0000|N|4"));
        }
        // PostgreSQL keeps a commit that reached it, and drops one that did not.
        if (TestDatabase::engine() == QLatin1String("postgresql"))
            QCOMPARE(result.completed(), commitArrives);
    }

    // Two workstations post into the same count rows at once: each run is in the journal as
    // it is in the counts, none lost or counted twice.
    void twoWorkstationsAtOnce() {
        const QString source = m_database->database().connectionName();
        const db::Dialect& dialect = m_database->dialect();
        RunResult results[2];
        std::unique_ptr<QThread> threads[2];
        for (int i = 0; i < 2; ++i) {
            threads[i].reset(QThread::create([&, i] {
                const QString name = QStringLiteral("workstation %1").arg(i);
                {
                    QSqlDatabase own = QSqlDatabase::cloneDatabase(source, name);
                    if (own.open()) {
                        QStringList lines;
                        for (int n = 0; n < 200; ++n)
                            lines << (n % 2 ? QStringLiteral("REF1,1") : QStringLiteral("REF2,1"));
                        lines << QStringLiteral("ws%1,1").arg(i);
                        results[i] = ::post(own, dialect, requestFor(lines, true));
                    }
                    own.close();
                }
                QSqlDatabase::removeDatabase(name);
            }));
            threads[i]->start();
        }
        for (auto& thread : threads)
            QVERIFY(thread->wait(60000));

        int completed = 0;
        for (const RunResult& result : results) {
            QVERIFY2(result.completed() || result.ending == RunEnding::LockWait,
                     qPrintable(result.failure));
            completed += result.completed() ? 1 : 0;
        }
        QVERIFY(completed >= 1);
        QCOMPARE(journalRuns().size(), completed);
        // Each run adds 100 to each row; P2 started at 4.
        QCOMPARE(m_database->rows(
                     QStringLiteral("Select CodProd, Quantidade From Inventa Order By CodProd")),
                 (QStringList{QStringLiteral("P1|%1").arg(100 * completed),
                              QStringLiteral("P2|%1").arg(4 + 100 * completed)}));
        QCOMPARE(
            m_database->rows(QStringLiteral("Select CodProd, Sum(Quantidade) From "
                                            "ConvColetorIt Group By CodProd Order By CodProd")),
            (QStringList{QStringLiteral("P1|%1").arg(100 * completed),
                         QStringLiteral("P2|%1").arg(100 * completed)}));
    }
};

COLETOR_GUILESS_TEST_MAIN(TestJournal)
#include "test_journal.moc"
