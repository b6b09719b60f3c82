#include "ConfigFile.h"

#include "conversion/Errors.h"
#include "db/Texts.h"

#include <QFile>

namespace app {

QString windowsConfigPath(const QString& workingDirectory) {
    QString directory = db::texts::upperAscii(db::texts::trimControl(workingDirectory));
    if (directory.isEmpty())
        return QString::fromLatin1(ConfigFileName);
    if (!directory.endsWith(QLatin1Char('\\')))
        directory += QLatin1Char('\\');
    return directory + QString::fromLatin1(ConfigFileName);
}

QString posixConfigPath(const QString& workingDirectory) {
    QString directory = workingDirectory;
    if (!directory.endsWith(QLatin1Char('/')))
        directory += QLatin1Char('/');
    return directory + QString::fromLatin1(ConfigFileName);
}

QString configPathFor(const QString& workingDirectory) {
#ifdef Q_OS_WIN
    return windowsConfigPath(workingDirectory);
#else
    return posixConfigPath(workingDirectory);
#endif
}

QString readFirstLine(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw conversion::FileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    QByteArray line;
    char c = 0;
    while (file.getChar(&c) && c != '\n' && c != '\r')
        line += c;
    if (file.error() != QFileDevice::NoError)
        throw conversion::FileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
    return QString::fromLocal8Bit(line);
}

} // namespace app
