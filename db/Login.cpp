#include "Login.h"

#include "Dialect.h"

#include <QFile>
#include <QSqlDatabase>

namespace db {

QString originText(const LoginPart& part) {
    switch (part.origin) {
    case LoginOrigin::None:
        return QStringLiteral("de nenhum lugar");
    case LoginOrigin::BuiltIn:
        return QStringLiteral("do padrão do programa");
    case LoginOrigin::Alias:
        return QStringLiteral("de %1").arg(part.where);
    case LoginOrigin::CredentialsFile:
        return QStringLiteral("do arquivo de credenciais %1").arg(part.where);
    case LoginOrigin::Environment:
        return QStringLiteral("da variável de ambiente %1").arg(part.where);
    case LoginOrigin::ClientFile:
        return QStringLiteral("do arquivo de senhas %1").arg(part.where);
    }
    return {};
}

QString originCode(LoginOrigin origin) {
    switch (origin) {
    case LoginOrigin::None:
        return QStringLiteral("nenhuma");
    case LoginOrigin::BuiltIn:
        return QStringLiteral("padrao");
    case LoginOrigin::Alias:
        return QStringLiteral("alias");
    case LoginOrigin::CredentialsFile:
        return QStringLiteral("arquivo");
    case LoginOrigin::Environment:
        return QStringLiteral("ambiente");
    case LoginOrigin::ClientFile:
        return QStringLiteral("arquivo_do_cliente");
    }
    return {};
}

QString loginText(const Login& login) {
    return QStringLiteral("usuário \"%1\" (%2), %3")
        .arg(login.user.value, originText(login.user),
             login.password.given() ? QStringLiteral("senha ") + originText(login.password)
                                    : QStringLiteral("sem senha"));
}

Login resolveLogin(const Dialect& dialect, const QSqlDatabase& database, const Login& configured,
                   const Login& builtIn) {
    Login login;
    login.user = configured.user.given() ? configured.user : dialect.clientUser();
    if (!login.user.given())
        login.user = builtIn.user;
    if (configured.password.given()) {
        login.password = configured.password;
    } else {
        login.password = dialect.clientPassword(database, login.user.value);
        // The built-in password is the built-in user's: another user's login would only be
        // refused with it.
        if (!login.password.given() && login.user.origin == LoginOrigin::BuiltIn)
            login.password = builtIn.password;
    }
    return login;
}

namespace {
// A line of a password file cut at its unescaped colons, the escapes removed.
QStringList pgpassFields(const QString& line) {
    QStringList fields{QString()};
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (c == u'\\' && i + 1 < line.size())
            fields.last() += line.at(++i);
        else if (c == u':' && fields.size() < 5)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}
} // namespace

std::optional<QString> pgpassPassword(const QString& file, QString host, int port, QString database,
                                      const QString& user) {
    QFile passwords(file);
    if (!passwords.open(QIODevice::ReadOnly | QIODevice::Text))
        return std::nullopt;
    if (host.isEmpty() || host.startsWith(u'/'))
        host = QStringLiteral("localhost");
    const QString portText = QString::number(port < 0 ? 5432 : port);
    if (database.isEmpty())
        database = user;
    const QString wanted[] = {host, portText, database, user};
    while (!passwords.atEnd()) {
        const QString line = QString::fromUtf8(passwords.readLine()).remove(u'\n').remove(u'\r');
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList fields = pgpassFields(line);
        if (fields.size() < 5)
            continue;
        bool matches = true;
        for (int i = 0; i < 4 && matches; ++i)
            matches = fields.at(i) == QLatin1String("*") || fields.at(i) == wanted[i];
        if (matches)
            return fields.at(4);
    }
    return std::nullopt;
}

} // namespace db
