#pragma once

#include <QString>
#include <optional>

class QSqlDatabase;

namespace db {

class Dialect;

// Where a user name or a password came from.
enum class LoginOrigin {
    None,            // none given anywhere
    BuiltIn,         // the connection's stored parameters, the program's default
    Alias,           // Usuario= or Senha= of the alias file
    CredentialsFile, // the file that Credenciais= of the alias file names
    Environment,     // the server's own variable (PGUSER, ISC_PASSWORD...)
    ClientFile,      // the server client's own password file (.pgpass)
};

// A user name or a password and where it came from. A password's value is empty where the
// server's client library reads it itself; it never goes into a message.
struct LoginPart {
    QString value;
    LoginOrigin origin = LoginOrigin::None;
    // The file or the variable it came from.
    QString where;

    bool given() const { return origin != LoginOrigin::None; }
};

// Who a connection logs in as.
struct Login {
    LoginPart user;
    LoginPart password;
};

// Where a part came from, as a message says it: "do padrão do programa", "da variável de
// ambiente PGUSER", "do arquivo de credenciais F"...
QString originText(const LoginPart& part);
// The same, as the JSON says it: "padrao", "alias", "arquivo", "ambiente", "arquivo_do_cliente"
// or "nenhuma".
QString originCode(LoginOrigin origin);
// "usuário "SYSBDA" (do padrão do programa), senha do padrão do programa", never the password.
QString loginText(const Login& login);

// The login of a connection whose host, port and database are set: what the alias file
// configures first, then the server's own ways (its environment variables, its password file),
// then the built-in user, whose built-in password goes with it alone.
Login resolveLogin(const Dialect& dialect, const QSqlDatabase& database, const Login& configured,
                   const Login& builtIn);

// The password that a PostgreSQL password file (host:port:database:user:password a line, "*"
// for any, "\" escaping ":" and "\") holds for a connection; none where no line matches.
// Empty host is "localhost", port -1 is 5432, an empty database is the user's name.
std::optional<QString> pgpassPassword(const QString& file, QString host, int port, QString database,
                                      const QString& user);

} // namespace db
