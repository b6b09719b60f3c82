#pragma once

#include <QByteArrayList>
#include <QStringList>

// The conversion without the window: the entries come from the command line, what the window
// would show goes to standard error, and the exit status tells a script how it went.
namespace app::batch {

enum ExitStatus {
    Posted = 0,               // posted (or simulated) with no rejection
    PostedWithRejections = 1, // posted (or simulated), some readings rejected
    BadUsage = 2,             // wrong usage or bad entries
    NoConnection = 3,
    RunFailed = 4,         // the run failed and nothing was posted
    CommitUnconfirmed = 5, // the commit could not be confirmed
    OutputFailed = 6,      // posted, but an output file or the JSON could not be written
    AlreadyConverted = 7,  // the journal holds the same file posted into the same place
    LockWait = 8,    // another workstation holds the inventory or the database: try again later
    CheckFailed = 9, // --verificar: a table the tool uses is missing, or the user may not use it
};

// Runs the batch mode over the program's arguments (the program name first); needs a
// QCoreApplication and no display. nativeArguments are the same arguments as the system gave
// them, where it gives bytes: a file name that is not valid UTF-8 is read through them.
int run(const QStringList& arguments, const QByteArrayList& nativeArguments = {});

} // namespace app::batch
