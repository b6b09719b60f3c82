#pragma once

#include "Batch.h"
#include "Startup.h"
#include "conversion/Journal.h"
#include "db/Connection.h"
#include "db/LookupQuery.h"

#include <QJsonObject>
#include <QString>
#include <memory>

class QCommandLineParser;

// The batch mode's side of the journal of runs: the database it opens, the history, the undo
// and the preparation of the tables.
namespace app::batch {

struct Options;

// How the batch ended: its status, the figures of a run that came to its end, and what failed.
struct Ending {
    int status = Posted;
    QJsonObject summary;
    QString error;
    // The server's own text of the error, which the JSON alone carries.
    QString detail;
};

// The connection as the window opens it, with its look-ups; raises Failure when it can't open.
class OpenDatabase {
public:
    OpenDatabase();
    QSqlDatabase database() const { return connection->database(); }
    const db::Dialect& dialect() const { return connection->dialect(); }
    // Says once, on standard error, that runs go unrecorded; false then.
    bool journal() const;

    const Startup startup;
    const std::unique_ptr<db::Connection> connection{startup.newConnection(nullptr)};
    const std::unique_ptr<db::LookupQuery> causes{db::LookupQuery::newCauses()};
    const std::unique_ptr<db::LookupQuery> companies{db::LookupQuery::newCompanies()};
};

// A run of the journal as the JSON gives it.
QJsonObject historyJson(const conversion::journal::RunRecord& run);
// --preparar-banco: says what it will create, asks unless answeredYes, creates; on standard
// error when the JSON has standard output.
Ending prepareDatabase(bool answeredYes, bool json);
// --historico, filtered by --empresa and --data; printed unless the JSON carries it.
Ending history(const QCommandLineParser& parser, const Options& options, bool json);
// --desfazer ID; simulated, the whole undo is rolled back at its end.
Ending undoRun(const QString& id, bool dryRun);

} // namespace app::batch
