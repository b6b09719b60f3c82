// Makes the developer's demo folder, replacing the demo files it already holds; the installed
// program's --demo makes the same folder but never replaces a file.
#include "DemoFolder.h"
#include "db/Errors.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "uso: conversor-demo <pasta>\n");
        return 2;
    }
    try {
        app::makeDemoFolder(QString::fromLocal8Bit(argv[1]), app::ExistingFiles::Replace);
    } catch (const db::Error& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.message()));
        return 1;
    }
    std::printf("Demo pronta em %s\n", argv[1]);
    return 0;
}
