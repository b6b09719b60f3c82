#pragma once

#include "db/Connection.h"

namespace app {

// Reads the alias file: an INI file with a section per alias, keys Driver ("SQLite", "Firebird"
// or "PostgreSQL"), ServerName, Options, Espera, and the login: Usuario and Senha, or
// Credenciais, a file of its own with those two keys that only its owner may read. The file is
// CONVERSOR_ALIASES when that variable is set, otherwise aliases.ini in the user's configuration
// folder. With no file, or no section for the alias, the alias is SQLite on telvaro.db in the
// working directory.
class AliasConfig {
public:
    static QString filePath();
    // Whether the alias file has a section for the alias.
    static bool defines(const QString& alias);
    // Raises db::Error for an unknown driver name, a credentials file that can't be read or that
    // others may read, and a user or password that the INI format would take for a list.
    static db::AliasSettings settingsFor(const QString& alias);
};

} // namespace app
