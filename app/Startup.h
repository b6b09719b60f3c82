#pragma once

#include "ui/FormStartup.h"

namespace app {

// The start-up step of the tool, the same for the window and the batch mode: the connection
// with its fixed settings, the server named by Caminho.Dir of the working directory, the engine
// named by the alias file.
class Startup final : public ui::FormStartup {
public:
    // Alias Telvaro, database name TelvaroDB, user and password.
    db::Connection* newConnection(QObject* owner) const override;
    // Caminho.Dir first (a non-empty first line becomes "SERVER NAME"; an unreadable file raises
    // conversion::FileError before any connection is tried), then the connection, then the
    // look-ups. A refusal raises db::DatabaseError with the driver's message, then where the
    // database was looked for and what to change.
    void open(db::Connection& connection, const QList<db::LookupQuery*>& lookups) const override;
};

} // namespace app
