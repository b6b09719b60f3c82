// The journal as the clerk meets it in the window: the question before a second conversion,
// the line at the top of the review, the status line without a journal, the history's undo.
#include "RunForm.h"
#include "app/Startup.h"
#include "conversion/Journal.h"
#include "db/Connection.h"
#include "db/Regional.h"
#include "tests/Relayed.h"
#include "tests/TestDatabase.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"
#include "ui/Dialogs.h"
#include "ui/HistoryWindow.h"
#include "ui/MaskEdit.h"
#include "ui/ReviewWindow.h"
#include "ui/TFConversao.h"
#include "ui/UncountedWindow.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

class TestJournalWindow : public RunForm {
    Q_OBJECT

    // The form on a file of one reading.
    void openFormOnAFile() {
        openForm();
        const QString path = m_dir->filePath(QStringLiteral("coletor.txt"));
        testfiles::write(path, "789000001,2\r\n");
        m_form->edtCaminho->setText(path);
    }
    QStringList counts() const {
        return m_database->rows(QStringLiteral("Select CodProd, Quantidade From Inventa"));
    }
    QStringList shown() const {
        QStringList texts;
        for (const ui::Dialogs::Shown& box : ui::Dialogs::shown())
            texts << box.caption + u'|' + box.icon + u'|' + box.text.section(u'\r', 0, 0);
        return texts;
    }

private slots:
    void initTestCase() { prepareEnvironment(); }
    void init() { makeFolderAndDatabase(); }
    void cleanup() { dropAll(); }

