// The rows a conversion of the demo file writes, on every engine, against golden files: a change
// to how the engine runs its statements must leave them exactly as they were. The file is read
// twice over, so that every code is also read again (an open count row, a code already listed,
// a product that now has movements).
#include "conversion/CollectorFile.h"
#include "conversion/ConversionEngine.h"
#include "conversion/Cp1252.h"
#include "conversion/RejectionList.h"
#include "db/DemoData.h"
#include "db/Regional.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QFile>
#include <QTest>

class TestGolden : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        db::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(14, 30, 5)));
    }

    void demoFile_data() {
        QTest::addColumn<bool>("inventory");
        QTest::addColumn<QString>("golden");
        QTest::newRow("inventory") << true << "demo-inventario.txt";
        QTest::newRow("opening stock") << false << "demo-inicio-estoque.txt";
    }
    void demoFile() {
        QFETCH(bool, inventory);
        QFETCH(QString, golden);
        TestDatabase database;
        db::demo::fill(database.database(), database.dialect(), QDate(2026, 12, 5));
        const QStringList once =
            conversion::splitLines(conversion::cp1252::decode(db::demo::collectorFile()));
        bool flag = false;
        conversion::RejectionList inventoryList(flag);
        conversion::RejectionList openingList(flag);
        conversion::ConversionEngine engine(
            database.database(), database.dialect(),
            {QStringLiteral("01"), QStringLiteral("001"), QStringLiteral("05/12/2026")},
            {inventoryList, openingList, flag});
        if (inventory)
            engine.ConvertInventory(once + once);
        else
            engine.ConvertOpeningStock(once + once);

        QStringList written = (inventory ? inventoryList : openingList).exportLines();
        for (const char* select :
             {"Select CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado, DataHora, "
              "Usuario, Quantidade, QuantKardex, PrecoCusto, CodCausa From Inventa "
              "Order By CodEmpresa, DataInv, Documento, CodProd, CodGrade",
              "Select CODEMPRESA, CODPROD, CODGRADE, DATAINICIO, QUANTIDADE, PRECOMEDIO, USUARIO, "
              "DATAHORA From INCIEST Order By CODEMPRESA, CODPROD, CODGRADE",
              "Select CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOAGENTE, CODIGOAGENTE, "
              "TIPOMOV, DOCUMENTO, QUANTIDADE, PRECOMEDIO From MVGERAL "
              "Order By CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOMOV, DOCUMENTO"})
            written << QString() << database.rows(QString::fromLatin1(select));

        const QString path = QStringLiteral(COLETOR_GOLDEN_DIR "/") + golden;
        if (qEnvironmentVariableIsSet("COLETOR_WRITE_GOLDEN")) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(written.join(QLatin1Char('\n')).toUtf8() + '\n');
            return;
        }
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(path));
        QCOMPARE(written, QString::fromUtf8(file.readAll()).chopped(1).split(QLatin1Char('\n')));
    }
};

COLETOR_GUILESS_TEST_MAIN(TestGolden)
#include "test_golden.moc"
