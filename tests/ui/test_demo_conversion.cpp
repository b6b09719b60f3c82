// The demo folder converted from the keyboard alone, on both tabs, as a clerk would.
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
#include "ui/TFConversao.h"

#include <QFile>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString Barcode1 = QStringLiteral("7890000010009");
const QString Barcode4 = QStringLiteral("7890000040006");
const QString Barcode11 = QStringLiteral("7890000110006");
const QString NotFound = QStringLiteral("Referência não encontrada.");
const QString Processed = QStringLiteral("Produto já processado.");
const QString HasMovements = QStringLiteral("Existe movimentos com este produto.");

using demoday::listed;

QStringList selectRows(const QString& sql) {
    QSqlQuery query(QSqlDatabase::database(QStringLiteral("TelvaroDB")));
    if (!query.exec(sql))
        qFatal("%s", qPrintable(query.lastError().text()));
    QStringList rows;
    while (query.next()) {
        QStringList fields;
        for (int i = 0; i < query.record().count(); ++i)
            fields << query.value(i).toString();
        rows << fields.join(QLatin1Char('|'));
    }
    return rows;
}
} // namespace

class TestDemoConversion : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        // Today is 06/12/2026; the clerk types the 5th, the day the demo's count was processed.
        demoday::prepare();
    }

    void convertFromTheKeyboard_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("companyKeys");
        QTest::addColumn<QStringList>("rejections");
        QTest::addColumn<QString>("countSql");
        QTest::addColumn<QStringList>("written");
        QTest::newRow("inventory")
            << 0 << "Enter Enter"
            << QStringList{QStringLiteral("000000000000 | ") + NotFound,
                           Barcode4 + QStringLiteral(" | ") + Processed,
                           QStringLiteral("REF0040 | ") + NotFound}
            << "Select CodProd, CodGrade, Quantidade From Inventa Where Processado = 'N' "
               "Order By CodProd, CodGrade"
            << QStringList{"000001|0000|5",   "000002|0000|5", "000003|0000|2", "000005|0000|1",
                           "000006|0000|1.5", "000011|0000|7", "000025|0000|2", "000040|0002|1"};
        QTest::newRow("opening stock")
            << 1 << "Enter Enter" << QStringList{QStringLiteral("000000000000 | ") + NotFound,
                                                 QStringLiteral("000000000000 | ") + NotFound,
                                                 Barcode4 + QStringLiteral(" | ") + Processed,
                                                 Barcode1 + QStringLiteral(" | ") + HasMovements,
                                                 Barcode11 + QStringLiteral(" | ") + HasMovements,
                                                 QStringLiteral("REF0040 | ") + NotFound}
            << "Select i.CODPROD, i.CODGRADE, i.QUANTIDADE, m.DOCUMENTO, i.DATAINICIO "
               "From INCIEST i Join MVGERAL m On m.CODPROD = i.CODPROD And m.CODGRADE = i.CODGRADE "
               "And m.TIPOMOV = '04' Order By i.CODPROD, i.CODGRADE"
            << QStringList{"000001|0000|3|06122026A|2026-12-05 00:00:00",
                           "000002|0000|5|06122026A|2026-12-05 00:00:00",
                           "000003|0000|2|06122026A|2026-12-05 00:00:00",
                           "000005|0000|1|06122026A|2026-12-05 00:00:00",
                           "000006|0000|1.5|06122026A|2026-12-05 00:00:00",
                           "000025|0000|2|06122026A|2026-12-05 00:00:00",
                           "000040|0002|1|06122026A|2026-12-05 00:00:00"};
    }
    void convertFromTheKeyboard() {
        QFETCH(int, tab);
        QFETCH(QString, companyKeys);
        QFETCH(QStringList, rejections);
        QFETCH(QString, countSql);
        QFETCH(QStringList, written);

        // The demo folder as the demo command makes it.
        QTemporaryDir folder;
        QDir::setCurrent(folder.path());
        demoday::makeDemoFolder(folder);
        if (QTest::currentTestFailed())
            return;
        const QString collector = folder.filePath(QStringLiteral("coletor.txt"));

        ui::Dialogs::clearShown();
        ui::TFConversao form(app::Startup{});
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        QVERIFY(ui::Dialogs::shown().isEmpty());
        ui::Dialogs::clearShown();
        if (tab != 0) {
            const QRect tabRect = form.PcDados->tabBar()->tabRect(tab);
            QTest::mouseClick(form.PcDados->tabBar(), Qt::LeftButton, {}, tabRect.center());
            form.edtCaminho->setFocus();
        }

        // Path, Tab to the date, "5" Enter, the company, the cause, Enter on the button.
        QCOMPARE(clerk::focusName(), QStringLiteral("edtCaminho"));
        clerk::type(collector);
        while (clerk::focusName() != QLatin1String("DtInventa"))
            clerk::press(QStringLiteral("Tab"));
        clerk::type(QStringLiteral("5"));
        clerk::press(QStringLiteral("Enter"));
        QCOMPARE(form.DtInventa->maskedText(), QStringLiteral("05/12/2026"));
        QCOMPARE(clerk::focusName(), QStringLiteral("CodEmpresa"));
        clerk::type(QStringLiteral("1"));
        clerk::press(companyKeys);
        QCOMPARE(form.CodEmpresa->text(), QStringLiteral("01"));
        if (tab == 0) {
            QCOMPARE(clerk::focusName(), QStringLiteral("CodCausa"));
            clerk::type(QStringLiteral("1"));
            clerk::press(QStringLiteral("Enter"));
            QCOMPARE(form.CodCausa->text(), QStringLiteral("001"));
        }
        QCOMPARE(clerk::focusName(), QStringLiteral("btOK"));
        clerk::press(QStringLiteral("Enter"));

        QCOMPARE(ui::Dialogs::shown().size(), 1);
        QCOMPARE(ui::Dialogs::shown().constFirst().text,
                 QStringLiteral("Processo de conversão concluído: %1 de 13 leituras gravadas; %2 "
                                "rejeitadas, veja a lista.")
                     .arg(tab == 0 ? 9 : 7)
                     .arg(tab == 0 ? 4 : 6));
        QCOMPARE(form.Notebook->currentIndex(), 1);
        QCOMPARE(form.Notebook1->currentIndex(), 1);
        const conversion::RejectionList& list =
            tab == 0 ? *form.inventoryRejections() : *form.openingRejections();
        QCOMPARE(listed(list), rejections);
        QCOMPARE(selectRows(countSql), written);
    }
};

COLETOR_TEST_MAIN(TestDemoConversion)
#include "test_demo_conversion.moc"