    // The same file again: the question names the first run and says what "Sim" does; "Não",
    // the default, posts nothing and says so in the status line. An opening stock's products
    // have movements once posted, so "Sim" posts none of them again.
    void secondConversionAsks_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("sim");
        QTest::addColumn<QString>("after");
        QTest::addColumn<QString>("status");
        // The box after "Sim".
        QTest::addColumn<QString>("end");
        const QString addsAgain =
            QStringLiteral("\"Sim\" soma as leituras outra vez às contagens já gravadas: cada "
                           "contagem cresce de novo.");
        const QString refusedAgain =
            QStringLiteral("\"Sim\" converte outra vez, mas os produtos que a conversão "
                           "anterior lançou já têm movimentos e serão rejeitados.");
        const QString notPosted = QStringLiteral("Nada foi gravado.");
        QTest::newRow("inventory, Não")
            << 0 << false << addsAgain << "P1|2" << notPosted << QString();
        QTest::newRow("inventory, Sim") << 0 << true << addsAgain << "P1|4"
                                        << ""
                                        << "Processo de conversão concluído com sucesso!";
        QTest::newRow("opening stock, Não")
            << 1 << false << refusedAgain << "P1|2" << notPosted << QString();
        QTest::newRow("opening stock, Sim")
            << 1 << true << refusedAgain << "P1|2"
            << ""
            << "Nenhuma leitura foi gravada: a única leitura foi rejeitada; veja a lista.";
    }
    void secondConversionAsks() {
        QFETCH(int, tab);
        QFETCH(bool, answer);
        QFETCH(QString, sim);
        QFETCH(QString, after);
        QFETCH(QString, status);
        QFETCH(QString, end);
        openFormOnAFile();
        m_form->PcDados->setCurrentIndex(tab);
        m_form->btOKClick();
        const QString posted =
            tab == 0 ? QStringLiteral("Select CodProd, Quantidade From Inventa")
                     : QStringLiteral("Select CODPROD, Sum(QUANTIDADE) From INCIEST Group By 1");
        QCOMPARE(m_database->rows(posted), QStringList{"P1|2"});
        ui::Dialogs::clearShown();

        ui::Dialogs::setNextAnswer(answer);
        m_form->btOKClick();
        const QString question =
            QStringLiteral("Este arquivo já foi convertido em 08/12/2026 09:15 por %1 na estação "
                           "%2: 1 leitura gravada (%3, empresa 01, data 06/12/2026%4).\r%5\r"
                           "Converter de novo?")
                .arg(conversion::journal::currentUser(), conversion::journal::workstationName(),
                     tab == 0 ? QStringLiteral("inventário") : QStringLiteral("início de estoque"),
                     tab == 0 ? QStringLiteral(", causa 003") : QString(), sim);
        QVERIFY(!ui::Dialogs::shown().isEmpty());
        QCOMPARE(ui::Dialogs::shown().constFirst().text, question);
        QCOMPARE(ui::Dialogs::shown().size(), answer ? 2 : 1);
        QCOMPARE(ui::Dialogs::shown().constLast().text, answer ? end : question);
        QCOMPARE(m_database->rows(posted), QStringList{after});
        QCOMPARE(m_form->lblStatus->text(), status);
    }

    // The review of a file converted before says so at its top.
    void reviewSaysConvertedBefore() {
        openFormOnAFile();
        m_form->btOKClick();
        m_form->btSimularClick();
        ui::ReviewWindow* review = nullptr;
        QTRY_VERIFY((review = m_form->findChild<ui::ReviewWindow*>()));
        auto* line = review->findChild<QLabel*>(QStringLiteral("JaConvertido"));
        QVERIFY(line->isVisible());
        QVERIFY2(line->text().startsWith(QStringLiteral("Este arquivo já foi convertido em ")),
                 qPrintable(line->text()));
        review->reject();
    }

    // Without the tables the window converts as before, with no question, and says once, in
    // its status line, that the journal is off.
    void journalOffSaidOnce() {
        m_database->exec(QStringLiteral("Drop Table ConvColetorIt"));
        m_database->exec(QStringLiteral("Drop Table ConvColetor"));
        openFormOnAFile();
        QCOMPARE(m_form->lblStatus->text(), conversion::journal::offShortText());
        QCOMPARE(m_form->lblStatus->toolTip(), conversion::journal::offText());
        m_form->btOKClick();
        m_form->btOKClick();
        QCOMPARE(counts(), QStringList{"P1|4"});
        QCOMPARE(shown().size(), 2);
        QVERIFY(m_form->lblStatus->text().isEmpty());
    }

    // "Histórico" lists the run; "Desfazer", once confirmed, takes its readings back out.
    void historyUndoes() {
        openFormOnAFile();
        m_form->btOKClick();
        ui::Dialogs::clearShown();
        QTest::mouseClick(m_form->btHistorico, Qt::LeftButton);
        ui::HistoryWindow* history = nullptr;
        QTRY_VERIFY((history = m_form->findChild<ui::HistoryWindow*>()));
        QAbstractItemModel* runs = history->table()->model();
        QCOMPARE(runs->rowCount(), 1);
        QCOMPARE(runs->index(0, 11).data().toString(), QStringLiteral("Gravada"));

        // A filter that leaves it out, then none.
        history->dateFilter()->setText(QStringLiteral("07/12/2026"));
        QCOMPARE(runs->rowCount(), 0);
        history->dateFilter()->clear();
        QCOMPARE(runs->rowCount(), 1);

        history->undoSelected();
        QCOMPARE(counts(), QStringList{"P1|2"});
        ui::Dialogs::setNextAnswer(true);
        history->undoSelected();
        QCOMPARE(counts(), QStringList());
        QVERIFY2(runs->index(0, 11).data().toString().startsWith(QStringLiteral("Desfeita em")),
                 qPrintable(runs->index(0, 11).data().toString()));
        // The undone run stays chosen, and nothing is left to undo there.
        QCOMPARE(history->table()->currentIndex().row(), 0);
        QVERIFY(!history->findChild<QPushButton*>(QStringLiteral("Desfazer"))->isEnabled());
        QCOMPARE(shown().size(), 3);
        QCOMPARE(shown().at(2), QStringLiteral("Informação|information|Conversão desfeita: 1 "
                                               "leitura em 1 linha de Inventa."));
        history->reject();
    }

    // Another workstation's run holds the company's turn: the undo counts the wait in the
    // window, then goes through once the other run has ended.
    void historyUndoWaitsForTheTurn() {
        openFormOnAFile();
        m_form->btOKClick();
        QTest::mouseClick(m_form->btHistorico, Qt::LeftButton);
        ui::HistoryWindow* history = nullptr;
        QTRY_VERIFY((history = m_form->findChild<ui::HistoryWindow*>()));
        ExtraConnection other(m_database->database(), QStringLiteral("other workstation"));
        QSqlDatabase holder = other.database();
        QVERIFY(holder.open());
        QVERIFY(m_database->dialect().beginRunTransaction(holder, QStringLiteral("01")).taken);
        auto* status = history->findChild<QLabel*>(QStringLiteral("Situacao"));
        QString waiting;
        QTimer::singleShot(1500, history, [&] {
            waiting = status->text();
            holder.rollback();
        });
        ui::Dialogs::setNextAnswer(true);
        history->undoSelected();
        QVERIFY2(waiting.startsWith(QStringLiteral(
                     "Aguardando outra estação de trabalho terminar a conversão… (")),
                 qPrintable(waiting));
        QCOMPARE(counts(), QStringList());
        QVERIFY(status->text().isEmpty());
        history->reject();
    }

    // Closing the count from the window: the review shows what nobody counted less what the
    // file counts; "Não contados" lists it for the entries, and zeroes it only after a question
    // that names how many and what they are worth ("Não" the default); the history shows the
    // zeroing.
    void closingTheCount() {
        for (const char* statement : {"Insert Into Produto Values ('P2', 'Calça', 1, 'REF2', NULL)",
                                      "Insert Into CompProd Values ('01', 'P1', '0001', 4, 2.5)",
                                      "Insert Into CompProd Values ('01', 'P2', '0000', 3, 10)"})
            m_database->exec(QString::fromLatin1(statement));
        openFormOnAFile();
        m_form->btSimularClick();
        ui::ReviewWindow* review = nullptr;
        QTRY_VERIFY((review = m_form->findChild<ui::ReviewWindow*>()));
        auto* show = review->findChild<QComboBox*>(QStringLiteral("Mostrar"));
        show->setCurrentIndex(show->findText(QStringLiteral("Não contados")));
        QCOMPARE(review->table()->model()->rowCount(), 1);
        QCOMPARE(review->table()->model()->index(0, 2).data().toString(), QStringLiteral("P2"));
        review->reject();

        QTest::mouseClick(m_form->btNaoContados, Qt::LeftButton);
        ui::UncountedWindow* window = nullptr;
        QTRY_VERIFY((window = m_form->findChild<ui::UncountedWindow*>()));
        QCOMPARE(window->table()->model()->rowCount(), 2);
        QCOMPARE(window->findChild<QLabel*>(QStringLiteral("Totais"))->text(),
                 QStringLiteral("2 produtos não contados   Estoque: 7   Valor: 40,00"));
        ui::Dialogs::clearShown();
        window->zeroAll();
        QCOMPARE(shown(), QStringList{"Zerar não contados|question|Zerar a contagem de 2 produtos "
                                      "não contados da empresa 01 no inventário de 06/12/2026?"});
        QCOMPARE(ui::Dialogs::shown().constLast().text.section(u'\r', 1),
                 QStringLiteral("Cada um ganha uma contagem 0 (causa 003); o estoque deles, 7, "
                                "vale 40,00."));
        QCOMPARE(counts(), QStringList());

        ui::Dialogs::setNextAnswer(true);
        window->zeroAll();
        QCOMPARE(shown().constLast(), QStringLiteral("Informação|information|2 produtos não "
                                                     "contados zerados (estoque 7, valor "
                                                     "40,00)."));
        QCOMPARE(counts(), (QStringList{"P1|0", "P2|0"}));
        QCOMPARE(window->table()->model()->rowCount(), 0);
        QVERIFY(!window->findChild<QPushButton*>(QStringLiteral("Zerar"))->isEnabled());
        window->reject();

        m_form->btHistoricoClick();
        ui::HistoryWindow* history = nullptr;
        QTRY_VERIFY((history = m_form->findChild<ui::HistoryWindow*>()));
        QCOMPARE(history->table()->model()->index(0, 1).data().toString(),
                 QStringLiteral("Não contados"));
        history->reject();
    }

    // Zeroing at a date far from today asks about the date first, as a run does, "Não" the
    // default, which zeroes nothing; up to 60 days after today only the zeroing is asked.
    void zeroingAtAFarDateAsksFirst_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("yes");
        QTest::newRow("60 days after") << "06/02/2027" << false << false;
        QTest::newRow("61 days after, Não") << "07/02/2027" << true << false;
        QTest::newRow("a mistyped year, Sim") << "06/12/2062" << true << true;
        QTest::newRow("a year and a day before, Não") << "07/12/2025" << true << false;
    }
    void zeroingAtAFarDateAsksFirst() {
        QFETCH(QString, date);
        QFETCH(bool, asked);
        QFETCH(bool, yes);
        m_database->exec(
            QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0001', 4, 2.5)"));
        openForm();
        m_form->DtInventa->setMaskedText(date);
        QTest::mouseClick(m_form->btNaoContados, Qt::LeftButton);
        ui::UncountedWindow* window = nullptr;
        QTRY_VERIFY((window = m_form->findChild<ui::UncountedWindow*>()));
        ui::Dialogs::clearShown();
        const bool zeroed = !asked || yes;
        if (asked)
            ui::Dialogs::setNextAnswer(yes);
        if (zeroed)
            ui::Dialogs::setNextAnswer(true);
        window->zeroAll();
        QStringList expected;
        if (asked)
            expected << "Data distante|question|Data distante de hoje: " + date +
                            " (hoje é 08/12/2026).";
        if (zeroed)
            expected << "Zerar não contados|question|Zerar a contagem de 1 produto não contado da "
                        "empresa 01 no inventário de " +
                            date + "?"
                     << "Informação|information|1 produto não contado zerado (estoque 4, valor "
                        "10,00).";
        QCOMPARE(shown(), expected);
        if (asked)
            QCOMPARE(
                ui::Dialogs::shown().constFirst().text.section(u'\r', 1),
                QStringLiteral("As contagens 0 serão gravadas nessa data. Zerar assim mesmo?"));
        QCOMPARE(counts(), zeroed ? QStringList{"P1|0"} : QStringList());
        window->reject();
    }
};

COLETOR_TEST_MAIN(TestJournalWindow)
#include "test_journal_window.moc"
