#include "app/AliasConfig.h"
#include "db/Errors.h"
#include "tests/TestMain.h"

#include <QFile>
#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QTest>

class TestConnection : public QObject {
    Q_OBJECT
private slots:
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
