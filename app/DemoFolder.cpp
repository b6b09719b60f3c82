#include "DemoFolder.h"

#include "ConfigFile.h"
#include "conversion/Errors.h"
#include "db/DemoData.h"
#include "db/Regional.h"
#include "db/Schema.h"

#include <QDir>
#include <QFile>
#include <QSqlError>

namespace app {

namespace {
const QString DatabaseName = QStringLiteral("telvaro.db");
const QString CollectorName = QStringLiteral("coletor.txt");

void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        throw conversion::FileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
}
} // namespace

void makeDemoFolder(const QString& folder, ExistingFiles existing) {
    const QDir dir(folder);
    const QString names[] = {DatabaseName, QString::fromLatin1(ConfigFileName), CollectorName};
    if (existing == ExistingFiles::Refuse) {
        for (const QString& name : names) {
            if (dir.exists(name))
                throw conversion::FileError(
                    QStringLiteral("A pasta %1 já tem o arquivo %2, que a demonstração "
                                   "substituiria. Escolha uma pasta nova ou vazia.")
                        .arg(QDir::toNativeSeparators(folder), name));
        }
    }
    if (!QDir().mkpath(folder))
        throw conversion::FileError(
            QStringLiteral("%1: não foi possível criar a pasta.").arg(folder));
    const QString databasePath = dir.filePath(DatabaseName);
    QFile::remove(databasePath);
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("demo"));
        database.setDatabaseName(databasePath);
        if (!database.open())
            throw db::DatabaseError(database.lastError().text());
        const db::Dialect& dialect = *db::Dialect::forDriver(QStringLiteral("QSQLITE"));
        db::createSchema(database, dialect);
        db::demo::fill(database, dialect, db::Clock::today());
        database.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("demo"));
    // A name relative to the demo folder, where the tool is started.
    writeFile(dir.filePath(QString::fromLatin1(ConfigFileName)), "telvaro.db\r\n");
    writeFile(dir.filePath(CollectorName), db::demo::collectorFile());
}

} // namespace app
