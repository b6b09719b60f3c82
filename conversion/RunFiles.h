#pragma once

#include <QString>
#include <vector>

// The collector files of one run. Their lines are posted as one list, each file's after those of
// the files before it; a line's number in that list is told apart from its number in its file
// only where a run has several files.
namespace conversion {

struct RunFile {
    // As the journal names it: the file's name without its folder.
    QString name;
    // The file's identity: the SHA-256 of its readings (its lines, whatever ends them), in hex.
    QString sha256;
    int lines = 0;
    // SHA-256 of the file's bytes, as the journal knew files before: a file posted then is
    // still found.
    QString bytesSha256;
};

using RunFiles = std::vector<RunFile>;

// A line of the run as its clerk knows it: which file (from 0) and its number there (from 1).
struct FileLine {
    int file = 0;
    int line = 0;
};

// Where the run's line `number` (from 1) stands; a number past the files stays in the last one.
FileLine locate(const RunFiles& files, int number);
// "Linha 3", or "Linha 3 de b.txt" in a run of several files.
QString lineLabel(const RunFiles& files, int number);
// The names, joined for a sentence: "a.txt", "a.txt e b.txt", "a.txt, b.txt e c.txt".
QString namesText(const RunFiles& files);

} // namespace conversion
