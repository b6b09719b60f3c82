#include "ProductDescriptions.h"

#include "db/Names.h"

#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>

namespace conversion {

namespace {
// Codes asked for per statement: a long count asks a few dozen times, not once per product,
// and no engine's limit on an In list is reached.
constexpr qsizetype CodesPerStatement = 500;
} // namespace

QHash<QString, QString> productDescriptions(const QSqlDatabase& database,
                                            const db::Dialect& dialect,
                                            const QStringList& codProds) {
    QHash<QString, QString> descriptions;
    const QString column = QString::fromLatin1(db::column::Descricao);
    if (codProds.isEmpty())
        return descriptions;
    const QString select = QStringLiteral("Select %1, %2 From %3 Where %1 In (")
                               .arg(QString::fromLatin1(db::column::CodProd), column,
                                    QString::fromLatin1(db::table::Produto));
    // Not a db::Statement: its In list is made to the number of codes, and it reads many rows.
    QSqlQuery query(database);
    query.setForwardOnly(true);
    for (qsizetype first = 0; first < codProds.size(); first += CodesPerStatement) {
        const QStringList codes = codProds.mid(first, CodesPerStatement);
        QString text = select;
        for (qsizetype i = 0; i < codes.size(); ++i)
            text += i == 0 ? QStringLiteral("?") : QStringLiteral(", ?");
        text += QLatin1Char(')');
        // Refused (a Produto without the column, or the server says no): what was read so far
        // is still right, and the rest stays blank. The statement itself tells whether the
        // column is there; the drivers' catalogue look-ups spell table names each their own way.
        if (!query.prepare(dialect.statement(text)))
            break;
        for (const QString& code : codes)
            query.addBindValue(code);
        if (!query.exec())
            break;
        const QSqlRecord row = query.record();
        while (query.next()) {
            descriptions.insert(dialect.text(query.value(0), row.field(0).typeID()),
                                dialect.text(query.value(1), row.field(1).typeID()));
        }
        query.finish();
    }
    return descriptions;
}

} // namespace conversion
