#pragma once

#include <QSqlDatabase>
#include <QString>

namespace db {
class Dialect;
}

// The data a speed run works on: a SQLite catalogue and a collector file, made once and kept,
// since a million grades take a while to write.
namespace bench {

// Company, cause and inventory date every run uses, and the texts they give the statements.
inline constexpr char Company[] = "01";
inline constexpr char Cause[] = "001";
// A fixed date, whatever the day the benchmarks run on: runs pass --data-distante with it.
inline constexpr char InventoryDate[] = "01/12/2026";
inline constexpr char InventoryDateSql[] = "2026-12-01";
inline constexpr char InventoryDocument[] = "20261201A";

// A SQLite file with the tool's tables and `grades` grades: one product per grade, most kept
// without grades (reached by reference too), a few kept by grade; stock for every grade, old
// references, movements and processed count rows for some. Made at `path` unless it is there.
void makeCatalogue(const QString& path, int grades);

// A collector file of `lines` readings over a catalogue of `grades` grades: mostly barcodes,
// some references of each kind, about 5% unknown codes, and codes read more than once.
void makeCollectorFile(const QString& path, int lines, int grades);

// A collector file of `lines` barcodes, each of another product without a processed count row,
// read once: a run of it writes `lines` count rows.
void makeDistinctCollectorFile(const QString& path, int lines, int grades);

// Every row a run writes, as text, in key order; the stamp's time of day is left out, since two
// runs never write at the same second.
QStringList writtenRows(const QString& databasePath);

// Copies the catalogue's rows to a server database that has the tool's tables and nothing else,
// and gives the server's planner statistics, as a company's database has.
void copyCatalogue(const QString& catalogue, QSqlDatabase target, const db::Dialect& dialect);

} // namespace bench
