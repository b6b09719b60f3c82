#pragma once

#include "tests/TcpRelay.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QString>

// A second connection to the test's database, closed and removed however the test ends.
class ExtraConnection {
public:
    explicit ExtraConnection(const QSqlDatabase& source, const QString& name)
        : m_name(name) {
        QSqlDatabase::cloneDatabase(source, name);
    }
    ~ExtraConnection() {
        QSqlDatabase::database(m_name, false).close();
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase database() const { return QSqlDatabase::database(m_name, false); }

private:
    QString m_name;
};

// The test's database reached through a relay that can cut or delay the connection.
class Relayed {
public:
    explicit Relayed(const QSqlDatabase& direct)
        : relay(direct.hostName(), direct.port())
        , m_connection(direct, QStringLiteral("through the relay")) {
        QSqlDatabase link = m_connection.database();
        link.setHostName(QStringLiteral("127.0.0.1"));
        link.setPort(relay.port());
        if (!link.open())
            qFatal("relayed: %s", qPrintable(link.lastError().text()));
    }
    QSqlDatabase database() const { return m_connection.database(); }

    TcpRelay relay;

private:
    ExtraConnection m_connection;
};
