#include "app/ConfigFile.h"
#include "app/Startup.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/LookupQuery.h"
#include "tests/FileSharing.h"
#include "tests/TestDatabase.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"
#include "ui/Dialogs.h"
#include "ui/TFConversao.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlQuery>
#include <QStackedWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
// The alias file of no database: Telvaro is SQLite on the default file name.
void useDefaultAlias() {
    qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
}

const QString Warning = QStringLiteral("Ocorreu um erro ao tentar conectar ao banco de dados:");
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { ui::Dialogs::setTestMode(true); }
    void init() {
        ui::Dialogs::clearShown();
        useDefaultAlias();
    }
    void cleanup() { QDir::setCurrent(QDir::tempPath()); }

    void windowsRule_data() {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("path");
        QTest::newRow("trimmed and upper-cased") << " c:\\dados "
                                                 << "C:\\DADOS\\Caminho.Dir";
        QTest::newRow("drive root keeps one backslash") << "C:\\"
                                                        << "C:\\Caminho.Dir";
        QTest::newRow("accents stay") << "c:\\ação"
                                      << "C:\\AçãO\\Caminho.Dir";
        QTest::newRow("control characters trimmed") << "\tc:\\x\r"
                                                    << "C:\\X\\Caminho.Dir";
        QTest::newRow("empty directory") << ""
                                         << "Caminho.Dir";
        QTest::newRow("blank directory") << "   "
                                         << "Caminho.Dir";
    }
    void windowsRule() {
        QFETCH(QString, directory);
        QFETCH(QString, path);
        QCOMPARE(app::windowsConfigPath(directory), path);
    }

    void posixRuleKeepsTheDirectoryAsGiven_data() {
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("path");
        QTest::newRow("mixed case") << "/home/Ana/Dados"
                                    << "/home/Ana/Dados/Caminho.Dir";
        QTest::newRow("root") << "/"
                              << "/Caminho.Dir";
        QTest::newRow("blanks kept") << "/tmp/ x "
                                     << "/tmp/ x /Caminho.Dir";
    }
    void posixRuleKeepsTheDirectoryAsGiven() {
        QFETCH(QString, directory);
        QFETCH(QString, path);
        QCOMPARE(app::posixConfigPath(directory), path);
    }

    // The first line of Caminho.Dir decides the parameter list; every case but the good one
    // names no working database, so its connection fails and the warning names the reason.
    void parameterListFromCaminhoDir_data() {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QStringList>("params");
        const QStringList stored{QStringLiteral("USERNAME=SYSBDA"),
                                 QStringLiteral("PASSWORD=plombiruk")};
        QTest::newRow("no file") << false << QByteArray() << stored;
        QTest::newRow("empty file") << true << QByteArray() << stored;
        QTest::newRow("empty first line, server below")
            << true << QByteArray("\r\nother.db\r\n") << stored;
        QTest::newRow("several lines, first used")
            << true << QByteArray("first.db\nsecond.db\n")
            << (stored + QStringList{QStringLiteral("SERVER NAME=first.db")});
        QTest::newRow("blanks kept")
            << true << QByteArray("  spaced.db  \r\n")
            << (stored + QStringList{QStringLiteral("SERVER NAME=  spaced.db  ")});
        QTest::newRow("lone CR ends the line")
            << true << QByteArray("cr.db\rrest")
            << (stored + QStringList{QStringLiteral("SERVER NAME=cr.db")});
    }
    void parameterListFromCaminhoDir() {
        QFETCH(bool, fileExists);
        QFETCH(QByteArray, content);
        QFETCH(QStringList, params);
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        if (fileExists)
            testfiles::write(dir.filePath(QStringLiteral("Caminho.Dir")), content);
        ui::TFConversao form(app::Startup{});
        QCOMPARE(form.dbTelvaro->params(), params);
        // None of these names a database that exists, and none is created by trying.
        QVERIFY(!form.dbTelvaro->isOpen());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("telvaro.db"))));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("first.db"))));
    }

    void successfulStart() {
        TestDatabase database;
        database.exec(QStringLiteral("Insert Into Filiais Values ('01', 'Matriz')"));
        database.exec(QStringLiteral("Insert Into CausInv Values ('001', 'Balanço anual')"));
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        database.pointToolAt(dir.path());
        ui::TFConversao form(app::Startup{});
        QVERIFY(ui::Dialogs::shown().isEmpty());
        QVERIFY(form.dbTelvaro->isOpen());
        QCOMPARE(
            form.dbTelvaro->params(),
            (QStringList{QStringLiteral("USERNAME=SYSBDA"), QStringLiteral("PASSWORD=plombiruk"),
                         QStringLiteral("SERVER NAME=") + database.serverName()}));
        QVERIFY(form.CausInv->isOpen());
        QVERIFY(form.Empresa->isOpen());
        QCOMPARE(form.Empresa->rowCount(), 1);
        QCOMPARE(form.Notebook->currentIndex(), 0);
        QCOMPARE(form.windowTitle(), QStringLiteral("Conversor de Coletor de Dados"));
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QCOMPARE(QApplication::focusWidget(), form.edtCaminho);
    }

    // A failed start shows one warning: its fixed first line, the driver's message, then what
    // was tried, from where (and where the files were looked for), and what to change. Paths are
    // written the system's way: %1 is the working folder, %2 the alias file, %3 the folder where
    // Caminho.Dir was looked for and %4 its path (C:\DADOS\Caminho.Dir on Windows), %5 the
    // engine and %6 the database's name.
    void failedStartShowsOneWarning_data() {
        QTest::addColumn<QString>("reason");
        QTest::addColumn<QString>("driverPart");
        QTest::addColumn<QStringList>("said");
        QTest::newRow("started from a folder without Caminho.Dir")
            << "default"
            << "unable to open"
            << QStringList{
                   "Banco de dados tentado: SQLite em \"%1/telvaro.db\", o padrão: não há "
                   "Caminho.Dir em %3 nem alias Telvaro em %2.",
                   "Ponha em %3 um arquivo de texto Caminho.Dir com o local do banco de dados na "
                   "primeira linha, por exemplo:",
#ifdef Q_OS_WIN
                   "    C:\\Dados\\telvaro.db",
                   "Ou faça o atalho do programa começar na pasta que já tem o Caminho.Dir (campo "
                   "\"Iniciar em\" das Propriedades do atalho), ou configure o alias Telvaro em "
                   "%2."};
#else
                   "    /home/dados/telvaro.db",
                   "Ou abra o programa na pasta que já tem o Caminho.Dir, ou configure o alias "
                   "Telvaro em %2."};
