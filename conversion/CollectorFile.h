#pragma once

#include <QString>
#include <QStringList>
#include <optional>

class QFile;

// The collector file: Windows-1252 text, one reading per line, lines ended by CR LF, CR or LF in
// any mix.
namespace conversion {

// The lines of a file's text. A line end after the last line makes no extra line; an empty text
// has no lines.
QStringList splitLines(const QString& text);

// A collector file is a few thousand readings; one of more than this is no collector's, and
// reading it whole would take the workstation's memory. The window and the batch mode refuse it
// unread.
inline constexpr qint64 MaxCollectorBytes = qint64(32) << 20;
// Files of one run together: each within its own limit, and all of them within what a run holds
// in memory with its reports.
inline constexpr qsizetype MaxRunLines = 2'000'000;

// Reads a whole file, every byte kept. Raises FileError when it can't be read, or when it holds
// more than maxBytes, if given. sha256, when given, receives the SHA-256 of the bytes read, in
// hex.
QStringList readLines(const QString& path, QString* sha256 = nullptr,
                      std::optional<qint64> maxBytes = std::nullopt);
// Reads an open file whole, called name in messages; a file of more than maxBytes is refused
// with FileError before it is read, so a stray huge file can't take the memory.
QStringList readLines(QFile& file, const QString& name, qint64 maxBytes, QString* sha256 = nullptr);

// The identity of a file's readings, in hex: the SHA-256 of its lines joined by LF, in UTF-8. The
// same readings saved with other line ends, or with a line end after the last line or without,
// are the same file.
QString readingsSha256(const QStringList& lines);

// A file in which no line holds a reading although some line holds more than blanks: written
// with another separator, most likely. Posting it would pass over every line and call it a success.
bool holdsNoReading(const QStringList& lines);
// What the window and the batch mode say of such a file; name, when given, is the file's.
QString noReadingMessage(const QString& name = QString());

struct Reading {
    QString itemCode;     // before the first comma, as written: blanks and case kept
    QString quantityText; // after the first comma, later commas included
};

// The first comma splits a line; a line without one holds no reading.
std::optional<Reading> splitReading(const QString& line);

} // namespace conversion
