#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The collector file: Windows-1252 text, one reading per line, lines ended by CR LF, CR or LF in
// any mix.
namespace collector {

// The lines of a file's text. A line end after the last line makes no extra line; an empty text
// has no lines.
QStringList splitLines(const QString& text);

// Reads a whole file, every byte kept. Raises db::FileError when it can't be read.
QStringList readLines(const QString& path);

struct Reading {
    QString itemCode;     // before the first comma, as written: blanks and case kept
    QString quantityText; // after the first comma, later commas included
};

// The first comma splits a line; a line without one holds no reading.
std::optional<Reading> splitReading(const QString& line);

} // namespace collector
