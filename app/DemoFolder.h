#pragma once

#include <QString>

// The demo folder: a SQLite database with demo data, the Caminho.Dir that names it and a
// collector file to convert, so that the tool can be tried started from that folder.
namespace app {

// What to do with a folder that already holds one of the demo's files.
enum class ExistingFiles {
    Refuse,  // a conversion::FileError naming the file: it may be a company's real database
    Replace, // the developer's demo, made anew
};

// Makes the folder (and its parents) if needed and writes the three files into it. Raises
// db::Error with a readable message when a file can't be written or the database refuses.
void makeDemoFolder(const QString& folder, ExistingFiles existing);

} // namespace app
