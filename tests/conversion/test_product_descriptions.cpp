// Descriptions for the review, on every engine: more codes than one statement asks for, and a
// code that is no product.
#include "conversion/ProductDescriptions.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QTest>

class TestProductDescriptions : public QObject {
    Q_OBJECT
private slots:
    void descriptionsOfManyCodes() {
        TestDatabase database;
        QStringList codes;
        database.exec(QStringLiteral("Insert Into Produto (CodProd, Descricao) Values (?, ?)"),
                      {QStringLiteral("SEMDESC"), QVariant()});
        for (int i = 0; i < 520; ++i) {
            codes << QStringLiteral("P%1").arg(i, 4, 10, QLatin1Char('0'));
            database.exec(QStringLiteral("Insert Into Produto (CodProd, Descricao) Values (?, ?)"),
                          {codes.last(), QStringLiteral("Produto número %1").arg(i)});
        }
        codes << QStringLiteral("NENHUM") << QStringLiteral("SEMDESC");
        const QHash<QString, QString> found =
            conversion::productDescriptions(database.database(), database.dialect(), codes);
        QCOMPARE(found.size(), 521);
        QCOMPARE(found.value(QStringLiteral("P0000")), QStringLiteral("Produto número 0"));
        QCOMPARE(found.value(QStringLiteral("P0519")), QStringLiteral("Produto número 519"));
        QVERIFY(!found.contains(QStringLiteral("NENHUM")));
        QCOMPARE(found.value(QStringLiteral("SEMDESC")), QString());
    }
};

COLETOR_GUILESS_TEST_MAIN(TestProductDescriptions)
#include "test_product_descriptions.moc"
