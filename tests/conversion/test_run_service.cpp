#include "conversion/RejectionList.h"
#include "conversion/RunService.h"
#include "db/Regional.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QDir>
#include <QTest>
#include <functional>
#include <memory>

using conversion::RunEnding;

namespace {

// Stops the run after a given line, and keeps what it was told.
class Caller : public conversion::RunObserver {
public:
    void lineStarted(int number) override { started << number; }
    bool stopRequested() override { return stopAfter > 0 && started.size() >= stopAfter; }
    void lineDone(const conversion::LineReport& line) override { done << line.itemCode; }

    QList<int> started;
    QStringList done;
    int stopAfter = 0;
};

} // namespace

class TestRunService : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDatabase> m_database;

    QStringList counts() const {
        return m_database->rows(
            QStringLiteral("Select CodProd, Quantidade From Inventa Order By CodProd"));
    }

    // An inventory run into company 01, cause 003, 06/12/2026, with rejection lists of its own.
    conversion::RunResult inventoryRun(conversion::RunRequest request,
                                       conversion::RunObserver* caller = nullptr) {
        request.entries = {QStringLiteral("01"), QStringLiteral("003"),
                           QStringLiteral("06/12/2026")};
        return conversion::RunService(m_database->database(), m_database->dialect())
            .run(request, caller);
    }

