#pragma once

#include <QString>
#include <cstdio>

namespace app {

// Writes text to standard output or error so that a clerk's terminal shows its accents: on a
// Windows console as wide characters, whatever the console's code page; anywhere else as UTF-8.
// False when not all of it was written (errno tells why, off a console).
bool writeConsole(std::FILE* stream, const QString& text);
// A message that spans lines in a box, joined into one.
QString oneLine(QString message);
// One line on standard error.
void printError(const QString& message);

} // namespace app
