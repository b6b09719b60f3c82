// The review before posting, driven from the keyboard on the demo folder: Gravar posts what a
// direct run posts, Descartar posts nothing, and the review's filters and export.
#include "Clerk.h"
#include "DemoDay.h"
#include "app/Startup.h"
#include "conversion/RejectionList.h"
#include "db/DemoData.h"
#include "db/Regional.h"
#include "db/Schema.h"
#include "tests/TestMain.h"
#include "ui/Dialogs.h"
#include "ui/MaskEdit.h"
#include "ui/ReviewWindow.h"
#include "ui/TFConversao.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <memory>
#include <tuple>

namespace {
const QString Success = QStringLiteral("Processo de conversão concluído com sucesso!");

using demoday::makeDemoFolder;

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

// Every row the tool writes, table by table.
QStringList writtenRows(const QString& databasePath) {
    QStringList rows;
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        database.setDatabaseName(databasePath);
        if (!database.open())
            qFatal("%s", qPrintable(database.lastError().text()));
        for (const char* table : {"Inventa", "INCIEST", "MVGERAL"}) {
            QSqlQuery query(database);
            if (!query.exec(QStringLiteral("Select * From %1 Order By 1, 2, 3, 4")
                                .arg(QString::fromLatin1(table))))
                qFatal("%s", qPrintable(query.lastError().text()));
            while (query.next()) {
                QStringList fields{QString::fromLatin1(table)};
                for (int i = 0; i < query.record().count(); ++i)
                    fields << query.value(i).toString();
                rows << fields.join(QLatin1Char('|'));
            }
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("check"));
    return rows;
}

using demoday::listed;

// What the clerk saw and what the database holds after one way of converting the demo file.
struct Outcome {
    QStringList shown;
    QString details;
    QStringList lists;
    QStringList rows;
};

// The form on a demo folder, with the entries typed as a clerk types them.
class DemoForm {
public:
    explicit DemoForm(int tab, const QString& sql = QString()) {
        makeDemoFolder(m_folder);
        if (!sql.isEmpty())
            execute(sql);
        QDir::setCurrent(m_folder.path());
        ui::Dialogs::clearShown();
        m_form = std::make_unique<ui::TFConversao>(app::Startup{});
        m_form->show();
        if (!QTest::qWaitForWindowActive(m_form.get()))
            qFatal("the form did not become active");
        if (tab != 0)
            m_form->PcDados->setCurrentIndex(tab);
        m_form->edtCaminho->setFocus();
        clerk::type(path(QStringLiteral("coletor.txt")));
        while (clerk::focusName() != QLatin1String("DtInventa"))
            clerk::press(QStringLiteral("Tab"));
        clerk::type(QStringLiteral("5"));
        clerk::press(QStringLiteral("Enter"));
        clerk::type(QStringLiteral("1"));
        clerk::press(QStringLiteral("Enter Enter"));
        if (tab == 0) {
            clerk::type(QStringLiteral("1"));
            clerk::press(QStringLiteral("Enter"));
        }
    }
    ~DemoForm() { QDir::setCurrent(QDir::tempPath()); }

    ui::TFConversao& form() { return *m_form; }
    void execute(const QString& sql) {
        {
            QSqlDatabase database =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("setup"));
            database.setDatabaseName(path(QStringLiteral("telvaro.db")));
            QSqlQuery query(database);
            if (!database.open() || !query.exec(sql))
                qFatal("%s", qPrintable(query.lastError().text()));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("setup"));
    }
    QString path(const QString& name) const { return m_folder.filePath(name); }

    // Alt+S, and the review it opens; a button's shortcut presses it as a click would, a
    // moment later.
    ui::ReviewWindow* simulate() {
        QTest::keyClick(clerk::keyTarget(), Qt::Key_S, Qt::AltModifier);
        ui::ReviewWindow* review = nullptr;
        if (!QTest::qWaitFor([&] {
                review = m_form->findChild<ui::ReviewWindow*>();
                return review && QApplication::activeWindow() == review;
            }))
            return nullptr;
        return review;
    }

    Outcome finish() {
        Outcome outcome{clerk::shownTexts(), QString(), {}, {}};
        if (!ui::Dialogs::shown().isEmpty())
            outcome.details = ui::Dialogs::shown().constLast().detailedText;
        outcome.lists =
            listed(*m_form->inventoryRejections()) + listed(*m_form->openingRejections());
        m_form.reset();
        outcome.rows = writtenRows(path(QStringLiteral("telvaro.db")));
        return outcome;
    }

private:
    QTemporaryDir m_folder;
    std::unique_ptr<ui::TFConversao> m_form;
};

