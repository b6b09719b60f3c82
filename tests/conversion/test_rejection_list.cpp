#include "conversion/Cp1252.h"
#include "conversion/Errors.h"
#include "conversion/RejectionExport.h"
#include "conversion/RejectionList.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QString NotFound = QStringLiteral("Referência não encontrada.");
const QString Processed = QStringLiteral("Produto já processado.");

} // namespace

class TestRejectionList : public QObject {
    Q_OBJECT
private slots:
    void rowsAndFlag_data() {
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<int>("gridRows");
        QTest::newRow("none") << QStringList{} << 2;
        QTest::newRow("one") << QStringList{"A1"} << 2;
        QTest::newRow("three") << QStringList{"A1", "B2", "C3"} << 4;
        // An empty code keeps its own row; the next rejection must not write over it.
        QTest::newRow("empty code first") << QStringList{"", "B2"} << 3;
        QTest::newRow("empty codes only") << QStringList{"", "", ""} << 4;
    }
    void rowsAndFlag() {
        QFETCH(QStringList, codes);
        QFETCH(int, gridRows);
        bool flag = false;
        conversion::RejectionList list(flag);
        for (qsizetype i = 0; i < codes.size(); ++i)
            list.add(codes[i], QStringLiteral("reason %1").arg(i));
        QCOMPARE(list.gridRowCount(), gridRows);
        QCOMPARE(list.rowCount(), gridRows - 1);
        QCOMPARE(flag, !codes.isEmpty());
        QCOMPARE(list.cell(0, 0),
                 codes.isEmpty() ? QString() : conversion::RejectionList::codeHeader());
        QCOMPARE(list.cell(0, 1),
                 codes.isEmpty() ? QString() : conversion::RejectionList::reasonHeader());
        QCOMPARE(list.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), list.cell(0, 0));
        for (qsizetype i = 0; i < codes.size(); ++i) {
            const int row = static_cast<int>(i) + 1;
            QCOMPARE(list.cell(row, 0), codes[i]);
            QCOMPARE(list.cell(row, 1), QStringLiteral("reason %1").arg(i));
            QCOMPARE(list.data(list.index(row - 1, 0), Qt::DisplayRole).toString(), codes[i]);
        }
    }

    void flagIsOnlyEverSet() {
        bool flag = false;
        conversion::RejectionList list(flag);
        list.add(QStringLiteral("A"), NotFound);
        QVERIFY(flag);
        list.clear();
        QVERIFY(flag);
        QCOMPARE(list.gridRowCount(), 2);
        QCOMPARE(list.cell(0, 0), QString());
        QCOMPARE(list.cell(1, 0), QString());
        // Cleared by the posting loop, not by the list; the next first row sets it again.
        flag = false;
        list.add(QStringLiteral("B"), NotFound);
        QVERIFY(flag);
        QCOMPARE(list.gridRowCount(), 2);
    }

    void alreadyListed_data() {
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("code");
        QTest::addColumn<bool>("found");
        QTest::newRow("same code") << QStringList{"789"} << "789" << true;
        QTest::newRow("blanks around the code") << QStringList{"789"} << "  789\t" << true;
        QTest::newRow("blanks around the listed code") << QStringList{" 789 "} << "789" << true;
        QTest::newRow("later row") << QStringList{"1", "2", "789"} << "789" << true;
        QTest::newRow("differs in case") << QStringList{"abc"} << "ABC" << false;
        QTest::newRow("inner blank counts") << QStringList{"78 9"} << "789" << false;
        QTest::newRow("empty code beside an empty row") << QStringList{"", "x"} << "" << false;
        QTest::newRow("blank code beside an empty row") << QStringList{""} << "   " << false;
        QTest::newRow("header text once written")
            << QStringList{"x"} << "Produtos não processados" << true;
        QTest::newRow("header text on an empty list")
            << QStringList{} << "Produtos não processados" << false;
        QTest::newRow("a reason is no code") << QStringList{"x"} << NotFound << false;
    }
    void alreadyListed() {
        QFETCH(QStringList, listed);
        QFETCH(QString, code);
        QFETCH(bool, found);
        bool flag = false;
        conversion::RejectionList list(flag);
        for (const QString& item : listed)
            list.add(item, NotFound);
        QCOMPARE(list.alreadyListed(code), found);
    }

    // Every byte but a line end comes back as it was read, the five that Windows-1252 leaves
    // undefined included.
    void everyByteRoundTrips() {
        QByteArray bytes;
        for (int byte = 0; byte < 256; ++byte)
            if (byte != '\r' && byte != '\n')
                bytes.append(static_cast<char>(byte));
        const QString text = conversion::cp1252::decode(bytes);
        QCOMPARE(text.size(), bytes.size());
        QCOMPARE(conversion::cp1252::encode(text), bytes);
    }

    void codePage_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("letters of the fixed texts")
            << QByteArray("n\xE3o j\xE1 Refer\xEAncia In\xED"
                          "cio")
            << "não já Referência Início";
        QTest::newRow("euro and quotes") << QByteArray("\x80\x93\x94\x85") << "€“”…";
        QTest::newRow("undefined bytes") << QByteArray("\x81\x8D\x8F\x90\x9D")
                                         << QString::fromUtf16(u"\u0081\u008D\u008F\u0090\u009D");
        QTest::newRow("nul and controls")
            << QByteArray("a\0b\x1F", 4) << QString::fromUtf16(u"a\u0000b\u001F", 4);
    }
    void codePage() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        QCOMPARE(conversion::cp1252::decode(bytes), text);
        QCOMPARE(conversion::cp1252::encode(text), bytes);
    }

    void charactersOutsideTheCodePage_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("cyrillic") << "aЖb" << QByteArray("a?b");
        QTest::newRow("one character beyond the basic plane")
            << QString::fromUtf16(u"x\U0001F600y") << QByteArray("x?y");
        QTest::newRow("C1 control the code page uses for a letter")
            << QString(QChar(0x80)) << QByteArray("?");
    }
    void charactersOutsideTheCodePage() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(conversion::cp1252::encode(text), bytes);
    }

    // Header, ", " between the columns, CR LF after every line, codes with their own bytes.
    void exportBytes_data() {
        QTest::addColumn<QList<QByteArray>>("codes");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray header = "Produtos n\xE3o processados, Motivo\r\n";
        const QByteArray notFound = "Refer\xEAncia n\xE3o encontrada.";
        QTest::newRow("empty list") << QList<QByteArray>{} << QByteArray(", \r\n, \r\n");
        QTest::newRow("one rejection")
            << QList<QByteArray>{"7891234567890"} << header + "7891234567890, " + notFound + "\r\n";
        QTest::newRow("bytes above 0x7F and a comma")
            << QList<QByteArray>{"\xC7\x80\x81 x,y", ""}
            << header + "\xC7\x80\x81 x,y, " + notFound + "\r\n, " + notFound + "\r\n";
    }
    void exportBytes() {
        QFETCH(QList<QByteArray>, codes);
        QFETCH(QByteArray, expected);
        bool flag = false;
        conversion::RejectionList list(flag);
        for (const QByteArray& code : codes)
            list.add(conversion::cp1252::decode(code), NotFound);
        QCOMPARE(conversion::rejectionFileBytes(list.exportLines()), expected);
    }

    void writeReplacesAnExistingFile() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("rejeitados.txt"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(500, 'x'));
        old.close();
        conversion::writeRejectionFile(path, "a, b\r\n");
        QCOMPARE(testfiles::read(path), QByteArray("a, b\r\n"));
    }

    void failedWriteRaisesAFileError() {
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("missing/rejeitados.txt"));
        try {
            conversion::writeRejectionFile(path, "a, b\r\n");
            QFAIL("no error raised");
        } catch (const conversion::FileError& error) {
            QVERIFY(!error.message().isEmpty());
        }
        QVERIFY(!QFile::exists(path));
    }
};

COLETOR_GUILESS_TEST_MAIN(TestRejectionList)
#include "test_rejection_list.moc"
