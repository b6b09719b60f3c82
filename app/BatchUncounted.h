#pragma once

#include "BatchJournal.h"

#include <QByteArrayList>

class QCommandLineParser;

// The batch mode's side of closing a count: the list of the products nobody counted, and their
// zeroing.
namespace app::batch {

struct Options;

// --nao-contados: the list for --empresa and --data, printed unless the JSON carries it, and in
// the --relatorio file.
Ending listUncounted(const QCommandLineParser& parser, const Options& options,
                     const QByteArrayList& native, bool json);
// --zerar-nao-contados: the zeroing with --causa, simulated with --simular.
Ending zeroUncounted(const QCommandLineParser& parser, const Options& options,
                     const QByteArrayList& native, bool json);

} // namespace app::batch
