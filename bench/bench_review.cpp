// Opens the review of a 100,000-line dry run (unless a count is given: bench_review 1000000)
// and prints how long each step takes: building the model from the line reports, looking the
// descriptions up, and showing the window until its first paint.
#include "conversion/ProductDescriptions.h"
#include "db/Regional.h"
#include "db/Schema.h"
#include "ui/ReviewWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QTextStream>

namespace {
int Lines = 100'000;
// A count reads a product a few times over: 20,000 products, one line in twenty refused.
constexpr int Products = 20'000;

QString codProd(int i) {
    return QStringLiteral("P%1").arg(i, 6, 10, QLatin1Char('0'));
}

std::vector<conversion::LineReport> lineReports() {
    std::vector<conversion::LineReport> lines;
    lines.reserve(static_cast<std::size_t>(Lines));
    for (int n = 0; n < Lines; ++n) {
        conversion::LineReport line;
        line.number = n + 1;
        const int i = (n * 7919) % Products;
        line.itemCode = QStringLiteral("789%1").arg(i, 9, 10, QLatin1Char('0'));
        line.quantityText = QStringLiteral("1,5");
        if (n % 20 == 0) {
            line.outcome = conversion::LineOutcome::NotFound;
        } else {
            line.outcome = conversion::LineOutcome::Posted;
            line.foundBy = conversion::FoundBy::Barcode;
            line.CodProd = codProd(i);
            line.CodGrade = QStringLiteral("0000");
            line.quantity = 1.5;
            line.stockOnRecord = i % 50;
            line.countBefore = 0.0;
            line.countAfter = 1.5;
        }
        lines.push_back(std::move(line));
    }
    return lines;
}
} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc > 1 && QByteArray(argv[1]).toInt() >= 10)
        Lines = QByteArray(argv[1]).toInt();
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
        database.transaction();
        QSqlQuery produto(database);
        produto.prepare(QStringLiteral("Insert Into Produto (CodProd, Descricao) Values (?, ?)"));
        for (int i = 0; i < Products; ++i) {
            produto.addBindValue(codProd(i));
            produto.addBindValue(QStringLiteral("Produto número %1").arg(i));
            if (!produto.exec())
                qFatal("%s", qPrintable(produto.lastError().text()));
        }
        database.commit();
        const std::vector<conversion::LineReport> lines = lineReports();

        // The form is on screen when a review opens: fonts and style are loaded already.
        {
            QTableView warmUp;
            warmUp.show();
            QCoreApplication::processEvents();
        }

        QElapsedTimer total;
        total.start();
        QElapsedTimer step;
        step.start();
        auto* model = new ui::ReviewModel(ui::ReviewModel::Mode::Inventory, lines);
        out << "model of " << Lines << " lines, " << model->rowCount()
            << " rows: " << step.elapsed() << " ms\n";
        step.restart();
        model->setDescriptions(
            conversion::productDescriptions(database, dialect, model->productCodes()));
        out << "descriptions: " << step.elapsed() << " ms\n";
        step.restart();
        ui::ReviewWindow window(model, QString());
        window.show();
        window.table()->viewport()->repaint();
        QCoreApplication::processEvents();
        out << "window shown: " << step.elapsed() << " ms\n";
        out << "review open after the dry run: " << total.elapsed() << " ms\n";
        step.restart();
        window.table()->sortByColumn(5, Qt::DescendingOrder);
        out << "sort by quantity: " << step.elapsed() << " ms\n";
        step.restart();
        window.filter()->setShow(ui::ReviewFilter::Show::Refused);
        out << "refused only: " << step.elapsed() << " ms\n";
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return 0;
}
