#pragma once

#include "Dialect.h"

#include <QByteArray>
#include <QDate>
#include <QSqlDatabase>

// Realistic demo content: companies, causes, a few hundred products with EAN-13 barcodes,
// references and old references, stock, one processed count row and some movements.
namespace db::demo {

// Check digit of the first twelve digits of an EAN-13 barcode.
int ean13CheckDigit(const QString& twelveDigits);

// Fills a database that has the tool's tables and nothing else. The processed count row is dated
// inventoryDate, so a conversion on that date shows the processed outcome.
void fill(QSqlDatabase database, const Dialect& dialect, const QDate& inventoryDate);

// A collector file (Windows-1252, CR LF) whose lines show every outcome on the demo data.
QByteArray collectorFile();

} // namespace db::demo
