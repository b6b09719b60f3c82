#include "TestDatabase.h"

#include "db/Schema.h"

#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSettings>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

namespace {
QSettings serverSettings(const QString& engine) {
    const QString prefix = qEnvironmentVariable("COLETOR_SERVERS_FILE");
    if (prefix.isEmpty())
        qFatal("COLETOR_SERVERS_FILE is not set for engine %s", qPrintable(engine));
    return QSettings(prefix + QLatin1Char('.') + engine, QSettings::IniFormat);
}

QString uniqueName() {
    return QStringLiteral("coletor_%1")
        .arg(QRandomGenerator::global()->generate64(), 16, 16, QLatin1Char('0'));
}

// Runs an isql script against the Firebird server; fails the test on an error.
void runIsql(const QString& script) {
    QProcess isql;
    isql.start(QStringLiteral("isql-fb"), {QStringLiteral("-q")});
    if (!isql.waitForStarted())
        qFatal("isql-fb did not start");
    isql.write(script.toUtf8());
    isql.closeWriteChannel();
    isql.waitForFinished(60000);
    const QByteArray errors = isql.readAllStandardError();
    if (isql.exitCode() != 0 || !errors.trimmed().isEmpty())
        qFatal("isql-fb: %s", errors.constData());
}
} // namespace

QString TestDatabase::engine() {
    const QString value = qEnvironmentVariable("COLETOR_TEST_ENGINE");
    return value.isEmpty() ? QStringLiteral("sqlite") : value;
}

TestDatabase::TestDatabase(const QString& connectionName)
    : m_connectionName(connectionName) {
    const QString name = engine();
    if (name == QLatin1String("postgresql")) {
        createOnPostgres();
    } else if (name == QLatin1String("firebird")) {
        createOnFirebird();
    } else {
        m_dialect = db::Dialect::forDriver(QStringLiteral("QSQLITE"));
        m_path = m_dir.filePath(QStringLiteral("telvaro.db"));
        m_serverName = m_path;
        QSqlDatabase database = QSqlDatabase::addDatabase(m_dialect->driver(), m_connectionName);
        database.setDatabaseName(m_path);
    }
    QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
    if (!database.open())
        qFatal("test database: %s", qPrintable(database.lastError().text()));
    db::createSchema(database, dialect());
}

void TestDatabase::createOnPostgres() {
    m_dialect = db::Dialect::forDriver(QStringLiteral("QPSQL"));
    QSettings settings = serverSettings(QStringLiteral("postgresql"));
    settings.beginGroup(QStringLiteral("postgresql"));
    m_serverDatabase = uniqueName();
    for (const QString& name : {m_connectionName + QStringLiteral("_admin"), m_connectionName}) {
        QSqlDatabase database = QSqlDatabase::addDatabase(m_dialect->driver(), name);
        database.setHostName(settings.value(QStringLiteral("host")).toString());
        database.setPort(settings.value(QStringLiteral("port")).toInt());
        database.setUserName(settings.value(QStringLiteral("user")).toString());
        database.setPassword(settings.value(QStringLiteral("password")).toString());
        database.setDatabaseName(name == m_connectionName ? m_serverDatabase
                                                          : QStringLiteral("postgres"));
    }
    m_serverName = QStringLiteral("%1:%2/%3")
                       .arg(settings.value(QStringLiteral("host")).toString())
                       .arg(settings.value(QStringLiteral("port")).toInt())
                       .arg(m_serverDatabase);
    QSqlDatabase admin = QSqlDatabase::database(m_connectionName + QStringLiteral("_admin"));
    QSqlQuery create(admin);
    if (!create.exec(QStringLiteral("CREATE DATABASE %1").arg(m_serverDatabase)))
        qFatal("create database: %s", qPrintable(create.lastError().text()));
}

void TestDatabase::createOnFirebird() {
    m_dialect = db::Dialect::forDriver(QStringLiteral("QIBASE"));
    QSettings settings = serverSettings(QStringLiteral("firebird"));
    settings.beginGroup(QStringLiteral("firebird"));
    const QString host = settings.value(QStringLiteral("host")).toString();
    const int port = settings.value(QStringLiteral("port")).toInt();
    const QString user = settings.value(QStringLiteral("user")).toString();
    const QString password = settings.value(QStringLiteral("password")).toString();
    m_serverDatabase = settings.value(QStringLiteral("folder")).toString() + QLatin1Char('/') +
                       uniqueName() + QStringLiteral(".fdb");
    runIsql(QStringLiteral("CREATE DATABASE '%1/%2:%3' USER '%4' PASSWORD '%5' DEFAULT CHARACTER "
                           "SET UTF8;\n")
                .arg(host)
                .arg(port)
                .arg(m_serverDatabase, user, password));
    QSqlDatabase database = QSqlDatabase::addDatabase(m_dialect->driver(), m_connectionName);
    m_serverName = QStringLiteral("%1/%2:%3").arg(host).arg(port).arg(m_serverDatabase);
    m_dialect->applyServerName(database, m_serverName);
    database.setUserName(user);
    database.setPassword(password);
}

