// The batch mode end to end: the built executable run as a script would run it, with no
// display, on a database filled with the demo data.
#include "db/DemoData.h"
#include "tests/ProgramRun.h"
#include "tests/TestDatabase.h"
#include "tests/TestFiles.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

namespace {
const QString Executable = QStringLiteral(CONVERSOR_EXECUTABLE);
const QString GoldenDir = QStringLiteral(COLETOR_GOLDEN_DIR);

// The demo's processed count row is dated today, so a run without --data meets it too.
const QDate Today = QDate::currentDate();

const QByteArray InventoryRejections = "Produtos n\xe3o processados, Motivo\r\n"
                                       "000000000000, Refer\xeancia n\xe3o encontrada.\r\n"
                                       "7890000040006, Produto j\xe1 processado.\r\n"
                                       "REF0040, Refer\xeancia n\xe3o encontrada.\r\n";
const QByteArray NoFile = "(unreadable)";

using programrun::Result;

QStringList postedRows(const TestDatabase& database) {
    QStringList rows;
    for (const char* table : {"Inventa", "INCIEST", "MVGERAL"})
        rows << database.rows(
            QStringLiteral("Select * From %1 Order By 1, 2, 3, 4").arg(QLatin1String(table)));
    return rows;
}
} // namespace

class TestBatch : public QObject {
    Q_OBJECT

    QTemporaryDir m_folder;
    std::unique_ptr<TestDatabase> m_database;

    QString path(const QString& name) const { return m_folder.filePath(name); }

    // "@name" is a file of the working folder, "@hoje" today's date.
    Result runBatch(QStringList arguments, bool connected) const {
        for (QString& argument : arguments) {
            if (argument == QLatin1String("@hoje"))
                argument = Today.toString(QStringLiteral("dd/MM/yyyy"));
            else if (argument.startsWith(QLatin1Char('@')))
                argument = path(argument.mid(1));
        }
        QProcessEnvironment environment = programrun::batchEnvironment();
        // Not connected: the default alias, SQLite, on a file that does not exist.
        if (!connected) {
            environment.insert(QStringLiteral("CONVERSOR_ALIASES"),
                               QStringLiteral("/nonexistent/aliases.ini"));
            testfiles::write(path(QStringLiteral("Caminho.Dir")), "nada.db\r\n");
        }
        return programrun::run(Executable, arguments, m_folder.path(), environment);
    }

private slots:
    void init() {
        m_database = std::make_unique<TestDatabase>();
        db::demo::fill(m_database->database(), m_database->dialect(), Today);
        m_database->pointToolAt(m_folder.path());
        testfiles::write(path(QStringLiteral("coletor.txt")), db::demo::collectorFile());
        for (const char* output : {"relatorio.csv", "rejeitadas.txt"})
            QFile::remove(path(QLatin1String(output)));
    }
    void cleanup() { m_database.reset(); }

