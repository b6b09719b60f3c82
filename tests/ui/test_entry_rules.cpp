#include "Clerk.h"
#include "db/Regional.h"
#include "tests/TestMain.h"
#include "ui/Dialogs.h"
#include "ui/EntryRules.h"
#include "ui/MaskEdit.h"

#include <QTest>

namespace {
const QDate Today(2026, 12, 6);
const QString Suspicious = QStringLiteral("Atenção Data Suspeita:\r");

// "_" marks a blank position, as the field shows it.
QString fieldText(QString shown) {
    return shown.replace(QLatin1Char('_'), QLatin1Char(' '));
}

} // namespace

class TestEntryRules : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        ui::Dialogs::setTestMode(true);
        db::Clock::setFixed(QDateTime(Today, QTime(10, 0)));
    }
    void init() { ui::Dialogs::clearShown(); }

    void zeroPad_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("padded");
        QTest::newRow("one digit") << "5" << 2 << "05";
        QTest::newRow("blanks around") << " 7 " << 3 << "007";
        QTest::newRow("empty") << "" << 2 << "00";
        QTest::newRow("longer keeps the right") << "123" << 2 << "23";
        QTest::newRow("already full") << "05" << 2 << "05";
        QTest::newRow("control characters trimmed") << "\t9\r" << 3 << "009";
        QTest::newRow("blank inside kept") << "1 2" << 4 << "01 2";
        QTest::newRow("year") << "26" << 4 << "0026";
    }
    void zeroPad() {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, padded);
        QCOMPARE(conversion::ZeroPad(text, width), padded);
    }

    void completeDate_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("completed");
        QTest::addColumn<bool>("warned");
        QTest::newRow("day only") << "5_/__/____"
                                  << "05/12/2026" << false;
        QTest::newRow("two-digit day") << "05/__/____"
                                       << "05/12/2026" << false;
        QTest::newRow("day and month, one digit each") << "5_/3_/____"
                                                       << "05/03/2026" << false;
        QTest::newRow("day and month") << "05/03/____"
                                       << "05/03/2026" << false;
        QTest::newRow("two-digit year") << "05/03/24__"
                                        << "05/03/2024" << false;
        QTest::newRow("one year digit, completed to three") << "05/03/2___"
                                                            << "05/03/202_" << true;
        QTest::newRow("three-digit year") << "05/03/202_"
                                          << "05/03/202_" << true;
        QTest::newRow("full date") << "05/03/2024"
                                   << "05/03/2024" << false;
        QTest::newRow("blank mask") << "__/__/____"
                                    << "__/__/____" << false;
        QTest::newRow("no day") << "__/03/____"
                                << "__/03/____" << false;
        QTest::newRow("day in the second position") << "_5/03/2024"
                                                    << "_5/03/2024" << true;
        QTest::newRow("year without day") << "__/03/2024"
                                          << "__/03/2020" << false;
        QTest::newRow("month only in its second position") << "07/_4/____"
                                                           << "07/04/2026" << false;
    }
    void completeDate() {
        QFETCH(QString, text);
        QFETCH(QString, completed);
        QFETCH(bool, warned);
        QCOMPARE(ui::CompleteDate(fieldText(text), Today), fieldText(completed));
        const QStringList expected =
            warned ? QStringList{QStringLiteral("Warning|") + Suspicious + fieldText(completed)}
                   : QStringList{};
        QCOMPARE(clerk::shownTexts(), expected);
    }

    void completeDateTakesTodayFromTheDateGiven() {
        QCOMPARE(ui::CompleteDate(fieldText(QStringLiteral("1_/__/____")), QDate(2027, 1, 31)),
                 QStringLiteral("01/01/2027"));
    }

    // The leave check, on a field of its own.
    void validateDateField_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QStringList>("messages");
        const QString blank = QStringLiteral("__/__/____");
        // Names what was typed, as the field showed it, and the form a date takes.
        const auto invalid = [](const char* typed) {
            return QStringLiteral("Alerta|Data inválida: \"%1\".\rInforme dia, mês e ano na "
                                  "forma DD/MM/AAAA.")
                .arg(QLatin1String(typed));
        };
        QTest::newRow("full date") << "05/03/2024"
                                   << "05/03/2024" << QStringList{};
        QTest::newRow("completed from today") << "5_/__/____"
                                              << "05/12/2026" << QStringList{};
        QTest::newRow("blank") << blank << blank
                               << QStringList{
                                      QStringLiteral("Alerta|Data não pode ficar em branco.")};
        QTest::newRow("impossible day")
            << "31/02/2026" << blank << QStringList{invalid("31/02/2026")};
        QTest::newRow("impossible month")
            << "01/13/2026" << blank << QStringList{invalid("01/13/2026")};
        QTest::newRow("no day") << "__/03/2024" << blank << QStringList{invalid("__/03/2024")};
        QTest::newRow("blank inside the year")
            << "05/03/2_24" << blank << QStringList{invalid("05/03/2_24")};
        QTest::newRow("three-digit year taken as written")
            << "05/03/202_"
            << "05/03/0202"
            << QStringList{QStringLiteral("Warning|") + Suspicious + fieldText("05/03/202_")};
        QTest::newRow("one year digit, warned as three")
            << "05/03/2___"
            << "05/03/0202"
            << QStringList{QStringLiteral("Warning|") + Suspicious + fieldText("05/03/202_")};
        QTest::newRow("day in the second position")
            << "_5/03/2024"
            << "05/03/2024"
            << QStringList{QStringLiteral("Warning|") + Suspicious + fieldText("_5/03/2024")};
        QTest::newRow("blank after a one-digit month") << "05/3_/2024"
                                                       << "05/03/2024" << QStringList{};
    }
    void validateDateField() {
        QFETCH(QString, text);
        QFETCH(QString, after);
        QFETCH(QStringList, messages);
        ui::MaskEdit field;
        field.setMaskedText(fieldText(text));
        QCOMPARE(field.maskedText(), fieldText(text));
        ui::ValidateDateField(&field, QStringLiteral("Data"));
        QCOMPARE(field.maskedText(), fieldText(after));
        QCOMPARE(clerk::shownTexts(), messages);
        for (const ui::Dialogs::Shown& shown : ui::Dialogs::shown()) {
            if (shown.caption == QLatin1String("Alerta"))
                QCOMPARE(shown.icon, QStringLiteral("exclamation"));
        }
    }

    void disabledFieldIsAcceptedUnchanged() {
        ui::MaskEdit field;
        field.setMaskedText(QStringLiteral("31/02/2026"));
        field.setEnabled(false);
        ui::ValidateDateField(&field, QStringLiteral("Data"));
        QCOMPARE(field.maskedText(), QStringLiteral("31/02/2026"));
        QVERIFY(ui::Dialogs::shown().isEmpty());
    }

    // Every position keeps its place, typed or set, blank or not.
    void maskedTextKeepsPositions_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << ""
                                 << "  /  /    ";
        QTest::newRow("one digit") << "5"
                                   << "5 /  /    ";
        QTest::newRow("slash skips to the month") << "5/3"
                                                  << "5 /3 /    ";
        QTest::newRow("slashes typed") << "05/03/24"
                                       << "05/03/24  ";
        QTest::newRow("digits only") << "05032024"
                                     << "05/03/2024";
        QTest::newRow("letters refused") << "a1b"
                                         << "1 /  /    ";
    }
    void maskedTextKeepsPositions() {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        ui::MaskEdit field;
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        field.setFocus(Qt::TabFocusReason);
        QTest::keyClicks(&field, typed);
        QCOMPARE(field.maskedText(), text);
        field.setMaskedText(text);
        QCOMPARE(field.maskedText(), text);
    }

    void setMaskedTextKeepsBlanksInPlace() {
        ui::MaskEdit field;
        for (const QString& text : {QStringLiteral("05/03/202 "), QStringLiteral(" 5/03/2024"),
                                    QStringLiteral("  /03/    "), ui::MaskEdit::blankMask(),
                                    QStringLiteral(" 5/ 3/2 2 ")}) {
            field.setMaskedText(text);
            QCOMPARE(field.maskedText(), text);
        }
    }
};

COLETOR_TEST_MAIN(TestEntryRules)
#include "test_entry_rules.moc"
