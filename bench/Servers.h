#pragma once

#include <QString>
#include <QStringList>

class QCommandLineParser;

// The database servers the test scripts start (tests/servers/*.sh), as a benchmark finds them.
namespace bench {

// Why the server of `engine` (postgresql or firebird) named by the servers file `servers` can't
// be measured; empty when it can.
QString serverMissing(const QString& engine, const QString& servers);

// The engines of --engines, each one of sqlite, postgresql and firebird, and the servers file of
// --servers made absolute; error says what is wrong with them, when something is. Also checks
// that the tool's executable is built, and hands the servers file to the test databases.
struct EngineChoice {
    QStringList engines;
    QString servers;
    QString error;
};
EngineChoice chooseEngines(const QCommandLineParser& options, const QString& executable);

} // namespace bench