    void batch_data() {
        QTest::addColumn<QStringList>("arguments");
        // Replaces the demo collector file; "-" removes it.
        QTest::addColumn<QByteArray>("collector");
        QTest::addColumn<bool>("connected");
        QTest::addColumn<int>("status");
        // The one line on standard error, or the start of it; empty: nothing there.
        QTest::addColumn<QString>("error");
        QTest::addColumn<bool>("posts");
        // The report against a golden file; empty: no report file is left.
        QTest::addColumn<QString>("golden");
        QTest::addColumn<QByteArray>("rejections");
        // Standard output, segundos left out; empty: nothing there.
        QTest::addColumn<QByteArray>("json");

        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"};
        const QStringList reports = {"--relatorio", "@relatorio.csv", "--rejeitadas",
                                     "@rejeitadas.txt"};
        const QByteArray inventoryJson =
            R"({"modo":"inventario","simulacao":false,"linhas":15,"leituras":13,"gravadas":9,)"
            R"("rejeitadas":{"Referência não encontrada.":3,"Produto já processado.":1},)"
            R"("produtos":8})";

        QTest::newRow("inventory: every outcome, 1")
            << inventory + reports + QStringList{"--data", "@hoje", "--json"} << QByteArray()
            << true << 1 << "" << true << "demo_inventario.csv" << InventoryRejections
            << inventoryJson;
        QTest::newRow("opening stock: every outcome, 1")
            << QStringList{"--inicio-estoque",
                           "@coletor.txt",
                           "--empresa",
                           "01",
                           "--data",
                           QString::number(Today.day()),
                           "--json"} +
                   reports
            << QByteArray() << true << 1 << "" << true << "demo_inicio_estoque.csv"
            << QByteArray("Produtos n\xe3o processados, Motivo\r\n"
                          "000000000000, Refer\xeancia n\xe3o encontrada.\r\n"
                          "000000000000, Refer\xeancia n\xe3o encontrada.\r\n"
                          "7890000040006, Produto j\xe1 processado.\r\n"
                          "7890000010009, Existe movimentos com este produto.\r\n"
                          "7890000110006, Existe movimentos com este produto.\r\n"
                          "REF0040, Refer\xeancia n\xe3o encontrada.\r\n")
            << QByteArray(R"({"modo":"inicio-estoque","simulacao":false,"linhas":15,"leituras":13,)"
                          R"("gravadas":7,"rejeitadas":{"Referência não encontrada.":3,)"
                          R"("Produto já processado.":1,"Existe movimentos com este produto.":2},)"
                          R"("produtos":7})");
        // No --data: today, the day of the processed row.
        QTest::newRow("dry run: same report, nothing posted, 1")
            << inventory + reports + QStringList{"--simular", "--json"} << QByteArray() << true << 1
            << "" << false << "demo_inventario.csv" << InventoryRejections
            << QByteArray(inventoryJson).replace("\"simulacao\":false", "\"simulacao\":true");
        QTest::newRow("no rejection, 0")
            << inventory + reports << QByteArray("7890000010009,2\r\nREF0002,1\r\n") << true << 0
            << "" << true << "" << QByteArray() << QByteArray();
        QTest::newRow("failing line: nothing posted, no files, 4")
            << inventory + reports << QByteArray("7890000010009,2\r\nREF0002,x\r\n") << true << 4
            << "Linha 2: 'x' is not a valid floating point value" << false << "" << NoFile
            << QByteArray();
        QTest::newRow("no connection, 3")
            << inventory << QByteArray() << false << 3
            << "Ocorreu um erro ao tentar conectar ao banco de dados: " << false << "" << NoFile
            << QByteArray();

        const auto usage = [&](const char* name, const QStringList& arguments,
                               const QByteArray& collector, const char* error) {
            QTest::newRow(name) << arguments << collector << true << 2 << QString::fromUtf8(error)
                                << false << "" << NoFile << QByteArray();
        };
        usage("unknown company, 2",
              QStringList{"--inventario", "@coletor.txt", "--empresa", "9", "--causa", "1"},
              QByteArray(), "Empresa não cadastrada: 09");
        usage("unknown cause, 2",
              QStringList{"--inventario", "@coletor.txt", "--empresa", "1", "--causa", "3"},
              QByteArray(), "Causa não cadastrada: 003");
        usage("cause required for inventory, 2",
              QStringList{"--inventario", "@coletor.txt", "--empresa", "1"}, QByteArray(),
              "O campo \"Causa\" não pode ficar em branco!");
        usage("impossible date, 2", inventory + QStringList{"--data", "31/02/2026"}, QByteArray(),
              "Data inválida: 31/02/2026");
        usage("three-digit year, 2", inventory + QStringList{"--data", "01/02/202"}, QByteArray(),
              "Atenção Data Suspeita: 01/02/202");
        usage("missing file, 2", inventory, "-", "Arquivo não encontrado: ");
        usage("empty file, 2", inventory, "", "Arquivo vazio!");
        usage("no mode, 2", QStringList{"--empresa", "1"}, QByteArray(),
              "Informe um modo: --inventario ou --inicio-estoque.");
        usage("unknown option, 2", inventory + QStringList{"--sem-janela"}, QByteArray(),
              "Opção desconhecida: 'sem-janela'.");
    }
    void batch() {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, collector);
        QFETCH(bool, connected);
        QFETCH(int, status);
        QFETCH(QString, error);
        QFETCH(bool, posts);
        QFETCH(QString, golden);
        QFETCH(QByteArray, rejections);
        QFETCH(QByteArray, json);

        if (collector == "-")
            QFile::remove(path(QStringLiteral("coletor.txt")));
        else if (!collector.isNull())
            testfiles::write(path(QStringLiteral("coletor.txt")), collector);
        const QStringList before = postedRows(*m_database);
        const QByteArray bytesBefore = testfiles::read(m_database->filePath());

        const Result result = runBatch(arguments, connected);

        QCOMPARE(result.status, status);
        const QString err = QString::fromUtf8(result.err);
        if (error.isEmpty()) {
            QCOMPARE(err, QString());
        } else {
            QVERIFY2(err.startsWith(error), qPrintable(err));
            QCOMPARE(err.count(QLatin1Char('\n')), 1);
        }
        QCOMPARE(postedRows(*m_database) != before, posts);
        // Not a byte of the database file changes when nothing is posted.
        if (!posts && !m_database->filePath().isEmpty())
            QVERIFY(testfiles::read(m_database->filePath()) == bytesBefore);

        const QByteArray report = testfiles::read(path(QStringLiteral("relatorio.csv")));
        if (golden.isEmpty() && status > 1)
            QCOMPARE(report, NoFile);
        else if (!golden.isEmpty())
            QCOMPARE(QString::fromUtf8(report),
                     QString::fromUtf8(testfiles::read(GoldenDir + QLatin1Char('/') + golden)));
        QCOMPARE(testfiles::read(path(QStringLiteral("rejeitadas.txt"))), rejections);

