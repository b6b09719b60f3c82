#include "Startup.h"

#include "AliasConfig.h"
#include "ConfigFile.h"
#include "db/Connection.h"
#include "db/LookupQuery.h"

#include <QDir>
#include <QFileInfo>

Connection* Startup::newConnection(QObject* owner) const {
    return new Connection(QStringLiteral("Telvaro"), QStringLiteral("TelvaroDB"),
                          {QStringLiteral("USERNAME=SYSBDA"), QStringLiteral("PASSWORD=plombiruk")},
                          owner);
}

void Startup::open(Connection& connection, const QList<db::LookupQuery*>& lookups) const {
    const QString configPath = configfile::pathForWorkingDirectory(QDir::currentPath());
    if (QFileInfo::exists(configPath)) {
        const QString serverName = configfile::readFirstLine(configPath);
        connection.close();
        connection.setParam(QStringLiteral("SERVER NAME"), serverName);
    }
    connection.open(AliasConfig::settingsFor(connection.alias()));
    for (db::LookupQuery* lookup : lookups)
        lookup->open(connection.database(), connection.dialect());
}