private slots:
    void initTestCase() {
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        db::Clock::setFixed(QDateTime(QDate(2026, 12, 8), QTime(14, 30, 5)));
    }
    void init() {
        m_database = std::make_unique<TestDatabase>();
        m_database->exec(QStringLiteral("Insert Into Produto Values ('P1', 'Camisa', 1, "
                                        "'REF1', NULL)"));
        m_database->exec(QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0000', 4, 2)"));
    }
    void cleanup() { m_database.reset(); }

    // How a run ends, what the caller hears, and what is left of the rejection lists.
    void runEnds_data() {
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("date");
        QTest::addColumn<int>("stopAfter");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("listed");

        // A code not found that the list names already is not listed again.
        const QStringList lines = {"REF1,2", "NADA,1", "sem virgula", "ANTES,1", "REF1,3"};
        const QStringList before = {"Produtos não processados, Motivo",
                                    "ANTES, Referência não encontrada."};
        QTest::newRow("completed")
            << lines << "06/12/2026" << 0 << int(RunEnding::Completed) << QString()
            << QStringList{"P1|5"} << (before + QStringList{"NADA, Referência não encontrada."});
        QTest::newRow("stopped by the caller")
            << lines << "06/12/2026" << 2 << int(RunEnding::Stopped) << QString() << QStringList()
            << before;
        QTest::newRow("bad quantity names its own line")
            << QStringList{"NADA,1", "REF1,x"} << "06/12/2026" << 0 << int(RunEnding::Failed)
            << "Linha 2: a quantidade \"x\" não é um número.\rNenhuma leitura do arquivo foi "
               "gravada."
            << QStringList() << before;
        QTest::newRow("other failures get the line")
            << QStringList{"NADA,1", "REF1,1"} << "31/02/2026" << 0 << int(RunEnding::Failed)
            << "Linha 2: " << QStringList() << before;
    }
    void runEnds() {
        QFETCH(QStringList, lines);
        QFETCH(QString, date);
        QFETCH(int, stopAfter);
        QFETCH(int, ending);
        QFETCH(QString, failure);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, listed);

        bool flag = false;
        conversion::RejectionList inventory(flag);
        conversion::RejectionList opening(flag);
        inventory.add(QStringLiteral("ANTES"),
                      conversion::reasonText(conversion::LineOutcome::NotFound));
        conversion::RunRequest request;
        request.lines = lines;
        request.entries = {QStringLiteral("01"), QStringLiteral("003"), date};
        Caller caller;
        caller.stopAfter = stopAfter;
        const conversion::RunResult result =
            conversion::RunService(m_database->database(), m_database->dialect())
                .run(request, &caller);
        result.listRejections({inventory, opening, flag});

        QCOMPARE(int(result.ending), ending);
        QVERIFY2(result.failureWithLine().startsWith(failure),
                 qPrintable(result.failureWithLine()));
        QCOMPARE(result.failure.isNull(), failure.isNull());
        QCOMPARE(counts(), rows);
        QCOMPARE(inventory.exportLines(), listed);
        QVERIFY(opening.isEmpty());
    }

    // A table the run needs is missing: the failure is the first line that needed it, also on a
    // server, where the run looks up every code before its first line.
    void missingTableFailsTheLineThatNeedsIt() {
        m_database->exec(QStringLiteral("Drop Table Relacionarefant"));
        conversion::RunRequest request;
        // Only a code no other search finds is looked up among the old references.
        request.lines = {"REF1,2", "REF1,1", "NADA,1"};
        const conversion::RunResult result = inventoryRun(request);
        QCOMPARE(int(result.ending), int(RunEnding::Failed));
        QVERIFY2(result.failureWithLine().startsWith(QLatin1String("Linha 3: ")),
                 qPrintable(result.failureWithLine()));
        QCOMPARE(counts(), QStringList());
    }

    // A review keeps every line, the passed-over ones with their own text, and posts nothing.
    void dryRunKeepsTheLines() {
        conversion::RunRequest request;
        request.lines = {"REF1,2", "sem virgula", "NADA,1"};
        request.dryRun = true;
        request.keepLines = true;
        Caller caller;
        const conversion::RunResult result = inventoryRun(request, &caller);
        QVERIFY(result.completed());
        QCOMPARE(result.lines.size(), size_t(3));
        QCOMPARE(result.lines[1].itemCode, QStringLiteral("sem virgula"));
        QCOMPARE(caller.done, (QStringList{"REF1", "sem virgula", "NADA"}));
        QCOMPARE(result.summary.posted(), 1);
        QCOMPARE(result.summary.rejected(), 1);
        QCOMPARE(counts(), QStringList());
    }

    void entriesAreCheckedInTheFormsOrder_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<bool>("inventory");
        QTest::addColumn<QString>("message");
        const QString file = QFINDTESTDATA("test_run_service.cpp");
        QTest::newRow("path first")
            << ""
            << ""
            << "" << true << "O campo \"Caminho do Arquivo\" não pode ficar em branco!";
        QTest::newRow("a file that is not there") << "/nada/x.txt"
                                                  << ""
                                                  << "" << true << "Arquivo .TXT não selecionado!";
        QTest::newRow("company before cause")
            << file << ""
            << "" << true << "O campo \"Empresa\" não pode ficar em branco!";
        QTest::newRow("cause on the inventory")
            << file << "01"
            << "" << true << "O campo \"Causa\" não pode ficar em branco!";
        QTest::newRow("no cause for the opening stock") << file << "01"
                                                        << "" << false << "";
    }
    void entriesAreCheckedInTheFormsOrder() {
        QFETCH(QString, path);
        QFETCH(QString, company);
        QFETCH(QString, cause);
        QFETCH(bool, inventory);
        QFETCH(QString, message);
        const auto problem = conversion::checkEntries({path, company, cause, inventory, true});
        QCOMPARE(problem ? problem->message : QString(), message);
    }

    // The database's folder moved away in the middle of a run: the failure says so in the
    // tool's words, with the engine's own text as its detail, nothing is posted, and a run once
    // the folder is back posts.
    void databaseMovedAway() {
        const QString file = m_database->filePath();
        if (file.isEmpty())
            QSKIP("a server's database is no file");
        const QString folder = m_database->directory();
        const QString moved = folder + QStringLiteral("-movida");
        class Mover final : public Caller {
        public:
            std::function<void()> move;
            void lineStarted(int number) override {
                Caller::lineStarted(number);
                if (number == 2)
                    move();
            }
        } mover;
        mover.move = [&] {
            QVERIFY(QDir().rename(folder, moved));
        };
        conversion::RunRequest request;
        request.lines = {"REF1,2", "REF1,1", "REF1,3"};
        const conversion::RunResult gone = inventoryRun(request, &mover);
        QVERIFY(QDir().rename(moved, folder));
        QCOMPARE(int(gone.ending), int(RunEnding::Failed));
        QCOMPARE(gone.failureWithLine(),
                 QStringLiteral("O banco de dados não está mais em %1, onde foi aberto: a pasta ou "
                                "o arquivo foi movido, renomeado ou apagado. Ponha-o de volta e "
                                "converta de novo, ou aponte o Caminho.Dir para o novo lugar e "
                                "abra o programa de novo.\rNenhuma leitura do arquivo foi "
                                "gravada.")
                     .arg(QDir::toNativeSeparators(file)));
        QVERIFY(!gone.detail.isEmpty());
        QCOMPARE(counts(), QStringList());
        QVERIFY(inventoryRun(request).completed());
        QCOMPARE(counts(), QStringList{"P1|6"});
    }
};

COLETOR_GUILESS_TEST_MAIN(TestRunService)
#include "test_run_service.moc"