void TestDatabase::dropFromServer() {
    if (engine() == QLatin1String("postgresql")) {
        QSqlQuery drop(QSqlDatabase::database(m_connectionName + QStringLiteral("_admin")));
        drop.exec(QStringLiteral("DROP DATABASE IF EXISTS %1").arg(m_serverDatabase));
    } else if (engine() == QLatin1String("firebird")) {
        QSettings settings = serverSettings(QStringLiteral("firebird"));
        settings.beginGroup(QStringLiteral("firebird"));
        runIsql(QStringLiteral("CONNECT '%1/%2:%3' USER '%4' PASSWORD '%5';\nDROP DATABASE;\n")
                    .arg(settings.value(QStringLiteral("host")).toString())
                    .arg(settings.value(QStringLiteral("port")).toInt())
                    .arg(m_serverDatabase, settings.value(QStringLiteral("user")).toString(),
                         settings.value(QStringLiteral("password")).toString()));
    }
}

QString TestDatabase::addUser(const QString& password) {
    const QString name = uniqueName().toUpper();
    if (engine() == QLatin1String("postgresql")) {
        QSettings settings = serverSettings(QStringLiteral("postgresql"));
        exec(QStringLiteral("CREATE ROLE \"%1\" LOGIN PASSWORD '%2' IN ROLE %3")
                 .arg(name, password,
                      settings.value(QStringLiteral("postgresql/password_group")).toString()));
    } else if (engine() == QLatin1String("firebird")) {
        QSettings settings = serverSettings(QStringLiteral("firebird"));
        settings.beginGroup(QStringLiteral("firebird"));
        runIsql(QStringLiteral("CONNECT '%1' USER '%2' PASSWORD '%3';\nCREATE USER %4 PASSWORD "
                               "'%5';\nCOMMIT;\n")
                    .arg(m_serverName, settings.value(QStringLiteral("admin_user")).toString(),
                         settings.value(QStringLiteral("admin_password")).toString(), name,
                         password));
    } else {
        return {};
    }
    m_users << name;
    return name;
}

void TestDatabase::grant(const QString& privileges, const QString& table,
                         const QString& user) const {
    exec(QStringLiteral("GRANT %1 ON %2 TO %3")
             .arg(privileges, table,
                  engine() == QLatin1String("postgresql") ? u'"' + user + u'"' : user));
}

void TestDatabase::dropUsers() {
    if (m_users.isEmpty())
        return;
    if (engine() == QLatin1String("postgresql")) {
        QSqlQuery drop(QSqlDatabase::database(m_connectionName + QStringLiteral("_admin")));
        for (const QString& user : std::as_const(m_users))
            drop.exec(QStringLiteral("DROP ROLE IF EXISTS \"%1\"").arg(user));
    } else {
        QSettings settings = serverSettings(QStringLiteral("firebird"));
        settings.beginGroup(QStringLiteral("firebird"));
        // Users live in the server's security database, reached through any database.
        QString script =
            QStringLiteral("CONNECT '%1' USER '%2' PASSWORD '%3';\n")
                .arg(m_serverName, settings.value(QStringLiteral("admin_user")).toString(),
                     settings.value(QStringLiteral("admin_password")).toString());
        for (const QString& user : std::as_const(m_users))
            script += QStringLiteral("DROP USER %1;\n").arg(user);
        runIsql(script + QStringLiteral("COMMIT;\n"));
    }
}

TestDatabase::~TestDatabase() {
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
    if (!m_serverDatabase.isEmpty()) {
        // Firebird's users are dropped through the database, PostgreSQL's roles once nothing in
        // it is granted to them any more.
        if (engine() == QLatin1String("firebird"))
            dropUsers();
        dropFromServer();
        if (engine() == QLatin1String("postgresql"))
            dropUsers();
        QSqlDatabase::database(m_connectionName + QStringLiteral("_admin"), false).close();
        QSqlDatabase::removeDatabase(m_connectionName + QStringLiteral("_admin"));
    }
}

QString TestDatabase::aliasFile() const {
    const QString path = m_dir.filePath(QStringLiteral("aliases.ini"));
    QSettings settings(path, QSettings::IniFormat);
    settings.setValue(QStringLiteral("Telvaro/Driver"), m_dialect->name());
    settings.setValue(QStringLiteral("Telvaro/ServerName"), m_serverName);
    settings.sync();
    return path;
}

void TestDatabase::pointToolAt(const QString& workingFolder) const {
    qputenv("CONVERSOR_ALIASES", aliasFile().toLocal8Bit());
    QFile file(workingFolder + QStringLiteral("/Caminho.Dir"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("Caminho.Dir: %s", qPrintable(file.errorString()));
    file.write(m_serverName.toLocal8Bit() + "\r\n");
}

QSqlDatabase TestDatabase::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

const db::Dialect& TestDatabase::dialect() const {
    return *m_dialect;
}

void TestDatabase::exec(const QString& sql, const QVariantList& values) const {
    QSqlQuery query(database());
    // Statements without values run unprepared: PostgreSQL prepares no DDL.
    if (values.isEmpty()) {
        if (!query.exec(sql))
            qFatal("exec %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return;
    }
    if (!query.prepare(sql))
        qFatal("prepare %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        qFatal("exec %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
}

QStringList TestDatabase::rows(const QString& sql) const {
    QSqlQuery query(database());
    if (!query.exec(sql))
        qFatal("select %s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
    QStringList result;
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i) {
            const QVariant value = query.value(i);
            switch (value.typeId()) {
            case QMetaType::Double:
            case QMetaType::Float:
                fields << QString::number(value.toDouble(), 'g', 15);
                break;
            case QMetaType::QDate:
                fields << value.toDate().toString(QStringLiteral("yyyy-MM-dd"));
                break;
            case QMetaType::QDateTime:
                fields << value.toDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
                break;
            default:
                fields << m_dialect->text(value, query.record().field(i).typeID());
            }
        }
        result << fields.join(QLatin1Char('|'));
    }
    return result;
}