        if (json.isEmpty()) {
            QCOMPARE(result.out, QByteArray());
        } else {
            QJsonObject summary = QJsonDocument::fromJson(result.out).object();
            QVERIFY(summary.value(QStringLiteral("segundos")).toDouble(-1) >= 0);
            summary.remove(QStringLiteral("segundos"));
            QCOMPARE(summary, QJsonDocument::fromJson(json).object());
        }
    }

    // A count row left open by an earlier run: the report starts from its count.
    void countsStartFromAnOpenRow() {
        m_database->exec(
            QStringLiteral("Insert Into Inventa (CodEmpresa, DataInv, Documento, CodProd, "
                           "CodGrade, Processado, Quantidade) Values ('01', ?, ?, '000002', "
                           "'0000', 'N', 10)"),
            {m_database->dialect().date(Today),
             Today.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('A')});
        testfiles::write(path(QStringLiteral("coletor.txt")), "REF0002,5\r\nref0002,1\r\n");
        const Result result = runBatch({"--inventario", "@coletor.txt", "--empresa", "1", "--causa",
                                        "1", "--relatorio", "@relatorio.csv"},
                                       true);
        QCOMPARE(result.status, 0);
        const QList<QByteArray> rows =
            testfiles::read(path(QStringLiteral("relatorio.csv"))).split('\n');
        QCOMPARE(rows.value(1), "1,REF0002,5,gravada,000002,0000,referência,5,10,15,14\r");
        QCOMPARE(rows.value(2), "2,ref0002,1,gravada,000002,0000,referência,1,15,16,14\r");
    }

    // The database refuses the commit itself: on the servers a check deferred to the commit fails,
    // and nobody can say whether the readings were kept; on SQLite another reader keeps the file
    // locked past the wait, and SQLite keeps the transaction open, so nothing was posted.
    void commitRefused() {
        const QString engine = TestDatabase::engine();
        QSqlQuery reader(m_database->database());
        if (engine == QLatin1String("postgresql")) {
            m_database->exec(QStringLiteral(
                "Create Function recusa() Returns trigger As $$ Begin "
                "Raise Exception 'recusado na confirmação'; End $$ Language plpgsql"));
            m_database->exec(QStringLiteral(
                "Create Constraint Trigger recusa After Insert On Inventa Deferrable Initially "
                "Deferred For Each Row Execute Function recusa()"));
        } else if (engine == QLatin1String("firebird")) {
            m_database->exec(QStringLiteral("Create Exception recusa 'recusado na confirmação'"));
            m_database->exec(QStringLiteral(
                "Create Trigger recusa On Transaction Commit As Begin If (Exists(Select 1 From "
                "Inventa Where Processado = 'N')) Then Exception recusa; End"));
        } else {
            QVERIFY(reader.exec(QStringLiteral("Begin")));
            QVERIFY(reader.exec(QStringLiteral("Select * From Inventa")) && reader.next());
        }
        const QStringList before = postedRows(*m_database);

        const Result result = runBatch({"--inventario", "@coletor.txt", "--empresa", "1", "--causa",
                                        "1", "--relatorio", "@relatorio.csv"},
                                       true);
        reader.finish();
        reader.exec(QStringLiteral("Rollback"));

        const QString err = QString::fromUtf8(result.err);
        const bool sqlite = engine == QLatin1String("sqlite");
        QVERIFY2(result.status == (sqlite ? 4 : 5), qPrintable(err));
        QVERIFY2(!err.startsWith(QLatin1String("Linha")) &&
                     err.contains(sqlite ? QStringLiteral("Nenhuma leitura do arquivo foi gravada")
                                         : QStringLiteral("Confira o inventário")),
                 qPrintable(err));
        QCOMPARE(err.count(QLatin1Char('\n')), 1);
        QCOMPARE(testfiles::read(path(QStringLiteral("relatorio.csv"))), NoFile);
        QCOMPARE(postedRows(*m_database), before);
    }

    void helpAndVersionNeedNoDatabase_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("shows");
        QTest::newRow("help") << "--help"
                              << "--inicio-estoque <ARQUIVO>";
        QTest::newRow("version") << "--version"
                                 << "conversor-coletor ";
    }
    void helpAndVersionNeedNoDatabase() {
        QFETCH(QString, option);
        QFETCH(QString, shows);
        const Result result = runBatch({option}, false);
        QCOMPARE(result.status, 0);
        QVERIFY2(QString::fromUtf8(result.out).contains(shows), result.out.constData());
    }
};

QTEST_GUILESS_MAIN(TestBatch)
#include "test_batch.moc"
