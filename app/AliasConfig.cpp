#include "AliasConfig.h"

#include "db/Errors.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#ifdef Q_OS_WIN
#include <windows.h>

#include <aclapi.h>
#endif

namespace app {

namespace {

// A user name or a password: a value with a comma must be quoted, or the INI format would take
// it for a list and hand back something else.
std::optional<QString> loginValue(const QSettings& file, const QString& key, const QString& where) {
    if (!file.contains(key))
        return std::nullopt;
    const QVariant value = file.value(key);
    if (value.typeId() == QMetaType::QStringList)
        throw db::Error(QStringLiteral("%1= %2 tem vírgula: escreva o valor entre aspas (\\\" e "
                                       "\\\\ dentro delas para aspas e barra invertida).")
                            .arg(key, where));
    return value.toString();
}

#ifdef Q_OS_WIN
// Whether a SID is the user running the program.
bool isCurrentUser(PSID sid) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return false;
    alignas(TOKEN_USER) char user[256];
    DWORD size = 0;
    const bool known = GetTokenInformation(token, TokenUser, user, sizeof user, &size);
    CloseHandle(token);
    return known && EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
}

// Whether the file's access list lets anyone read it but its owner, the system and the
// administrators; a file whose list can't be read is taken as readable.
bool othersMayRead(const QString& path) {
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(reinterpret_cast<const wchar_t*>(path.utf16()), SE_FILE_OBJECT,
                              OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
                              nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS)
        return true;
    // No list at all lets everyone in.
    bool others = list == nullptr;
    for (DWORD i = 0; list && !others && i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (!GetAce(list, i, &entry))
            continue;
        const auto* header = static_cast<const ACE_HEADER*>(entry);
        if (header->AceType != ACCESS_ALLOWED_ACE_TYPE || (header->AceFlags & INHERIT_ONLY_ACE))
            continue;
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        if (!(allowed->Mask & (FILE_READ_DATA | GENERIC_READ | GENERIC_ALL)))
            continue;
        PSID sid = &allowed->SidStart;
        others = !EqualSid(sid, owner) && !isCurrentUser(sid) &&
                 !IsWellKnownSid(sid, WinLocalSystemSid) &&
                 !IsWellKnownSid(sid, WinBuiltinAdministratorsSid);
    }
    LocalFree(descriptor);
    return others;
}
#else
// Whether anyone but the file's owner may read it.
bool othersMayRead(const QString& path) {
    return QFileInfo(path).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther);
}
#endif

// Usuario= and Senha= of the alias's section, then those of the file Credenciais= names (a path
// relative to the alias file's folder), which only its owner may read.
void readLogin(QSettings& file, const QString& alias, db::Login& login) {
    const QString aliasFile = QDir::toNativeSeparators(AliasConfig::filePath());
    const QString inAlias = QStringLiteral("do alias %1 em %2").arg(alias, aliasFile);
    const QString userKey = QStringLiteral("Usuario");
    const QString passwordKey = QStringLiteral("Senha");
    const QString aliasPlace = QStringLiteral("no alias %1 em %2").arg(alias, aliasFile);
    if (const auto user = loginValue(file, userKey, aliasPlace))
        login.user = {*user, db::LoginOrigin::Alias, QStringLiteral("Usuario= ") + inAlias};
    if (const auto password = loginValue(file, passwordKey, aliasPlace))
        login.password = {*password, db::LoginOrigin::Alias, QStringLiteral("Senha= ") + inAlias};
    const QString named = file.value(QStringLiteral("Credenciais")).toString();
    if (named.isEmpty() || (login.user.given() && login.password.given()))
        return;
    const QString path =
        QDir::toNativeSeparators(QFileInfo(AliasConfig::filePath())
                                     .dir()
                                     .absoluteFilePath(QDir::fromNativeSeparators(named)));
    QFile readable(path);
    if (!readable.open(QIODevice::ReadOnly))
        throw db::Error(QStringLiteral("O arquivo de credenciais %1 (Credenciais= %2) não pôde ser "
                                       "lido: %3")
                            .arg(path, inAlias, readable.errorString()));
    if (othersMayRead(path))
#ifdef Q_OS_WIN
        throw db::Error(QStringLiteral("O arquivo de credenciais %1 (Credenciais= %2) pode ser "
                                       "lido por outros usuários: deixe em Propriedades > "
                                       "Segurança só o seu dono (com SYSTEM e Administradores) e "
                                       "abra o programa de novo.")
                            .arg(path, inAlias));
#else
        throw db::Error(QStringLiteral("O arquivo de credenciais %1 (Credenciais= %2) pode ser "
                                       "lido por outros usuários: deixe-o legível só pelo seu "
                                       "dono (chmod 600 %1) e abra o programa de novo.")
                            .arg(path, inAlias));
#endif
    const QSettings credentials(path, QSettings::IniFormat);
    const QString inFile = QStringLiteral("no arquivo de credenciais %1").arg(path);
    if (!login.user.given()) {
        if (const auto user = loginValue(credentials, userKey, inFile))
            login.user = {*user, db::LoginOrigin::CredentialsFile, path};
    }
    if (!login.password.given()) {
        if (const auto password = loginValue(credentials, passwordKey, inFile))
            login.password = {*password, db::LoginOrigin::CredentialsFile, path};
    }
}

} // namespace

QString AliasConfig::filePath() {
    const QString fromEnvironment = qEnvironmentVariable("CONVERSOR_ALIASES");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
#ifdef Q_OS_WIN
    // The roaming profile's folder, which follows the clerk from desktop to desktop.
    const QString configFolder = QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA"));
#else
    const QString configFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    return configFolder + QStringLiteral("/conversor-coletor/aliases.ini");
}

bool AliasConfig::defines(const QString& alias) {
    return QSettings(filePath(), QSettings::IniFormat).childGroups().contains(alias);
}

db::AliasSettings AliasConfig::settingsFor(const QString& alias) {
    db::AliasSettings settings;
    settings.dialect = db::Dialect::forName(QStringLiteral("SQLite"));
    settings.serverName = QStringLiteral("telvaro.db");

    QSettings file(filePath(), QSettings::IniFormat);
    if (!file.childGroups().contains(alias))
        return settings;
    file.beginGroup(alias);
    const QString driver =
        file.value(QStringLiteral("Driver"), settings.dialect->name()).toString();
    settings.dialect = db::Dialect::forName(driver);
    if (!settings.dialect)
        throw db::Error(QStringLiteral("Alias %1: driver desconhecido \"%2\" em %3.")
                            .arg(alias, driver, filePath()));
    settings.serverName = file.value(QStringLiteral("ServerName"), settings.serverName).toString();
    settings.connectOptions = file.value(QStringLiteral("Options")).toString();
    readLogin(file, alias, settings.login);
    if (file.contains(QStringLiteral("Espera"))) {
        const QString wait = file.value(QStringLiteral("Espera")).toString();
        const auto limit = db::waitSeconds(wait);
        if (!limit)
            throw db::Error(QStringLiteral("Alias %1: Espera=\"%2\" em %3 não é um número de "
                                           "segundos de 0 a 3600.")
                                .arg(alias, wait, filePath()));
        settings.turnWait = *limit;
    }
    return settings;
}

} // namespace app
