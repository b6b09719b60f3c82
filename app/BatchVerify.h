#pragma once

#include "BatchJournal.h"

// --verificar: what an administrator checks once after installing, one line each.
namespace app::batch {

// Which database and where its name came from, who the program logs in as, the tables it reads
// and writes and whether the user may, the journal, and the servers' client libraries. Each
// line starts with its verdict (ok, aviso, falha, info), on standard output unless the JSON
// carries them. Ends Posted with no warning nor failure, PostedWithRejections with warnings
// alone, NoConnection without a connection, CheckFailed with a failure.
Ending verify(bool json);

} // namespace app::batch
