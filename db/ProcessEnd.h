#pragma once

namespace db {

// Ends the process with `status` once main's own work is done: every thread joined, every file
// and connection closed, the status known. Elsewhere than on Windows it returns the status for
// main to return.
int finishProcess(int status);

} // namespace db
