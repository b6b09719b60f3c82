#pragma once

#include <QString>

// The optional file whose first line names the database server.
namespace app {

inline constexpr char ConfigFileName[] = "Caminho.Dir";

// Windows rule: the working directory trimmed of blanks and control characters, letters a to z
// upper-cased, a backslash unless it ends in one, then "Caminho.Dir"; "Caminho.Dir" alone for
// an empty directory text.
QString windowsConfigPath(const QString& workingDirectory);

// Where file names are case-sensitive the directory is taken as the system gives it, since an
// upper-cased name would name another directory.
QString posixConfigPath(const QString& workingDirectory);

// The name on this system, from the process's working directory.
QString configPathFor(const QString& workingDirectory);

// The first line of a text file, up to its line break, blanks kept; empty for an empty file.
// A file that can't be opened or read raises conversion::FileError.
QString readFirstLine(const QString& path);

} // namespace app
