#include "AliasConfig.h"

#include "db/Errors.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

namespace app {

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
