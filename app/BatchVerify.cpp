#include "BatchVerify.h"

#include "ConfigFile.h"
#include "ConsoleText.h"
#include "conversion/Journal.h"
#include "db/Access.h"
#include "db/Clients.h"
#include "db/Errors.h"

#include <QJsonArray>

namespace app::batch {

namespace {

enum class Verdict { Ok, Info, Warning, Failure };

// The lines of the check, printed as they come, and the worst verdict among them.
class Lines {
public:
    explicit Lines(bool json)
        : m_json(json) {}

    void add(Verdict verdict, const QString& item, const QString& text) {
        static const char* const words[] = {"ok", "info", "aviso", "falha"};
        const QString word = QString::fromLatin1(words[int(verdict)]);
        m_worst = std::max(m_worst, verdict);
        m_items.append(QJsonObject{{QStringLiteral("item"), item},
                                   {QStringLiteral("situacao"), word},
                                   {QStringLiteral("texto"), text}});
        if (!m_json)
            writeConsole(stdout, QStringLiteral("%1 %2: %3\n").arg(word, -5).arg(item, text));
    }
    Verdict worst() const { return m_worst; }
    const QJsonArray& items() const { return m_items; }

private:
    bool m_json;
    Verdict m_worst = Verdict::Ok;
    QJsonArray m_items;
};

// Where the database is, as the driver took the server name.
QString placeText(const DatabaseOrigin& origin, const QSqlDatabase& database) {
    if (!origin.settings.dialect->logsIn())
        return QStringLiteral("arquivo %1").arg(origin.serverName);
    QString text =
        QStringLiteral("\"%1\": servidor %2").arg(origin.serverName, database.hostName());
    if (database.port() >= 0)
        text += QStringLiteral(", porta %1").arg(database.port());
    return text + QStringLiteral(", banco %1").arg(database.databaseName());
}

QString sourceCode(DatabaseOrigin::Source source) {
    switch (source) {
    case DatabaseOrigin::Source::ConfigFile:
        return QString::fromLatin1(ConfigFileName);
    case DatabaseOrigin::Source::Alias:
        return QStringLiteral("alias");
    case DatabaseOrigin::Source::Default:
        break;
    }
    return QStringLiteral("padrao");
}

// Each table the tool uses, and what the user may do there.
QJsonArray checkTables(Lines& lines, const db::Connection& connection, bool journal) {
    QSqlDatabase database = connection.database();
    const db::Dialect& dialect = connection.dialect();
    QJsonArray tables;
    for (const db::access::TableNeed& need : db::access::tableNeeds(dialect)) {
        if (need.journal && !journal)
            continue;
        const QString table = QString::fromLatin1(need.table);
        const QString item = QStringLiteral("tabela ") + table;
        const db::access::TableAccess access = dialect.tableAccess(database, table);
        const int missing = need.needed & ~access.granted;
        const int missingForUndo = need.forUndo & ~access.granted;
        QJsonObject row{
            {QStringLiteral("tabela"), table},
            {QStringLiteral("existe"), access.exists},
            {QStringLiteral("permite"), db::access::privilegeNames(access.granted)},
            {QStringLiteral("falta"), db::access::privilegeNames(missing | missingForUndo)}};
        if (!access.unknown.isEmpty()) {
            row.insert(QStringLiteral("erro"), access.unknown);
            lines.add(
                Verdict::Warning, item,
                QStringLiteral("não foi possível conferir as permissões: %1").arg(access.unknown));
        } else if (!access.exists) {
            lines.add(Verdict::Failure, item, QStringLiteral("não existe"));
        } else if (missing) {
            lines.add(Verdict::Failure, item,
                      QStringLiteral("sem permissão de %1 para \"%2\"")
                          .arg(db::access::privilegeNames(missing), connection.login().user.value));
        } else if (missingForUndo) {
            lines.add(Verdict::Warning, item,
                      QStringLiteral("sem permissão de %1 para \"%2\": a conversão grava, mas o "
                                     "desfazer é recusado")
                          .arg(db::access::privilegeNames(missingForUndo),
                               connection.login().user.value));
        } else {
            lines.add(Verdict::Ok, item, db::access::privilegeNames(need.needed | need.forUndo));
        }
        tables.append(row);
    }
    return tables;
}

// The servers' client libraries: the one of the database's engine must load, the other is told.
QJsonArray checkClients(Lines& lines, const db::Dialect& dialect) {
    QJsonArray clients;
    for (const db::ClientLibrary& client : db::clientLibraries()) {
        const bool used = client.driver == dialect.driver();
        const QString item = QStringLiteral("cliente ") + client.file;
        clients.append(QJsonObject{{QStringLiteral("biblioteca"), client.file},
                                   {QStringLiteral("caminho"), client.path},
                                   {QStringLiteral("carrega"), client.loads},
                                   {QStringLiteral("driver"), client.driverPresent}});
        const Verdict missing = used ? Verdict::Failure : Verdict::Info;
        if (!client.driverPresent)
            lines.add(missing, item,
                      QStringLiteral("o driver %1 do Qt não está instalado").arg(client.driver));
        else if (client.loads)
            lines.add(Verdict::Ok, item,
                      client.path.isEmpty() ? QStringLiteral("carrega") : client.path);
        else if (!client.path.isEmpty())
            lines.add(missing, item,
                      QStringLiteral("%1 não carrega (é de 64 bits, com as DLLs que ele usa ao "
                                     "lado?)")
                          .arg(client.path));
        else
#ifdef Q_OS_WIN
            lines.add(missing, item,
                      QStringLiteral("não encontrado na pasta do programa, na pasta do sistema "
                                     "nem no PATH: necessário só para o %1")
                          .arg(client.engine));
#else
            lines.add(missing, item,
                      QStringLiteral("não encontrado: necessário só para o %1").arg(client.engine));
#endif
    }
    return clients;
}

} // namespace

Ending verify(bool json) {
    Lines lines(json);
    Ending ending;
    const Startup startup;
    const std::unique_ptr<db::Connection> connection{startup.newConnection(nullptr)};
    DatabaseOrigin origin;
    try {
        origin = startup.locate(*connection);
    } catch (const db::Error& error) {
        lines.add(Verdict::Failure, QStringLiteral("banco"), error.message());
        ending.summary.insert(QStringLiteral("clientes"),
                              checkClients(lines, *db::Dialect::forName(QStringLiteral("SQLite"))));
        ending.summary.insert(QStringLiteral("verificacoes"), lines.items());
        ending.status = NoConnection;
        ending.error = error.message();
        return ending;
    }
    const db::Dialect& dialect = *origin.settings.dialect;
    QString failure;
    try {
        connection->open(origin.settings);
    } catch (const db::Error& error) {
        failure = error.message();
    }
    const QSqlDatabase database = connection->database();
    // Where it is, once the connection says that it is there; the connection's line says why not.
    lines.add(failure.isEmpty() ? Verdict::Ok : Verdict::Info, QStringLiteral("banco"),
              QStringLiteral("%1 (driver %2), %3, %4")
                  .arg(dialect.name(), dialect.driver(), placeText(origin, database),
                       originText(origin, connection->alias())));
    QJsonObject place{{QStringLiteral("motor"), dialect.name()},
                      {QStringLiteral("driver"), dialect.driver()},
                      {QStringLiteral("nome"), origin.serverName},
                      {QStringLiteral("origem"), sourceCode(origin.source)},
                      {QStringLiteral("caminho_dir"), origin.configPath},
                      {QStringLiteral("aliases"), origin.aliasFile}};
    if (dialect.logsIn()) {
        place.insert(QStringLiteral("servidor"), database.hostName());
        place.insert(QStringLiteral("porta"), database.port());
        place.insert(QStringLiteral("banco"), database.databaseName());
        const db::Login& login = connection->login();
        lines.add(Verdict::Info, QStringLiteral("usuario"), db::loginText(login));
        ending.summary.insert(
            QStringLiteral("usuario"),
            QJsonObject{{QStringLiteral("nome"), login.user.value},
                        {QStringLiteral("origem"), db::originCode(login.user.origin)},
                        {QStringLiteral("senha"), db::originCode(login.password.origin)}});
    } else {
        lines.add(Verdict::Info, QStringLiteral("usuario"),
                  QStringLiteral("o SQLite não tem usuários: o arquivo é aberto com os direitos "
                                 "de %1")
                      .arg(conversion::journal::currentUser()));
    }
    ending.summary.insert(QStringLiteral("banco"), place);
    lines.add(failure.isEmpty() ? Verdict::Ok : Verdict::Failure, QStringLiteral("conexao"),
              failure.isEmpty() ? QStringLiteral("aberta") : oneLine(failure));
    if (failure.isEmpty()) {
        const QString damage = conversion::journal::damage(database);
        const bool journal = damage.isEmpty() && conversion::journal::present(database);
        ending.summary.insert(QStringLiteral("tabelas"), checkTables(lines, *connection, journal));
        if (!damage.isEmpty())
            lines.add(Verdict::Failure, QStringLiteral("diario"), damage);
        else if (journal)
            lines.add(Verdict::Ok, QStringLiteral("diario"),
                      QStringLiteral("presente (ConvColetor e ConvColetorIt)"));
        else
            lines.add(Verdict::Warning, QStringLiteral("diario"), conversion::journal::offText());
        ending.summary.insert(QStringLiteral("diario"), !damage.isEmpty()
                                                            ? QStringLiteral("incompleto")
                                                        : journal ? QStringLiteral("presente")
                                                                  : QStringLiteral("ausente"));
    }
    ending.summary.insert(QStringLiteral("clientes"), checkClients(lines, dialect));
    ending.summary.insert(QStringLiteral("verificacoes"), lines.items());
    connection->close();
    if (!failure.isEmpty()) {
        ending.status = NoConnection;
        ending.error = failure;
    } else if (lines.worst() == Verdict::Failure) {
        ending.status = CheckFailed;
    } else if (lines.worst() == Verdict::Warning) {
        ending.status = PostedWithRejections;
    }
    return ending;
}

} // namespace app::batch