#endif
        QTest::newRow("Caminho.Dir names a missing file")
            << "missing"
            << "unable to open"
            << QStringList{"Banco de dados tentado: SQLite em \"%1/nada.db\", da primeira linha "
                           "de %4.",
                           "Confira a primeira linha de %4 e se o banco de dados está acessível."};
        QTest::newRow("the alias names a missing file")
            << "alias"
            << "unable to open"
            << QStringList{"Banco de dados tentado: SQLite em \"%1/nada.db\", do alias Telvaro "
                           "em %2 (não há Caminho.Dir em %3).",
                           "Confira o alias Telvaro em %2 e se o servidor está no ar."};
        QTest::newRow("look-up table missing")
            << "no table"
            << "CausInv"
            << QStringList{"Banco de dados tentado: %5 em \"%6\", da primeira linha de %4.",
                           "O banco de dados abriu, mas não tem as tabelas de empresas e causas: "
                           "confira se é o banco de dados de estoque da empresa."};
    }
    void failedStartShowsOneWarning() {
        QFETCH(QString, reason);
        QFETCH(QString, driverPart);
        QFETCH(QStringList, said);
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        TestDatabase database;
        if (reason == QLatin1String("no table")) {
            database.exec(QStringLiteral("Drop Table CausInv"));
            database.pointToolAt(dir.path());
        } else if (reason == QLatin1String("missing")) {
            testfiles::write(dir.filePath(QStringLiteral("Caminho.Dir")),
                             dir.filePath(QStringLiteral("nada.db")).toLocal8Bit());
        } else if (reason == QLatin1String("alias")) {
            testfiles::write(dir.filePath(QStringLiteral("aliases.ini")),
                             "[Telvaro]\nDriver=SQLite\nServerName=" +
                                 dir.filePath(QStringLiteral("nada.db")).toLocal8Bit() + "\n");
            qputenv("CONVERSOR_ALIASES", dir.filePath(QStringLiteral("aliases.ini")).toLocal8Bit());
        }
        const QString configFile = QDir::toNativeSeparators(app::configPathFor(dir.path()));
        const QString places[] = {
            QDir::toNativeSeparators(dir.path()),
            QDir::toNativeSeparators(qEnvironmentVariable("CONVERSOR_ALIASES")),
            QDir::toNativeSeparators(QFileInfo(configFile).path()),
            configFile,
            database.dialect().name(),
            database.dialect().logsIn() ? database.serverName()
                                        : QDir::toNativeSeparators(database.serverName())};
        for (QString& line : said) {
            for (int i = 0; i < 6; ++i)
                line.replace(QStringLiteral("%%1").arg(i + 1), places[i]);
            line.replace(places[0] + u'/', places[0] + QDir::separator());
        }
        ui::TFConversao form(app::Startup{});
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        const ui::Dialogs::Shown shown = ui::Dialogs::shown().constFirst();
        QCOMPARE(shown.caption, QStringLiteral("Warning"));
        QCOMPARE(shown.icon, QStringLiteral("warning"));
        const QStringList lines = shown.text.split(QLatin1Char('\r'));
        QCOMPARE(lines.size(), 2 + said.size());
        QCOMPARE(lines[0], Warning);
        QVERIFY2(lines[1].contains(driverPart, Qt::CaseInsensitive), qPrintable(lines[1]));
        QCOMPARE(lines.mid(2), said);
        QVERIFY(!form.dbTelvaro->isOpen());
        QVERIFY(!form.CausInv->isOpen());
        QVERIFY(!form.Empresa->isOpen());
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("nada.db"))));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("telvaro.db"))));
        QCOMPARE(form.Notebook->currentIndex(), 0);
    }

    // A server that refuses says so in the tool's words: a user without rights on the look-ups
    // is told "sem permissão", not that the tables are missing; a refused login names the user
    // and where the user and the password came from, never the password.
    void serverRefusalsNameTheUser_data() {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("said");
        QTest::newRow("no rights on the look-ups")
            << "s3nha"
            << "O banco de dados abriu, mas o usuário \"%1\" não tem permissão de ler a tabela "
               "CausInv (sem permissão)";
        QTest::newRow("a wrong password")
            << "errada"
            << "Login tentado: usuário \"%1\" (de Usuario= do alias Telvaro em %2), senha de "
               "Senha= do alias Telvaro em %2.";
    }
    void serverRefusalsNameTheUser() {
        QFETCH(QString, password);
        QFETCH(QString, said);
        TestDatabase database;
        if (!database.dialect().logsIn())
            QSKIP("a SQLite file has no users");
        const QString user = database.addUser(QStringLiteral("s3nha"));
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        database.pointToolAt(dir.path());
        QSettings alias(database.aliasFile(), QSettings::IniFormat);
        alias.setValue(QStringLiteral("Telvaro/Usuario"), user);
        alias.setValue(QStringLiteral("Telvaro/Senha"), password);
        alias.sync();
        ui::TFConversao form(app::Startup{});
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        const QString text = ui::Dialogs::shown().constFirst().text;
        QVERIFY2(text.contains(said.arg(user, QDir::toNativeSeparators(database.aliasFile()))),
                 qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("errada")), qPrintable(text));
    }

    // With no connection the code fields say so once, instead of a query error each time, and
    // keep the codes as padded.
    void codeFieldsWithoutConnection() {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        ui::TFConversao form(app::Startup{});
        ui::Dialogs::clearShown();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        form.CodEmpresa->setFocus();
        QTest::keyClicks(form.CodEmpresa, QStringLiteral("1"));
        QTest::keyClick(form.CodEmpresa, Qt::Key_Return);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        form.CodCausa->setFocus();
        QTest::keyClick(form.CodCausa, Qt::Key_Return);
        form.CodCausa->setFocus();
        QTest::keyClicks(form.CodCausa, QStringLiteral("5"));
        QTest::keyClick(form.CodCausa, Qt::Key_Return);
        QCOMPARE(form.CodEmpresa->text(), QStringLiteral("01"));
        QCOMPARE(form.CodCausa->text(), QStringLiteral("005"));
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        QCOMPARE(ui::Dialogs::shown().constFirst().caption + QLatin1Char('|') +
                     ui::Dialogs::shown().constFirst().text,
                 QStringLiteral("Warning|Não há conexão com o banco de dados: as empresas e as "
                                "causas não podem ser conferidas e nenhuma conversão pode ser "
                                "feita. Corrija a conexão como diz o aviso da abertura e abra o "
                                "programa de novo."));
    }

    // A user of the server logs in from each place a login may come from, and the built-in
    // user does not take the place of the server's own ways.
    void loginFromEachSource_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("Usuario= and Senha= of the alias") << "alias";
        QTest::newRow("the credentials file") << "file";
        QTest::newRow("the server's variables") << "variables";
        QTest::newRow("PostgreSQL's password file") << "pgpass";
    }
    void loginFromEachSource() {
        QFETCH(QString, source);
        TestDatabase database;
        if (!database.dialect().logsIn())
            QSKIP("a SQLite file has no users");
        const bool postgres = database.dialect().name() == QLatin1String("PostgreSQL");
        if (source == QLatin1String("pgpass") && !postgres)
            QSKIP("PostgreSQL's alone");
        const QString password = QStringLiteral("s3nha:secreta");
        const QString user = database.addUser(password);
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        database.pointToolAt(dir.path());
        QSettings alias(database.aliasFile(), QSettings::IniFormat);
        QStringList variables;
        if (source == QLatin1String("alias")) {
            alias.setValue(QStringLiteral("Telvaro/Usuario"), user);
            alias.setValue(QStringLiteral("Telvaro/Senha"), password);
        } else if (source == QLatin1String("file")) {
            testfiles::write(dir.filePath(QStringLiteral("cred.ini")),
                             "Usuario=" + user.toUtf8() + "\nSenha=" + password.toUtf8() + "\n");
            QVERIFY(testfiles::share(dir.filePath(QStringLiteral("cred.ini")), false));
            alias.setValue(QStringLiteral("Telvaro/Credenciais"),
                           dir.filePath(QStringLiteral("cred.ini")));
        } else if (source == QLatin1String("variables")) {
            variables = postgres ? QStringList{"PGUSER", "PGPASSWORD"}
                                 : QStringList{"ISC_USER", "ISC_PASSWORD"};
        } else {
            // host:port:database:user:password, the colon in the password escaped.
            const QStringList server = database.serverName().split(QRegularExpression("[:/]"));
            testfiles::write(dir.filePath(QStringLiteral("pgpass")),
                             QStringList({server[0], server[1], server[2], user,
                                          QString(password).replace(u':', "\\:")})
                                 .join(u':')
                                 .toUtf8());
            QVERIFY(testfiles::share(dir.filePath(QStringLiteral("pgpass")), false));
            qputenv("PGPASSFILE", dir.filePath(QStringLiteral("pgpass")).toLocal8Bit());
            variables = QStringList{"PGUSER", "PGPASSFILE"};
            qputenv("PGUSER", user.toUtf8());
        }
        alias.sync();
        if (source == QLatin1String("variables")) {
            qputenv(qPrintable(variables[0]), user.toUtf8());
            qputenv(qPrintable(variables[1]), password.toUtf8());
        }
        db::Connection connection(
            QStringLiteral("Telvaro"), QStringLiteral("login"),
            {QStringLiteral("USERNAME=SYSBDA"), QStringLiteral("PASSWORD=plombiruk")});
        QString failure;
        try {
            app::Startup().open(connection, {});
        } catch (const db::Error& error) {
            failure = error.message();
        }
        for (const QString& variable : std::as_const(variables))
            qunsetenv(qPrintable(variable));
        QVERIFY2(failure.isEmpty(), qPrintable(failure));
        QSqlQuery who(connection.database());
        QVERIFY(who.exec(postgres ? QStringLiteral("Select current_user")
                                  : QStringLiteral("Select CURRENT_USER From RDB$DATABASE")));
        QVERIFY(who.next());
        QCOMPARE(who.value(0).toString().trimmed(), user);
        QVERIFY(connection.login().password.value.isEmpty());
        connection.close();
    }

    void unreadableCaminhoDirIsReported() {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        // A directory of that name exists but can't be read as a file.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Caminho.Dir")));
        ui::TFConversao form(app::Startup{});
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        QVERIFY(ui::Dialogs::shown().constFirst().text.startsWith(Warning + QLatin1Char('\r')));
        QVERIFY(!form.dbTelvaro->isOpen());
    }
};

COLETOR_TEST_MAIN(TestStartup)
#include "test_startup.moc"
