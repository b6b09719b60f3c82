#include "Startup.h"

#include "AliasConfig.h"
#include "ConfigFile.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/LookupQuery.h"

#include <QDir>
#include <QFileInfo>

namespace app {

db::Connection* Startup::newConnection(QObject* owner) const {
    return new db::Connection(
        QStringLiteral("Telvaro"), QStringLiteral("TelvaroDB"),
        {QStringLiteral("USERNAME=SYSBDA"), QStringLiteral("PASSWORD=plombiruk")}, owner);
}

namespace {
// Where the tool looked for its database, for a failed start: the server name and where it came
// from (Caminho.Dir, the alias file or the default), and what to change.
QString whatWasTried(const db::Connection& connection, const db::AliasSettings& settings,
                     const QString& configPath, bool lookupFailed) {
    const QString fromConfig = connection.param(QStringLiteral("SERVER NAME"));
    QString server = fromConfig.isEmpty() ? settings.serverName : fromConfig;
    // A SQLite file name is read from the working directory.
    if (settings.dialect->name() == QLatin1String("SQLite"))
        server = QFileInfo(server).absoluteFilePath();
    const QString aliasFile = AliasConfig::filePath();
    const QString directory = QFileInfo(configPath).absolutePath();
    const QString tried = QStringLiteral("Banco de dados tentado: %1 em \"%2\", ")
                              .arg(settings.dialect->name(), server);
    QString source;
    QString toDo;
    if (!fromConfig.isEmpty()) {
        source = QStringLiteral("da primeira linha de %1.").arg(configPath);
        toDo = QStringLiteral("Confira a primeira linha de %1 e se o banco de dados está "
                              "acessível.")
                   .arg(configPath);
    } else if (AliasConfig::defines(connection.alias())) {
        source =
            QStringLiteral("do alias %1 em %2 (não há %3 em %4).")
                .arg(connection.alias(), aliasFile, QString::fromLatin1(ConfigFileName), directory);
        toDo = QStringLiteral("Confira o alias %1 em %2 e se o servidor está no ar.")
                   .arg(connection.alias(), aliasFile);
    } else {
        source =
            QStringLiteral("o padrão: não há %1 em %2 nem alias %3 em %4.")
                .arg(QString::fromLatin1(ConfigFileName), directory, connection.alias(), aliasFile);
        toDo = QStringLiteral("Abra o programa na pasta que tem o %1 do banco de dados, ponha "
                              "nesta pasta um %1 com o local do banco de dados na primeira "
                              "linha, ou configure o alias %2 em %3.")
                   .arg(QString::fromLatin1(ConfigFileName), connection.alias(), aliasFile);
    }
    if (lookupFailed)
        toDo = QStringLiteral("O banco de dados abriu, mas não tem as tabelas de empresas e "
                              "causas: confira se é o banco de dados de estoque da empresa.");
    return tried + source + QLatin1Char('\r') + toDo;
}
} // namespace

void Startup::open(db::Connection& connection, const QList<db::LookupQuery*>& lookups) const {
    const QString configPath = configPathFor(QDir::currentPath());
    if (QFileInfo::exists(configPath)) {
        const QString serverName = readFirstLine(configPath);
        connection.close();
        connection.setParam(QStringLiteral("SERVER NAME"), serverName);
    }
    const db::AliasSettings settings = AliasConfig::settingsFor(connection.alias());
    bool opened = false;
    try {
        connection.open(settings);
        opened = true;
        for (db::LookupQuery* lookup : lookups)
            lookup->open(connection.database(), connection.dialect());
    } catch (const db::DatabaseError& error) {
        throw db::DatabaseError(error.message() + QLatin1Char('\r') +
                                whatWasTried(connection, settings, configPath, opened));
    }
}

} // namespace app
