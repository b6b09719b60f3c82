#pragma once

#include "db/Connection.h"
#include "ui/FormStartup.h"

namespace app {

// Where the tool looks for its database, and why there.
struct DatabaseOrigin {
    enum class Source { ConfigFile, Alias, Default };
    Source source = Source::Default;
    // Where Caminho.Dir is looked for and the alias file, as the system writes them.
    QString configPath;
    QString aliasFile;
    db::AliasSettings settings;
    // The "SERVER NAME" the connection is given: Caminho.Dir's, else the alias's (a SQLite file
    // with its full path).
    QString serverName;
};

// The start-up step of the tool, the same for the window and the batch mode: the connection
// with its fixed settings, the server named by Caminho.Dir of the working directory, the engine
// named by the alias file.
class Startup final : public ui::FormStartup {
public:
    // Alias Telvaro, database name TelvaroDB, user and password.
    db::Connection* newConnection(QObject* owner) const override;
    // Caminho.Dir first (a non-empty first line becomes "SERVER NAME"; an unreadable file raises
    // conversion::FileError before any connection is tried), then the alias file (db::Error for
    // one that can't be used); nothing is opened.
    DatabaseOrigin locate(db::Connection& connection) const;
    // locate, then the connection, then the look-ups. A refusal raises db::DatabaseError with
    // the driver's message, then where the database was looked for and what to change.
    void open(db::Connection& connection, const QList<db::LookupQuery*>& lookups) const override;
};

// Where the server name came from, for a message: "da primeira linha de C:\DADOS\Caminho.Dir."
QString originText(const DatabaseOrigin& origin, const QString& alias);

} // namespace app
