#pragma once

#include "db/Dialect.h"
#include "db/StatementWatchdog.h"

#include <QByteArray>
#include <QDate>
#include <QLocale>
#include <QSqlDatabase>
#include <QString>
#include <vector>

// Closing a count: the products a company has stock of that the inventory of a date holds no
// count row for. Processing the inventory would leave their stock as it is, though nobody found
// them; once every file is in, they can be set to a count of 0 on purpose.
namespace conversion {

struct UncountedProduct {
    QString CodProd;
    QString CodGrade;
    // Produto.Descricao where the database has it; empty otherwise.
    QString description;
    // CompProd.Estoque and CompProd.PrecoCusto; a null cost is 0, as a conversion writes it.
    double stock = 0.0;
    double cost = 0.0;

    // What the stock on record is worth.
    double value() const { return stock * cost; }
};

struct UncountedList {
    // By CodProd and CodGrade.
    std::vector<UncountedProduct> products;

    int count() const { return static_cast<int>(products.size()); }
    double stock() const;
    double value() const;
};

// The products of the company whose Estoque is neither zero nor null and that have no Inventa
// row, processed or not, for the company, the date and its inventory document.
UncountedList uncountedProducts(const QSqlDatabase& database, const db::Dialect& dialect,
                                const QString& companyCode, const QDate& date,
                                db::StatementWatchdog* watchdog = nullptr);

// Writes each product's count row as a conversion writes one (Processado 'N', the stamp, the
// user): Quantidade 0, QuantKardex its stock, PrecoCusto its cost, the cause given. Called in a
// transaction that holds the company's turn, with the list read under it.
void zeroCounts(const QSqlDatabase& database, const db::Dialect& dialect,
                const QString& companyCode, const QString& causeCode, const QDate& date,
                const UncountedList& list, db::StatementWatchdog* watchdog = nullptr);

// A money value in the workstation's notation, with its two decimals and thousands separators.
QString moneyText(double value);
QString moneyText(double value, const QLocale& locale);
// A cost price the same way, with more decimals where it has them (0,125 stays 0,125).
QString priceText(double value);
QString priceText(double value, const QLocale& locale);
// The question before zeroing: how many products, how much stock and what it is worth.
QString zeroQuestion(const UncountedList& list, const QString& companyCode, const QDate& date,
                     const QString& causeCode);

// The list as a CSV file, as the run report is written (UTF-8, points for decimals).
QByteArray uncountedCsv(const UncountedList& list);

} // namespace conversion
