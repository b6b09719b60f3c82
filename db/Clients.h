#pragma once

#include <QList>
#include <QString>

namespace db {

// A database server's client library, which Qt's driver for that server loads: a shop using
// the server installs it. Where the program finds it, and whether it loads.
struct ClientLibrary {
    QString engine;
    QString driver;
    // The file looked for: libpq.dll, fbclient.dll on Windows.
    QString file;
    // Where it was found; empty when nowhere.
    QString path;
    bool loads = false;
    // Whether Qt has the driver itself.
    bool driverPresent = false;
};

// The PostgreSQL and Firebird clients, looked for as the system loads them: on Windows beside
// the program, in the system's folder and in the folders of PATH, in that order.
QList<ClientLibrary> clientLibraries();

} // namespace db
