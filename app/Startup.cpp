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

QString originText(const DatabaseOrigin& origin, const QString& alias) {
    const QString directory = QDir::toNativeSeparators(QFileInfo(origin.configPath).path());
    switch (origin.source) {
    case DatabaseOrigin::Source::ConfigFile:
        return QStringLiteral("da primeira linha de %1.").arg(origin.configPath);
    case DatabaseOrigin::Source::Alias:
        return QStringLiteral("do alias %1 em %2 (não há %3 em %4).")
            .arg(alias, origin.aliasFile, QString::fromLatin1(ConfigFileName), directory);
    case DatabaseOrigin::Source::Default:
        break;
    }
    return QStringLiteral("o padrão: não há %1 em %2 nem alias %3 em %4.")
        .arg(QString::fromLatin1(ConfigFileName), directory, alias, origin.aliasFile);
}

namespace {
// What to do when neither Caminho.Dir nor the alias names a database: the file's format, with an
// example of the system's, and where the program looks for it.
QString whereToPointIt(const DatabaseOrigin& origin, const QString& alias) {
    const QString name = QString::fromLatin1(ConfigFileName);
    const QString directory = QDir::toNativeSeparators(QFileInfo(origin.configPath).path());
#ifdef Q_OS_WIN
    const QString example = QStringLiteral("C:\\Dados\\telvaro.db");
    const QString elsewhere = QStringLiteral("Ou faça o atalho do programa começar na pasta que já "
                                             "tem o %1 (campo \"Iniciar em\" das Propriedades do "
                                             "atalho), ou configure o alias %2 em %3.");
#else
    const QString example = QStringLiteral("/home/dados/telvaro.db");
    const QString elsewhere = QStringLiteral("Ou abra o programa na pasta que já tem o %1, ou "
                                             "configure o alias %2 em %3.");
#endif
    return QStringLiteral("Ponha em %1 um arquivo de texto %2 com o local do banco de dados na "
                          "primeira linha, por exemplo:\r    %3\r")
               .arg(directory, name, example) +
           elsewhere.arg(name, alias, origin.aliasFile);
}

// Where the tool looked for its database, for a failed start: the server name and where it came
// from (Caminho.Dir, the alias file or the default), on a server who it logged in as, and what
// to change. unreadable: the table of a look-up the user may not read.
QString whatWasTried(const db::Connection& connection, const DatabaseOrigin& origin,
                     bool lookupFailed, const QString& unreadable) {
    QString tried = QStringLiteral("Banco de dados tentado: %1 em \"%2\", ")
                        .arg(origin.settings.dialect->name(), origin.serverName) +
                    originText(origin, connection.alias());
    // A refused login is told by the server in its own words: the user and where the user and
    // the password came from are the program's to say.
    if (!lookupFailed && origin.settings.dialect->logsIn())
        tried += QStringLiteral("\rLogin tentado: %1.").arg(db::loginText(connection.login()));
    QString toDo;
    switch (origin.source) {
    case DatabaseOrigin::Source::ConfigFile:
        toDo = QStringLiteral("Confira a primeira linha de %1 e se o banco de dados está "
                              "acessível.")
                   .arg(origin.configPath);
        break;
    case DatabaseOrigin::Source::Alias:
        toDo = QStringLiteral("Confira o alias %1 em %2 e se o servidor está no ar.")
                   .arg(connection.alias(), origin.aliasFile);
        break;
    case DatabaseOrigin::Source::Default:
        toDo = whereToPointIt(origin, connection.alias());
        break;
    }
    if (!unreadable.isEmpty())
        toDo = QStringLiteral("O banco de dados abriu, mas o usuário \"%1\" não tem permissão de "
                              "ler a tabela %2 (sem permissão): o administrador do banco de dados "
                              "dá as permissões que conversor-coletor --verificar lista.")
                   .arg(connection.login().user.value, unreadable);
    else if (lookupFailed)
        toDo = QStringLiteral("O banco de dados abriu, mas não tem as tabelas de empresas e "
                              "causas: confira se é o banco de dados de estoque da empresa.");
    return tried + QLatin1Char('\r') + toDo;
}
} // namespace

DatabaseOrigin Startup::locate(db::Connection& connection) const {
    DatabaseOrigin origin;
    origin.configPath = QDir::toNativeSeparators(configPathFor(QDir::currentPath()));
    origin.aliasFile = QDir::toNativeSeparators(AliasConfig::filePath());
    if (QFileInfo::exists(origin.configPath)) {
        const QString serverName = readFirstLine(origin.configPath);
        connection.close();
        connection.setParam(QStringLiteral("SERVER NAME"), serverName);
    }
    origin.settings = AliasConfig::settingsFor(connection.alias());
    origin.serverName = connection.param(QStringLiteral("SERVER NAME"));
    if (!origin.serverName.isEmpty()) {
        origin.source = DatabaseOrigin::Source::ConfigFile;
    } else {
        origin.serverName = origin.settings.serverName;
        origin.source = AliasConfig::defines(connection.alias()) ? DatabaseOrigin::Source::Alias
                                                                 : DatabaseOrigin::Source::Default;
    }
    // A SQLite file name is read from the working directory.
    if (!origin.settings.dialect->logsIn())
        origin.serverName =
            QDir::toNativeSeparators(QFileInfo(origin.serverName).absoluteFilePath());
    return origin;
}

void Startup::open(db::Connection& connection, const QList<db::LookupQuery*>& lookups) const {
    const DatabaseOrigin origin = locate(connection);
    bool opened = false;
    QString table;
    try {
        connection.open(origin.settings);
        opened = true;
        for (db::LookupQuery* lookup : lookups) {
            table = lookup->table();
            lookup->open(connection.database(), connection.dialect());
        }
    } catch (const db::PermissionDenied& error) {
        throw db::PermissionDenied(error.message() + QLatin1Char('\r') +
                                   whatWasTried(connection, origin, opened, table));
    } catch (const db::DatabaseError& error) {
        throw db::DatabaseError(error.message() + QLatin1Char('\r') +
                                whatWasTried(connection, origin, opened, {}));
    }
}

} // namespace app
