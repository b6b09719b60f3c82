#include "db/DemoData.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QTest>

class TestDemo : public QObject {
    Q_OBJECT
private slots:
    void ean13CheckDigit_data() {
        QTest::addColumn<QString>("twelve");
        QTest::addColumn<int>("check");
        QTest::newRow("4006381333931") << "400638133393" << 1;
        QTest::newRow("7891000315507") << "789100031550" << 7;
        QTest::newRow("check digit 0") << "000000000000" << 0;
    }
    void ean13CheckDigit() {
        QFETCH(QString, twelve);
        QFETCH(int, check);
        QCOMPARE(db::demo::ean13CheckDigit(twelve), check);
    }

    void demoDataFillsTheSchema() {
        TestDatabase database;
        db::demo::fill(database.database(), database.dialect(), QDate(2026, 12, 6));
        QCOMPARE(database.rows(QStringLiteral("Select count(*) From Produto")),
                 QStringList{QStringLiteral("320")});
        // Every barcode is a valid EAN-13.
        for (const QString& barcode :
             database.rows(QStringLiteral("Select CodBarra From ProdGrade"))) {
            QCOMPARE(barcode.size(), 13);
            QCOMPARE(db::demo::ean13CheckDigit(barcode.left(12)), barcode.at(12).digitValue());
        }
        QCOMPARE(database.rows(QStringLiteral("Select Documento, Processado From Inventa")),
                 QStringList{QStringLiteral("20261206A|S")});
        QVERIFY(db::demo::collectorFile().endsWith("\r\n"));
    }
};

COLETOR_GUILESS_TEST_MAIN(TestDemo)
#include "test_demo.moc"
