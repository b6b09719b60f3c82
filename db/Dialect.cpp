#include "Dialect.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>

namespace db {

namespace {

class SqliteDialect final : public Dialect {
public:
    QString name() const override { return QStringLiteral("SQLite"); }
    QString driver() const override { return QStringLiteral("QSQLITE"); }
    QString schemaResource() const override { return QStringLiteral(":/schema/sqlite.sql"); }

    void applyServerName(QSqlDatabase& database, const QString& serverName) const override {
        // Opened through a URI in read-write mode, so that a missing file is a failed
        // connection rather than a new empty database.
        const QString path = QFileInfo(serverName).absoluteFilePath();
        database.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI"));
        database.setDatabaseName(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) +
                                 QStringLiteral("?mode=rw"));
    }

    // Dates are stored as ISO texts, so that equal dates compare equal as text.
    QVariant date(const QDate& date) const override {
        return date.toString(QStringLiteral("yyyy-MM-dd"));
    }
    QVariant dateTime(const QDateTime& moment) const override {
        return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }
};

// host[/port]:path-or-alias
class FirebirdDialect final : public Dialect {
public:
    QString name() const override { return QStringLiteral("Firebird"); }
    QString driver() const override { return QStringLiteral("QIBASE"); }
    QString schemaResource() const override { return QStringLiteral(":/schema/firebird.sql"); }

    void applyServerName(QSqlDatabase& database, const QString& serverName) const override {
        QString path = serverName;
        const qsizetype colon = serverName.indexOf(QLatin1Char(':'));
        // A colon after a single letter is a Windows drive, not a host.
        if (colon > 1) {
            QString host = serverName.left(colon);
            path = serverName.mid(colon + 1);
            const qsizetype slash = host.indexOf(QLatin1Char('/'));
            if (slash >= 0) {
                database.setPort(host.mid(slash + 1).toInt());
                host = host.left(slash);
            }
            database.setHostName(host);
        }
        database.setDatabaseName(path);
        // Texts travel as UTF-8 whatever the database's own character set.
        database.setConnectOptions(QStringLiteral("ISC_DPB_LC_CTYPE=UTF8"));
    }

    // A parameter compared with a column takes the column's length, and a longer item code would
    // be refused as a truncation; the searched codes are widened so they simply find nothing.
    QString statement(const QString& text) const override {
        static const QRegularExpression searched(QStringLiteral(":(PCodBarra|PReferencia)\\b"));
        QString result = text;
        return result.replace(searched, QStringLiteral("CAST(:\\1 AS VARCHAR(8191))"));
    }

    // CHAR, with or without the nullable flag.
    bool isFixedChar(int columnType) const override { return (columnType & ~1) == 452; }
};

// host[:port]/database
class PostgresDialect final : public Dialect {
public:
    QString name() const override { return QStringLiteral("PostgreSQL"); }
    QString driver() const override { return QStringLiteral("QPSQL"); }
    QString schemaResource() const override { return QStringLiteral(":/schema/postgresql.sql"); }

    void applyServerName(QSqlDatabase& database, const QString& serverName) const override {
        QString host = serverName;
        const qsizetype slash = serverName.indexOf(QLatin1Char('/'));
        if (slash >= 0) {
            host = serverName.left(slash);
            database.setDatabaseName(serverName.mid(slash + 1));
        }
        const qsizetype colon = host.indexOf(QLatin1Char(':'));
        if (colon >= 0) {
            database.setPort(host.mid(colon + 1).toInt());
            host = host.left(colon);
        }
        database.setHostName(host);
    }

    // The driver sends a date and time in UTC, which a column without time zone would keep as
    // another hour; the moment goes as the wall-clock text it is.
    QVariant dateTime(const QDateTime& moment) const override {
        return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    }

    // bpchar, the type of CHAR(n).
    bool isFixedChar(int columnType) const override { return columnType == 1042; }
};

const SqliteDialect sqliteDialect;
const FirebirdDialect firebirdDialect;
const PostgresDialect postgresDialect;
const Dialect* const dialects[] = {&sqliteDialect, &firebirdDialect, &postgresDialect};

} // namespace

QString Dialect::text(const QVariant& value, int columnType) const {
    QString result = value.toString();
    if (isFixedChar(columnType)) {
        qsizetype end = result.size();
        while (end > 0 && result.at(end - 1) == QLatin1Char(' '))
            --end;
        result.truncate(end);
    }
    return result;
}

const Dialect* Dialect::forDriver(const QString& driverName) {
    for (const Dialect* dialect : dialects) {
        if (dialect->driver() == driverName)
            return dialect;
    }
    return nullptr;
}

const Dialect* Dialect::forName(const QString& name) {
    for (const Dialect* dialect : dialects) {
        if (dialect->name().compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return dialect;
    }
    return nullptr;
}

} // namespace db
