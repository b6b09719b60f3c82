#include "conversion/CollectorFile.h"
#include "conversion/Errors.h"
#include "conversion/Quantity.h"
#include "tests/TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCollector : public QObject {
    Q_OBJECT
private slots:
    void splitsMixedLineEnds_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF, CR and LF in one file")
            << "a,1\r\nb,2\rc,3\nd,4" << QStringList{"a,1", "b,2", "c,3", "d,4"};
        QTest::newRow("final line end makes no line") << "a,1\r\n" << QStringList{"a,1"};
        QTest::newRow("LF CR is two line ends") << "a\n\rb" << QStringList{"a", "", "b"};
        QTest::newRow("only line ends") << "\r\n\n\r" << QStringList{"", "", ""};
        QTest::newRow("empty text has no lines") << "" << QStringList{};
        QTest::newRow("blanks kept") << " a ,1 \r\n" << QStringList{" a ,1 "};
    }
    void splitsMixedLineEnds() {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QCOMPARE(conversion::splitLines(text), lines);
    }

    void readsEveryByteAsWindows1252() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("coletor.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\x80\xe7\x81,1\r\nx,2\n");
        file.close();
        QCOMPARE(conversion::readLines(path),
                 (QStringList{QStringLiteral("\u20ac\u00e7\u0081,1"), QStringLiteral("x,2")}));
        QVERIFY_THROWS_EXCEPTION(conversion::FileError,
                                 conversion::readLines(dir.filePath(QStringLiteral("nada.txt"))));
    }

    // A file over the limit is refused before it is read; one at the limit is read whole.
    void sizeLimit_data() {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("read");
        QTest::newRow("at the limit") << qint64(16) << true;
        QTest::newRow("one byte over") << qint64(17) << false;
    }
    void sizeLimit() {
        QFETCH(qint64, size);
        QFETCH(bool, read);
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("coletor.txt")));
        QVERIFY(file.open(QIODevice::ReadWrite));
        file.write(QByteArray(size - 2, 'x') + "\r\n");
        QVERIFY(file.seek(0));
        if (read)
            QCOMPARE(conversion::readLines(file, QStringLiteral("c"), 16),
                     QStringList{QString(14, QLatin1Char('x'))});
        else
            QVERIFY_THROWS_EXCEPTION(conversion::FileError,
                                     conversion::readLines(file, QStringLiteral("c"), 16));
    }

    void firstCommaSplitsTheReading_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("hasReading");
        QTest::addColumn<QString>("itemCode");
        QTest::addColumn<QString>("quantityText");
        QTest::newRow("later commas belong to the quantity") << "ABC,1,5" << true << "ABC"
                                                             << "1,5";
        QTest::newRow("empty code") << ",5" << true << ""
                                    << "5";
        QTest::newRow("blanks and case kept") << " aB ,2" << true << " aB "
                                              << "2";
        QTest::newRow("empty quantity") << "ABC," << true << "ABC"
                                        << "";
        QTest::newRow("no comma") << "ABC" << false << ""
                                  << "";
        QTest::newRow("empty line") << "" << false << ""
                                    << "";
    }
    void firstCommaSplitsTheReading() {
        QFETCH(QString, line);
        QFETCH(bool, hasReading);
        QFETCH(QString, itemCode);
        QFETCH(QString, quantityText);
        const auto reading = conversion::splitReading(line);
        QCOMPARE(reading.has_value(), hasReading);
        if (reading) {
            QCOMPARE(reading->itemCode, itemCode);
            QCOMPARE(reading->quantityText, quantityText);
        }
    }

    void quantityFollowsTheLocale_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<double>("value");
        const QLocale br(QLocale::Portuguese, QLocale::Brazil);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        QTest::newRow("decimal comma") << br << "1,5" << true << 1.5;
        QTest::newRow("blanks and minus") << br << "  -2 " << true << -2.0;
        QTest::newRow("plus sign") << br << "+3" << true << 3.0;
        QTest::newRow("exponent") << br << "1,5e2" << true << 150.0;
        QTest::newRow("capital exponent, negative") << br << "15E-1" << true << 1.5;
        QTest::newRow("leading separator") << br << ",25" << true << 0.25;
        QTest::newRow("trailing separator") << br << "7," << true << 7.0;
        QTest::newRow("zero") << br << "0" << true << 0.0;
        QTest::newRow("point where comma is decimal") << br << "1.5" << false << 0.0;
        QTest::newRow("group separator") << br << "1.500" << false << 0.0;
        QTest::newRow("group and decimal") << br << "1.000,5" << false << 0.0;
        QTest::newRow("two separators") << br << "1,5,0" << false << 0.0;
        QTest::newRow("empty") << br << "" << false << 0.0;
        QTest::newRow("letters") << br << "x" << false << 0.0;
        QTest::newRow("blank inside") << br << "1 5" << false << 0.0;
        QTest::newRow("infinity") << br << "inf" << false << 0.0;
        QTest::newRow("not a number") << br << "nan" << false << 0.0;
        QTest::newRow("hexadecimal") << br << "0x10" << false << 0.0;
        QTest::newRow("separator alone") << br << " , " << false << 0.0;
        QTest::newRow("exponent alone") << br << "e5" << false << 0.0;
        QTest::newRow("exponent without digits") << br << "1e+" << false << 0.0;
        QTest::newRow("two signs") << br << "+-1" << false << 0.0;
        QTest::newRow("blank after sign") << br << "- 1" << false << 0.0;
        QTest::newRow("point locale") << us << "1.5" << true << 1.5;
        QTest::newRow("comma in point locale") << us << "1,5" << false << 0.0;
        QTest::newRow("group in point locale") << us << "1,000" << false << 0.0;
    }
    void quantityFollowsTheLocale() {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(double, value);
        try {
            const double parsed = conversion::parseQuantity(text, locale);
            QVERIFY2(valid, qPrintable(QString::number(parsed)));
            QCOMPARE(parsed, value);
        } catch (const conversion::ConversionError& error) {
            QVERIFY2(!valid, qPrintable(error.message()));
            QVERIFY2(error.message().startsWith(QStringLiteral("a quantidade \"%1\"").arg(text)),
                     qPrintable(error.message()));
        }
    }

    // The message names the line and the text; the hint at the regional settings only where
    // the text would be a number with a decimal comma the workstation does not use.
    void badQuantityMessage_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<QString>("message");
        const QLocale br(QLocale::Portuguese, QLocale::Brazil);
        const QLocale us(QLocale::English, QLocale::UnitedStates);
        const QString hint = QStringLiteral(
            "\rOs números seguem as configurações regionais da estação (LC_NUMERIC), em que o "
            "separador decimal não é a vírgula; para ler a vírgula como decimal, use por "
            "exemplo LC_NUMERIC=pt_BR.UTF-8.");
        QTest::newRow("letters, pt-BR")
            << br << "abc" << 11 << "Linha 11: a quantidade \"abc\" não é um número.";
        QTest::newRow("decimal comma, point workstation")
            << us << "1,5" << 11 << "Linha 11: a quantidade \"1,5\" não é um número." + hint;
        QTest::newRow("comma that is no number either")
            << us << "1,5x" << 2 << "Linha 2: a quantidade \"1,5x\" não é um número.";
        QTest::newRow("point on a comma workstation")
            << br << "1.5" << 2 << "Linha 2: a quantidade \"1.5\" não é um número.";
        const QString longText(61, u'9');
        QTest::newRow("no line, long text cut")
            << br << longText + "x" << 0
            << "a quantidade \"" + longText.left(60) + QChar(0x2026) + "\" não é um número.";
    }
    void badQuantityMessage() {
        QFETCH(QLocale, locale);
        QFETCH(QString, text);
        QFETCH(int, line);
        QFETCH(QString, message);
        try {
            conversion::parseQuantity(text, locale, line);
            QFAIL("the quantity went through");
        } catch (const conversion::BadQuantity& error) {
            QCOMPARE(error.message(), message);
            QCOMPARE(error.lineNumber(), line);
        }
    }
};

COLETOR_GUILESS_TEST_MAIN(TestCollector)
#include "test_collector.moc"
