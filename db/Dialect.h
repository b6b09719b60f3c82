#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

namespace db {

// What differs between the database engines the tool speaks to, chosen by the Qt driver name.
class Dialect {
public:
    virtual ~Dialect() = default;

    // The dialect of a Qt driver name (QSQLITE, QIBASE, QPSQL); nullptr for any other driver.
    static const Dialect* forDriver(const QString& driverName);
    // The dialect named in an alias file: "SQLite", "Firebird" or "PostgreSQL", any case.
    static const Dialect* forName(const QString& name);

    virtual QString name() const = 0;
    virtual QString driver() const = 0;
    // Resource path of the script that creates the tables.
    virtual QString schemaResource() const = 0;
    // Sets host, port and database of a connection from the "SERVER NAME" text.
    virtual void applyServerName(QSqlDatabase& database, const QString& serverName) const = 0;

    // How a date and a date-and-time are bound; engines with native types take them as they are.
    virtual QVariant date(const QDate& date) const { return date; }
    virtual QVariant dateTime(const QDateTime& moment) const { return moment; }
    // The statement as this engine runs it; the same text on engines that need no change.
    virtual QString statement(const QString& text) const { return text; }
    // A text column as the tool reads it, given the driver's type of the column: a fixed-length
    // CHAR column comes back padded with blanks that are no part of the value.
    QString text(const QVariant& value, int columnType) const;

protected:
    virtual bool isFixedChar(int columnType) const {
        Q_UNUSED(columnType);
        return false;
    }
};

} // namespace db
