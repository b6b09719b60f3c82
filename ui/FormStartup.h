#pragma once

#include <QList>

class QObject;
namespace db {
class Connection;
class LookupQuery;
} // namespace db

namespace ui {

// What the program does for the form while the form is created. Where the database is, and how
// it is reached, is the program's to know; the form keeps what a clerk sees of it (the warning,
// the page, the focus).
class FormStartup {
public:
    virtual ~FormStartup() = default;
    // The tool's one connection, closed, owned by owner.
    virtual db::Connection* newConnection(QObject* owner) const = 0;
    // Opens the connection, then the look-ups in the order given; raises db::Error at the first
    // step that fails, leaving the rest undone.
    virtual void open(db::Connection& connection, const QList<db::LookupQuery*>& lookups) const = 0;
};

} // namespace ui
