#pragma once

#include "Dialect.h"

#include <QObject>
#include <QSqlDatabase>
#include <QStringList>
#include <chrono>
#include <optional>

namespace db {

// Where an alias leads: the driver and its default settings.
struct AliasSettings {
    const db::Dialect* dialect = nullptr;
    QString serverName;
    QString connectOptions;
    // How long a run waits for its turn while another workstation's run posts into the company.
    std::chrono::milliseconds turnWait = TurnWaitLimit;
    // The user and the password the alias file gives, where it gives them.
    Login login{};
};

// A wait given in whole seconds, 0 to 3600; none for any other text.
std::optional<std::chrono::milliseconds> waitSeconds(const QString& text);

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

    // Opens where the alias leads, with the parameter list ("SERVER NAME" over the alias's own
    // server); raises db::DatabaseError with the driver's message when the database refuses.
    // The login is the alias's, else the server's own ways, else the parameter list's
    // "USERNAME" and "PASSWORD".
    void open(const AliasSettings& settings);
    // Closes the connection; the queries opened on it close with it.
    void close();
    bool isOpen() const;

    QSqlDatabase database() const;
    const db::Dialect& dialect() const;
    // The alias's wait for a run's turn, as opened.
    std::chrono::milliseconds turnWait() const { return m_turnWait; }
    // Who the last open logged in as, and from where; the password's value is not kept.
    const Login& login() const { return m_login; }

signals:
    void aboutToClose();

private:
    QString m_alias;
    QString m_databaseName;
    QStringList m_params;
    const db::Dialect* m_dialect = nullptr;
    std::chrono::milliseconds m_turnWait = TurnWaitLimit;
    Login m_login;
};

} // namespace db