QStringList column(const QAbstractItemModel& model, int section) {
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values << model.index(row, section).data().toString();
    return values;
}
} // namespace

class TestReview : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { demoday::prepare(); }

    // The success box of a direct run keeps its text and gives the run's figures as details.
    // Gravar must post what "Efetuar Conversão" posts, from the lines and entries reviewed
    // even when the file and the fields change while the review is open; Descartar must leave
    // the database file as it was.
    void postOrDiscard_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("post");
        // The success box's details, but for the seconds.
        QTest::addColumn<QString>("figures");
        // The inventory list names a code not found once, however often it is read.
        const QString inventory = QStringLiteral("Linhas: 15\nLeituras: 13\nGravadas: 9\n"
                                                 "Rejeitadas: 4 leituras (3 códigos)\n"
                                                 "  1 Produto já processado.\n"
                                                 "  3 Referência não encontrada.\n");
        const QString opening = QStringLiteral("Linhas: 15\nLeituras: 13\nGravadas: 7\n"
                                               "Rejeitadas: 6\n"
                                               "  2 Existe movimentos com este produto.\n"
                                               "  1 Produto já processado.\n"
                                               "  3 Referência não encontrada.\n");
        // Where Gravar posts, after the file's path, and each row's lines in the file.
        QTest::addColumn<QString>("destination");
        QTest::addColumn<QStringList>("lines");
        const QString company =
            QStringLiteral("Empresa: 01 - Matriz - São Paulo   Data: 05/12/2026");
        const QString toInventory = QStringLiteral("Aba: Inventário   ") + company +
                                    QStringLiteral("   Causa: 001 - Inventário anual");
        const QString toOpening = QStringLiteral("Aba: Início de Estoque   ") + company;
        const QStringList inventoryLines = {"1, 8", "2", "3", "4", "11", "12", "13",
                                            "15",   "5", "6", "7", "9",  "14"};
        const QStringList openingLines = {"1", "2", "3", "4", "11", "13", "15",
                                          "5", "6", "7", "8", "9",  "12", "14"};
        QTest::newRow("inventory, Gravar")
            << 0 << true << inventory << toInventory << inventoryLines;
        QTest::newRow("inventory, Descartar")
            << 0 << false << inventory << toInventory << inventoryLines;
        QTest::newRow("opening stock, Gravar") << 1 << true << opening << toOpening << openingLines;
        QTest::newRow("opening stock, Descartar")
            << 1 << false << opening << toOpening << openingLines;
    }
    void postOrDiscard() {
        QFETCH(int, tab);
        QFETCH(bool, post);
        QFETCH(QString, figures);
        QFETCH(QString, destination);
        QFETCH(QStringList, lines);

        Outcome direct;
        {
            DemoForm demo(tab);
            QCOMPARE(clerk::focusName(), QStringLiteral("btOK"));
            clerk::press(QStringLiteral("Enter"));
            direct = demo.finish();
        }
        QCOMPARE(direct.shown,
                 QStringList{QStringLiteral("Informação|Processo de conversão concluído: %1 de 13 "
                                            "leituras gravadas; %2 rejeitadas, veja a lista.")
                                 .arg(tab == 0 ? 9 : 7)
                                 .arg(tab == 0 ? 4 : 6)});
        QVERIFY(!direct.rows.isEmpty());
        QCOMPARE(direct.details.section(QStringLiteral("Segundos: "), 0, 0), figures);

        DemoForm demo(tab);
        const QByteArray before = fileBytes(demo.path(QStringLiteral("telvaro.db")));
        ui::ReviewWindow* review = demo.simulate();
        QVERIFY(review);
        QVERIFY(ui::Dialogs::shown().isEmpty());
        QVERIFY(demo.form().inventoryRejections()->isEmpty());
        QVERIFY(demo.form().openingRejections()->isEmpty());
        QCOMPARE(fileBytes(demo.path(QStringLiteral("telvaro.db"))), before);
        QCOMPARE(review->findChild<QLabel*>(QStringLiteral("Destino"))->text(),
                 QStringLiteral("Arquivo: ") + demo.path(QStringLiteral("coletor.txt")) +
                     QLatin1Char('\n') + destination);
        QCOMPARE(column(*review->table()->model(), 0), lines);
        // Neither the file nor the fields are read again.
        QFile file(demo.path(QStringLiteral("coletor.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("OUTRO,1\r\n");
        file.close();
        demo.form().CodEmpresa->setText(QStringLiteral("02"));

        // Enter in the table presses no button, not even one that only copies.
        QApplication::clipboard()->setText(QStringLiteral("antes"));
        QTest::keyClick(review->table(), Qt::Key_Return);
        QTest::qWait(150);
        QVERIFY(review->isVisible());
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("antes"));
        QTest::keyClick(review, post ? Qt::Key_G : Qt::Key_D, Qt::AltModifier);
        QTRY_VERIFY(!demo.form().findChild<ui::ReviewWindow*>());
        if (post)
            QTRY_COMPARE(ui::Dialogs::shown().size(), 1);
        const Outcome reviewed = demo.finish();
        if (post) {
            QCOMPARE(reviewed.shown, direct.shown);
            QCOMPARE(reviewed.lists, direct.lists);
            QCOMPARE(reviewed.rows, direct.rows);
            // The figures, all but the seconds.
            QCOMPARE(reviewed.details.section(QStringLiteral("Segundos"), 0, 0),
                     direct.details.section(QStringLiteral("Segundos"), 0, 0));
        } else {
            QCOMPARE(reviewed.shown, QStringList());
            QCOMPARE(fileBytes(demo.path(QStringLiteral("telvaro.db"))), before);
        }
    }

    // Several files chosen at once: the review names each line's file, and Gravar posts them
    // as one run, with an entry for each file in the journal.
    void severalFiles() {
        DemoForm demo(0);
        const QString a = demo.path(QStringLiteral("a.txt"));
        const QString b = demo.path(QStringLiteral("b.txt"));
        for (const auto& [name, bytes] :
             {std::pair{a, "REF0002,5\r\nSEMCODIGO,1\r\n"}, std::pair{b, "REF0002,2\r\n"}}) {
            QFile file(name);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(bytes);
        }
        ui::Dialogs::setNextFileName(a + u'\n' + b);
        demo.form().btAbrir->click();
        QCOMPARE(demo.form().edtCaminho->text(), u'"' + a + QStringLiteral("\" \"") + b + u'"');
        ui::ReviewWindow* review = demo.simulate();
        QVERIFY(review);
        QVERIFY(
            review->findChild<QLabel*>(QStringLiteral("Destino"))
                ->text()
                .startsWith(QStringLiteral("Arquivos: ") + a + QStringLiteral(", ") + b + u'\n'));
        QCOMPARE(column(*review->table()->model(), 0),
                 (QStringList{"a.txt: 1; b.txt: 1", "a.txt: 2"}));
        QTest::keyClick(review, Qt::Key_G, Qt::AltModifier);
        QTRY_VERIFY(!demo.form().findChild<ui::ReviewWindow*>());
        QTRY_COMPARE(ui::Dialogs::shown().size(), 1);
        QCOMPARE(ui::Dialogs::shown().constFirst().text,
                 QStringLiteral("Processo de conversão concluído: 2 de 3 leituras gravadas; 1 "
                                "rejeitada, veja a lista."));
        demo.finish();
        QStringList entries;
        {
            QSqlDatabase database =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
            database.setDatabaseName(demo.path(QStringLiteral("telvaro.db")));
            QSqlQuery query(database);
            QVERIFY(database.open() &&
                    query.exec(QStringLiteral("Select Arquivo, Gravadas, Rejeitadas, IdLote = "
                                              "(Select Min(IdConv) From ConvColetorIt) From "
                                              "ConvColetor Order By Arquivo")));
            while (query.next())
                entries << QStringLiteral("%1 %2 %3 %4")
                               .arg(query.value(0).toString(), query.value(1).toString(),
                                    query.value(2).toString(), query.value(3).toString());
        }
        QSqlDatabase::removeDatabase(QStringLiteral("check"));
        QCOMPARE(entries, (QStringList{"a.txt 1 1 1", "b.txt 1 0 1"}));
    }

    // "Mostrar detalhes..." of the success box shows every figure, the last line included.
    void successDetailsShowEveryLine() {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Informação"), Success,
                        QMessageBox::Ok);
        box.setDetailedText(
            QStringLiteral("Linhas: 15\nLeituras: 13\nGravadas: 7\nRejeitadas: 6\n"
                           "  2 Existe movimentos com este produto.\n  1 Produto já processado.\n"
                           "  3 Referência não encontrada.\nSegundos: 0,004"));
        ui::Dialogs::fitDetailedText(box);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        for (QAbstractButton* button : box.buttons()) {
            if (box.buttonRole(button) == QMessageBox::ActionRole)
                button->click();
        }
        auto* details = box.findChild<QTextEdit*>();
        QVERIFY(details);
        QTRY_VERIFY(details->isVisible());
        QCOMPARE(details->verticalScrollBar()->maximum(), 0);
    }

    // Numbers in one notation, the grid's as the totals under it: the workstation's decimal
    // separator and no group separator.
    void numbersInOneNotation_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QStringList>("quantities");
        QTest::newRow("Brazilian Portuguese")
            << QLocale(QLocale::Portuguese, QLocale::Brazil) << QStringList{"1200000", "1234,5"};
        QTest::newRow("decimal point")
            << QLocale(QLocale::English, QLocale::UnitedStates) << QStringList{"1200000", "1234.5"};
    }
    void numbersInOneNotation() {
        QFETCH(QLocale, locale);
        QFETCH(QStringList, quantities);
        db::Regional::setLocale(locale);
        std::vector<conversion::LineReport> lines;
        for (int number = 1; number <= 1201; ++number) {
            conversion::LineReport& line = lines.emplace_back();
            line.number = number;
            line.outcome = conversion::LineOutcome::Posted;
            line.CodProd = number <= 1200 ? QStringLiteral("P1") : QStringLiteral("P2");
            line.quantity = number <= 1200 ? 1000 : 1234.5;
            line.countAfter = line.quantity;
        }
        const ui::ReviewWindow window(new ui::ReviewModel(ui::ReviewModel::Mode::Inventory, lines),
                                      QString());
        const QStringList shown = column(*window.table()->model(), 6);
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QCOMPARE(shown, quantities);
        QVERIFY2(window.findChild<QLabel*>(QStringLiteral("Totais"))
                     ->text()
                     .startsWith(QStringLiteral("Linhas: 1201   Leituras: 1201")),
                 qPrintable(window.findChild<QLabel*>(QStringLiteral("Totais"))->text()));
    }

    // On a screen 1280 pixels wide the outcome, the last column, is in view however long the
    // texts before it; a narrowed text is whole in its cell's tool tip.
    void outcomeInViewAt1280() {
        conversion::LineReport line;
        line.number = 1;
        line.outcome = conversion::LineOutcome::Posted;
        line.itemCode = QStringLiteral("7890000010009-CAIXA-COM-DOZE-UNIDADES-SORTIDAS");
        line.foundBy = conversion::FoundBy::ManufacturerReference;
        line.CodProd = QStringLiteral("000001");
        line.CodGrade = QStringLiteral("0000");
        line.quantity = 12;
        line.countAfter = 12;
        std::vector<conversion::LineReport> lines{line};
        for (const QString& code : {QStringLiteral("REF0001-AZUL-MARINHO-GG"),
                                    QStringLiteral("ANT-0001-AZUL-MARINHO-GG")}) {
            line.number += 2;
            line.itemCode = code;
            line.foundBy = conversion::FoundBy::OldReference;
            lines.push_back(line);
        }
        auto* model = new ui::ReviewModel(ui::ReviewModel::Mode::Inventory, lines);
        const QString description = QStringLiteral(
            "Camiseta manga longa de algodão penteado, estampa corrida, azul-marinho, "
            "tamanho GG, caixa com doze unidades sortidas em embalagem de presente");
        model->setDescriptions({{QStringLiteral("000001"), description}});
        ui::ReviewWindow window(model, QString());
        window.resize(1280 - 40, 480);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        const QTableView& table = *window.table();
        const int last = table.model()->columnCount() - 1;
        QCOMPARE(table.model()->headerData(last, Qt::Horizontal).toString(),
                 QStringLiteral("Situação"));
        QCOMPARE(table.horizontalScrollBar()->maximum(), 0);
        QVERIFY(table.horizontalHeader()->sectionSize(last) >=
                table.fontMetrics().horizontalAdvance(QStringLiteral("a gravar")));
        QCOMPARE(table.model()->index(0, 4).data(Qt::ToolTipRole).toString(), description);
    }

    // A product's lines: runs of three or more as "4 a 7"; a long list cut on screen only.
    void linesOfAProduct_data() {
        QTest::addColumn<QList<int>>("numbers");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("exported");
        QTest::newRow("single and pairs") << QList<int>{1, 3, 4} << "1, 3, 4"
                                          << "1, 3, 4";
        QTest::newRow("runs") << QList<int>{2, 3, 4, 5, 9, 11, 12, 13} << "2 a 5, 9, 11 a 13"
                              << "2 a 5, 9, 11 a 13";
        QList<int> every;
        for (int number = 1; number <= 40; number += 2)
            every << number;
        QTest::newRow("cut after eight") << every << "1, 3, 5, 7, 9, 11, 13, 15, \u2026"
                                         << "1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, "
                                            "29, 31, 33, 35, 37, 39";
    }
    void linesOfAProduct() {
        QFETCH(QList<int>, numbers);
        QFETCH(QString, shown);
        QFETCH(QString, exported);
        std::vector<conversion::LineReport> lines;
        for (const int number : numbers) {
            conversion::LineReport line;
            line.number = number;
            line.outcome = conversion::LineOutcome::Posted;
            line.itemCode = QStringLiteral("REF1");
            line.CodProd = QStringLiteral("P1");
            line.CodGrade = QStringLiteral("0000");
            lines.push_back(line);
        }
        const ui::ReviewModel model(ui::ReviewModel::Mode::Inventory, lines);
        QCOMPARE(model.rowCount(), 1);
        QCOMPARE(model.index(0, 0).data().toString(), shown);
        QCOMPARE(model.index(0, 0).data(ui::ReviewModel::ExportRole).toString(), exported);
        QCOMPARE(model.index(0, 0).data(ui::ReviewModel::SortRole).toInt(), numbers.first());
    }

    // A code that several products share: "Encontrado por" says how many, posted or refused.
    void sharedCodeShowsItsProducts() {
        std::vector<conversion::LineReport> lines;
        for (const auto& [outcome, foundBy, products] :
             {std::tuple{conversion::LineOutcome::Posted, conversion::FoundBy::Barcode, 3},
              std::tuple{conversion::LineOutcome::Posted, conversion::FoundBy::Reference, 1},
              std::tuple{conversion::LineOutcome::Processed, conversion::FoundBy::OldReference,
                         2}}) {
            conversion::LineReport line;
            line.number = static_cast<int>(lines.size()) + 1;
            line.outcome = outcome;
            line.itemCode = QStringLiteral("C%1").arg(line.number);
            line.CodProd = QStringLiteral("P%1").arg(line.number);
            line.CodGrade = QStringLiteral("0000");
            line.foundBy = foundBy;
            line.productsWithCode = products;
            lines.push_back(line);
        }
        const ui::ReviewModel model(ui::ReviewModel::Mode::Inventory, lines);
        QCOMPARE(column(model, int(ui::ReviewModel::Column::FoundBy)),
                 QStringList({"código de barras (3 produtos)", "referência",
                              "referência antiga (2 produtos)"}));
    }

    // A product row's count is the count after its last reading, as the engine adds them up;
    // "Só diferenças" compares that count with the stock on record, past the noise of adding
    // decimals. Each grade of a product is a product of its own.
    void countsOfAProduct_data() {
        // "CodGrade:quantity", in file order, all of product P1.
        QTest::addColumn<QStringList>("readings");
        // The count row's quantity before the first reading of each grade.
        QTest::addColumn<double>("opening");
        QTest::addColumn<double>("stock");
        QTest::addColumn<QStringList>("rows");        // CodGrade|Contagem final|Diferença
        QTest::addColumn<QStringList>("differences"); // CodGrade of the rows "Só diferenças" shows
        QTest::addColumn<QString>("totals");
        const QString oneProduct =
            QStringLiteral("Linhas: 2   Leituras: 2   Produtos: 1   Rejeitadas: 0");
        QTest::newRow("read twice, the last count is the stock")
            << QStringList{"0000:3", "0000:2"} << 10.0 << 15.0 << QStringList{"0000|15|0"}
            << QStringList() << oneProduct;
        QTest::newRow("read twice, the first count is the stock")
            << QStringList{"0000:3", "0000:2"} << 10.0 << 13.0 << QStringList{"0000|15|2"}
            << QStringList{"0000"} << oneProduct;
        QTest::newRow("0.1 + 0.2 against 0.3")
            << QStringList{"0000:0.1", "0000:0.2"} << 0.0 << 0.3 << QStringList{"0000|0,3|0"}
            << QStringList() << oneProduct;
        QTest::newRow("one CodProd in two grades")
            << QStringList{"0001:1", "0002:2"} << 0.0 << 1.0 << QStringList{"0001|1|0", "0002|2|1"}
            << QStringList{"0002"} << "Linhas: 2   Leituras: 2   Produtos: 2   Rejeitadas: 0";
    }
    void countsOfAProduct() {
        QFETCH(QStringList, readings);
        QFETCH(double, opening);
        QFETCH(double, stock);
        QFETCH(QStringList, rows);
        QFETCH(QStringList, differences);
        QFETCH(QString, totals);
        std::vector<conversion::LineReport> lines;
        QHash<QString, double> counts;
        for (const QString& reading : readings) {
            conversion::LineReport line;
            line.number = static_cast<int>(lines.size()) + 1;
            line.outcome = conversion::LineOutcome::Posted;
            line.itemCode = QStringLiteral("REF1");
            line.CodProd = QStringLiteral("P1");
            line.CodGrade = reading.section(QLatin1Char(':'), 0, 0);
            line.quantity = reading.section(QLatin1Char(':'), 1).toDouble();
            line.stockOnRecord = stock;
            line.countBefore = counts.value(line.CodGrade, opening);
            line.countAfter = *line.countBefore + line.quantity;
            counts.insert(line.CodGrade, *line.countAfter);
            lines.push_back(line);
        }
        ui::ReviewWindow window(new ui::ReviewModel(ui::ReviewModel::Mode::Inventory, lines),
                                QString());
        const QAbstractItemModel& shown = *window.table()->model();
        // The inventory shows every column, in their order.
        const auto cell = [&](int row, ui::ReviewModel::Column column) {
            return shown.index(row, int(column)).data().toString();
        };
        QStringList figures;
        for (int row = 0; row < shown.rowCount(); ++row)
            figures << cell(row, ui::ReviewModel::Column::CodGrade) + QLatin1Char('|') +
                           cell(row, ui::ReviewModel::Column::CountAfter) + QLatin1Char('|') +
                           cell(row, ui::ReviewModel::Column::Difference);
        QCOMPARE(figures, rows);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("Totais"))->text(), totals);
        auto* show = window.findChild<QComboBox*>(QStringLiteral("Mostrar"));
        show->setCurrentIndex(show->findText(QStringLiteral("Só diferenças")));
        QCOMPARE(column(shown, int(ui::ReviewModel::Column::CodGrade)), differences);
    }

    // Each view's rows and what they are worth: a difference times its cost (a null cost is 0,
    // a negative stock makes a gain), losses and gains apart; the products nobody counted, less
    // those the file counts, only under "Não contados", with what their stock is worth.
    void valuesAndUncounted_data() {
        QTest::addColumn<QString>("show");
        QTest::addColumn<QStringList>("rows"); // CodProd|Valor
        QTest::addColumn<QString>("worth");
        const QString differences =
            QStringLiteral("Perdas: -6 (valor -7,50)   Sobras: 3 (valor 15,00)   Líquido: -3 "
                           "(valor 7,50)");
        const QStringList posted = {"P1|-7,50", "P2|15,00", "P3|0,00"};
        QTest::newRow("all") << "Todas as linhas" << posted + QStringList{"|"} << differences;
        QTest::newRow("differences") << "Só diferenças" << posted << differences;
        // Money in the review's one notation, without thousands separators.
        QTest::newRow("not counted") << "Não contados" << QStringList{"U1|1500,00", "U2|-2,00"}
                                     << "Não contados: 2 produtos, estoque 999 (valor 1498,00)";
        QTest::newRow("refused") << "Só rejeitadas" << QStringList{"|"} << QString();
    }
    void valuesAndUncounted() {
        QFETCH(QString, show);
        QFETCH(QStringList, rows);
        QFETCH(QString, worth);
        // CodProd, stock, cost, count after.
        const std::tuple<const char*, double, double, double> products[] = {
            {"P1", 10, 2.5, 7}, {"P2", -2, 5, 1}, {"P3", 4, 0, 1}};
        std::vector<conversion::LineReport> lines;
        for (const auto& [product, stock, cost, count] : products) {
            conversion::LineReport& line = lines.emplace_back();
            line.number = static_cast<int>(lines.size());
            line.outcome = conversion::LineOutcome::Posted;
            line.CodProd = QLatin1String(product);
            line.CodGrade = QStringLiteral("0000");
            line.quantity = count;
            line.stockOnRecord = stock;
            line.cost = cost;
            line.countBefore = 0.0;
            line.countAfter = count;
        }
        conversion::LineReport& refused = lines.emplace_back();
        refused.number = 4;
        refused.outcome = conversion::LineOutcome::NotFound;
        refused.itemCode = QStringLiteral("NADA");
        auto* model = new ui::ReviewModel(ui::ReviewModel::Mode::Inventory, lines);
        conversion::UncountedList uncounted;
        uncounted.products = {{"P2", "0000", {}, -2, 5}, // counted by the file
                              {"U1", "0000", {}, 1000, 1.5},
                              {"U2", "0000", {}, -1, 2}};
        model->addUncounted(uncounted);
        QAbstractItemModelTester tester(model);
        ui::ReviewWindow window(model, QString());
        auto* box = window.findChild<QComboBox*>(QStringLiteral("Mostrar"));
        box->setCurrentIndex(box->findText(show));
        const QAbstractItemModel& shown = *window.table()->model();
        QStringList figures;
        for (int row = 0; row < shown.rowCount(); ++row)
            figures << shown.index(row, int(ui::ReviewModel::Column::CodProd)).data().toString() +
                           u'|' +
                           shown.index(row, int(ui::ReviewModel::Column::Value)).data().toString();
        QCOMPARE(figures, rows);
        QCOMPARE(window.findChild<QLabel*>(QStringLiteral("TotaisValor"))->text(), worth);
    }

    // The export as the workstation's spreadsheets read it: a byte-order mark, the numbers as
    // shown but without thousands separators, ";" between fields where the comma is decimal.
    void csvFollowsTheWorkstation_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QByteArray>("csv");
        QTest::newRow("Brazilian Portuguese")
            << QLocale(QLocale::Portuguese, QLocale::Brazil)
            << QByteArray("\xEF\xBB\xBFLinhas;C\xC3\xB3"
                          "digo lido;CodProd;CodGrade;"
                          "Descri\xC3\xA7\xC3\xA3o;Encontrado por;Qtd. lida;Contagem final;"
                          "Estoque;Diferen\xC3\xA7"
                          "a;Custo;Valor;Situa\xC3\xA7\xC3\xA3o\r\n"
                          "1;\"X;1\";P1;0000;;c\xC3\xB3"
                          "digo de barras;1234,5;1234,5;2;1232,5;1000,50;1233116,25;"
                          "a gravar\r\n");
        QTest::newRow("decimal point")
            << QLocale(QLocale::English, QLocale::UnitedStates)
            << QByteArray("\xEF\xBB\xBFLinhas,C\xC3\xB3"
                          "digo lido,CodProd,CodGrade,"
                          "Descri\xC3\xA7\xC3\xA3o,Encontrado por,Qtd. lida,Contagem final,"
                          "Estoque,Diferen\xC3\xA7"
                          "a,Custo,Valor,Situa\xC3\xA7\xC3\xA3o\r\n"
                          "1,X;1,P1,0000,,c\xC3\xB3"
                          "digo de barras,1234.5,1234.5,2,1232.5,1000.50,1233116.25,"
                          "a gravar\r\n");
    }
    void csvFollowsTheWorkstation() {
        QFETCH(QLocale, locale);
        QFETCH(QByteArray, csv);
        db::Regional::setLocale(locale);
        conversion::LineReport line;
        line.number = 1;
        line.outcome = conversion::LineOutcome::Posted;
        line.itemCode = QStringLiteral("X;1");
        line.foundBy = conversion::FoundBy::Barcode;
        line.CodProd = QStringLiteral("P1");
        line.CodGrade = QStringLiteral("0000");
        line.quantity = 1234.5;
        line.stockOnRecord = 2;
        line.cost = 1000.5;
        line.countBefore = 0.0;
        line.countAfter = 1234.5;
        const ui::ReviewWindow window(new ui::ReviewModel(ui::ReviewModel::Mode::Inventory, {line}),
                                      QString());
        const QByteArray written = window.shownCsv();
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        QCOMPARE(written, csv);
    }

    // Each filter and sort shows its rows (by the code read and the outcome); the export and
    // the copy take the rows shown, in the order shown.
    void filtersAndExport_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("show");
        QTest::addColumn<int>("sortColumn"); // descending; -1 keeps the model's order
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QStringList>("outcomes");
        QTest::addColumn<QByteArray>("csvRow"); // one row the export must hold
        const QString toPost = QStringLiteral("a gravar");
        const QString notFound = QStringLiteral("Referência não encontrada.");
        const QString processed = QStringLiteral("Produto já processado.");
        const QString movements = QStringLiteral("Existe movimentos com este produto.");
        const QStringList products = {"7890000010009", "REF0002",       "fb-5003",       "ANT-005",
                                      "7890000060004", "7890000110006", "7890000400022", "REF0025"};
        const QStringList refused = {"000000000000", "000000000000", "7890000040006", "REF0040"};
        const QStringList refusedOutcomes = {notFound, notFound, processed, notFound};
        // Every line that posts nothing, in file order: a passed-over line shows its own text.
        QStringList notPosted = refused;
        notPosted.insert(3, QStringLiteral("linha sem vírgula"));
        QStringList notPostedOutcomes = refusedOutcomes;
        notPostedOutcomes.insert(3, QStringLiteral("sem leitura"));
        QStringList toPostAll;
        for (qsizetype i = 0; i < products.size(); ++i)
            toPostAll << toPost;
        QTest::newRow("inventory, all")
            << 0 << "Todas as linhas" << -1 << products + notPosted << toPostAll + notPostedOutcomes
            << QByteArray("11;7890000060004;000006;0000;Bermuda de sarja azul;c\xC3\xB3"
                          "digo de barras;1,5;1,5;42;-40,5;17,50;-708,75;a gravar\r");
        QStringList differing = products;
        differing.removeOne(QStringLiteral("REF0002"));
        QTest::newRow("inventory, differences")
            << 0 << "Só diferenças" << -1 << differing << toPostAll.mid(1)
            << QByteArray("12;7890000110006;000011;0000;Mochila escolar azul;c\xC3\xB3"
                          "digo de barras;7;7;77;-70;23,75;-1662,50;a gravar\r");
        QTest::newRow("inventory, refused")
            << 0 << "Só rejeitadas" << -1 << refused << refusedOutcomes
            << QByteArray("7;7890000040006;000004;0000;Bon\xC3\xA9 aba curva azul;c\xC3\xB3"
                          "digo de barras;6;;;;;;Produto j\xC3\xA1 processado.\r");
        QTest::newRow("inventory, by quantity")
            << 0 << "Todas as linhas" << 6
            << QStringList{"7890000110006", "7890000010009", "REF0002", "fb-5003",
                           "REF0025",       "7890000060004", "ANT-005", "7890000400022"} +
                   notPosted
            << toPostAll + notPostedOutcomes
            << QByteArray("2;REF0002;000002;0000;T\xC3\xAAnis de corrida "
                          "azul;refer\xC3\xAAncia;5;5;5;0;12,50;0,00;a gravar\r");
        QTest::newRow("opening stock, refused")
            << 1 << "Só rejeitadas" << -1
            << QStringList{"000000000000",  "000000000000",  "7890000040006",
                           "7890000010009", "7890000110006", "REF0040"}
            << QStringList{notFound, notFound, processed, movements, movements, notFound}
            << QByteArray("5;000000000000;;;;;4;;Refer\xC3\xAAncia n\xC3\xA3o encontrada.\r");
    }
    void filtersAndExport() {
        QFETCH(int, tab);
        QFETCH(QString, show);
        QFETCH(int, sortColumn);
        QFETCH(QStringList, codes);
        QFETCH(QStringList, outcomes);
        QFETCH(QByteArray, csvRow);
        // One product whose count will match the stock on record.
        DemoForm demo(tab,
                      QStringLiteral("Update CompProd Set Estoque = 5 Where CodProd = '000002'"));
        ui::ReviewWindow* review = demo.simulate();
        QVERIFY(review);
        QTest::keyClick(review, Qt::Key_M, Qt::AltModifier);
        auto* box = qobject_cast<QComboBox*>(QApplication::focusWidget());
        QVERIFY(box);
        QVERIFY(box->findText(show) >= 0);
        box->setCurrentIndex(box->findText(show));
        if (sortColumn >= 0)
            review->table()->sortByColumn(sortColumn, Qt::DescendingOrder);
        const QAbstractItemModel& shown = *review->table()->model();
        QCOMPARE(column(shown, 1), codes);
        QCOMPARE(column(shown, shown.columnCount() - 1), outcomes);

        ui::Dialogs::setNextFileName(demo.path(QStringLiteral("conferencia.csv")));
        QTest::keyClick(review, Qt::Key_X, Qt::AltModifier);
        QTRY_COMPARE(ui::Dialogs::shown().size(), 1);
        const QList<QByteArray> csv =
            fileBytes(demo.path(QStringLiteral("conferencia.csv"))).split('\n');
        QCOMPARE(csv.size(), codes.size() + 2); // the header, and nothing after the last CR LF
        QVERIFY2(csv.contains(csvRow), csvRow.constData());
        review->table()->setFocus();
        QTest::keyClick(review->table(), Qt::Key_C, Qt::ControlModifier);
        const QStringList copied = QApplication::clipboard()->text().split(QLatin1Char('\n'));
        QCOMPARE(copied.size(), codes.size() + 2);
        QCOMPARE(copied.value(1).section(QLatin1Char('\t'), 1, 1), codes.value(0));
    }
};

COLETOR_TEST_MAIN(TestReview)
#include "test_review.moc"
