#pragma once

#include "db/Dialect.h"

#include <QHash>
#include <QSqlDatabase>
#include <QStringList>

namespace conversion {

// Produto.Descricao of each CodProd given, for showing beside the codes. A database whose Produto
// has no such column, or that refuses the search, gives no descriptions: they are shown, never
// posted, so their absence stops nothing.
QHash<QString, QString> productDescriptions(const QSqlDatabase& database,
                                            const db::Dialect& dialect,
                                            const QStringList& codProds);

} // namespace conversion
