#include "FormFixture.h"
#include "conversion/RejectionList.h"
#include "tests/TestMain.h"
#include "ui/LookupComboBox.h"
#include "ui/MaskEdit.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>

namespace {
const QString FullDate = QStringLiteral("01/02/2026");

bool shownOnForm(QWidget* control, QWidget* form) {
    return control->isVisibleTo(form);
}
} // namespace

class TestFormKeys : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FormFixture::prepareEnvironment(); }
    void init() {
        m_fixture = std::make_unique<FormFixture>();
        QVERIFY(m_fixture->open());
    }
    void cleanup() {
        m_fixture->close();
        m_fixture.reset();
    }

    // Each row starts with the focus on one control and presses one key again and again;
    // the focus must pass the controls listed, in order. A full date and codes that exist keep
    // the leave checks quiet; a cause that exists sends Enter on to the convert button.
    void focusChains_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("lists");
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("chain");
        const int enter = Qt::Key_Return;
        const int up = Qt::Key_Up;
        QTest::newRow("inventory entry, Enter")
            << 0 << false << "tabs" << enter
            << QStringList{"DtInventa", "CodEmpresa", "MostraEmpresa", "CodCausa", "btOK"};
        QTest::newRow("opening-stock entry, Enter")
            << 1 << false << "tabs" << enter
            << QStringList{"DtInventa", "CodEmpresa", "MostraEmpresa", "btOK"};
        QTest::newRow("keypad Enter in the path")
            << 0 << false << "edtCaminho" << int(Qt::Key_Enter) << QStringList{"btAbrir"};
        QTest::newRow("inventory entry, Up")
            << 0 << false << "btOK" << up
            << QStringList{"MostraCausa", "CodCausa", "MostraEmpresa", "CodEmpresa", "DtInventa",
                           "tabs",        "btAbrir",  "edtCaminho",    "btOK"};
        QTest::newRow("opening-stock entry, Up")
            << 1 << false << "btOK" << up
            << QStringList{"MostraEmpresa", "CodEmpresa", "DtInventa", "tabs",
                           "btAbrir",       "edtCaminho", "btOK"};
        QTest::newRow("inventory list, Enter")
            << 0 << true << "tabs" << enter << QStringList{"ProdutosNaoEncontrados", "BitBtn2"};
        QTest::newRow("inventory list, Up")
            << 0 << true << "tabs" << up
            << QStringList{"btnSalvar", "BitBtn2", "ProdutosNaoEncontrados",
                           "ProdutosNaoEncontrados"};
        QTest::newRow("inventory list, Down on the buttons")
            << 0 << true << "BitBtn2" << int(Qt::Key_Down) << QStringList{"btnSalvar", "tabs"};
        QTest::newRow("opening-stock list, Enter")
            << 1 << true << "tabs" << enter << QStringList{"StringGrid1", "BitBtn3"};
        QTest::newRow("opening-stock list, Up")
            << 1 << true << "tabs" << up << QStringList{"BitBtn3", "StringGrid1", "StringGrid1"};
        QTest::newRow("inventory list, Tab leaves the grid")
            << 0 << true << "ProdutosNaoEncontrados" << int(Qt::Key_Tab)
            << QStringList{"BitBtn2", "btnSalvar"};
        QTest::newRow("inventory list, Shift+Tab leaves the grid")
            << 0 << true << "ProdutosNaoEncontrados" << int(Qt::Key_Backtab) << QStringList{"tabs"};
        QTest::newRow("opening-stock list, Tab leaves the grid")
            << 1 << true << "StringGrid1" << int(Qt::Key_Tab) << QStringList{"BitBtn3"};
    }
    void focusChains() {
        QFETCH(int, tab);
        QFETCH(bool, lists);
        QFETCH(QString, start);
        QFETCH(int, key);
        QFETCH(QStringList, chain);
        ui::TFConversao& form = m_fixture->form();
        form.DtInventa->setMaskedText(FullDate);
        form.CodEmpresa->setText(QStringLiteral("01"));
        form.CodCausa->setText(QStringLiteral("001"));
        form.PcDados->setCurrentIndex(tab);
        if (lists)
            m_fixture->showLists(FormFixture::WithRows);
        m_fixture->control(start)->setFocus();
        QCOMPARE(m_fixture->focusName(), start);
        QStringList passed;
        for (qsizetype i = 0; i < chain.size(); ++i) {
            m_fixture->press(static_cast<Qt::Key>(key));
            passed << m_fixture->focusName();
        }
        QCOMPARE(passed, chain);
        QVERIFY(ui::Dialogs::shown().isEmpty());
    }

    // The form moves the focus first, and the leave handler of the control left runs inside
    // that move; the key still reaches the control that had the focus.
    void keyGoesOnToTheControlThatHadTheFocus() {
        ui::TFConversao& form = m_fixture->form();
        form.PcDados->setCurrentIndex(1);
        m_fixture->showLists(FormFixture::WithRows);
        conversion::RejectionList* list = form.openingRejections();
        for (const char* code : {"A", "B", "C"})
            list->add(QString::fromLatin1(code), QStringLiteral("Referência não encontrada."));
        form.StringGrid1->setFocus();
        form.StringGrid1->setCurrentIndex(list->index(2, 0));
        QSignalSpy returnPressed(form.edtCaminho, &QLineEdit::returnPressed);
        m_fixture->press(Qt::Key_Up);
        QCOMPARE(form.StringGrid1->currentIndex().row(), 1);
        QCOMPARE(m_fixture->focusName(), QStringLiteral("StringGrid1"));

        form.BitBtn3->click();
        QCOMPARE(m_fixture->focusName(), QStringLiteral("edtCaminho"));
        m_fixture->press(Qt::Key_Return);
        QCOMPARE(returnPressed.count(), 1);
        QCOMPARE(m_fixture->focusName(), QStringLiteral("btAbrir"));
    }

    // The press is the button's own: a cancelled file dialog leaves the focus where it was, and
    // a conversion with no path sends it to the path field with the blank-field warning.
    void enterPressesTheFocusedButton_data() {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("open") << "btAbrir"
                              << "btAbrir";
        QTest::newRow("convert") << "btOK"
                                 << "edtCaminho";
    }
    void enterPressesTheFocusedButton() {
        QFETCH(QString, button);
        QFETCH(QString, focusAfter);
        auto* pushButton = qobject_cast<QPushButton*>(m_fixture->control(button));
        QVERIFY(pushButton);
        QSignalSpy clicked(pushButton, &QPushButton::clicked);
        pushButton->setFocus();
        m_fixture->press(Qt::Key_Return);
        QCOMPARE(clicked.count(), 1);
        QCOMPARE(m_fixture->focusName(), focusAfter);
    }

    void enterOnVoltarGoesBackToTheEntry() {
        ui::TFConversao& form = m_fixture->form();
        m_fixture->showLists(FormFixture::WithRows);
        form.BitBtn2->setFocus();
        m_fixture->press(Qt::Key_Return);
        QCOMPARE(form.Notebook->currentIndex(), 0);
        QCOMPARE(form.Notebook1->currentIndex(), 0);
        QVERIFY(shownOnForm(form.edtCaminho, &form));
    }

    // Esc empties every entry wherever the focus is; in the entry state the path field takes
    // the focus, in the list state (path hidden) the grid of the active tab.
    void escapeClearsTheEntries_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("lists");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("focusAfter");
        QTest::newRow("path") << 0 << false << "edtCaminho"
                              << "edtCaminho";
        QTest::newRow("company code") << 0 << false << "CodEmpresa"
                                      << "edtCaminho";
        QTest::newRow("cause code") << 0 << false << "CodCausa"
                                    << "edtCaminho";
        QTest::newRow("company list closed") << 0 << false << "MostraEmpresa"
                                             << "edtCaminho";
        QTest::newRow("cause list closed") << 0 << false << "MostraCausa"
                                           << "edtCaminho";
        QTest::newRow("open button") << 0 << false << "btAbrir"
                                     << "edtCaminho";
        QTest::newRow("convert button") << 1 << false << "btOK"
                                        << "edtCaminho";
        QTest::newRow("tab strip") << 1 << false << "tabs"
                                   << "edtCaminho";
        QTest::newRow("inventory list") << 0 << true << "ProdutosNaoEncontrados"
                                        << "ProdutosNaoEncontrados";
        QTest::newRow("inventory list button") << 0 << true << "btnSalvar"
                                               << "ProdutosNaoEncontrados";
        QTest::newRow("opening-stock list button") << 1 << true << "BitBtn3"
                                                   << "StringGrid1";
    }
    void escapeClearsTheEntries() {
        QFETCH(int, tab);
        QFETCH(bool, lists);
        QFETCH(QString, start);
        QFETCH(QString, focusAfter);
        ui::TFConversao& form = m_fixture->form();
        fillEntries();
        form.PcDados->setCurrentIndex(tab);
        if (lists)
            m_fixture->showLists(FormFixture::WithRows);
        m_fixture->control(start)->setFocus();
        m_fixture->press(Qt::Key_Escape);
        verifyEntriesEmpty();
        QCOMPARE(m_fixture->focusName(), focusAfter);
        QCOMPARE(form.PcDados->currentIndex(), tab);
        QCOMPARE(form.Notebook->currentIndex(), lists ? 1 : 0);
    }

    // Esc empties the entries and takes the focus out of the date field, so its leave check
    // runs on the blank date: the blank-date box, and the focus back in the date field.
    void escapeInTheDateLeavesIt() {
        ui::TFConversao& form = m_fixture->form();
        fillEntries();
        form.DtInventa->setFocus();
        m_fixture->press(Qt::Key_Escape);
        verifyEntriesEmpty();
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        QCOMPARE(ui::Dialogs::shown().constFirst().text,
                 QStringLiteral("Data não pode ficar em branco."));
        QCOMPARE(ui::Dialogs::shown().constFirst().caption, QStringLiteral("Alerta"));
        QCOMPARE(m_fixture->focusName(), QStringLiteral("DtInventa"));
    }

    // Ctrl+Tab and Ctrl+Shift+Tab switch tabs from the entry fields, which lie outside the tab
    // control; the focus stays where it was.
    void controlTabSwitchesTabsFromAnyField() {
        ui::TFConversao& form = m_fixture->form();
        form.CodEmpresa->setFocus();
        QTest::keyClick(form.CodEmpresa, Qt::Key_Tab, Qt::ControlModifier);
        QCOMPARE(form.PcDados->currentIndex(), 1);
        QVERIFY(!shownOnForm(form.CodCausa, &form));
        QCOMPARE(m_fixture->focusName(), QStringLiteral("CodEmpresa"));
        QTest::keyClick(form.CodEmpresa, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(form.PcDados->currentIndex(), 0);
        QVERIFY(shownOnForm(form.CodCausa, &form));
        QTest::keyClick(form.CodEmpresa, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(form.PcDados->currentIndex(), 1);
        form.PcDados->tabBar()->setEnabled(false);
        QTest::keyClick(form.CodEmpresa, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(form.PcDados->currentIndex(), 1);
    }

    void causeFieldsFollowTheTab() {
        ui::TFConversao& form = m_fixture->form();
        form.CodCausa->setText(QStringLiteral("001"));
        form.PcDados->setCurrentIndex(1);
        QVERIFY(!shownOnForm(form.CodCausa, &form));
        QVERIFY(!shownOnForm(form.MostraCausa, &form));
        QVERIFY(shownOnForm(form.CodEmpresa, &form));
        form.PcDados->setCurrentIndex(0);
        QVERIFY(shownOnForm(form.CodCausa, &form));
        QVERIFY(shownOnForm(form.MostraCausa, &form));
        QCOMPARE(form.CodCausa->text(), QStringLiteral("001"));
    }

    // In the list state the tab strip still switches, each tab showing its list page, and
    // the cause fields stay hidden; "&Voltar" then shows them by the tab.
    void voltarShowsTheCauseFieldsByTheTab_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("causeShown");
        QTest::newRow("inventory") << 0 << true;
        QTest::newRow("opening stock") << 1 << false;
    }
    void voltarShowsTheCauseFieldsByTheTab() {
        QFETCH(int, tab);
        QFETCH(bool, causeShown);
        ui::TFConversao& form = m_fixture->form();
        m_fixture->showLists(FormFixture::WithRows);
        QTabBar* tabs = form.PcDados->tabBar();
        tabs->setFocus();
        m_fixture->press(Qt::Key_Right);
        QCOMPARE(form.PcDados->currentIndex(), 1);
        QVERIFY(shownOnForm(form.StringGrid1, &form));
        QVERIFY(!shownOnForm(form.CodCausa, &form));
        m_fixture->press(Qt::Key_Left);
        QCOMPARE(form.PcDados->currentIndex(), 0);
        QVERIFY(shownOnForm(form.ProdutosNaoEncontrados, &form));
        QVERIFY(!shownOnForm(form.CodCausa, &form));

        form.PcDados->setCurrentIndex(tab);
        (tab == 0 ? form.BitBtn2 : form.BitBtn3)->click();
        QCOMPARE(form.Notebook->currentIndex(), 0);
        QCOMPARE(form.Notebook1->currentIndex(), 0);
        QCOMPARE(shownOnForm(form.CodCausa, &form), causeShown);
        QCOMPARE(shownOnForm(form.MostraCausa, &form), causeShown);
        for (QWidget* control :
             {static_cast<QWidget*>(form.edtCaminho), static_cast<QWidget*>(form.btAbrir),
              static_cast<QWidget*>(form.DtInventa), static_cast<QWidget*>(form.CodEmpresa),
              static_cast<QWidget*>(form.MostraEmpresa), static_cast<QWidget*>(form.btOK)})
            QVERIFY2(shownOnForm(control, &form), qPrintable(control->objectName()));
    }

private:
    void fillEntries() {
        ui::TFConversao& form = m_fixture->form();
        form.edtCaminho->setText(QStringLiteral("c:\\coletor\\leituras.txt"));
        form.DtInventa->setMaskedText(FullDate);
        form.CodEmpresa->setText(QStringLiteral("01"));
        form.MostraEmpresa->setKeyValue(QStringLiteral("01"));
        form.CodCausa->setText(QStringLiteral("001"));
        form.MostraCausa->setKeyValue(QStringLiteral("001"));
    }
    void verifyEntriesEmpty() {
        ui::TFConversao& form = m_fixture->form();
        QCOMPARE(form.edtCaminho->text(), QString());
        QCOMPARE(form.DtInventa->maskedText(), ui::MaskEdit::blankMask());
        QCOMPARE(form.CodEmpresa->text(), QString());
        QCOMPARE(form.CodCausa->text(), QString());
        QVERIFY(form.MostraEmpresa->keyValue().isNull());
        QVERIFY(form.MostraCausa->keyValue().isNull());
    }

    std::unique_ptr<FormFixture> m_fixture;
};

COLETOR_TEST_MAIN(TestFormKeys)
#include "test_form_keys.moc"
