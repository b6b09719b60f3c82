#include "conversion/EntryTexts.h"
#include "conversion/Errors.h"
#include "db/Names.h"
#include "db/Regional.h"
#include "db/Texts.h"
#include "tests/TestMain.h"

#include <QFile>
#include <QRegularExpression>
#include <QTest>
#include <algorithm>

using namespace db::texts;

class TestTexts : public QObject {
    Q_OBJECT
private slots:
    void trimAndUpper_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("trimmed");
        QTest::addColumn<QString>("upper");
        QTest::newRow("plain") << "abc"
                               << "abc"
                               << "ABC";
        QTest::newRow("blanks and controls") << QString::fromLatin1(" \t\x01x y\r\n ") << "x y"
                                             << QString::fromLatin1(" \t\x01X Y\r\n ");
        QTest::newRow("accents stay") << "ação é"
                                      << "ação é"
                                      << "AçãO é";
        QTest::newRow("empty") << ""
                               << ""
                               << "";
        QTest::newRow("only blanks") << "   "
                                     << ""
                                     << "   ";
    }
    void trimAndUpper() {
        QFETCH(QString, text);
        QFETCH(QString, trimmed);
        QFETCH(QString, upper);
        QCOMPARE(trimControl(text), trimmed);
        QCOMPARE(upperAscii(text), upper);
    }

    // The cut keeps a character outside the basic plane whole or leaves it out.
    void quotedInputKeepsPairsWhole() {
        const QString head(59, u'x');
        QCOMPARE(quotedInput(head + QStringLiteral("\U0001D11E")), head + QChar(0x2026));
    }

    // A code wider than SearchedCodeWidth is never searched, so no searched column may be wider.
    void searchedColumnsAreNoWiderThanTheCodeWidth() {
        static const QRegularExpression searched(QStringLiteral(
            "\\b(CodBarra|Referencia|Reffabricante|Referenciaantiga) VARCHAR\\((\\d+)\\)"));
        for (const char* engine : {"sqlite", "firebird", "postgresql"}) {
            QFile script(QStringLiteral(":/schema/%1.sql").arg(QLatin1String(engine)));
            QVERIFY(script.open(QIODevice::ReadOnly));
            int widest = 0;
            for (const auto& match : searched.globalMatch(QString::fromUtf8(script.readAll())))
                widest = std::max(widest, match.captured(2).toInt());
            QCOMPARE(widest, db::SearchedCodeWidth);
        }
    }

    void composedTexts_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QDate>("date");
        QTest::addColumn<QTime>("time");
        QTest::addColumn<QString>("stamp");
        QTest::addColumn<QString>("inventoryDocument");
        QTest::addColumn<QString>("movementDocument");
        const QLocale ptBR(QLocale::Portuguese, QLocale::Brazil);
        QTest::newRow("pt-BR afternoon")
            << ptBR << QDate(2026, 12, 6) << QTime(14, 30, 5) << "061226143005"
            << "20261206A"
            << "06122026A";
        QTest::newRow("pt-BR just past midnight, first of January")
            << ptBR << QDate(2027, 1, 1) << QTime(0, 0, 9) << "010127000009"
            << "20270101A"
            << "01012027A";
        QTest::newRow("C locale keeps hours, minutes, seconds")
            << QLocale::c() << QDate(2026, 12, 6) << QTime(9, 5, 1) << "061226090501"
            << "20261206A"
            << "06122026A";
    }
    void composedTexts() {
        QFETCH(QLocale, locale);
        QFETCH(QDate, date);
        QFETCH(QTime, time);
        QFETCH(QString, stamp);
        QFETCH(QString, inventoryDocument);
        QFETCH(QString, movementDocument);
        QCOMPARE(stampText(date, time, locale), stamp);
        QCOMPARE(inventoryDocumentNumber(date), inventoryDocument);
        QCOMPARE(movementDocumentNumber(date), movementDocument);
    }

    // One run's stamps are made once a second; a new second or a new day must still show.
    void stampTextsFollowTheClock() {
        const QLocale ptBR(QLocale::Portuguese, QLocale::Brazil);
        StampTexts stamps(ptBR);
        const QDate day(2026, 12, 6);
        for (const auto& [date, time] :
             {std::pair{day, QTime(23, 59, 58, 100)}, std::pair{day, QTime(23, 59, 58, 900)},
              std::pair{day, QTime(23, 59, 59, 0)}, std::pair{day.addDays(1), QTime(23, 59, 59, 0)},
              std::pair{day.addDays(1), QTime(0, 0, 0, 5)}})
            QCOMPARE(stamps.at(date, time), stampText(date, time, ptBR));
    }

    void localNowIsTheWallClock() {
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1000);
        const db::LocalMoment now = db::Clock::localNow();
        const QDateTime after = QDateTime::currentDateTime().addMSecs(1000);
        const QDateTime read(now.date, now.time);
        QVERIFY2(before <= read && read <= after, qPrintable(read.toString(Qt::ISODateWithMs)));
    }

    void longTimeFormatDropsTheZone() {
        const QLocale ptBR(QLocale::Portuguese, QLocale::Brazil);
        QVERIFY(ptBR.timeFormat(QLocale::LongFormat).contains(QLatin1Char('t')));
        QCOMPARE(longTimeFormatWithoutZone(ptBR), QStringLiteral("HH:mm:ss"));
    }

    void parseDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("full") << "06/12/2026" << QDate(2026, 12, 6);
        QTest::newRow("blanks before numbers") << " 6/ 3/2024" << QDate(2024, 3, 6);
        QTest::newRow("trailing blanks") << "05/03/2024  " << QDate(2024, 3, 5);
        QTest::newRow("three-digit year as written") << "05/03/202 " << QDate(202, 3, 5);
        QTest::newRow("two-digit year in this century") << "05/03/24" << QDate(2024, 3, 5);
        QTest::newRow("impossible day") << "31/02/2026" << QDate();
        QTest::newRow("month 13") << "01/13/2026" << QDate();
        QTest::newRow("blank mask") << "  /  /    " << QDate();
        QTest::newRow("no day") << "  /03/2024" << QDate();
        QTest::newRow("blank inside a number") << "0 5/03/2024" << QDate();
        QTest::newRow("no year") << "05/03/    " << QDate();
    }
    void parseDate() {
        QFETCH(QString, text);
        QFETCH(QDate, expected);
        const QDate today(2026, 12, 6);
        const auto date = conversion::parseDate(text, today);
        QCOMPARE(date.value_or(QDate()), expected);
        if (expected.isValid())
            QCOMPARE(conversion::toDate(text, today), expected);
        else
            QVERIFY_THROWS_EXCEPTION(conversion::ConversionError, conversion::toDate(text, today));
    }

    // Every error reaches a box or standard error through messageOf, whatever the system's code
    // page: ours by their message, any other by what() read as UTF-8.
    void messageOf() {
        const QString text = QStringLiteral("Conexão recusada: \"ação\"");
        QCOMPARE(db::messageOf(conversion::FileError(text)), text);
        QCOMPARE(db::messageOf(db::DatabaseError(text)), text);
        QCOMPARE(db::messageOf(std::runtime_error(text.toStdString())), text);
    }
};

COLETOR_GUILESS_TEST_MAIN(TestTexts)
#include "test_texts.moc"
