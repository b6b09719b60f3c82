#include "ProductDescriptions.h"

#include "db/Errors.h"
#include "db/Names.h"
#include "db/Query.h"

#include <QSqlRecord>

namespace conversion {

QHash<QString, QString> productDescriptions(const QSqlDatabase& database,
                                            const db::Dialect& dialect,
                                            const QStringList& codProds) {
    QHash<QString, QString> descriptions;
    const QString column = QString::fromLatin1(db::column::Descricao);
    if (codProds.isEmpty() ||
        database.record(QString::fromLatin1(db::table::Produto)).indexOf(column) < 0)
        return descriptions;
    db::Query query(database, dialect);
    try {
        query.setText(QStringLiteral("Select %1 From %2 Where %3 = %4")
                          .arg(column, QString::fromLatin1(db::table::Produto),
                               QString::fromLatin1(db::column::CodProd),
                               QString::fromLatin1(db::param::CodProd)));
        for (const QString& codProd : codProds) {
            query.close();
            query.bindText(QString::fromLatin1(db::param::CodProd), codProd);
            query.open();
            if (!query.isEmpty())
                descriptions.insert(codProd, query.text(column));
        }
        query.close();
    } catch (const db::Error&) {
        // What was read so far is still right; the rest stays blank.
    }
    return descriptions;
}

} // namespace conversion
