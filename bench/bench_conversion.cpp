// Converts a 10,000-line collector file against a catalogue of products (100,000 unless a
// count is given: bench_conversion 1000000), in both modes, and prints the time per line.
#include "conversion/ConversionEngine.h"
#include "conversion/RejectionList.h"
#include "db/Regional.h"
#include "db/Schema.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
int Products = 100'000;
constexpr int Lines = 10'000;

void check(bool ok, const QSqlQuery& query) {
    if (!ok)
        qFatal("%s", qPrintable(query.lastError().text()));
}

void fillCatalogue(QSqlDatabase database) {
    database.transaction();
    QSqlQuery produto(database);
    check(produto.prepare(QStringLiteral("Insert Into Produto Values (?, 'Produto', ?, ?, ?)")),
          produto);
    QSqlQuery grade(database);
    check(grade.prepare(QStringLiteral("Insert Into ProdGrade Values (?, ?, ?)")), grade);
    QSqlQuery comp(database);
    check(comp.prepare(QStringLiteral("Insert Into CompProd Values ('01', ?, ?, ?, ?)")), comp);
    QSqlQuery old(database);
    check(old.prepare(QStringLiteral("Insert Into Relacionarefant Values (?, ?)")), old);
    for (int i = 0; i < Products; ++i) {
        const QString code = QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0'));
        produto.addBindValue(code);
        produto.addBindValue(i % 2 == 0 ? 1 : 3);
        produto.addBindValue(QStringLiteral("REF%1").arg(i));
        produto.addBindValue(QStringLiteral("Fab%1").arg(i));
        check(produto.exec(), produto);
        grade.addBindValue(code);
        grade.addBindValue(QStringLiteral("0001"));
        grade.addBindValue(QStringLiteral("789%1").arg(i, 9, 10, QLatin1Char('0')));
        check(grade.exec(), grade);
        for (const char* gradeCode : {"0001", "0000"}) {
            comp.addBindValue(code);
            comp.addBindValue(QString::fromLatin1(gradeCode));
            comp.addBindValue(i % 50);
            comp.addBindValue(i / 100.0);
            check(comp.exec(), comp);
        }
        if (i % 10 == 0) {
            old.addBindValue(QStringLiteral("REF%1").arg(i));
            old.addBindValue(QStringLiteral("ANT%1").arg(i));
            check(old.exec(), old);
        }
    }
    database.commit();
}

// Barcodes, references, manufacturer's and old references, and unknown codes; `distinct`
// gives every line a product of its own.
QStringList collectorLines(bool distinct) {
    QStringList lines;
    for (int n = 0; n < Lines; ++n) {
        const int i = (distinct ? n * 10 : (n * 7919) % 2000 * 10) % Products;
        QString code;
        switch (n % 20) {
        case 0:
            code = QStringLiteral("DESCONHECIDO%1").arg(n);
            break;
        case 1:
        case 2:
            code = QStringLiteral("ant%1").arg(i);
            break;
        case 3:
        case 4:
            code = QStringLiteral("fab%1").arg(i);
            break;
        case 5:
        case 6:
        case 7:
        case 8:
            code = QStringLiteral("ref%1").arg(i + 1);
            break;
        default:
            code = QStringLiteral("789%1").arg(i + 2, 9, 10, QLatin1Char('0'));
        }
        lines << code + QStringLiteral(",1,5");
    }
    return lines;
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]).toInt() >= 10)
        Products = QByteArray(argv[1]).toInt();
    db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const db::Dialect& dialect = *db::Dialect::forDriver(QStringLiteral("QSQLITE"));
    QTemporaryDir dir;
    QTextStream out(stdout);
    {
        QSqlDatabase database = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        database.setDatabaseName(dir.filePath(QStringLiteral("bench.db")));
        if (!database.open())
            qFatal("%s", qPrintable(database.lastError().text()));
        db::createSchema(database, dialect);
        QElapsedTimer timer;
        timer.start();
        fillCatalogue(database);
        out << "catalogue of " << Products << " products: " << timer.elapsed() << " ms\n";

        bool flag = false;
        RejectionList inventoryList(flag);
        RejectionList openingList(flag);
        const conversion::EntryValues entries{QStringLiteral("01"), QStringLiteral("001"),
                                              QStringLiteral("06/12/2026")};
        for (const bool inventory : {true, false}) {
            conversion::ConversionEngine engine(database, dialect, entries,
                                                {inventoryList, openingList, flag});
            const QStringList lines = collectorLines(!inventory);
            timer.restart();
            if (inventory)
                engine.ConvertInventory(lines);
            else
                engine.ConvertOpeningStock(lines);
            const qint64 elapsed = timer.nsecsElapsed();
            out << (inventory ? "inventory:     " : "opening stock: ") << lines.size()
                << " lines in " << elapsed / 1'000'000 << " ms, "
                << QString::number(elapsed / 1000.0 / lines.size(), 'f', 1) << " us per line\n";
        }
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return 0;
}
