#include "app/AliasConfig.h"
#include "db/Errors.h"
#include "db/Login.h"
#include "tests/FileSharing.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"

#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

namespace {
// Variables set for one test row, unset again when it ends.
class Variables {
public:
    explicit Variables(const QStringList& assignments) {
        for (const QString& assignment : assignments) {
            const qsizetype equals = assignment.indexOf(u'=');
            m_names << assignment.left(equals).toLatin1();
            qputenv(m_names.constLast(), assignment.mid(equals + 1).toUtf8());
        }
    }
    ~Variables() {
        for (const QByteArray& name : std::as_const(m_names))
            qunsetenv(name);
    }

private:
    QByteArrayList m_names;
};

QString partText(const db::LoginPart& part) {
    return db::originCode(part.origin) + (part.where.isEmpty() ? QString() : u' ' + part.where);
}
} // namespace

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    // Who a connection logs in as: the alias file's user and password, else the server's own
    // variables and password file, else the built-in user with its built-in password. %1 in a
    // variable or an expected text is the test's folder, where pgpass is written.
    void loginSources_data() {
        QTest::addColumn<QString>("dialect");
        QTest::addColumn<bool>("fromAlias");
        QTest::addColumn<QStringList>("variables");
        QTest::addColumn<QByteArray>("pgpass");
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("userFrom");
        QTest::addColumn<QString>("passwordFrom");
        QTest::addColumn<QString>("passed");
        const QString builtIn = QStringLiteral("padrao");
        QTest::newRow("nothing set: the built-in login")
            << "PostgreSQL" << false << QStringList() << QByteArray() << "SYSBDA" << builtIn
            << builtIn << "plombiruk";
        QTest::newRow("PGUSER and PGPASSWORD, read by the client")
            << "PostgreSQL" << false << QStringList{"PGUSER=estoque", "PGPASSWORD=x"}
            << QByteArray() << "estoque"
            << "ambiente PGUSER"
            << "ambiente PGPASSWORD"
            << "";
        QTest::newRow("PGPASSWORD alone, for the built-in user")
            << "PostgreSQL" << false << QStringList{"PGPASSWORD=x"} << QByteArray() << "SYSBDA"
            << builtIn << "ambiente PGPASSWORD"
            << "";
        QTest::newRow("another user gets no built-in password")
            << "PostgreSQL" << false << QStringList{"PGUSER=estoque"} << QByteArray() << "estoque"
            << "ambiente PGUSER"
            << "nenhuma"
            << "";
        QTest::newRow("a password file line for this database")
            << "PostgreSQL" << false << QStringList{"PGPASSFILE=%1/pgpass"}
            << QByteArray("# comentario\n*:*:outro:*:nao\ndb.local:5433:estoque:SYSBDA:x\n")
            << "SYSBDA" << builtIn << "arquivo_do_cliente %1/pgpass"
            << "";
        QTest::newRow("a password file for other databases only")
            << "PostgreSQL" << false << QStringList{"PGPASSFILE=%1/pgpass"}
            << QByteArray("db.local:5432:estoque:*:x\n*:*:outro:*:x\n") << "SYSBDA" << builtIn
            << builtIn << "plombiruk";
        QTest::newRow("the alias over the variables")
            << "PostgreSQL" << true << QStringList{"PGUSER=estoque", "PGPASSWORD=x"} << QByteArray()
            << "caixa"
            << "alias Usuario= do alias"
            << "alias Senha= do alias"
            << "s3nha";
        QTest::newRow("ISC_USER and ISC_PASSWORD, passed by the program")
            << "Firebird" << false << QStringList{"ISC_USER=ESTOQUE", "ISC_PASSWORD=x"}
            << QByteArray() << "ESTOQUE"
            << "ambiente ISC_USER"
            << "ambiente ISC_PASSWORD"
            << "x";
        QTest::newRow("Firebird, nothing set")
            << "Firebird" << false << QStringList() << QByteArray() << "SYSBDA" << builtIn
            << builtIn << "plombiruk";
    }
    void loginSources() {
        QFETCH(QString, dialect);
        QFETCH(bool, fromAlias);
        QFETCH(QStringList, variables);
        QFETCH(QByteArray, pgpass);
        QFETCH(QString, user);
        QFETCH(QString, userFrom);
        QFETCH(QString, passwordFrom);
        QFETCH(QString, passed);
        QTemporaryDir dir;
        if (!pgpass.isEmpty()) {
            testfiles::write(dir.filePath(QStringLiteral("pgpass")), pgpass);
            QVERIFY(testfiles::share(dir.filePath(QStringLiteral("pgpass")), false));
        }
        variables.replaceInStrings(QStringLiteral("%1"), dir.path());
        const Variables set(variables);
        const db::Dialect* engine = db::Dialect::forName(dialect);
        QSqlDatabase database =
            QSqlDatabase::addDatabase(engine->driver(), QStringLiteral("login"));
        engine->applyServerName(database, dialect == QLatin1String("PostgreSQL")
                                              ? QStringLiteral("db.local:5433/estoque")
                                              : QStringLiteral("db.local/3050:/d/e.fdb"));
        db::Login configured;
        if (fromAlias)
            configured = {{QStringLiteral("caixa"), db::LoginOrigin::Alias,
                           QStringLiteral("Usuario= do alias")},
                          {QStringLiteral("s3nha"), db::LoginOrigin::Alias,
                           QStringLiteral("Senha= do alias")}};
        const db::Login builtIn{{QStringLiteral("SYSBDA"), db::LoginOrigin::BuiltIn, {}},
                                {QStringLiteral("plombiruk"), db::LoginOrigin::BuiltIn, {}}};
        const db::Login login = db::resolveLogin(*engine, database, configured, builtIn);
        database = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("login"));
        QCOMPARE(login.user.value, user);
        QCOMPARE(partText(login.user), userFrom);
        QCOMPARE(partText(login.password),
                 passwordFrom.replace(QStringLiteral("%1/"),
                                      QDir::toNativeSeparators(dir.path() + u'/')));
        QCOMPARE(login.password.value, passed);
    }

    // Usuario= and Senha= of the alias, or of the file Credenciais= names beside it, which the
    // program refuses to read while others may; no message holds the password.
    void credentialsInTheAliasFile_data() {
        QTest::addColumn<QByteArray>("alias");
        QTest::addColumn<QByteArray>("credentials");
        QTest::addColumn<bool>("othersMayRead");
        QTest::addColumn<QString>("login");
        QTest::newRow("in the alias, quoted where it has a comma")
            << QByteArray("Usuario=caixa\nSenha=\"s3,nha\"\n") << QByteArray() << false
            << "caixa s3,nha alias";
        QTest::newRow("in a file of the owner's")
            << QByteArray("Credenciais=cred.ini\n") << QByteArray("Usuario=caixa\nSenha=s3nha\n")
            << false << "caixa s3nha arquivo";
        QTest::newRow("the alias's user, the file's password")
            << QByteArray("Usuario=caixa\nCredenciais=cred.ini\n") << QByteArray("Senha=s3nha\n")
            << false << "caixa s3nha arquivo";
        QTest::newRow("a file others may read is refused")
            << QByteArray("Credenciais=cred.ini\n") << QByteArray("Usuario=caixa\nSenha=s3nha\n")
            << true << "error: pode ser lido por outros usuários";
        QTest::newRow("a missing file is refused")
            << QByteArray("Credenciais=nada.ini\n") << QByteArray() << false
            << "error: não pôde ser lido";
        QTest::newRow("an unquoted comma is refused")
            << QByteArray("Senha=s3,nha\n") << QByteArray() << false
            << "error: Senha= no alias Telvaro";
    }
    void credentialsInTheAliasFile() {
        QFETCH(QByteArray, alias);
        QFETCH(QByteArray, credentials);
        QFETCH(bool, othersMayRead);
        QFETCH(QString, login);
        QTemporaryDir dir;
        testfiles::write(dir.filePath(QStringLiteral("aliases.ini")),
                         "[Telvaro]\nDriver=PostgreSQL\nServerName=h/d\n" + alias);
        qputenv("CONVERSOR_ALIASES", dir.filePath(QStringLiteral("aliases.ini")).toLocal8Bit());
        if (!credentials.isEmpty()) {
            testfiles::write(dir.filePath(QStringLiteral("cred.ini")), credentials);
            QVERIFY(testfiles::share(dir.filePath(QStringLiteral("cred.ini")), othersMayRead));
        }
        try {
            const db::Login read = app::AliasConfig::settingsFor(QStringLiteral("Telvaro")).login;
            QCOMPARE(QStringList({read.user.value, read.password.value,
                                  db::originCode(read.password.origin)})
                         .join(u' '),
                     login);
        } catch (const db::Error& error) {
            QVERIFY2(login.startsWith(QLatin1String("error: ")), qPrintable(error.message()));
            QVERIFY2(error.message().contains(login.mid(7)), qPrintable(error.message()));
            QVERIFY2(!error.message().contains(QLatin1String("s3")), qPrintable(error.message()));
        }
    }

    void aliasFile_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QString>("driver");
        QTest::addColumn<QString>("serverName");
        QTest::newRow("no section: SQLite on telvaro.db")
            << QByteArray("[Outro]\nDriver=Firebird\n") << "QSQLITE"
            << "telvaro.db";
        QTest::newRow("Firebird")
            << QByteArray("[Telvaro]\nDriver=Firebird\nServerName=srv/3050:/d/e.fdb\n") << "QIBASE"
            << "srv/3050:/d/e.fdb";
        QTest::newRow("PostgreSQL, any case")
            << QByteArray("[Telvaro]\nDriver=postgresql\nServerName=127.0.0.1:5433/estoque\n")
            << "QPSQL"
            << "127.0.0.1:5433/estoque";
        QTest::newRow("driver only keeps the default server")
            << QByteArray("[Telvaro]\nDriver=SQLite\n") << "QSQLITE"
            << "telvaro.db";
    }
    void aliasFile() {
        QFETCH(QByteArray, ini);
        QFETCH(QString, driver);
        QFETCH(QString, serverName);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("aliases.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(ini);
        file.close();
        qputenv("CONVERSOR_ALIASES", path.toLocal8Bit());
        const db::AliasSettings settings = app::AliasConfig::settingsFor(QStringLiteral("Telvaro"));
        QCOMPARE(settings.dialect->driver(), driver);
        QCOMPARE(settings.serverName, serverName);
    }

    void unknownDriverIsAClearError() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("aliases.ini"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Telvaro]\nDriver=Access\n");
        file.close();
        qputenv("CONVERSOR_ALIASES", path.toLocal8Bit());
        QVERIFY_THROWS_EXCEPTION(db::Error,
                                 app::AliasConfig::settingsFor(QStringLiteral("Telvaro")));
    }

    void serverNames_data() {
        QTest::addColumn<QString>("dialect");
        QTest::addColumn<QString>("serverName");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("database");
        QTest::newRow("Firebird host, port, path") << "Firebird"
                                                   << "srv/3051:/dados/e.fdb"
                                                   << "srv" << 3051 << "/dados/e.fdb";
        QTest::newRow("Firebird host and alias") << "Firebird"
                                                 << "127.0.0.1:estoque"
                                                 << "127.0.0.1" << -1 << "estoque";
        QTest::newRow("Firebird Windows path, no host") << "Firebird"
                                                        << "C:\\dados\\e.fdb"
                                                        << "" << -1 << "C:\\dados\\e.fdb";
        QTest::newRow("PostgreSQL host, port, database") << "PostgreSQL"
                                                         << "db.local:5433/estoque"
                                                         << "db.local" << 5433 << "estoque";
        QTest::newRow("PostgreSQL host and database") << "PostgreSQL"
                                                      << "localhost/estoque"
                                                      << "localhost" << -1 << "estoque";
    }
    void serverNames() {
        QFETCH(QString, dialect);
        QFETCH(QString, serverName);
        QFETCH(QString, host);
        QFETCH(int, port);
        QFETCH(QString, database);
        const QString driver = db::Dialect::forName(dialect)->driver();
        // A driver whose client library is missing is listed, yet does not load.
        if (!QSqlDatabase::addDatabase(driver, QStringLiteral("names")).isValid()) {
            QSqlDatabase::removeDatabase(QStringLiteral("names"));
            QSKIP("no such driver, or not its client library, on this machine");
        }
        QSqlDatabase connection = QSqlDatabase::database(QStringLiteral("names"), false);
        db::Dialect::forName(dialect)->applyServerName(connection, serverName);
        QCOMPARE(connection.hostName(), host);
        QCOMPARE(connection.port(), port);
        QCOMPARE(connection.databaseName(), database);
        connection = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("names"));
    }

    void aliasFileInTheRoamingProfile() {
#ifndef Q_OS_WIN
        QSKIP("Windows keeps the alias file under %APPDATA%");
#endif
        qunsetenv("CONVERSOR_ALIASES");
        qputenv("APPDATA", QByteArray("C:\\Users\\caixa\\AppData\\Roaming"));
        QCOMPARE(app::AliasConfig::filePath(),
                 QStringLiteral("C:/Users/caixa/AppData/Roaming/conversor-coletor/aliases.ini"));
    }

    void missingServerDriverNamesItsClient_data() {
        QTest::addColumn<QString>("dialect");
        QTest::addColumn<QString>("client");
        QTest::newRow("PostgreSQL") << "PostgreSQL"
                                    << "libpq.dll";
        QTest::newRow("Firebird") << "Firebird"
                                  << "fbclient.dll";
    }
    void missingServerDriverNamesItsClient() {
#ifndef Q_OS_WIN
        QSKIP("the Debian packages bring the server drivers with their client libraries");
#endif
        QFETCH(QString, dialect);
        QFETCH(QString, client);
        const db::Dialect* engine = db::Dialect::forName(dialect);
        // The build brings the server drivers: what a shop lacks is the server's client library.
        QVERIFY2(QSqlDatabase::drivers().contains(engine->driver()),
                 qPrintable(QSqlDatabase::drivers().join(QLatin1Char(' '))));
        if (QSqlDatabase::addDatabase(engine->driver(), QStringLiteral("probe")).isValid())
            QSKIP("the driver and its client are installed here");
        QSqlDatabase::removeDatabase(QStringLiteral("probe"));
        db::Connection connection(QStringLiteral("Telvaro"), QStringLiteral("missing"), {});
        try {
            connection.open({engine, QStringLiteral("127.0.0.1/estoque"), QString()});
            QFAIL("opened without a driver");
        } catch (const db::DatabaseError& error) {
            QVERIFY2(error.message().contains(client), qPrintable(error.message()));
        }
    }

    void setParamReplacesAppendsAndRemoves() {
        db::Connection connection(
            QStringLiteral("Telvaro"), QStringLiteral("params"),
            {QStringLiteral("USERNAME=SYSBDA"), QStringLiteral("PASSWORD=plombiruk")});
        connection.setParam(QStringLiteral("SERVER NAME"), QStringLiteral("a.db"));
        connection.setParam(QStringLiteral("SERVER NAME"), QStringLiteral("b.db"));
        QCOMPARE(connection.params(), (QStringList{QStringLiteral("USERNAME=SYSBDA"),
                                                   QStringLiteral("PASSWORD=plombiruk"),
                                                   QStringLiteral("SERVER NAME=b.db")}));
        connection.setParam(QStringLiteral("SERVER NAME"), QString());
        QCOMPARE(connection.params().size(), 2);
        QCOMPARE(connection.param(QStringLiteral("PASSWORD")), QStringLiteral("plombiruk"));
    }
};

COLETOR_GUILESS_TEST_MAIN(TestConnection)
#include "test_connection.moc"
