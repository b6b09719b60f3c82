#include "Clerk.h"
#include "app/Startup.h"
#include "db/LookupQuery.h"
#include "db/Regional.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"
#include "ui/Dialogs.h"
#include "ui/LookupComboBox.h"
#include "ui/MaskEdit.h"
#include "ui/TFConversao.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

using clerk::focusName;
using clerk::keyTarget;
using clerk::press;

namespace {
// The refusal of an impossible date: what was typed, as the field showed it, and the form.
QString invalidDate(const char* typed) {
    return QStringLiteral(
               "Alerta|Data inválida: \"%1\".\rInforme dia, mês e ano na forma DD/MM/AAAA.")
        .arg(QLatin1String(typed));
}
} // namespace

class TestEntryFields : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        ui::Dialogs::setTestMode(true);
        db::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(10, 0)));
        qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
    }

    void init() {
        m_database = std::make_unique<TestDatabase>();
        for (const char* row :
             {"('01', 'Matriz')", "('02', 'Filial Centro')", "('07', 'Loja Sul')"})
            m_database->exec(QStringLiteral("Insert Into Filiais Values ") +
                             QString::fromUtf8(row));
        for (const char* row :
             {"('001', 'Balanço anual')", "('005', 'Contagem rotativa')", "('010', 'Quebra')"})
            m_database->exec(QStringLiteral("Insert Into CausInv Values ") +
                             QString::fromUtf8(row));
        m_dir = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(m_dir->path());
        m_database->pointToolAt(m_dir->path());
        m_form = std::make_unique<ui::TFConversao>(app::Startup{});
        QVERIFY(m_form->Empresa->isOpen());
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        ui::Dialogs::clearShown();
    }

    void cleanup() {
        m_form.reset();
        m_dir.reset();
        m_database.reset();
        QDir::setCurrent(QDir::tempPath());
    }

    void listsStartEmptyWithTheirColumns() {
        QCOMPARE(m_form->MostraEmpresa->shownText(), QString());
        QVERIFY(m_form->MostraEmpresa->keyValue().isNull());
        QCOMPARE(m_form->MostraCausa->shownText(), QString());
        m_form->MostraEmpresa->setKeyValue(QStringLiteral("02"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QStringLiteral("Filial Centro"));
        QCOMPARE(m_form->Empresa->currentRow(), 1);
        m_form->MostraEmpresa->setKeyValue(QStringLiteral("99"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QString());

        m_form->MostraEmpresa->dropDown();
        QTableView* view = m_form->MostraEmpresa->listView();
        QVERIFY(m_form->MostraEmpresa->isDroppedDown());
        QCOMPARE(view->window()->width(), 230);
        QCOMPARE(view->model()->rowCount(), 3);
        // Name first, then code; nothing else of the query.
        const QModelIndex name = view->indexAt(QPoint(5, 5));
        QCOMPARE(name.data().toString(), QStringLiteral("Matriz"));
        QVERIFY(!view->isColumnHidden(m_form->Empresa->columnOf(QStringLiteral("CodEmpresa"))));
        m_form->MostraEmpresa->hidePopup();

        m_form->MostraCausa->dropDown();
        view = m_form->MostraCausa->listView();
        QCOMPARE(view->window()->width(), m_form->MostraCausa->width());
        QCOMPARE(view->indexAt(QPoint(5, 5)).data().toString(), QStringLiteral("Balanço anual"));
        QVERIFY(!view->isColumnHidden(m_form->CausInv->columnOf(QStringLiteral("CodCausa"))));
        m_form->MostraCausa->hidePopup();
    }

    // The keyboard results of the company and cause controls, as a clerk meets them.
    void keyboard_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("expected");
        // expected: focus, company code, company shown, cause code, cause shown, dropped list.
        struct Row {
            const char* name;
            int tab;
            const char* start;
            const char* typed;
            const char* keys;
            const char* expected;
        };
        // clang-format off
        const Row rows[] = {
            {"company that exists, Enter", 0, "CodEmpresa", "7", "Enter",
             "MostraEmpresa|07|Loja Sul|||"},
            // The unknown code is removed and the list offered; the closed list shows nothing
            // nobody picked.
            {"company that does not exist, Enter", 0, "CodEmpresa", "9", "Enter",
             "MostraEmpresa||Matriz|||MostraEmpresa"},
            {"company that does not exist, Tab", 0, "CodEmpresa", "9", "Tab",
             "MostraEmpresa|||||"},
            {"empty company, Enter", 0, "CodEmpresa", "", "Enter",
             "MostraEmpresa||Matriz|||MostraEmpresa"},
            {"company list dropped down, Enter takes the highlighted", 0, "CodEmpresa", "",
             "Enter Down Enter", "MostraEmpresa|02|Filial Centro|||"},
            {"company list closed, Enter", 0, "CodEmpresa", "1", "Enter Enter",
             "CodCausa|01|Matriz|||"},
            {"company list closed, Enter, opening-stock tab", 1, "CodEmpresa", "1", "Enter Enter",
             "btOK|01|Matriz|||"},
            {"company list closed, Up keeps the selection", 0, "CodEmpresa", "2", "Enter Up",
             "CodEmpresa|02|Filial Centro|||"},
            {"company list dropped down, Up takes nothing", 0, "CodEmpresa", "", "Enter Down Up",
             "CodEmpresa||Matriz|||"},
            {"company list closed, Down steps and copies", 0, "CodEmpresa", "1", "Enter Down",
             "MostraEmpresa|02|Filial Centro|||"},
            {"company, Up", 0, "CodEmpresa", "7", "Up", "DtInventa|07|Loja Sul|||"},
            {"cause that exists, Enter", 0, "CodCausa", "5", "Enter",
             "btOK|||005|Contagem rotativa|"},
            {"cause that does not exist, Enter", 0, "CodCausa", "7", "Enter",
             "MostraCausa||||Balanço anual|MostraCausa"},
            {"cause that does not exist, Tab", 0, "CodCausa", "7", "Tab", "MostraCausa|||||"},
            {"empty cause, Enter", 0, "CodCausa", "", "Enter",
             "MostraCausa||||Balanço anual|MostraCausa"},
            {"cause list dropped down, Enter takes the highlighted", 0, "CodCausa", "",
             "Enter Down Enter", "MostraCausa|||005|Contagem rotativa|"},
            {"cause list closed, Enter", 0, "MostraCausa", "", "Enter", "btOK|||||"},
            {"cause list, Up", 0, "MostraCausa", "", "Up", "CodCausa|||||"},
            {"cause list dropped down, Up takes nothing", 0, "CodCausa", "", "Enter Down Up",
             "CodCausa||||Balanço anual|"},
            {"cause, Up", 0, "CodCausa", "10", "Up", "MostraEmpresa|||010|Quebra|"},
            {"whole path by keyboard", 0, "DtInventa", "5", "Enter 2 Enter Enter 1 Enter",
             "btOK|02|Filial Centro|001|Balanço anual|"},
        };
        // clang-format on
        for (const Row& row : rows)
            QTest::newRow(row.name)
                << row.tab << QString::fromLatin1(row.start) << QString::fromLatin1(row.typed)
                << QString::fromLatin1(row.keys)
                << QString::fromUtf8(row.expected).split(QLatin1Char('|'));
    }
    void keyboard() {
        QFETCH(int, tab);
        QFETCH(QString, start);
        QFETCH(QString, typed);
        QFETCH(QString, keys);
        QFETCH(QStringList, expected);
        m_form->PcDados->setCurrentIndex(tab);
        auto* control = m_form->findChild<QWidget*>(start);
        QVERIFY(control);
        control->setFocus();
        QTest::keyClicks(control, typed);
        // Digits between the keys are typed where the focus is.
        for (const QString& step : keys.split(QLatin1Char(' '))) {
            if (step.at(0).isDigit())
                QTest::keyClicks(keyTarget(), step);
            else
                press(step);
        }
        const QString dropped = m_form->MostraEmpresa->isDroppedDown() ? "MostraEmpresa"
                                : m_form->MostraCausa->isDroppedDown() ? "MostraCausa"
                                                                       : "";
        const QStringList actual{focusName(),
                                 m_form->CodEmpresa->text(),
                                 m_form->MostraEmpresa->shownText(),
                                 m_form->CodCausa->text(),
                                 m_form->MostraCausa->shownText(),
                                 dropped};
        QCOMPARE(actual, expected);
        QCOMPARE(clerk::shownTexts(), QStringList());
    }

    void typingBlanksTheListUntilLeft() {
        m_form->CodEmpresa->setFocus();
        QTest::keyClicks(m_form->CodEmpresa, QStringLiteral("7"));
        press(QStringLiteral("Enter Up"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QStringLiteral("Loja Sul"));
        QTest::keyClicks(m_form->CodEmpresa, QStringLiteral("1"));
        QCOMPARE(m_form->CodEmpresa->text(), QStringLiteral("1"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QString());
        QVERIFY(m_form->MostraEmpresa->keyValue().isNull());
        // Leaving an empty field changes nothing beside it.
        m_form->CodEmpresa->clear();
        m_form->MostraEmpresa->setKeyValue(QStringLiteral("01"));
        m_form->DtInventa->setFocus();
        QCOMPARE(m_form->MostraEmpresa->shownText(), QStringLiteral("Matriz"));
        QCOMPARE(m_form->CodEmpresa->text(), QString());
    }

    void codeFieldsLimitAndCase() {
        m_form->CodEmpresa->setFocus();
        QTest::keyClicks(m_form->CodEmpresa, QStringLiteral("abc"));
        QCOMPARE(m_form->CodEmpresa->text(), QStringLiteral("AB"));
        m_form->CodCausa->setFocus();
        QTest::keyClicks(m_form->CodCausa, QStringLiteral("abcd"));
        QCOMPARE(m_form->CodCausa->text(), QStringLiteral("abc"));
        // No cause is stored as "abc": removed on leaving, without a message.
        m_form->MostraCausa->setFocus();
        QCOMPARE(m_form->CodCausa->text(), QString());
        QVERIFY(ui::Dialogs::shown().isEmpty());
    }

    // A code set from a list whose key column is wider than the field keeps its rightmost
    // characters when the field is left.
    void longerCodeKeepsItsRightmostCharacters() {
        m_form->CodEmpresa->setText(QStringLiteral("107"));
        QCOMPARE(m_form->CodEmpresa->text(), QStringLiteral("107"));
        m_form->CodEmpresa->setFocus();
        m_form->MostraEmpresa->setFocus();
        QCOMPARE(m_form->CodEmpresa->text(), QStringLiteral("07"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QStringLiteral("Loja Sul"));
    }

    void pickingWithTheMouseKeepsTheFocus() {
        m_form->CodEmpresa->setFocus();
        press(QStringLiteral("Enter"));
        QTableView* view = m_form->MostraEmpresa->listView();
        QVERIFY(view->isVisible());
        const QRect third = view->visualRect(view->model()->index(2, 1));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, third.center());
        QVERIFY(!m_form->MostraEmpresa->isDroppedDown());
        QCOMPARE(m_form->CodEmpresa->text(), QStringLiteral("07"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QStringLiteral("Loja Sul"));
        QCOMPARE(m_form->Empresa->currentRow(), 2);
        QCOMPARE(focusName(), QStringLiteral("MostraEmpresa"));
    }

    void clickOnTheCodeFieldCopiesTheListsCode() {
        // Setting the key from the program raises no click: the field stays empty.
        m_form->MostraCausa->setKeyValue(QStringLiteral("010"));
        QCOMPARE(m_form->CodCausa->text(), QString());
        QTest::mouseClick(m_form->CodCausa, Qt::LeftButton);
        QCOMPARE(m_form->CodCausa->text(), QStringLiteral("010"));
        // A click with nothing shown copies nothing.
        m_form->MostraEmpresa->setKeyValue({});
        QTest::mouseClick(m_form->CodEmpresa, Qt::LeftButton);
        QCOMPARE(m_form->CodEmpresa->text(), QString());
    }

    void escInADroppedDownListOnlyClosesIt() {
        m_form->edtCaminho->setText(QStringLiteral("coleta.txt"));
        m_form->DtInventa->setMaskedText(QStringLiteral("05/03/2024"));
        m_form->CodEmpresa->setFocus();
        press(QStringLiteral("Enter Down Esc"));
        QVERIFY(!m_form->MostraEmpresa->isDroppedDown());
        QCOMPARE(focusName(), QStringLiteral("MostraEmpresa"));
        QCOMPARE(m_form->CodEmpresa->text(), QString());
        QCOMPARE(m_form->MostraEmpresa->shownText(), QStringLiteral("Matriz"));
        QCOMPARE(m_form->edtCaminho->text(), QStringLiteral("coleta.txt"));
        QCOMPARE(m_form->DtInventa->maskedText(), QStringLiteral("05/03/2024"));
    }

    // A closed look-up is no query error for the clerk: the warning says there is no
    // connection (test_startup has the text), and the search is not tried.
    void lookupsClosedSayNoConnection() {
        m_form->Empresa->close();
        m_form->CodEmpresa->setFocus();
        QTest::keyClicks(m_form->CodEmpresa, QStringLiteral("7"));
        press(QStringLiteral("Tab"));
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        QCOMPARE(ui::Dialogs::shown().constFirst().icon, QStringLiteral("warning"));
        QVERIFY(ui::Dialogs::shown().constFirst().text.startsWith(
            QStringLiteral("Não há conexão com o banco de dados")));
        // Padded, and nothing more ran.
        QCOMPARE(m_form->CodEmpresa->text(), QStringLiteral("07"));
        QCOMPARE(m_form->MostraEmpresa->shownText(), QString());
    }

    // Enter in the date field: the leave check runs inside the form's focus move, then the
    // field's own key handler. The completion rule itself is the entry rules' test; these rows
    // check the keys reach it.
    void dateEnter_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("day only") << "5"
                                  << "05/12/2026" << QStringList{};
        QTest::newRow("three-digit year")
            << "05/03/202"
            << "05/03/0202"
            << QStringList{QStringLiteral("Warning|Atenção Data Suspeita:\r05/03/202 ")};
        QTest::newRow("blank") << ""
                               << "06/12/2026"
                               << QStringList{
                                      QStringLiteral("Alerta|Data não pode ficar em branco.")};
        QTest::newRow("impossible") << "31022026"
                                    << "06/12/2026" << QStringList{invalidDate("31/02/2026")};
    }
    void dateEnter() {
        QFETCH(QString, typed);
        QFETCH(QString, date);
        QFETCH(QStringList, messages);
        m_form->DtInventa->setFocus();
        QTest::keyClicks(m_form->DtInventa, typed);
        press(QStringLiteral("Enter"));
        QCOMPARE(m_form->DtInventa->maskedText(), date);
        QCOMPARE(clerk::shownTexts(), messages);
        QCOMPARE(focusName(), QStringLiteral("CodEmpresa"));
    }

    // Leaving the date field any other way runs the leave check alone.
    void dateLeft_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("date");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QString>("focus");
        const QString blank = ui::MaskEdit::blankMask();
        QTest::newRow("Tab, blank")
            << ""
            << "Tab" << blank
            << QStringList{QStringLiteral("Alerta|Data não pode ficar em branco.")} << "DtInventa";
        QTest::newRow("Tab, impossible")
            << "31/02/2026"
            << "Tab" << blank << QStringList{invalidDate("31/02/2026")} << "DtInventa";
        QTest::newRow("Tab, day and month") << "5/3"
                                            << "Tab"
                                            << "05/03/2026" << QStringList{} << "CodEmpresa";
        QTest::newRow("Up, blank")
            << ""
            << "Up" << blank << QStringList{QStringLiteral("Alerta|Data não pode ficar em branco.")}
            << "DtInventa";
    }
    void dateLeft() {
        QFETCH(QString, typed);
        QFETCH(QString, keys);
        QFETCH(QString, date);
        QFETCH(QStringList, messages);
        QFETCH(QString, focus);
        m_form->DtInventa->setFocus();
        QTest::keyClicks(m_form->DtInventa, typed);
        press(keys);
        QCOMPARE(m_form->DtInventa->maskedText(), date);
        QCOMPARE(clerk::shownTexts(), messages);
        QCOMPARE(focusName(), focus);
    }

    void refusedDateCanBeRetyped() {
        m_form->DtInventa->setFocus();
        QTest::keyClicks(m_form->DtInventa, QStringLiteral("31022026"));
        press(QStringLiteral("Tab"));
        QCOMPARE(focusName(), QStringLiteral("DtInventa"));
        QTest::keyClicks(m_form->DtInventa, QStringLiteral("28"));
        press(QStringLiteral("Tab"));
        QCOMPARE(m_form->DtInventa->maskedText(), QStringLiteral("28/12/2026"));
        QCOMPARE(focusName(), QStringLiteral("CodEmpresa"));
    }

    // A refused date keeps the focus even when the click was heading for a cause that exists,
    // whose own leave rule would send the focus on to the convert button.
    void refusedDateHoldsTheFocusAgainstAClick() {
        m_form->CodCausa->setText(QStringLiteral("005"));
        m_form->DtInventa->setFocus();
        QTest::mouseClick(m_form->CodCausa, Qt::LeftButton);
        QCOMPARE(clerk::shownTexts(),
                 QStringList{QStringLiteral("Alerta|Data não pode ficar em branco.")});
        QCOMPARE(focusName(), QStringLiteral("DtInventa"));
    }

    // With real modal boxes: the box takes the focus while it is open, which is no leave, and
    // the focus returns to the date field once it is closed.
    void modalBoxGivesTheFocusBack() {
        ui::Dialogs::setTestMode(false);
        int closed = 0;
        QTimer closer;
        connect(&closer, &QTimer::timeout, this, [&closed] {
            if (QWidget* box = QApplication::activeModalWidget()) {
                box->close();
                ++closed;
            }
        });
        closer.start(20);
        m_form->DtInventa->setFocus();
        press(QStringLiteral("Tab"));
        ui::Dialogs::setTestMode(true);
        QCOMPARE(closed, 1);
        // The test platform leaves reactivating the form to the program, as a desktop does.
        m_form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QTRY_COMPARE(focusName(), QStringLiteral("DtInventa"));
        QCOMPARE(m_form->DtInventa->maskedText(), ui::MaskEdit::blankMask());
        QTest::keyClicks(m_form->DtInventa, QStringLiteral("5"));
        QCOMPARE(m_form->DtInventa->maskedText(), QStringLiteral("5 /  /    "));
    }

private:
    std::unique_ptr<TestDatabase> m_database;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ui::TFConversao> m_form;
};

COLETOR_TEST_MAIN(TestEntryFields)
#include "test_entry_fields.moc"
