#include "Servers.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QSettings>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

namespace bench {

namespace {
// Whether something listens where the servers file says the server is: TestDatabase gives up
// the whole program when it can't create its database.
bool answers(const QString& host, int port) {
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toLocal8Bit().constData(), QByteArray::number(port).constData(), &hints,
                    &found) != 0)
        return false;
    bool connected = false;
    for (addrinfo* address = found; address && !connected; address = address->ai_next) {
        const int socket = ::socket(address->ai_family, address->ai_socktype, address->ai_protocol);
        if (socket < 0)
            continue;
        connected = ::connect(socket, address->ai_addr, address->ai_addrlen) == 0;
        close(socket);
    }
    freeaddrinfo(found);
    return connected;
}
} // namespace

QString serverMissing(const QString& engine, const QString& servers) {
    if (servers.isEmpty())
        return QStringLiteral("needs --servers FILE (the file tests/servers/%1.sh start writes)")
            .arg(engine);
    const QString file = servers + QLatin1Char('.') + engine;
    if (!QFileInfo::exists(file))
        return QStringLiteral("no %1: start the server with tests/servers/%2.sh start STATE %3")
            .arg(file, engine, servers);
    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(engine);
    const QString host = settings.value(QStringLiteral("host")).toString();
    const int port = settings.value(QStringLiteral("port")).toInt();
    if (!answers(host, port))
        return QStringLiteral("no server answers at %1:%2 (named by %3)")
            .arg(host)
            .arg(port)
            .arg(file);
    return {};
}

EngineChoice chooseEngines(const QCommandLineParser& options, const QString& executable) {
    static const QStringList known = {QStringLiteral("sqlite"), QStringLiteral("postgresql"),
                                      QStringLiteral("firebird")};
    EngineChoice choice;
    choice.engines =
        options.value(QStringLiteral("engines")).split(QLatin1Char(','), Qt::SkipEmptyParts);
    if (choice.engines.isEmpty())
        choice.error = QStringLiteral("--engines names no engine");
    for (const QString& engine : choice.engines) {
        if (!known.contains(engine))
            choice.error =
                QStringLiteral("unknown engine %1 (sqlite, postgresql or firebird)").arg(engine);
    }
    if (options.isSet(QStringLiteral("servers")))
        choice.servers = QFileInfo(options.value(QStringLiteral("servers"))).absoluteFilePath();
    if (choice.error.isEmpty() && !QFileInfo(executable).isExecutable())
        choice.error = QStringLiteral("%1 is not built").arg(executable);
    qputenv("COLETOR_SERVERS_FILE", choice.servers.toLocal8Bit());
    return choice;
}

} // namespace bench
