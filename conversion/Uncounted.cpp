#include "Uncounted.h"

#include "ProductDescriptions.h"
#include "RunReport.h"
#include "db/Names.h"
#include "db/Regional.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <QLocale>
#include <cmath>

namespace conversion {

double UncountedList::stock() const {
    double total = 0.0;
    for (const UncountedProduct& product : products)
        total += product.stock;
    return total;
}

double UncountedList::value() const {
    double total = 0.0;
    for (const UncountedProduct& product : products)
        total += product.value();
    return total;
}

UncountedList uncountedProducts(const QSqlDatabase& database, const db::Dialect& dialect,
                                const QString& companyCode, const QDate& date,
                                db::StatementWatchdog* watchdog) {
    UncountedList list;
    {
        const auto select =
            db::Statement::prepare(database, dialect, db::sql::UncountedProducts, watchdog);
        const db::BoundValue company(companyCode);
        const db::BoundValue day(dialect.date(date));
        const db::BoundValue document(db::texts::inventoryDocumentNumber(date));
        select->bind(select->position(db::param::CodEmpresa), company);
        select->bind(select->position(db::param::DataInv), day);
        select->bind(select->position(db::param::Documento), document);
        for (bool onRow = select->open(); onRow; onRow = select->next())
            list.products.push_back(
                {select->text(0), select->text(1), {}, select->number(2), select->number(3)});
        select->close();
    }
    QStringList codes;
    for (const UncountedProduct& product : list.products) {
        if (codes.isEmpty() || codes.constLast() != product.CodProd)
            codes << product.CodProd;
    }
    const QHash<QString, QString> descriptions = productDescriptions(database, dialect, codes);
    for (UncountedProduct& product : list.products)
        product.description = descriptions.value(product.CodProd);
    return list;
}

void zeroCounts(const QSqlDatabase& database, const db::Dialect& dialect,
                const QString& companyCode, const QString& causeCode, const QDate& date,
                const UncountedList& list, db::StatementWatchdog* watchdog) {
    if (list.products.empty())
        return;
    const auto insert =
        db::Statement::prepare(database, dialect, db::sql::InsertInventoryRow, watchdog);
    const db::BoundValue company(companyCode);
    const db::BoundValue cause(causeCode);
    const db::BoundValue day(dialect.date(date));
    const db::BoundValue document(db::texts::inventoryDocumentNumber(date));
    db::texts::StampTexts stamps(db::Regional::locale());
    const int stampAt = insert->position(db::param::DataHora);
    const int quantityAt = insert->position(db::param::Quantidade);
    const int kardexAt = insert->position(db::param::QuantKardex);
    const int costAt = insert->position(db::param::PrecoCusto);
    const int productAt = insert->position(db::param::CodProd);
    const int gradeAt = insert->position(db::param::CodGrade);
    insert->bind(insert->position(db::param::CodCausa), cause);
    insert->bind(insert->position(db::param::CodEmpresa), company);
    insert->bind(insert->position(db::param::DataInv), day);
    insert->bind(insert->position(db::param::Documento), document);
    for (const UncountedProduct& product : list.products) {
        const db::LocalMoment now = db::Clock::localNow();
        const db::BoundValue stamp(stamps.at(now.date, now.time));
        const db::BoundValue codProd(product.CodProd);
        const db::BoundValue codGrade(product.CodGrade);
        insert->bind(stampAt, stamp);
        insert->bindFloat(quantityAt, 0.0);
        insert->bindFloat(kardexAt, product.stock);
        insert->bindFloat(costAt, product.cost);
        insert->bind(productAt, codProd);
        insert->bind(gradeAt, codGrade);
        insert->execute();
    }
}

QString moneyText(double value) {
    return moneyText(value, db::Regional::locale());
}

QString moneyText(double value, const QLocale& locale) {
    return locale.toString(value, 'f', 2);
}

QString priceText(double value) {
    return priceText(value, db::Regional::locale());
}

QString priceText(double value, const QLocale& locale) {
    if (std::abs(std::round(value * 100.0) - value * 100.0) < 1e-6)
        return locale.toString(value, 'f', 2);
    return locale.toString(value, 'g', 12);
}

QString zeroQuestion(const UncountedList& list, const QString& companyCode, const QDate& date,
                     const QString& causeCode) {
    const QLocale locale = db::Regional::locale();
    return QStringLiteral("Zerar a contagem de %1 da empresa %2 no inventário de %3?\r"
                          "Cada um ganha uma contagem 0 (causa %4); o estoque deles, %5, vale "
                          "%6.")
        .arg(list.count() == 1 ? QStringLiteral("1 produto não contado")
                               : QStringLiteral("%1 produtos não contados").arg(list.count()),
             companyCode, db::texts::formatDate(date), causeCode,
             locale.toString(list.stock(), 'g', 12), moneyText(list.value()));
}

namespace {
void appendNumber(QByteArray& out, double value) {
    out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}
} // namespace

QByteArray uncountedCsv(const UncountedList& list) {
    QByteArray out("CodProd,CodGrade,descricao,estoque,custo,valor\r\n");
    for (const UncountedProduct& product : list.products) {
        appendCsvField(out, product.CodProd);
        out += ',';
        appendCsvField(out, product.CodGrade);
        out += ',';
        appendCsvField(out, product.description);
        out += ',';
        appendNumber(out, product.stock);
        out += ',';
        appendNumber(out, product.cost);
        out += ',';
        appendNumber(out, roundedMoney(product.value()));
        out += "\r\n";
    }
    return out;
}

} // namespace conversion
