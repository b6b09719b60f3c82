#pragma once

#include "Dialect.h"

#include <QSqlDatabase>
#include <QStringList>

namespace db {

// The statements of a schema script, one per entry, without comments.
QStringList schemaStatements(const Dialect& dialect);

// Creates every table and index of the tool on an empty database, all or nothing.
void createSchema(QSqlDatabase database, const Dialect& dialect);

} // namespace db
