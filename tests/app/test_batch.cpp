// The batch mode end to end: the built executable run as a script would run it, with no
// display, on a database filled with the demo data.
#include "db/DemoData.h"
#include "db/Texts.h"
#include "tests/ProgramRun.h"
#include "tests/Relayed.h"
#include "tests/TestDatabase.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <functional>
#include <memory>
#include <random>
#include <vector>

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
    // A company database as it was before the journal.
    void dropJournal() const {
        m_database->exec(QStringLiteral("Drop Table ConvColetorIt"));
        m_database->exec(QStringLiteral("Drop Table ConvColetor"));
    }

    // "@name" is a file of the working folder, "@hoje" today's date, "@banco" the SQLite
    // database file. prepare may change how the program is started (through another program,
    // with standard output elsewhere).
    Result runBatch(QStringList arguments, bool connected,
                    const std::function<void(QProcess&)>& prepare = {}) const {
        for (QString& argument : arguments) {
            if (argument == QLatin1String("@hoje"))
                argument = Today.toString(QStringLiteral("dd/MM/yyyy"));
            else if (argument == QLatin1String("@banco"))
                argument = m_database->filePath();
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
        return programrun::run(Executable, arguments, m_folder.path(), environment, prepare);
    }

private slots:
    void init() {
        m_database = std::make_unique<TestDatabase>();
        db::demo::fill(m_database->database(), m_database->dialect(), Today);
        m_database->pointToolAt(m_folder.path());
        testfiles::write(path(QStringLiteral("coletor.txt")), db::demo::collectorFile());
        for (const char* output : {"relatorio.csv", "rejeitadas.txt"})
            QFile::remove(path(QLatin1String(output)));
        QFile::remove(path(QStringLiteral("ligacao.txt")));
        QDir(path(QStringLiteral("demo"))).removeRecursively();
        QFile::link(path(QStringLiteral("coletor.txt")), path(QStringLiteral("ligacao.txt")));
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
        // Standard output, segundos and erro left out (erro must be the line on standard error);
        // empty: nothing there.
        QTest::addColumn<QByteArray>("json");

        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"};
        const QStringList reports = {"--relatorio", "@relatorio.csv", "--rejeitadas",
                                     "@rejeitadas.txt"};
        const QByteArray inventoryJson =
            R"({"modo":"inventario","simulacao":false,"linhas":15,"leituras":13,"gravadas":9,)"
            R"("rejeitadas":{"Referência não encontrada.":3,"Produto já processado.":1},)"
            R"("motivos":{"nao_encontrada":3,"ja_processado":1,"com_movimentos":0},)"
            R"("produtos":8,"valor_perdas":-7283.75,"valor_sobras":0,"valor_liquido":-7283.75,)"
            R"("situacao":1})";

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
                          R"("motivos":{"nao_encontrada":3,"ja_processado":1,"com_movimentos":2},)"
                          R"("produtos":7,"situacao":1})");
        // No --data: today, the day of the processed row. The report says "a gravar" where a
        // real run's says "gravada".
        QTest::newRow("dry run: report of what would be posted, nothing posted, 1")
            << inventory + reports + QStringList{"--simular", "--json"} << QByteArray() << true << 1
            << "" << false << "demo_inventario.csv" << InventoryRejections
            << QByteArray(inventoryJson).replace("\"simulacao\":false", "\"simulacao\":true");
        QTest::newRow("one rejection, a code holding a quote: 1")
            << inventory + reports << QByteArray("7890000010009,2\r\n12\"3,1\r\n") << true << 1
            << "" << true << "um_rejeitado.csv"
            << QByteArray("Produtos n\xe3o processados, Motivo\r\n"
                          "12\"3, Refer\xeancia n\xe3o encontrada.\r\n")
            << QByteArray();
        // Products count by CodProd and CodGrade.
        QTest::newRow("one product in two grades: two products, 0")
            << inventory + QStringList{"--json"}
            << QByteArray("7890000400015,1\r\n7890000400022,2\r\n") << true << 0 << "" << true << ""
            << NoFile
            << QByteArray(R"({"modo":"inventario","simulacao":false,"linhas":2,"leituras":2,)"
                          R"("gravadas":2,"rejeitadas":{},)"
                          R"("motivos":{"nao_encontrada":0,"ja_processado":0,"com_movimentos":0},)"
                          R"("produtos":2,"valor_perdas":-1020,"valor_sobras":0,)"
                          R"("valor_liquido":-1020,"situacao":0})");
        QTest::newRow("no rejection, 0")
            << inventory + reports << QByteArray("7890000010009,2\r\nREF0002,1\r\n") << true << 0
            << "" << true << "" << QByteArray() << QByteArray();
        QTest::newRow("failing line: nothing posted, no files, 4")
            << inventory + reports + QStringList{"--json"}
            << QByteArray("7890000010009,2\r\nREF0002,x\r\n") << true << 4
            << "Linha 2: a quantidade \"x\" não é um número. Nenhuma leitura do arquivo foi "
               "gravada.\n"
            << false << "" << NoFile << QByteArray(R"({"situacao":4})");
        QTest::newRow("no connection, 3")
            << inventory + QStringList{"--json"} << QByteArray() << false << 3
            << "Ocorreu um erro ao tentar conectar ao banco de dados: " << false << "" << NoFile
            << QByteArray(R"({"situacao":3})");
        // Quiet on success only: a run that posted nothing says so.
        QTest::newRow("only blank lines: nothing to post, 0")
            << inventory << QByteArray("\r\n  \r\n\t\r\n") << true << 0
            << "Nenhuma leitura foi gravada: nenhuma linha traz código, vírgula, quantidade.\n"
            << false << "" << NoFile << QByteArray();
        QTest::newRow("written quantity first: every reading rejected, 1")
            << inventory << QByteArray("3,7890000010009\r\n3,7890000020008\r\n") << true << 1
            << "Nenhuma leitura foi gravada: as 2 leituras foram rejeitadas.\n"
            << false << "" << NoFile << QByteArray();
        QTest::newRow("dry run, every reading rejected, 1")
            << inventory + QStringList{"--simular"} << QByteArray("NADA,1\r\n") << true << 1
            << "Nenhuma leitura seria gravada: a única leitura seria rejeitada.\n"
            << false << "" << NoFile << QByteArray();
        QTest::newRow("a date far from today, asked for, 0")
            << inventory + QStringList{"--data", "01/01/2090", "--data-distante"}
            << QByteArray("7890000010009,2\r\n") << true << 0 << "" << true << "" << NoFile
            << QByteArray();

        const auto usage = [&](const char* name, const QStringList& arguments,
                               const QByteArray& collector, const QString& error) {
            QTest::newRow(name) << arguments + QStringList{"--json"} << collector << true << 2
                                << error << false << "" << NoFile
                                << QByteArray(R"({"situacao":2})");
        };
        const auto codes = [](const char* company, const char* cause) {
            return QStringList{"--inventario", "@coletor.txt", "--empresa",
                               company,        "--causa",      cause};
        };
        usage("unknown company, 2", codes("9", "1"), QByteArray(), "Empresa não cadastrada: 09");
        usage("unknown cause, 2", codes("1", "3"), QByteArray(), "Causa não cadastrada: 003");
        usage("cause required for inventory, 2",
              QStringList{"--inventario", "@coletor.txt", "--empresa", "1"}, QByteArray(),
              "O campo \"Causa\" não pode ficar em branco!");
        usage("impossible date, 2", inventory + QStringList{"--data", "31/02/2026"}, QByteArray(),
              "Data inválida: \"31/02/2026\". Informe dia, mês e ano na forma DD/MM/AAAA.\n");
        usage("a fourth part in the date, 2", inventory + QStringList{"--data", "01/02/2026/9"},
              QByteArray(),
              "Data inválida: \"01/02/2026/9\". Informe dia, mês e ano na forma DD/MM/AAAA.\n");
        usage("three-digit year, 2", inventory + QStringList{"--data", "01/02/202"}, QByteArray(),
              "Atenção Data Suspeita: 01/02/202");
        usage("missing file, 2", inventory, "-", "Arquivo não encontrado: ");
        usage("missing file with an escape sequence in its name, 2",
              QStringList{"--inventario", "@a\x1b[2J.txt", "--empresa", "1", "--causa", "1"}, "-",
              "Arquivo não encontrado: " + path("a") + "\\x1B[2J.txt");
        usage("empty file, 2", inventory, "", "Arquivo vazio!");
        usage("no mode, 2", QStringList{"--empresa", "1"}, QByteArray(),
              "Informe um modo: --inventario ou --inicio-estoque.");
        usage("unknown option, 2", inventory + QStringList{"--sem-janela"}, QByteArray(),
              "Opção desconhecida: 'sem-janela'.");
        usage("repeated option, 2", inventory + QStringList{"--empresa", "2"}, QByteArray(),
              "Opção repetida: --empresa");
        usage("an option where a value goes, 2", QStringList{"--desfazer", "--simular"},
              QByteArray(), "Falta o valor de --desfazer (veio --simular no lugar dele).");
        // Padding would keep the rightmost characters: company 01, cause 001.
        usage("company longer than its field, 2", codes("701", "1"), QByteArray(),
              "Empresa com mais de 2 caracteres: 701");
        usage("cause longer than its field, 2", codes("1", "5001"), QByteArray(),
              "Causa com mais de 3 caracteres: 5001");
        usage("one-digit year, completed to three, 2", inventory + QStringList{"--data", "06/12/2"},
              QByteArray(), "Atenção Data Suspeita: 06/12/202");
        // Shown as typed, without the blanks the field's positions put after a one-digit part.
        usage("one-digit parts, the year completed to three, 2",
              inventory + QStringList{"--data", "1/1/1"}, QByteArray(),
              "Atenção Data Suspeita: 1/1/201\n");
        usage("another separator: no reading in the file, 2", inventory,
              "7891234567895;5\r\nREF0002 3\r\nREF0002\t1\r\n",
              "O arquivo " + path("coletor.txt") + " não tem nenhuma leitura");
        usage("file over 32 MiB, 2", inventory, QByteArray((32 << 20) + 1, '\0'),
              "Arquivo grande demais (mais de 32 MiB): ");
        usage("a date far from today, 2", inventory + QStringList{"--data", "01/01/2090"},
              QByteArray(), "Data distante de hoje: 01/01/2090 (hoje é ");
        usage("a date more than a year ago, 2", inventory + QStringList{"--data", "01/01/2000"},
              QByteArray(), "Data distante de hoje: 01/01/2000 (hoje é ");
        // Zeroing what nobody counted too; asked for, it goes on to the database's checks.
        const QStringList zeroing = {"--zerar-nao-contados", "--causa", "1", "--data",
                                     "01/01/2090"};
        usage("zeroing at a date far from today, 2", zeroing + QStringList{"--empresa", "1"},
              QByteArray(),
              "Data distante de hoje: 01/01/2090 (hoje é " + Today.toString("dd/MM/yyyy") +
                  "). Nada foi gravado; --data-distante zera com essa data.\n");
        usage("zeroing at a far date asked for, 2",
              zeroing + QStringList{"--empresa", "9", "--data-distante"}, QByteArray(),
              "Empresa não cadastrada: 09");
        // Outputs are checked before connecting.
        const QString cantWrite = QStringLiteral("Não foi possível gravar ");
        usage("report is the collector file, 2",
              inventory + QStringList{"--relatorio", "@coletor.txt"}, QByteArray(),
              cantWrite + path("coletor.txt") + ": é o próprio arquivo do coletor");
#ifndef Q_OS_WIN // links and devices of a Unix file system
        usage("rejections through a link to the collector file, 2",
              inventory + QStringList{"--rejeitadas", "@ligacao.txt"}, QByteArray(),
              cantWrite + path("ligacao.txt") + ": é o próprio arquivo do coletor");
#endif
        usage("report and rejections are one file, 2",
              inventory + QStringList{"--relatorio", "@saida.txt", "--rejeitadas", "@./saida.txt"},
              QByteArray(), "--rejeitadas e --relatorio são o mesmo arquivo: ");
#ifndef Q_OS_WIN
        usage("report on a device, 2", inventory + QStringList{"--relatorio", "/dev/null"},
              QByteArray(), cantWrite + "/dev/null: não é um arquivo comum");
#endif
        usage("report is the SQLite database, 2", inventory + QStringList{"--relatorio", "@banco"},
              QByteArray(), cantWrite + "@banco: é o banco de dados");
        usage("report in a missing folder, 2",
              inventory + QStringList{"--relatorio", "@nada/relatorio.csv"}, QByteArray(),
              cantWrite + path("nada/relatorio.csv") + ": a pasta ");
        usage("report name too long, 2",
              inventory + QStringList{"--relatorio", "@" + QString(300, QLatin1Char('r'))},
              QByteArray(), cantWrite);
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

        if (arguments.contains(QLatin1String("@banco"))) {
            if (m_database->filePath().isEmpty())
                QSKIP("the database is no file here");
            error.replace(QLatin1String("@banco"), m_database->filePath());
        }
        if (collector == "-")
            QFile::remove(path(QStringLiteral("coletor.txt")));
        else if (!collector.isNull())
            testfiles::write(path(QStringLiteral("coletor.txt")), collector);
        const QStringList before = postedRows(*m_database);
        const QByteArray bytesBefore = testfiles::read(m_database->filePath());
        const QByteArray collectorBefore = testfiles::read(path(QStringLiteral("coletor.txt")));
        const QStringList filesBefore = QDir(m_folder.path()).entryList(QDir::Files);

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
        // Whatever the outputs named, the collector file and the devices stay as they were, and
        // a refused run leaves no file behind.
        QVERIFY(testfiles::read(path(QStringLiteral("coletor.txt"))) == collectorBefore);
        QVERIFY(!QFileInfo(QStringLiteral("/dev/null")).isFile());
        if (status == 2)
            QCOMPARE(QDir(m_folder.path()).entryList(QDir::Files), filesBefore);

        const QByteArray report = testfiles::read(path(QStringLiteral("relatorio.csv")));
        if (golden.isEmpty() && status > 1)
            QCOMPARE(report, NoFile);
        else if (!golden.isEmpty()) {
            QString expected =
                QString::fromUtf8(testfiles::read(GoldenDir + QLatin1Char('/') + golden));
            if (arguments.contains(QLatin1String("--simular")))
                expected.replace(QStringLiteral(",gravada,"), QStringLiteral(",a gravar,"));
            QCOMPARE(QString::fromUtf8(report), expected);
        }
        QCOMPARE(testfiles::read(path(QStringLiteral("rejeitadas.txt"))), rejections);

        if (json.isEmpty()) {
            QCOMPARE(result.out, QByteArray());
        } else {
            QCOMPARE(result.out.count('\n'), 1);
            QJsonObject summary = QJsonDocument::fromJson(result.out).object();
            if (status <= 1) {
                QVERIFY(summary.value(QStringLiteral("segundos")).toDouble(-1) >= 0);
                summary.remove(QStringLiteral("segundos"));
                // A posting names its run in the journal, to undo it by.
                const bool posted = posts && !arguments.contains(QLatin1String("--simular"));
                QCOMPARE(summary.take(QStringLiteral("id")).toString().size(), posted ? 36 : 0);
            } else {
                // The same text, control characters escaped only for the terminal.
                QCOMPARE(
                    db::texts::escapedControls(summary.value(QStringLiteral("erro")).toString()) +
                        u'\n',
                    err);
                summary.remove(QStringLiteral("erro"));
            }
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
        QCOMPARE(rows.value(1), "1,REF0002,5,gravada,000002,0000,referência,5,10,15,14,12.5,1\r");
        QCOMPARE(rows.value(2), "2,ref0002,1,gravada,000002,0000,referência,1,15,16,14,25,1\r");
    }

    // Another workstation's run has the company's turn until the run says it waits for it (however
    // slowly the program starts): the run says so once, then posts; with no wait allowed it ends
    // at once with status 8.
    void waitsForAnotherRun_data() {
        QTest::addColumn<QString>("wait");
        QTest::addColumn<int>("status");
        QTest::newRow("waits, then posts") << "30" << 1;
        QTest::newRow("no wait allowed") << "0" << 8;
    }
    void waitsForAnotherRun() {
        QFETCH(QString, wait);
        QFETCH(int, status);
        ExtraConnection other(m_database->database(), QStringLiteral("other workstation"));
        QSqlDatabase holder = other.database();
        QVERIFY(holder.open());
        QVERIFY(m_database->dialect().beginRunTransaction(holder, QStringLiteral("01")).taken);
        QProcess run;
        run.setProcessEnvironment(programrun::batchEnvironment());
        run.setWorkingDirectory(m_folder.path());
        run.start(Executable,
                  {"--inventario", "coletor.txt", "--empresa", "1", "--causa", "1", "--data",
                   Today.toString(QStringLiteral("dd/MM/yyyy")), "--espera", wait});
        const QByteArray waiting = "Aguardando outra estação de trabalho terminar a conversão…";
        QByteArray error;
        run.setReadChannel(QProcess::StandardError);
        for (QDeadlineTimer deadline(60000); !error.contains(waiting) && !deadline.hasExpired() &&
                                             run.state() != QProcess::NotRunning;) {
            run.waitForReadyRead(200);
            error += run.readAllStandardError();
        }
        holder.rollback();
        QVERIFY(run.state() == QProcess::NotRunning || run.waitForFinished(60000));
        error += run.readAllStandardError();
        QCOMPARE(run.exitCode(), status);
        QCOMPARE(error.replace("\r\n", "\n").split('\n').count(waiting), status != 8 ? 1 : 0);
        QCOMPARE(m_database->rows(QStringLiteral("Select Count(*) From Inventa")),
                 QStringList{status == 8 ? QStringLiteral("1") : QStringLiteral("9")});
    }

    // Eight workstations convert into one inventory at once, each its own file of the same
    // products in its own order (half of them backwards): every run posts, none is refused for
    // another, and every count is the sum of the eight files.
    void manyWorkstationsAtOnce() {
        constexpr int Products = 150;
        constexpr int Workstations = 8;
        QStringList codes;
        for (int n = 0; n < Products; ++n) {
            const QString product = QStringLiteral("C%1").arg(n, 5, 10, QLatin1Char('0'));
            codes << QStringLiteral("7899%1").arg(n, 9, 10, QLatin1Char('0'));
            m_database->exec(QStringLiteral("Insert Into Produto (CodProd, Descricao, Grade) "
                                            "Values (?, 'Contado por todos', 1)"),
                             {product});
            m_database->exec(QStringLiteral("Insert Into ProdGrade (CodProd, CodGrade, CodBarra) "
                                            "Values (?, '0000', ?)"),
                             {product, codes.last()});
            m_database->exec(QStringLiteral("Insert Into CompProd (CodEmpresa, CodProd, CodGrade, "
                                            "Estoque, PrecoCusto) Values ('01', ?, '0000', 5, 2)"),
                             {product});
        }
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < Workstations; ++i) {
            QStringList order = codes;
            std::shuffle(order.begin(), order.end(), std::mt19937(i));
            if (i % 2)
                std::reverse(order.begin(), order.end());
            QByteArray file;
            for (const QString& code : order)
                file += code.toLatin1() + ',' + QByteArray::number(i + 1) + "\r\n";
            const QString name = QStringLiteral("estacao%1.txt").arg(i);
            testfiles::write(path(name), file);
            auto& run = runs.emplace_back(std::make_unique<QProcess>());
            run->setProcessEnvironment(programrun::batchEnvironment());
            run->setWorkingDirectory(m_folder.path());
            run->start(Executable, {"--inventario", name, "--empresa", "1", "--causa", "1",
                                    "--data", Today.toString(QStringLiteral("dd/MM/yyyy"))});
        }
        for (auto& run : runs) {
            QVERIFY(run->waitForFinished(120000));
            QVERIFY2(run->exitCode() == 0, run->readAllStandardError().constData());
        }
        const QStringList counts = m_database->rows(
            QStringLiteral("Select Quantidade, Count(*) From Inventa Where CodProd Like 'C%' "
                           "Group By Quantidade"));
        QCOMPARE(counts, QStringList{QStringLiteral("36|%1").arg(Products)});
    }

    // Posted, but what was asked for could not be written: status 6, and the disk named as full
    // rather than an unknown error.
    void fullDisk_data() {
        // --relatorio or --rejeitadas on a full file system, or --json on /dev/full.
        QTest::addColumn<QString>("output");
        // Enough lines that the file outgrows the smallest file system there is; a refused
        // reading would end the run with 1.
        QTest::addColumn<QByteArray>("collector");
        QTest::addColumn<QString>("error");
        const QByteArray posted = QByteArray("7890000010009,1\r\n").repeated(300);
        QByteArray refused = posted;
        // Distinct codes: the rejection list names each code once.
        for (int i = 0; i < 300; ++i)
            refused += "SEM-" + QByteArray::number(i) + ",1\r\n";
        const QString full = QStringLiteral(": o disco está cheio\n");
        const QString json = QStringLiteral("Não foi possível escrever o JSON na saída padrão");
        QTest::newRow("report") << "--relatorio" << posted
                                << "Não foi possível gravar " + path("cheio/relatorio.csv") + full;
        QTest::newRow("rejections")
            << "--rejeitadas" << refused
            << "Não foi possível gravar " + path("cheio/rejeitadas.txt") + full;
        QTest::newRow("JSON on standard output") << "--json" << posted << json + full;
        QTest::newRow("JSON on standard output, a reading refused")
            << "--json" << refused << json + full;
    }
    void fullDisk() {
        QFETCH(QString, output);
        QFETCH(QByteArray, collector);
        QFETCH(QString, error);
        testfiles::write(path(QStringLiteral("coletor.txt")), collector);
        QStringList arguments{"--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"};
        std::function<void(QProcess&)> prepare;
        if (output != QLatin1String("--json")) {
            // A file system of one page, of this run's own, where the user may mount one.
            if (QProcess::execute(QStringLiteral("unshare"), {"-rm", "true"}) != 0)
                QSKIP("no user namespaces here to mount a small file system in");
            QVERIFY(QDir(m_folder.path()).mkpath(QStringLiteral("cheio")));
            arguments << output
                      << (output == QLatin1String("--relatorio") ? "@cheio/relatorio.csv"
                                                                 : "@cheio/rejeitadas.txt");
            prepare = [](QProcess& process) {
                process.setArguments(
                    QStringList{"-rm", "sh", "-c",
                                "mount -t tmpfs -o size=4k tmpfs cheio && exec \"$@\"", "sh",
                                process.program()} +
                    process.arguments());
                process.setProgram(QStringLiteral("unshare"));
            };
        } else {
            arguments << output;
            prepare = [](QProcess& process) {
                process.setStandardOutputFile(QStringLiteral("/dev/full"));
            };
        }
        const QStringList before = postedRows(*m_database);

        const Result result = runBatch(arguments, true, prepare);

        QCOMPARE(QString::fromUtf8(result.err), error);
        QCOMPARE(result.status, 6);
        QVERIFY(postedRows(*m_database) != before);
    }

    // A name that is not valid UTF-8 is the file the system names so: the collector file is read
    // by it; an output can't be written under it, and is refused before anything is posted.
    void namesThatAreNotUtf8_data() {
        QTest::addColumn<QString>("output"); // empty: none
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("error");
        QTest::newRow("collector file") << "" << 1 << "";
        QTest::newRow("report")
            << "--relatorio" << 2
            << "Não foi possível gravar r\uFFFD.csv: nome de arquivo inválido\n";
    }
    void namesThatAreNotUtf8() {
#ifdef Q_OS_WIN
        QSKIP("Windows names files in UTF-16: no name is a byte string there");
#endif
        QFETCH(QString, output);
        QFETCH(int, status);
        QFETCH(QString, error);
        // The shell hands the program the bytes, which Qt would send as UTF-8, and removes the
        // file again, which Qt could not name.
        QString script =
            QStringLiteral("name=$(printf 'col\\351tor.txt') && cp coletor.txt \"$name\" && "
                           "\"$0\" --inventario \"$name\" --empresa 1 --causa 1 --simular");
        if (!output.isEmpty())
            script += QLatin1Char(' ') + output + QStringLiteral(" \"$(printf 'r\\351.csv')\"");
        script += QStringLiteral("; status=$?; rm -f \"$name\"; exit $status");
        const Result result = runBatch({}, true, [&](QProcess& process) {
            process.setArguments({"-c", script, process.program()});
            process.setProgram(QStringLiteral("/bin/sh"));
        });
        QCOMPARE(QString::fromUtf8(result.err), error);
        QCOMPARE(result.status, status);
    }

    // The database refuses the commit itself: on the servers a check deferred to the commit fails;
    // without the journal nobody can say whether the readings were kept, with it the journal
    // says that they were not. On SQLite another reader keeps the file locked past the wait, and
    // SQLite keeps the transaction open, so nothing was posted.
    void commitRefused_data() {
        QTest::addColumn<bool>("journal");
        QTest::newRow("journal on") << true;
        QTest::newRow("journal off") << false;
    }
    void commitRefused() {
        QFETCH(bool, journal);
        if (!journal)
            dropJournal();
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
                                        "1", "--relatorio", "@relatorio.csv", "--json"},
                                       true);
        reader.finish();
        reader.exec(QStringLiteral("Rollback"));
        // The server's own text is in the JSON alone, where it is not the message itself.
        const QJsonObject json = QJsonDocument::fromJson(result.out).object();
        const QString detail = json.value("detalhe").toString();
        if (!detail.isEmpty())
            QVERIFY2(!QString::fromUtf8(result.err).contains(detail), qPrintable(detail));
        if (engine == QLatin1String("sqlite"))
            QVERIFY2(!detail.isEmpty(), result.out.constData());

        const QString err = QString::fromUtf8(result.err);
        const bool sqlite = engine == QLatin1String("sqlite");
        const bool unknown = !sqlite && !journal;
        // SQLite's readers kept the lock: a wait, which a scheduler tries again later.
        QVERIFY2(result.status == (sqlite ? 8 : unknown ? 5 : 4), qPrintable(err));
        QVERIFY2(!err.startsWith(QLatin1String("Linha")) &&
                     err.contains(unknown
                                      ? QStringLiteral("Confira o inventário")
                                      : QStringLiteral("Nenhuma leitura do arquivo foi gravada")),
                 qPrintable(err));
        // The journal being off is said first.
        QCOMPARE(err.count(QLatin1Char('\n')), journal ? 1 : 2);
        QCOMPARE(testfiles::read(path(QStringLiteral("relatorio.csv"))), NoFile);
        QCOMPARE(postedRows(*m_database), before);
    }

    // The same file twice: refused with status 7 and nothing posted, reported by a simulation,
    // posted with --de-novo; the history lists both runs, and undoing the second gives back the
    // counts of the first, after which the file converts again without --de-novo.
    void journalOnTheCommandLine() {
        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1", "--json"};
        // An undo gives back the counts; the stamp keeps the last run's time.
        const auto counts = [this] {
            return m_database->rows(QStringLiteral(
                "Select CodProd, CodGrade, Processado, Quantidade From Inventa Order By 1, 2"));
        };
        QCOMPARE(runBatch(inventory, true).status, 1);
        const QStringList once = counts();

        Result result = runBatch(inventory, true);
        QCOMPARE(result.status, 7);
        QVERIFY2(result.err.startsWith("Este arquivo já foi convertido em "),
                 result.err.constData());
        QCOMPARE(QJsonDocument::fromJson(result.out).object().value("situacao").toInt(), 7);
        QCOMPARE(counts(), once);

        result = runBatch(inventory + QStringList{"--simular"}, true);
        QCOMPARE(result.status, 1);
        QVERIFY2(result.err.contains("Simulação: gravar pediria --de-novo."),
                 result.err.constData());
        const QJsonObject earlier =
            QJsonDocument::fromJson(result.out).object().value("ja_convertido").toObject();
        QCOMPARE(earlier.value("gravadas").toInt(), 9);
        QCOMPARE(counts(), once);

        result = runBatch(inventory + QStringList{"--de-novo"}, true);
        QCOMPARE(result.status, 1);
        const QString second = QJsonDocument::fromJson(result.out).object().value("id").toString();
        QVERIFY(counts() != once);

        result = runBatch({"--historico", "--json"}, true);
        QCOMPARE(result.status, 0);
        const QJsonArray runs =
            QJsonDocument::fromJson(result.out).object().value("conversoes").toArray();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs.first().toObject().value("id").toString(), second);

        // One thing at a time.
        QCOMPARE(runBatch(inventory + QStringList{"--historico"}, true).status, 2);
        result = runBatch({"--desfazer", second}, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(counts(), once);
        QCOMPARE(runBatch({"--desfazer", second}, true).status, 2);
        // Undone, it is no longer in the way, but the first run still is.
        QCOMPARE(runBatch(inventory, true).status, 7);
    }

    // Four workstations convert the same file at the same moment: the journal is asked under
    // the company's turn, so one run posts and the others are told it was converted; with
    // --de-novo each posts in its turn.
    void sameFileAtOnce_data() {
        QTest::addColumn<bool>("again");
        QTest::addColumn<int>("posted");
        QTest::newRow("one posts") << false << 1;
        QTest::newRow("--de-novo: all post") << true << 4;
    }
    void sameFileAtOnce() {
        QFETCH(bool, again);
        QFETCH(int, posted);
        testfiles::write(path(QStringLiteral("mesmo.txt")), "REF0002,2\r\n");
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 4; ++i) {
            auto& run = runs.emplace_back(std::make_unique<QProcess>());
            run->setProcessEnvironment(programrun::batchEnvironment());
            run->setWorkingDirectory(m_folder.path());
            QStringList arguments = {"--inventario", "mesmo.txt", "--empresa", "1", "--causa", "1"};
            if (again)
                arguments << "--de-novo";
            run->start(Executable, arguments);
        }
        QList<int> statuses;
        for (auto& run : runs) {
            QVERIFY(run->waitForFinished(120000));
            statuses << run->exitCode();
        }
        std::sort(statuses.begin(), statuses.end());
        QCOMPARE(statuses, again ? (QList<int>{0, 0, 0, 0}) : (QList<int>{0, 7, 7, 7}));
        QCOMPARE(m_database->rows(QStringLiteral("Select Quantidade From Inventa Where CodProd = "
                                                 "'000002' And Processado = 'N'")),
                 QStringList{QString::number(2 * posted)});
        QCOMPARE(m_database->rows(QStringLiteral("Select Count(*) From ConvColetor")),
                 QStringList{QString::number(posted)});
    }

    // Two undos of one run at once: one undoes it, the other is told it was undone already.
    void twoUndosAtOnce() {
        testfiles::write(path(QStringLiteral("mesmo.txt")), "REF0002,2\r\nREF0003,1\r\n");
        const Result posted = runBatch(
            {"--inventario", "@mesmo.txt", "--empresa", "1", "--causa", "1", "--json"}, true);
        QCOMPARE(posted.status, 0);
        const QString id = QJsonDocument::fromJson(posted.out).object().value("id").toString();
        std::vector<std::unique_ptr<QProcess>> undos;
        for (int i = 0; i < 2; ++i) {
            auto& undo = undos.emplace_back(std::make_unique<QProcess>());
            undo->setProcessEnvironment(programrun::batchEnvironment());
            undo->setWorkingDirectory(m_folder.path());
            undo->start(Executable, {"--desfazer", id});
        }
        QList<int> statuses;
        QString told;
        for (auto& undo : undos) {
            QVERIFY(undo->waitForFinished(120000));
            statuses << undo->exitCode();
            told += QString::fromUtf8(undo->readAllStandardError());
        }
        std::sort(statuses.begin(), statuses.end());
        QCOMPARE(statuses, (QList<int>{0, 2}));
        QVERIFY2(told.contains(QStringLiteral("já foi desfeita")), qPrintable(told));
        QCOMPARE(m_database->rows(QStringLiteral("Select Count(*) From Inventa Where CodProd In "
                                                 "('000002', '000003')")),
                 QStringList{QStringLiteral("0")});
    }

    // The same readings saved another way are the same file: other line ends, a line end
    // after the last line or none.
    void sameReadingsSavedAnotherWay_data() {
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("LF") << QByteArray("REF0002,2\nREF0003,1\n");
        QTest::newRow("CR") << QByteArray("REF0002,2\rREF0003,1\r");
        QTest::newRow("no line end after the last") << QByteArray("REF0002,2\r\nREF0003,1");
    }
    void sameReadingsSavedAnotherWay() {
        QFETCH(QByteArray, saved);
        const QStringList inventory = {
            "--inventario", "@leituras.txt", "--empresa", "1", "--causa", "1"};
        testfiles::write(path(QStringLiteral("leituras.txt")), "REF0002,2\r\nREF0003,1\r\n");
        QCOMPARE(runBatch(inventory, true).status, 0);
        testfiles::write(path(QStringLiteral("leituras.txt")), saved);
        const Result again = runBatch(inventory, true);
        QCOMPARE(again.status, 7);
        QVERIFY2(again.err.startsWith("Este arquivo já foi convertido em "), again.err.constData());
    }

    // An option the command does not take is refused before anything is done: nothing posted,
    // undone, created or written, and the JSON says why.
    void optionsACommandDoesNotTake_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"};
        // "ID" is the run the test posted first.
        QTest::newRow("--empresa with --desfazer")
            << QStringList{"--desfazer", "ID", "--empresa", "1"}
            << "--empresa não se aplica a --desfazer.";
        QTest::newRow("--espera with --desfazer")
            << QStringList{"--desfazer", "ID", "--espera", "5"}
            << "--espera não se aplica a --desfazer.";
        QTest::newRow("--causa with --historico")
            << QStringList{"--historico", "--causa", "1"} << "--causa não se aplica a --historico.";
        QTest::newRow("--de-novo with --historico")
            << QStringList{"--historico", "--de-novo"} << "--de-novo não se aplica a --historico.";
        QTest::newRow("--relatorio with --historico")
            << QStringList{"--historico", "--relatorio", "@relatorio.csv"}
            << "--relatorio não se aplica a --historico.";
        QTest::newRow("--sim with a conversion")
            << inventory + QStringList{"--sim"} << "--sim não se aplica a --inventario.";
        QTest::newRow("--causa with --inicio-estoque")
            << QStringList{"--inicio-estoque", "@coletor.txt", "--empresa", "1", "--causa", "1"}
            << "--causa não se aplica a --inicio-estoque.";
        QTest::newRow("--simular with --preparar-banco")
            << QStringList{"--preparar-banco", "--sim", "--simular"}
            << "--simular não se aplica a --preparar-banco.";
        QTest::newRow("--data with --demo")
            << QStringList{"--demo", "@demo", "--data", "1"} << "--data não se aplica a --demo.";
        QTest::newRow("--empresa with --version")
            << QStringList{"--version", "--empresa", "1"} << "--empresa não se aplica a --version.";
        QTest::newRow("--causa with --nao-contados")
            << QStringList{"--nao-contados", "--empresa", "1", "--causa", "1"}
            << "--causa não se aplica a --nao-contados.";
        QTest::newRow("--de-novo with --zerar-nao-contados")
            << QStringList{"--zerar-nao-contados", "--empresa", "1", "--causa", "1", "--de-novo"}
            << "--de-novo não se aplica a --zerar-nao-contados.";
        QTest::newRow("--demo with --historico")
            << QStringList{"--historico", "--demo", "@demo"} << "Peça uma coisa só: ";
    }
    void optionsACommandDoesNotTake() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, error);
        const Result posted = runBatch(
            {"--inventario", "@coletor.txt", "--empresa", "2", "--causa", "1", "--json"}, true);
        QVERIFY2(posted.status <= 1, posted.err.constData());
        arguments.replaceInStrings(
            QStringLiteral("ID"),
            QJsonDocument::fromJson(posted.out).object().value("id").toString());
        const auto journal = [this] {
            return m_database->rows(
                QStringLiteral("Select IdConv, Situacao From ConvColetor Order By 1"));
        };
        const QStringList rowsBefore = postedRows(*m_database);
        const QStringList journalBefore = journal();
        const QStringList filesBefore =
            QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        const Result result = runBatch(arguments + QStringList{"--json"}, true);

        QCOMPARE(result.status, 2);
        const QString err = QString::fromUtf8(result.err);
        QVERIFY2(err.startsWith(error) && err.count(u'\n') == 1, qPrintable(err));
        QCOMPARE(QJsonDocument::fromJson(result.out).object(),
                 (QJsonObject{{"situacao", 2}, {"erro", err.chopped(1)}}));
        QCOMPARE(postedRows(*m_database), rowsBefore);
        QCOMPARE(journal(), journalBefore);
        QCOMPARE(QDir(m_folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 filesBefore);
    }

    // --simular with --desfazer goes through the whole undo, refusals and all, and keeps
    // nothing; the undo itself then ends as the simulation said.
    void undoSimulated_data() {
        QTest::addColumn<QStringList>("conversion");
        QTest::addColumn<bool>("processed"); // a count row processed after the run
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("simulated");
        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1", "--data", "@hoje"};
        QTest::newRow("inventory")
            << inventory << false << 0
            << "Simulação: a conversão seria desfeita: 9 leituras em 8 linhas de Inventa.\n";
        QTest::newRow("opening stock")
            << QStringList{"--inicio-estoque", "@coletor.txt", "--empresa", "1"} << false << 0
            << "Simulação: a conversão seria desfeita: 7 leituras em 7 linhas de INCIEST e "
               "MVGERAL.\n";
        QTest::newRow("inventory, a count processed since")
            << inventory << true << 4
            << "Nada foi desfeito: 1 de 8 linhas não pode ser desfeita.\n"
               "000002 grade 0000: a contagem foi processada depois da conversão\n";
    }
    void undoSimulated() {
        QFETCH(QStringList, conversion);
        QFETCH(bool, processed);
        QFETCH(int, status);
        QFETCH(QString, simulated);
        const Result posted = runBatch(conversion + QStringList{"--json"}, true);
        QVERIFY2(posted.status == 1, posted.err.constData());
        const QString id = QJsonDocument::fromJson(posted.out).object().value("id").toString();
        if (processed)
            m_database->exec(QStringLiteral("Update Inventa Set Processado = 'S' Where CodProd = "
                                            "'000002' And Processado = 'N'"));
        const auto state = [this] {
            return postedRows(*m_database) +
                   m_database->rows(QStringLiteral("Select * From ConvColetor Order By 1"));
        };
        const QStringList before = state();

        Result result = runBatch({"--desfazer", id, "--simular", "--json"}, true);
        QCOMPARE(QString::fromUtf8(result.err), simulated);
        QCOMPARE(result.status, status);
        QJsonObject json = QJsonDocument::fromJson(result.out).object();
        QCOMPARE(json.value("simulacao").toBool(), true);
        QCOMPARE(json.value("desfeita").toBool(), false);
        QCOMPARE(state(), before);

        result = runBatch({"--desfazer", id, "--json"}, true);
        QVERIFY2(result.status == status, result.err.constData());
        json = QJsonDocument::fromJson(result.out).object();
        QCOMPARE(json.value("desfeita").toBool(), status == 0);
        QCOMPARE(state() != before, status == 0);
    }

    // With --json every command writes its one object, whatever else it says going elsewhere.
    void everyCommandAnswersInJson_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("journal"); // the company database has the journal's tables
        // Keys the object must hold, with their values.
        QTest::addColumn<QJsonObject>("holds");
        QTest::newRow("--preparar-banco creating the tables")
            << QStringList{"--preparar-banco", "--sim"} << false
            << QJsonObject{{"situacao", 0}, {"diario", "criado"}};
        QTest::newRow("--preparar-banco, nothing to do")
            << QStringList{"--preparar-banco"} << true
            << QJsonObject{{"situacao", 0}, {"diario", "existente"}};
        QTest::newRow("--demo") << QStringList{"--demo", "@demo"} << true
                                << QJsonObject{{"situacao", 0}};
        QTest::newRow("--version")
            << QStringList{"--version"} << true << QJsonObject{{"situacao", 0}};
    }
    void everyCommandAnswersInJson() {
        QFETCH(QStringList, arguments);
        QFETCH(bool, journal);
        QFETCH(QJsonObject, holds);
        if (!journal)
            dropJournal();
        const Result result = runBatch(arguments + QStringList{"--json"}, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(result.out.count('\n'), 1);
        QJsonParseError parsed;
        const QJsonObject json = QJsonDocument::fromJson(result.out, &parsed).object();
        QVERIFY2(parsed.error == QJsonParseError::NoError, result.out.constData());
        for (auto key = holds.begin(); key != holds.end(); ++key)
            QCOMPARE(json.value(key.key()), key.value());
        // The database as a path, not the URI the program opens it by.
        if (json.contains("banco") && !m_database->filePath().isEmpty())
            QCOMPARE(json.value("banco").toString(),
                     QDir::toNativeSeparators(m_database->filePath()));
    }

    // Closing the count on the demo: the list, a simulated zeroing, the zeroing after a
    // conversion, a second one that finds nothing, the history and the undo, then without a
    // journal. Company 01 has 336 grades with stock, 3 of them at 0 and 000004 processed.
    void closingTheCount() {
        const QStringList place = {"--empresa", "1", "--data", "@hoje", "--json"};
        const QStringList zero = QStringList{"--zerar-nao-contados", "--causa", "1"} + place;
        const auto json = [](const Result& result) {
            return QJsonDocument::fromJson(result.out).object();
        };
        const auto inventa = [this](const char* where = "1 = 1") {
            return m_database
                ->rows(QStringLiteral("Select Count(*) From Inventa Where %1")
                           .arg(QLatin1String(where)))
                .value(0)
                .toInt();
        };
        Result result =
            runBatch(QStringList{"--nao-contados", "--relatorio", "@nc.csv"} + place, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(json(result).value("nao_contados").toInt(), 332);
        QCOMPARE(json(result).value("itens").toArray().size(), 332);
        QCOMPARE(json(result).value("itens").toArray().at(5).toObject(),
                 (QJsonObject{{"CodProd", "000007"},
                              {"CodGrade", "0000"},
                              {"descricao", "Camisa social azul"},
                              {"estoque", 49},
                              {"custo", 18.75},
                              {"valor", 918.75}}));
        const QList<QByteArray> csv = testfiles::read(path(QStringLiteral("nc.csv"))).split('\n');
        QCOMPARE(csv.size(), 334);
        QCOMPARE(csv.value(6), "000007,0000,Camisa social azul,49,18.75,918.75\r");

        result = runBatch(zero + QStringList{"--simular"}, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(json(result).value("zerados").toInt(), 332);
        QCOMPARE(inventa(), 1);

        result = runBatch({"--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"}, true);
        QCOMPARE(result.status, 1);
        result = runBatch(zero, true);
        QVERIFY2(result.status == 0, result.err.constData());
        // The file's 8 products are counted.
        QCOMPARE(json(result).value("zerados").toInt(), 324);
        const QString id = json(result).value("id").toString();
        QVERIFY(!id.isEmpty());
        QCOMPARE(inventa(), 333);
        QCOMPARE(m_database->rows(
                     QStringLiteral("Select Quantidade, QuantKardex, PrecoCusto, CodCausa, "
                                    "Processado, Usuario From Inventa Where CodProd = '000007'")),
                 QStringList{"0|49|18.75|001|N|ADMIN"});

        result = runBatch(zero, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(json(result).value("zerados").toInt(), 0);
        QVERIFY(!json(result).contains("id"));
        result = runBatch({"--historico", "--json"}, true);
        const QJsonArray runs = json(result).value("conversoes").toArray();
        QCOMPARE(runs.size(), 2);
        QCOMPARE(runs.at(0).toObject().value("modo").toString(), QStringLiteral("nao-contados"));

        result = runBatch({"--desfazer", id}, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(inventa(), 9);
        QCOMPARE(inventa("Quantidade = 0"), 0);

        dropJournal();
        result = runBatch(zero, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QVERIFY2(result.err.startsWith("Diário de conversões desligado"), result.err.constData());
        QCOMPARE(json(result).value("zerados").toInt(), 324);
    }

    // A zeroing and two conversions at once: the zeroing reads its list under the company's
    // turn, so a product a conversion counts is never zeroed, whichever goes first.
    void zeroingWhileOthersConvert() {
        const QByteArray files[] = {"REF0002,2\r\nREF0003,1\r\n", "REF0002,3\r\nREF0010,4\r\n"};
        std::vector<std::unique_ptr<QProcess>> runs;
        for (int i = 0; i < 3; ++i) {
            auto& run = runs.emplace_back(std::make_unique<QProcess>());
            run->setProcessEnvironment(programrun::batchEnvironment());
            run->setWorkingDirectory(m_folder.path());
            QStringList arguments = {"--empresa", "1", "--causa", "1"};
            if (i == 0) {
                arguments.prepend("--zerar-nao-contados");
            } else {
                const QString name = QStringLiteral("estacao%1.txt").arg(i);
                testfiles::write(path(name), files[i - 1]);
                arguments = QStringList{"--inventario", name} + arguments;
            }
            run->start(Executable, arguments);
        }
        for (auto& run : runs) {
            QVERIFY(run->waitForFinished(120000));
            QVERIFY2(run->exitCode() == 0, run->readAllStandardError().constData());
        }
        QCOMPARE(m_database->rows(QStringLiteral("Select CodProd, Quantidade From Inventa Where "
                                                 "Quantidade <> 0 And Processado = 'N' Order By "
                                                 "CodProd")),
                 (QStringList{"000002|5", "000003|1", "000010|4"}));
        QCOMPARE(
            m_database->rows(QStringLiteral("Select Count(*) From Inventa Where Quantidade = 0")),
            QStringList{"329"});
    }

    // A file name holding control characters stays on its run's line, and none of them reaches
    // the terminal.
    void historyKeepsEachRunOnOneLine() {
        QCOMPARE(runBatch({"--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"}, true)
                     .status,
                 1);
        m_database->exec(QStringLiteral("Update ConvColetor Set Arquivo = ?"),
                         {QStringLiteral("a\nb\x1b[2J\u009b\x7f.txt")});
        const Result result = runBatch({"--historico"}, true);
        QCOMPARE(result.status, 0);
        QCOMPARE(result.out.count('\n'), 1);
        QVERIFY2(result.out.contains("  a\\x0Ab\\x1B[2J\\x9B\\x7F.txt  "), result.out.constData());
    }

    // Several files in one run: one transaction, the report naming each line's file, an entry
    // per file in the journal, each file still guarded against a second posting, and one undo
    // for them all. A journal made before such runs refuses them until it is completed.
    void severalFilesInOneRun() {
        testfiles::write(path(QStringLiteral("a.txt")), "REF0002,5\r\n7890000010009,1\r\n");
        testfiles::write(path(QStringLiteral("b.txt")), "SEMCODIGO,1\r\nREF0002,2\r\n");
        testfiles::write(path(QStringLiteral("c.txt")), "REF0002,1\r\n");
        testfiles::write(path(QStringLiteral("ruim.txt")), "REF0002,1\r\nREF0002,x\r\n");
        const QStringList entries = {"--empresa", "1", "--causa", "1", "--json"};
        const auto count = [this] {
            return m_database->rows(QStringLiteral(
                "Select Quantidade From Inventa Where CodProd = '000002' And Processado = 'N'"));
        };
        const QStringList before = count();

        // The journal of an earlier version: its administrator completes it first.
        const bool firebird = TestDatabase::engine() == QLatin1String("firebird");
        m_database->exec(QStringLiteral("Drop Index ConvColetor_Lote"));
        // Its rows had an index by product, which cost every run.
        m_database->exec(QStringLiteral("Create Index ConvColetorIt_Produto On ConvColetorIt "
                                        "(CodProd, CodGrade)"));
        m_database->exec(firebird ? QStringLiteral("Alter Table ConvColetor Drop IdLote")
                                  : QStringLiteral("Alter Table ConvColetor Drop Column IdLote"));
        // The servers' journals kept their rows to their runs by a foreign key, which costs every
        // run; SQLite checks none.
        const bool sqlite = TestDatabase::engine() == QLatin1String("sqlite");
        const QString foreignKeys =
            firebird ? QStringLiteral("Select Count(*) From RDB$RELATION_CONSTRAINTS Where "
                                      "RDB$RELATION_NAME = 'CONVCOLETORIT' And RDB$CONSTRAINT_TYPE "
                                      "= 'FOREIGN KEY'")
                     : QStringLiteral("Select Count(*) From pg_constraint Where conrelid = "
                                      "to_regclass('convcoletorit') And contype = 'f'");
        if (!sqlite)
            m_database->exec(QStringLiteral("Alter Table ConvColetorIt Add Foreign Key (IdConv) "
                                            "References ConvColetor (IdConv)"));
        Result result = runBatch(QStringList{"--inventario", "@a.txt", "@b.txt"} + entries, true);
        QCOMPARE(result.status, 2);
        QVERIFY2(result.err.contains("--preparar-banco"), result.err.constData());
        result = runBatch({"--preparar-banco", "--sim"}, true);
        QVERIFY2(result.status == 0 && result.out.contains("Add IdLote") &&
                     result.out.contains("Drop Index ConvColetorIt_Produto"),
                 result.out.constData());
        if (!sqlite) {
            QVERIFY2(result.out.contains("Drop Constraint"), result.out.constData());
            QCOMPARE(m_database->rows(foreignKeys), QStringList{QStringLiteral("0")});
        }
        result = runBatch({"--preparar-banco", "--sim"}, true);
        QVERIFY2(result.status == 0 && !result.out.contains("Drop"), result.out.constData());

        // A failure names the file and its line; nothing of either file is posted.
        result = runBatch(QStringList{"--inventario", "@a.txt", "@ruim.txt"} + entries, true);
        QCOMPARE(result.status, 4);
        QVERIFY2(result.err.startsWith("Linha 2 de ruim.txt: a quantidade \"x\""),
                 result.err.constData());
        QCOMPARE(count(), before);

        result = runBatch(
            QStringList{"--inventario", "@a.txt", "@b.txt", "--relatorio", "@relatorio.csv"} +
                entries,
            true);
        QVERIFY2(result.status == 1, result.err.constData());
        const QString id = QJsonDocument::fromJson(result.out).object().value("id").toString();
        QCOMPARE(count(), QStringList{QStringLiteral("7")});
        const QList<QByteArray> report =
            testfiles::read(path(QStringLiteral("relatorio.csv"))).split('\n');
        QVERIFY(report.value(0).startsWith("arquivo,linha,codigo,"));
        QCOMPARE(report.value(1),
                 "a.txt,1,REF0002,5,gravada,000002,0000,referência,5,0,5,14,-112.5,1\r");
        QVERIFY(report.value(3).startsWith("b.txt,1,SEMCODIGO,1,Referência não encontrada.,"));
        QCOMPARE(report.value(4),
                 "b.txt,2,REF0002,2,gravada,000002,0000,referência,2,5,7,14,-87.5,1\r");

        const auto history = [this] {
            QStringList entries;
            const QJsonArray runs =
                QJsonDocument::fromJson(runBatch({"--historico", "--json"}, true).out)
                    .object()
                    .value("conversoes")
                    .toArray();
            for (const QJsonValue& run : runs) {
                const QJsonObject entry = run.toObject();
                entries << QStringLiteral("%1 %2/%3 %4 %5")
                               .arg(entry.value("arquivo").toString())
                               .arg(entry.value("gravadas").toInt())
                               .arg(entry.value("linhas").toInt())
                               .arg(entry.value("situacao").toString(),
                                    entry.value("lote").toString());
            }
            entries.sort();
            return entries;
        };
        QCOMPARE(history(), (QStringList{"a.txt 2/2 gravada " + id, "b.txt 1/2 gravada " + id}));

        // b.txt is in the journal: a run with it stops, whatever file comes along.
        result = runBatch(QStringList{"--inventario", "@c.txt", "@b.txt"} + entries, true);
        QCOMPARE(result.status, 7);
        QVERIFY2(result.err.startsWith("b.txt já foi convertido em "), result.err.constData());
        QCOMPARE(count(), QStringList{QStringLiteral("7")});

        // Undone by the entry of either file, both go.
        const QString second = QString(
            m_database
                ->rows(QStringLiteral("Select IdConv From ConvColetor Where Arquivo = 'b.txt'"))
                .value(0));
        result = runBatch({"--desfazer", second}, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(count(), before);
        QCOMPARE(history(), (QStringList{"a.txt 2/2 desfeita " + id, "b.txt 1/2 desfeita " + id}));
        QCOMPARE(runBatch({"--desfazer", id}, true).status, 2);
    }

    // A journal half there: a posting stops and names what is missing, nothing posted;
    // --preparar-banco makes a missing table, and names the columns it can't add.
    void halfAJournal_data() {
        QTest::addColumn<QString>("dropped");
        QTest::addColumn<QString>("named");
        QTest::addColumn<int>("prepared");
        QTest::newRow("table of rows") << "Drop Table ConvColetorIt"
                                       << "falta a tabela ConvColetorIt" << 0;
        QTest::newRow("column Criou") << "Alter Table ConvColetorIt Drop %1Criou"
                                      << "faltam as colunas ConvColetorIt.Criou" << 4;
    }
    void halfAJournal() {
        QFETCH(QString, dropped);
        QFETCH(QString, named);
        QFETCH(int, prepared);
        const bool firebird = TestDatabase::engine() == QLatin1String("firebird");
        m_database->exec(dropped.contains(QLatin1String("%1"))
                             ? dropped.arg(firebird ? QString() : QStringLiteral("Column "))
                             : dropped);
        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"};
        const QStringList before = postedRows(*m_database);
        Result result = runBatch(inventory, true);
        QCOMPARE(result.status, 4);
        QVERIFY2(result.err.contains(named.toUtf8()), result.err.constData());
        QCOMPARE(postedRows(*m_database), before);
        result = runBatch({"--preparar-banco", "--sim"}, true);
        QVERIFY2(result.status == prepared, result.err.constData());
        if (prepared == 0)
            QCOMPARE(runBatch(inventory, true).status, 1);
    }

    // Without the journal's tables the tool converts as before and says so once; the
    // administrator adds them with --preparar-banco, which asks first.
    void journalOffUntilPrepared() {
        dropJournal();
        const QStringList inventory = {
            "--inventario", "@coletor.txt", "--empresa", "1", "--causa", "1"};
        for (int run = 0; run < 2; ++run) {
            const Result result = runBatch(inventory, true);
            QCOMPARE(result.status, 1);
            QVERIFY2(result.err.startsWith("Diário de conversões desligado") &&
                         result.err.count('\n') == 1,
                     result.err.constData());
        }
        // Nobody answers: nothing is created.
        Result result = runBatch({"--preparar-banco"}, true, [](QProcess& process) {
            process.setStandardInputFile(QProcess::nullDevice());
        });
        QCOMPARE(result.status, 2);
        QVERIFY2(result.out.contains("CREATE TABLE ConvColetor ("), result.out.constData());
        result = runBatch({"--preparar-banco", "--sim"}, true);
        QVERIFY2(result.status == 0, result.err.constData());
        QCOMPARE(runBatch(inventory, true).status, 1);
        QCOMPARE(runBatch(inventory, true).status, 7);
    }

    void helpAndVersionNeedNoDatabase_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("shows");
        QTest::newRow("help") << "--help"
                              << "--inicio-estoque <ARQUIVO>";
        QTest::newRow("help names the lock wait's status")
            << "--help"
            << "  8  outra estação está convertendo ou o banco de dados está bloqueado";
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

COLETOR_GUILESS_TEST_MAIN(TestBatch)
#include "test_batch.moc"
