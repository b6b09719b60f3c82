#pragma once

#include "db/Dialect.h"

#include <QObject>
#include <QSqlDatabase>
#include <QStringList>

// Where an alias leads: the driver and its default settings.
struct AliasSettings {
    const db::Dialect* dialect = nullptr;
    QString serverName;
    QString connectOptions;
};

// Reads the alias file: an INI file with a section per alias, keys Driver ("SQLite", "Firebird"
// or "PostgreSQL"), ServerName and Options. The file is CONVERSOR_ALIASES when that variable is
// set, otherwise aliases.ini in the user's configuration folder. With no file, or no section for
// the alias, the alias is SQLite on telvaro.db in the working directory.
class AliasConfig {
public:
    static QString filePath();
    // Raises db::Error for an unknown driver name.
    static AliasSettings settingsFor(const QString& alias);
};

// The one database connection of the tool, named by its database name; removed with its owner.
class Connection : public QObject {
    Q_OBJECT
public:
    Connection(QString alias, QString databaseName, QStringList params, QObject* parent = nullptr);
    ~Connection() override;

    const QString& alias() const { return m_alias; }
    const QString& databaseName() const { return m_databaseName; }

    // The parameter list, name=value entries in order.
    const QStringList& params() const { return m_params; }
    QString param(const QString& name) const;
    // A non-empty value replaces the entry or appends one; an empty value removes it.
    void setParam(const QString& name, const QString& value);

    // Opens with the alias's settings and the parameter list; raises db::DatabaseError with the
    // driver's message when the database refuses.
    void open();
    // Closes the connection; the queries opened on it close with it.
    void close();
    bool isOpen() const;

    QSqlDatabase database() const;
    const db::Dialect& dialect() const;

signals:
    void aboutToClose();

private:
    QString m_alias;
    QString m_databaseName;
    QStringList m_params;
    const db::Dialect* m_dialect = nullptr;
};
