#pragma once

#include <QString>

// The database servers the test scripts start (tests/servers/*.sh), as a benchmark finds them.
namespace bench {

// Why the server of `engine` (postgresql or firebird) named by the servers file `servers` can't
// be measured; empty when it can.
QString serverMissing(const QString& engine, const QString& servers);

} // namespace bench
