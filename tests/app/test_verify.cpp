// --verificar as an administrator runs it after installing: the built program, on a database of
// each engine, as its owner and as a user of the server with and without the rights it needs.
#include "tests/ProgramRun.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Executable = QStringLiteral(CONVERSOR_EXECUTABLE);
const QString Password = QStringLiteral("s3nha-de-teste");

// What the README grants a user of the server, table by table.
const std::pair<const char*, const char*> Grants[] = {
    {"SELECT", "Filiais"},
    {"SELECT", "CausInv"},
    {"SELECT", "ProdGrade"},
    {"SELECT", "Produto"},
    {"SELECT", "Relacionarefant"},
    {"SELECT", "CompProd"},
    {"SELECT, INSERT, UPDATE, DELETE", "Inventa"},
    {"SELECT, INSERT, DELETE", "MvGeral"},
    {"SELECT, INSERT, DELETE", "INCIEST"},
    {"SELECT, INSERT, UPDATE", "ConvColetor"},
    {"SELECT, INSERT, UPDATE", "ConvColetorIt"},
};
} // namespace

class TestVerify : public QObject {
    Q_OBJECT
private slots:
    // The setup, the status, and the verdict of some lines ("item=verdict"): every other
    // table's is ok. "as user" logs in as a user of the server with the grants the setup leaves.
    void verify_data() {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<bool>("asUser");
        QTest::addColumn<int>("status");
        QTest::addColumn<QStringList>("verdicts");
        QTest::newRow("the database's owner") << "" << false << 0 << QStringList{"conexao=ok"};
        QTest::newRow("a table missing")
            << "no INCIEST" << false << 9 << QStringList{"tabela INCIEST=falha"};
        QTest::newRow("no journal") << "no journal" << false << 1 << QStringList{"diario=aviso"};
        QTest::newRow("a table that takes no row (SQLite)")
            << "INCIEST a view" << false << 9 << QStringList{"tabela INCIEST=falha"};
        QTest::newRow("a user without rights")
            << "no grants" << true << 9
            << QStringList{"tabela Filiais=falha", "tabela Inventa=falha",
                           "tabela ConvColetorIt=falha"};
        QTest::newRow("a user with the README's grants") << "" << true << 0 << QStringList();
        QTest::newRow("a user who may not delete")
            << "no delete" << true << 1
            << QStringList{"tabela Inventa=aviso", "tabela MvGeral=aviso", "tabela INCIEST=aviso"};
        QTest::newRow("a user refused")
            << "wrong password" << true << 3 << QStringList{"conexao=falha"};
    }
    void verify() {
        QFETCH(QString, setup);
        QFETCH(bool, asUser);
        QFETCH(int, status);
        QFETCH(QStringList, verdicts);
        TestDatabase database;
        const bool server = database.dialect().logsIn();
        if (asUser && !server)
            QSKIP("a SQLite file has no users");
        if (setup == QLatin1String("INCIEST a view") && server)
            QSKIP("a server's view of one table takes rows");
        if (setup == QLatin1String("no INCIEST"))
            database.exec(QStringLiteral("Drop Table INCIEST"));
        if (setup == QLatin1String("no journal")) {
            database.exec(QStringLiteral("Drop Table ConvColetorIt"));
            database.exec(QStringLiteral("Drop Table ConvColetor"));
        }
        if (setup == QLatin1String("INCIEST a view")) {
            database.exec(QStringLiteral("Drop Table INCIEST"));
            database.exec(QStringLiteral("Create View INCIEST As Select * From MvGeral"));
        }
        QTemporaryDir folder;
        database.pointToolAt(folder.path());
        QString name;
        if (asUser) {
            name = database.addUser(Password);
            for (const auto& [privileges, table] : Grants) {
                QString granted = QString::fromLatin1(privileges);
                if (setup == QLatin1String("no delete"))
                    granted.remove(QStringLiteral(", DELETE"));
                // Firebird's run locks the company's row to take its turn.
                if (QLatin1String(table) == QLatin1String("Filiais") &&
                    database.dialect().turnLocksCompanyRow())
                    granted += QStringLiteral(", UPDATE");
                if (setup != QLatin1String("no grants"))
                    database.grant(granted, QLatin1String(table), name);
            }
            QSettings alias(database.aliasFile(), QSettings::IniFormat);
            alias.setValue(QStringLiteral("Telvaro/Usuario"), name);
            alias.setValue(QStringLiteral("Telvaro/Senha"), setup == QLatin1String("wrong password")
                                                                ? QStringLiteral("errada")
                                                                : Password);
        }
        const programrun::Result run =
            programrun::run(Executable, {QStringLiteral("--verificar"), QStringLiteral("--json")},
                            folder.path(), programrun::batchEnvironment());
        const QJsonObject json = QJsonDocument::fromJson(run.out).object();
        QVERIFY2(!run.out.contains(Password.toUtf8()) && !run.err.contains(Password.toUtf8()),
                 run.out.constData());
        QCOMPARE(json.value(QStringLiteral("situacao")).toInt(), status);
        QCOMPARE(run.status, status);
        QStringList shown;
        for (const QJsonValue& line : json.value(QStringLiteral("verificacoes")).toArray()) {
            const QString item = line[QStringLiteral("item")].toString();
            const QString verdict = line[QStringLiteral("situacao")].toString();
            // Every table but those named is ok.
            if (item.startsWith(QLatin1String("tabela ")) && verdict == QLatin1String("ok"))
                continue;
            if (item.startsWith(QLatin1String("cliente")) || item == QLatin1String("usuario") ||
                item == QLatin1String("banco"))
                continue;
            shown << item + u'=' + verdict;
        }
        for (const QString& verdict : std::as_const(verdicts))
            QVERIFY2(shown.contains(verdict), qPrintable(shown.join(u' ')));
        for (const QString& line : std::as_const(shown)) {
            if (line.startsWith(QLatin1String("tabela ")) && setup != QLatin1String("no grants"))
                QVERIFY2(verdicts.contains(line), qPrintable(line));
        }
        // Who it logs in as, and from where, never with the password.
        if (!name.isEmpty())
            QVERIFY2(
                run.out.contains(
                    QStringLiteral("usuário \\\"%1\\\" (de Usuario= do alias").arg(name).toUtf8()),
                run.out.constData());
    }
};

COLETOR_GUILESS_TEST_MAIN(TestVerify)
#include "test_verify.moc"
