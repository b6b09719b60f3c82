#pragma once

#include <QString>

// The benchmark's yardstick: the tool's own statements, in the order the tool runs them, through
// the sqlite3 C API, prepared once, with UTF-8 binds and in one transaction, and nothing else.
namespace bench {

void rawInventory(const QString& databasePath, const QString& collectorPath);
void rawOpeningStock(const QString& databasePath, const QString& collectorPath);

} // namespace bench
