#include "Clients.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QSqlDatabase>

#ifndef Q_OS_WIN
#include <dlfcn.h>
#endif

namespace db {

namespace {

struct Client {
    const char* engine;
    const char* driver;
    const char* windowsFile;
    const char* unixName;
    int unixVersion;
    // A function of the library, to tell where it was loaded from.
    const char* symbol;
};

const Client clients[] = {
    {"PostgreSQL", "QPSQL", "libpq.dll", "pq", 5, "PQlibVersion"},
    {"Firebird", "QIBASE", "fbclient.dll", "fbclient", 2, "isc_attach_database"},
};

} // namespace

QList<ClientLibrary> clientLibraries() {
    QList<ClientLibrary> found;
    for (const Client& client : clients) {
        ClientLibrary library;
        library.engine = QString::fromLatin1(client.engine);
        library.driver = QString::fromLatin1(client.driver);
        library.driverPresent = QSqlDatabase::isDriverAvailable(library.driver);
#ifdef Q_OS_WIN
        library.file = QString::fromLatin1(client.windowsFile);
        QStringList folders{QCoreApplication::applicationDirPath(),
                            qEnvironmentVariable("SystemRoot") + QStringLiteral("/System32")};
        folders += qEnvironmentVariable("PATH").split(u';', Qt::SkipEmptyParts);
        for (const QString& folder : std::as_const(folders)) {
            const QFileInfo candidate(QDir(folder), library.file);
            if (candidate.isFile()) {
                library.path = QDir::toNativeSeparators(candidate.absoluteFilePath());
                break;
            }
        }
        if (!library.path.isEmpty())
            library.loads = QLibrary(library.path).load();
#else
        QLibrary loaded(QString::fromLatin1(client.unixName), client.unixVersion);
        library.file = QStringLiteral("lib%1.so.%2")
                           .arg(QString::fromLatin1(client.unixName))
                           .arg(client.unixVersion);
        library.loads = loaded.load();
        Dl_info info{};
        if (const QFunctionPointer function = loaded.resolve(client.symbol);
            function && dladdr(reinterpret_cast<void*>(function), &info) && info.dli_fname)
            library.path = QFile::decodeName(info.dli_fname);
#endif
        found << library;
    }
    return found;
}

} // namespace db
