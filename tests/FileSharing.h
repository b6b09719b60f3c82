#pragma once

#include <QString>

// Who may read a file a test writes, where the program checks it.
namespace testfiles {

// Lets the file's owner alone read and write it, or everyone read it too: the mode bits, or on
// Windows the access list, with or without Everyone. False when it could not.
bool share(const QString& path, bool withEveryone);

} // namespace testfiles
