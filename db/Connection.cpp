#include "Connection.h"

#include "Errors.h"
#include "Statement.h"

#include <QSqlError>

namespace db {

namespace {
constexpr char ServerNameParam[] = "SERVER NAME";
constexpr char UserNameParam[] = "USERNAME";
constexpr char PasswordParam[] = "PASSWORD";

// Qt's own text for a driver that did not load names neither the driver nor what it lacks.
QString driverNotLoaded(const QSqlDatabase& database) {
#ifdef Q_OS_WIN
    // The server drivers load the server's client library, which only a shop using that server
    // has installed; the program ships the SQLite driver with its library.
    const QString driver = database.driverName();
    if (driver == QLatin1String("QPSQL") || driver == QLatin1String("QIBASE")) {
        const bool postgres = driver == QLatin1String("QPSQL");
        return QStringLiteral("O driver %1 não pôde ser carregado: instale o cliente do %2 (%3) "
                              "na pasta do programa ou numa pasta do PATH.")
            .arg(driver, postgres ? QStringLiteral("PostgreSQL") : QStringLiteral("Firebird"),
                 postgres ? QStringLiteral("libpq.dll") : QStringLiteral("fbclient.dll"));
    }
#endif
    return database.lastError().text();
}
} // namespace

Connection::Connection(QString alias, QString databaseName, QStringList params, QObject* parent)
    : QObject(parent)
    , m_alias(std::move(alias))
    , m_databaseName(std::move(databaseName))
    , m_params(std::move(params)) {}

Connection::~Connection() {
    close();
    if (QSqlDatabase::contains(m_databaseName))
        QSqlDatabase::removeDatabase(m_databaseName);
}

QString Connection::param(const QString& name) const {
    const QString prefix = name + QLatin1Char('=');
    for (const QString& entry : m_params) {
        if (entry.startsWith(prefix))
            return entry.mid(prefix.size());
    }
    return {};
}

void Connection::setParam(const QString& name, const QString& value) {
    const QString prefix = name + QLatin1Char('=');
    for (qsizetype i = 0; i < m_params.size(); ++i) {
        if (!m_params[i].startsWith(prefix))
            continue;
        if (value.isEmpty())
            m_params.removeAt(i);
        else
            m_params[i] = prefix + value;
        return;
    }
    if (!value.isEmpty())
        m_params << prefix + value;
}

std::optional<std::chrono::milliseconds> waitSeconds(const QString& text) {
    bool number = false;
    const int seconds = text.trimmed().toInt(&number);
    if (!number || seconds < 0 || seconds > 3600)
        return std::nullopt;
    return std::chrono::seconds(seconds);
}

void Connection::open(const AliasSettings& settings) {
    m_dialect = settings.dialect;
    m_turnWait = settings.turnWait;
    if (QSqlDatabase::contains(m_databaseName))
        QSqlDatabase::removeDatabase(m_databaseName);
    QSqlDatabase database = QSqlDatabase::addDatabase(m_dialect->driver(), m_databaseName);
    if (!database.isValid())
        throw db::DatabaseError(driverNotLoaded(database));
    const QString serverName = param(QString::fromLatin1(ServerNameParam));
    m_dialect->applyServerName(database, serverName.isEmpty() ? settings.serverName : serverName);
    if (!settings.connectOptions.isEmpty())
        database.setConnectOptions(database.connectOptions().isEmpty()
                                       ? settings.connectOptions
                                       : database.connectOptions() + QLatin1Char(';') +
                                             settings.connectOptions);
    const Login builtIn{{param(QString::fromLatin1(UserNameParam)), LoginOrigin::BuiltIn, {}},
                        {param(QString::fromLatin1(PasswordParam)), LoginOrigin::BuiltIn, {}}};
    m_login = resolveLogin(*m_dialect, database, settings.login, builtIn);
    database.setUserName(m_login.user.value);
    database.setPassword(m_login.password.value);
    // Kept by the connection alone, which opens again to ask the journal after a lost commit.
    m_login.password.value.clear();
    if (!database.open())
        throw db::DatabaseError(database.lastError().text());
    // Settled now, before any run: whether SQLite's statements may take the library's fast path.
    if (m_dialect->driver() == QLatin1String("QSQLITE"))
        db::sharesSqliteLibrary(database);
}

void Connection::close() {
    emit aboutToClose();
    if (QSqlDatabase::contains(m_databaseName))
        QSqlDatabase::database(m_databaseName, false).close();
}

bool Connection::isOpen() const {
    return QSqlDatabase::contains(m_databaseName) &&
           QSqlDatabase::database(m_databaseName, false).isOpen();
}

QSqlDatabase Connection::database() const {
    return QSqlDatabase::database(m_databaseName, false);
}

const db::Dialect& Connection::dialect() const {
    return m_dialect ? *m_dialect : *db::Dialect::forName(QStringLiteral("SQLite"));
}

} // namespace db
