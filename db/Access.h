#pragma once

#include <QList>
#include <QString>

namespace db {

class Dialect;

// What the tool does with each table of the company database, and what a user may do there: an
// administrator's check after installing, made without writing anything.
namespace access {

enum Privilege : int { Read = 1, Insert = 2, Update = 4, Delete = 8 };

struct TableNeed {
    const char* table;
    // What every run needs.
    int needed;
    // What only undoing a run needs.
    int forUndo;
    // One of the journal's tables, which a database may lack.
    bool journal;
};

// What a user may do with a table. A table that is there but whose rights could not be read
// (held by another workstation's run, say) says why in unknown.
struct TableAccess {
    bool exists = false;
    int granted = 0;
    QString unknown;
};

// Every table the tool reads or writes on this engine, in the order the tool meets them.
QList<TableNeed> tableNeeds(const Dialect& dialect);
// "Select, Insert, Update", in that order.
QString privilegeNames(int privileges);

} // namespace access
} // namespace db
