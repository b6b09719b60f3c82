#pragma once

#include "Dialect.h"

#include <QSqlDatabase>
#include <QStringList>

namespace db {

// The statements of a schema script, one per entry, without comments.
QStringList schemaStatements(const Dialect& dialect);

// Runs a script's statements (tables, indexes) in one transaction, all or nothing.
void runScript(QSqlDatabase database, const Dialect& dialect, const QStringList& statements);

// Creates every table and index of the tool on an empty database, all or nothing.
void createSchema(QSqlDatabase database, const Dialect& dialect);

} // namespace db
