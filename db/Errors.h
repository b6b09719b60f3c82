#pragma once

#include <QString>
#include <stdexcept>

namespace db {

// The general error class: every failure the tool reports carries one readable message. The
// database's own kinds follow; what fails outside it is conversion::Error.
class Error : public std::runtime_error {
public:
    // detail: the server's own text, where the message says in the tool's words what happened;
    // it goes only where a clerk asks for it (a box's details, the batch's JSON).
    explicit Error(const QString& message, const QString& detail = QString())
        : std::runtime_error(message.toStdString())
        , m_message(message)
        , m_detail(detail) {}
    const QString& message() const { return m_message; }
    const QString& detail() const { return m_detail; }

private:
    QString m_message;
    QString m_detail;
};

// A statement, transaction or connection that the database refused; carries the driver's text.
class DatabaseError : public Error {
public:
    using Error::Error;
};

// The commit itself failed (the connection dropped, say): the server may or may not have kept the
// run's rows, so nobody may say that nothing was posted.
class CommitUnconfirmed : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// Another transaction kept the rows a run needs past the lock wait limit, changed or created
// them while the run waited, or the server gave no answer within that limit: the run is undone,
// so nothing of it was posted.
class LockTimeout : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// The connection to the server broke before the run's end: nothing of it was committed.
class ConnectionLost : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// A statement refused because the connection's user lacks the privilege on its table.
class PermissionDenied : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// A row refused because one with its key is there already.
class DuplicateKey : public DatabaseError {
public:
    using DatabaseError::DatabaseError;
};

// The one way an error becomes a text for a box or a line on standard error: ours carry their
// message; any other is read as UTF-8, as ours write what() and the standard library's is ASCII.
// The detail, the server's own text, is ours alone.
inline QString detailOf(const std::exception& error) {
    const auto* known = dynamic_cast<const Error*>(&error);
    return known ? known->detail() : QString();
}
inline QString messageOf(const std::exception& error) {
    if (const auto* known = dynamic_cast<const Error*>(&error))
        return known->message();
    return QString::fromUtf8(error.what());
}

} // namespace db
