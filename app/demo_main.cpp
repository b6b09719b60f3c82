// Makes the demo folder: a SQLite database with demo data, the Caminho.Dir that names it and a
// collector file to convert.
#include "db/DemoData.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlError>
#include <cstdio>

namespace {
void writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(content) != content.size())
        throw db::FileError(QStringLiteral("%1: %2").arg(path, file.errorString()));
}

void makeDemo(const QString& folder) {
    if (!QDir().mkpath(folder))
        throw db::FileError(QStringLiteral("%1: não foi possível criar a pasta.").arg(folder));
    const QDir dir(folder);
    const QString databasePath = dir.filePath(QStringLiteral("telvaro.db"));
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
    writeFile(dir.filePath(QStringLiteral("Caminho.Dir")), "telvaro.db\r\n");
    writeFile(dir.filePath(QStringLiteral("coletor.txt")), db::demo::collectorFile());
}
} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "uso: conversor-demo <pasta>\n");
        return 2;
    }
    try {
        makeDemo(QString::fromLocal8Bit(argv[1]));
    } catch (const db::Error& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    std::printf("Demo pronta em %s\n", argv[1]);
    return 0;
}
