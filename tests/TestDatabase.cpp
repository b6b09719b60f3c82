#include "TestDatabase.h"

#include "db/Schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

TestDatabase::TestDatabase(const QString& connectionName)
    : m_connectionName(connectionName)
    , m_path(m_dir.filePath(QStringLiteral("telvaro.db"))) {
    QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    database.setDatabaseName(m_path);
    if (!database.open())
        qFatal("test database: %s", qPrintable(database.lastError().text()));
    db::createSchema(database, dialect());
}

TestDatabase::~TestDatabase() {
    {
        QSqlDatabase database = QSqlDatabase::database(m_connectionName, false);
        database.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

QSqlDatabase TestDatabase::database() const {
    return QSqlDatabase::database(m_connectionName, false);
}

const db::Dialect& TestDatabase::dialect() const {
    return *db::Dialect::forDriver(QStringLiteral("QSQLITE"));
}

void TestDatabase::exec(const QString& sql, const QVariantList& values) const {
    QSqlQuery query(database());
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
        for (int i = 0; i < query.record().count(); ++i)
            fields << query.value(i).toString();
        result << fields.join(QLatin1Char('|'));
    }
    return result;
}
