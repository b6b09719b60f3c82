#include "RunForm.h"
#include "app/Startup.h"
#include "conversion/CollectorFile.h"
#include "conversion/RejectionList.h"
#include "db/Connection.h"
#include "db/Regional.h"
#include "tests/Relayed.h"
#include "tests/TestDatabase.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"
#include "ui/Dialogs.h"
#include "ui/MaskEdit.h"
#include "ui/TFConversao.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <memory>

namespace {
QString focusName() {
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}
} // namespace

class TestRun : public RunForm {
    Q_OBJECT

    QString collectorFile(const QByteArray& content,
                          const QString& name = QStringLiteral("coletor.txt")) {
        const QString path = m_dir->filePath(name);
        testfiles::write(path, content);
        return path;
    }
    QStringList shownTexts() const {
        QStringList texts;
        for (const ui::Dialogs::Shown& shown : ui::Dialogs::shown())
            texts << shown.caption + QLatin1Char('|') + shown.icon + QLatin1Char('|') + shown.text;
        return texts;
    }
    QStringList posted() const {
        return m_database->rows(
            QStringLiteral("Select CodProd, Quantidade From Inventa Union All "
                           "Select CODPROD, QUANTIDADE From INCIEST Order By 1"));
    }

    static QString success() {
        return QStringLiteral(
            "Informação|information|Processo de conversão concluído com sucesso!");
    }

private slots:
    void initTestCase() { prepareEnvironment(); }
    void init() {
        makeFolderAndDatabase();
        ui::Dialogs::setOnShown({});
    }
    void cleanup() { dropAll(); }

    void checksStopTheRun_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("dateAfter");
        const QString blank = ui::MaskEdit::blankMask();
        QTest::newRow("blank date becomes today, path empty")
            << blank << ""
            << "01"
            << "003" << 0 << "O campo \"Caminho do Arquivo\" não pode ficar em branco!"
            << "edtCaminho"
            << "08/12/2026";
        QTest::newRow("no file at the path") << "06/12/2026"
                                             << "nada.txt"
                                             << "01"
                                             << "003" << 0 << "Arquivo .TXT não selecionado!"
                                             << "btOK"
                                             << "06/12/2026";
        QTest::newRow("a folder is no file") << "06/12/2026"
                                             << "."
                                             << "01"
                                             << "003" << 0 << "Arquivo .TXT não selecionado!"
                                             << "btOK"
                                             << "06/12/2026";
        QTest::newRow("company empty, partial date kept")
            << "12/  /    "
            << "file"
            << ""
            << "003" << 1 << "O campo \"Empresa\" não pode ficar em branco!"
            << "CodEmpresa"
            << "12/  /    ";
        QTest::newRow("cause empty on the inventory tab")
            << "06/12/2026"
            << "file"
            << "01"
            << "" << 0 << "O campo \"Causa\" não pode ficar em branco!"
            << "CodCausa"
            << "06/12/2026";
    }
    void checksStopTheRun() {
        QFETCH(QString, date);
        QFETCH(QString, path);
        QFETCH(QString, company);
        QFETCH(QString, cause);
        QFETCH(int, tab);
        QFETCH(QString, message);
        QFETCH(QString, focus);
        QFETCH(QString, dateAfter);
        openForm();
        m_form->PcDados->setCurrentIndex(tab);
        m_form->DtInventa->setMaskedText(date);
        m_form->edtCaminho->setText(path == QLatin1String("file") ? collectorFile("789000001,1\r\n")
                                                                  : path);
        m_form->CodEmpresa->setText(company);
        m_form->CodCausa->setText(cause);
        m_form->btOK->setFocus();
        QTest::mouseClick(m_form->btOK, Qt::LeftButton);
        QCOMPARE(shownTexts(), QStringList{QStringLiteral("Warning|warning|") + message});
        QCOMPARE(focusName(), focus);
        QCOMPARE(m_form->DtInventa->maskedText(), dateAfter);
        QCOMPARE(posted(), QStringList());
    }

    // A file of no bytes, one written with another separator, or one past the limit the batch
    // mode keeps too: no success, nothing posted. %1 is the file's path.
    void fileWithoutReadingIsRefused_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        const QString noReading = QStringLiteral("O arquivo não tem nenhuma leitura: cada linha "
                                                 "deve trazer código, vírgula, quantidade.");
        QTest::newRow("empty") << QByteArray() << "Arquivo vazio!";
        QTest::newRow("over the size limit") << QByteArray(conversion::MaxCollectorBytes + 1, 'x')
                                             << "Arquivo grande demais (mais de 32 MiB): %1";
        QTest::newRow("semicolons") << QByteArray("789000001;5\r\n\r\n") << noReading;
        QTest::newRow("blanks") << QByteArray("789000001 5\r\n") << noReading;
        QTest::newRow("tabs") << QByteArray("789000001\t5\n789000001\t1\n") << noReading;
    }
    void fileWithoutReadingIsRefused() {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        openForm();
        const QString path = collectorFile(content);
        m_form->edtCaminho->setText(path);
        m_form->btOKClick();
        QCOMPARE(shownTexts(),
                 QStringList{"Erro ao converter|exclamation|" + message.replace("%1", path)});
        QCOMPARE(focusName(), QStringLiteral("edtCaminho"));
        QCOMPARE(posted(), QStringList());
    }

    // Opening stock accepts an empty cause; a file of line ends only is no empty file, but posts
    // nothing, and the box says so.
    void fileOfLineEndsOnlyRuns() {
        openForm();
        m_form->PcDados->setCurrentIndex(1);
        m_form->CodCausa->clear();
        m_form->edtCaminho->setText(collectorFile("\r\n\n\r"));
        int progressAtBox = -1;
        ui::Dialogs::setOnShown(
            [&](const ui::Dialogs::Shown&) { progressAtBox = m_form->progress->value(); });
        m_form->btOKClick();
        QCOMPARE(shownTexts(), QStringList{"Atenção|exclamation|Nenhuma leitura foi gravada: "
                                           "nenhuma linha traz código, vírgula, quantidade."});
        QCOMPARE(progressAtBox, 3);
        QCOMPARE(m_form->progress->value(), 0);
        QCOMPARE(m_form->Arquivo.size(), 3);
        QCOMPARE(m_form->Notebook1->currentIndex(), 0);
        QVERIFY(m_form->btOK->isVisible());
    }

    void runWithRejectionsShowsTheLists() {
        openForm();
        m_form->edtCaminho->setText(
            collectorFile("789000001,2\r\nNADA,1\nsem virgula\r789000001,1,5"));
        m_form->btOKClick();
        QCOMPARE(shownTexts(), QStringList{"Informação|information|Processo de conversão "
                                           "concluído: 2 de 3 leituras gravadas; 1 rejeitada, "
                                           "veja a lista."});
        QCOMPARE(posted(), QStringList{"P1|3.5"});
        // The line counter is done with once the run has ended.
        QCOMPARE(m_form->lblStatus->text(), QString());
        QCOMPARE(m_form->inventoryRejections()->cell(1, 0), QStringLiteral("NADA"));
        QVERIFY(m_form->rejections());
        QCOMPARE(m_form->Notebook->currentIndex(), 1);
        QCOMPARE(m_form->Notebook1->currentIndex(), 1);
        QVERIFY(!m_form->btOK->isVisible());
        QVERIFY(!m_form->edtCaminho->isVisible());
        QVERIFY(m_form->btOK->isEnabled());
    }

    void oneRunAtATime() {
        openForm();
        m_form->edtCaminho->setText(collectorFile("789000001,1\r\n789000001,1\r\n"));
        bool enabledDuringRun = true;
        QTimer::singleShot(0, m_form.get(), [&] {
            enabledDuringRun = m_form->btOK->isEnabled() || m_form->CodEmpresa->isEnabled() ||
                               m_form->PcDados->tabBar()->isEnabled();
            m_form->CodEmpresa->setText(QStringLiteral("02"));
            m_form->btOKClick();
        });
        m_form->btOKClick();
        QVERIFY(!enabledDuringRun);
        QCOMPARE(shownTexts(), QStringList{success()});
        // Both lines went to the company the run started with, once.
        QCOMPARE(m_database->rows("Select CodEmpresa, Quantidade From Inventa"),
                 QStringList{"01|2"});
        QVERIFY(m_form->btOK->isEnabled());
        QCOMPARE(focusName(), QStringLiteral("btOK"));
    }

    // Another workstation's run holds the company's turn: the bar along the window's foot
    // counts the wait, and the run posts once the other has ended.
    void waitsForAnotherWorkstation() {
        openForm();
        m_form->edtCaminho->setText(collectorFile("789000001,1\r\n"));
        ExtraConnection other(m_database->database(), QStringLiteral("other workstation"));
        QSqlDatabase holder = other.database();
        QVERIFY(holder.open());
        QVERIFY(m_database->dialect().beginRunTransaction(holder, QStringLiteral("01")).taken);
        QString waiting;
        QTimer::singleShot(1500, m_form.get(), [&] {
            if (m_form->progress->isTextVisible())
                waiting = m_form->progress->text();
            const QString shots = qEnvironmentVariable("COLETOR_SHOTS");
            if (!shots.isEmpty())
                m_form->grab().save(QDir(shots).filePath(QStringLiteral("aguardando.png")));
            holder.rollback();
        });
        m_form->btOKClick();
        QVERIFY2(waiting.startsWith(QStringLiteral(
                     "Aguardando outra estação de trabalho terminar a conversão… (")),
                 qPrintable(waiting));
        QCOMPARE(shownTexts(), QStringList{success()});
        QCOMPARE(posted(), QStringList{"P1|1"});
        QVERIFY(!m_form->progress->isTextVisible());
    }

    // The error box names the bad quantity's line and text, with a hint at the regional
    // settings when the workstation reads no decimal comma.
    void failedRunPostsNothing_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<QByteArray>("badLine");
        QTest::addColumn<QString>("message");
        QTest::newRow("letters") << QLocale(QLocale::Portuguese, QLocale::Brazil)
                                 << QByteArray("789000001,x")
                                 << "Linha 13: a quantidade \"x\" não é um número.";
        QTest::newRow("decimal comma on a point workstation")
            << QLocale::c() << QByteArray("789000001,1,5")
            << "Linha 13: a quantidade \"1,5\" não é um número.\rOs números seguem as "
               "configurações regionais da estação (LC_NUMERIC), em que o separador decimal não "
               "é a vírgula; para ler a vírgula como decimal, use por exemplo "
               "LC_NUMERIC=pt_BR.UTF-8.";
    }
    void failedRunPostsNothing() {
        QFETCH(QLocale, locale);
        QFETCH(QByteArray, badLine);
        QFETCH(QString, message);
        db::Regional::setLocale(locale);
        openForm();
        QByteArray lines;
        for (int i = 1; i <= 10; ++i)
            lines += i == 7 ? badLine + "\r\n" : QByteArray("789000001,1\r\nNADA,1\r\n");
        m_form->edtCaminho->setText(collectorFile(lines));
        QString statusAtBox;
        ui::Dialogs::setOnShown(
            [&](const ui::Dialogs::Shown&) { statusAtBox = m_form->lblStatus->text(); });
        m_form->btOKClick();
        ui::Dialogs::setOnShown({});
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        // The window counts the lines itself: the run knows no label.
        QCOMPARE(statusAtBox, QStringLiteral("Executando linha 13."));
        QCOMPARE(shownTexts(), QStringList{"Conversor de Coletor de Dados|error|" + message +
                                           "\rNenhuma leitura do arquivo foi gravada."});
        QCOMPARE(posted(), QStringList());
        // Once the box is closed, nothing is left of the failed run's progress.
        QCOMPARE(m_form->progress->value(), 0);
        QCOMPARE(m_form->lblStatus->text(), QString());
        // What the failed run rejected is void: the lists are as before it, and not shown.
        QVERIFY(!m_form->rejections());
        QVERIFY(m_form->inventoryRejections()->isEmpty());
        QCOMPARE(m_form->Notebook->currentIndex(), 0);
        QVERIFY(m_form->btOK->isVisible());

        // The next run's first rejection shows the lists again.
        ui::Dialogs::clearShown();
        m_form->edtCaminho->setText(collectorFile("789000001,1\r\nNADA,1\r\n"));
        m_form->btOKClick();
        QCOMPARE(shownTexts().size(), 1);
        QCOMPARE(posted(), QStringList{"P1|1"});
        QCOMPARE(
            m_form->inventoryRejections()->exportLines(),
            (QStringList{"Produtos não processados, Motivo", "NADA, Referência não encontrada."}));
        QCOMPARE(m_form->Notebook->currentIndex(), 1);
    }

    void closingStopsAndUndoesTheRun() {
        openForm();
        m_form->edtCaminho->setText(collectorFile("NADA,1\r\n789000001,1\r\n789000001,1\r\n"));
        QTimer::singleShot(0, m_form.get(), [&] { m_form->close(); });
        m_form->btOKClick();
        QVERIFY(!m_form->isVisible());
        QCOMPARE(m_form->progress->value(), 1);
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(posted(), QStringList());
        QVERIFY(!m_form->rejections());
        QVERIFY(m_form->inventoryRejections()->isEmpty());
    }

    void noRunWithoutConnection() {
        openForm(false);
        m_form->edtCaminho->setText(collectorFile("789000001,1\r\n"));
        m_form->btOKClick();
        QCOMPARE(shownTexts(), QStringList());
        QCOMPARE(m_form->Arquivo, QStringList{"789000001,1"});
        QCOMPARE(m_form->progress->value(), 0);
        QCOMPARE(focusName(), QStringLiteral("btOK"));
    }

    // The box at a run's end says what was posted: success only when every reading was; the
    // warning icon when none was. Its details count the rejected readings beside the codes the
    // list names.
    void endOfRunSaysWhatWasPosted_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("rejected"); // the details' line
        QTest::newRow("every reading posted")
            << 0 << QByteArray("789000001,1\r\nREF1,2\r\n") << success() << "Rejeitadas: 0";
        QTest::newRow("some rejected, a code read twice listed once")
            << 0 << QByteArray("789000001,1\r\nNADA,1\r\nNADA,2\r\nOUTRO,1\r\n")
            << "Informação|information|Processo de conversão concluído: 1 de 4 leituras "
               "gravadas; 3 rejeitadas, veja a lista."
            << "Rejeitadas: 3 leituras (2 códigos)";
        QTest::newRow("written quantity first: every reading rejected")
            << 0 << QByteArray("3,789000001\r\n3,789000002\r\n")
            << "Atenção|exclamation|Nenhuma leitura foi gravada: as 2 leituras foram "
               "rejeitadas; veja a lista."
            << "Rejeitadas: 2 leituras (1 código)";
        QTest::newRow("the only reading rejected")
            << 0 << QByteArray("NADA,1\r\n")
            << "Atenção|exclamation|Nenhuma leitura foi gravada: a única leitura foi rejeitada; "
               "veja a lista."
            << "Rejeitadas: 1";
        QTest::newRow("opening stock lists every rejected reading")
            << 1 << QByteArray("NADA,1\r\nNADA,1\r\n")
            << "Atenção|exclamation|Nenhuma leitura foi gravada: as 2 leituras foram "
               "rejeitadas; veja a lista."
            << "Rejeitadas: 2";
    }
    void endOfRunSaysWhatWasPosted() {
        QFETCH(int, tab);
        QFETCH(QByteArray, content);
        QFETCH(QString, shown);
        QFETCH(QString, rejected);
        openForm();
        m_form->PcDados->setCurrentIndex(tab);
        m_form->edtCaminho->setText(collectorFile(content));
        m_form->btOKClick();
        QCOMPARE(shownTexts(), QStringList{shown});
        const QStringList details =
            ui::Dialogs::shown().constFirst().detailedText.split(QLatin1Char('\n'));
        QVERIFY2(details.contains(rejected), qPrintable(details.join(QLatin1Char('/'))));
    }

    // A date far from today asks first, "Não" by default, which posts nothing and goes back to
    // the date; up to 60 days after today and a year before it nothing is asked.
    void farDateAsksFirst_data() {
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("asked");
        QTest::addColumn<bool>("yes");
        QTest::newRow("60 days after") << "06/02/2027" << false << false;
        QTest::newRow("61 days after, Não") << "07/02/2027" << true << false;
        QTest::newRow("a mistyped year, Não") << "09/12/2062" << true << false;
        QTest::newRow("a mistyped year, Sim") << "09/12/2062" << true << true;
        QTest::newRow("a year before") << "08/12/2025" << false << false;
        QTest::newRow("a year and a day before, Não") << "07/12/2025" << true << false;
    }
    void farDateAsksFirst() {
        QFETCH(QString, date);
        QFETCH(bool, asked);
        QFETCH(bool, yes);
        openForm();
        m_form->DtInventa->setMaskedText(date);
        m_form->edtCaminho->setText(collectorFile("789000001,1\r\n"));
        ui::Dialogs::setNextAnswer(yes);
        QTest::mouseClick(m_form->btOK, Qt::LeftButton);
        const QString question =
            "Data distante|question|Data distante de hoje: " + date +
            " (hoje é 08/12/2026).\rAs leituras serão gravadas nessa data. Converter assim mesmo?";
        const QStringList expected = asked && !yes ? QStringList{question}
                                     : asked       ? QStringList{question, success()}
                                                   : QStringList{success()};
        QCOMPARE(shownTexts(), expected);
        QCOMPARE(posted(), asked && !yes ? QStringList() : QStringList{"P1|1"});
        QCOMPARE(focusName(), asked && !yes ? QStringLiteral("DtInventa") : QStringLiteral("btOK"));
    }

    // The file dialog opens where the last file was chosen.
    void fileDialogOpensInTheLastFolder() {
        openForm();
        ui::Dialogs::setNextFileName(QStringLiteral("/dados/coletas/segunda.txt"));
        m_form->btAbrirClick();
        ui::Dialogs::setNextFileCancel();
        m_form->btAbrirClick();
        QCOMPARE(ui::Dialogs::fileRequests().size(), 2);
        QCOMPARE(ui::Dialogs::fileRequests().at(0).directory, QString());
        // On Windows the folder gains the current drive.
        QCOMPARE(ui::Dialogs::fileRequests().at(1).directory,
                 QFileInfo(QStringLiteral("/dados/coletas/segunda.txt")).absolutePath());
    }

    void choosingTheFile_data() {
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<bool>("warned");
        QTest::newRow("txt in any case") << false << "/dados/coleta.Txt"
                                         << "/dados/coleta.Txt"
                                         << "DtInventa" << false;
        QTest::newRow("no dot needed") << false << "/dados/coletatxt"
                                       << "/dados/coletatxt"
                                       << "DtInventa" << false;
        QTest::newRow("other extension") << false << "/dados/coleta.csv"
                                         << ""
                                         << "edtCaminho" << true;
        QTest::newRow("shorter than three") << false << "tx"
                                            << ""
                                            << "edtCaminho" << true;
        QTest::newRow("cancel keeps everything") << true << ""
                                                 << "antes.txt"
                                                 << "btOK" << false;
    }
    void choosingTheFile() {
        QFETCH(bool, cancel);
        QFETCH(QString, chosen);
        QFETCH(QString, path);
        QFETCH(QString, focus);
        QFETCH(bool, warned);
        openForm();
        m_form->edtCaminho->setText(QStringLiteral("antes.txt"));
        if (cancel)
            ui::Dialogs::setNextFileCancel();
        else
            ui::Dialogs::setNextFileName(chosen);
        m_form->btAbrirClick();
        QCOMPARE(ui::Dialogs::fileRequests().size(), 1);
        QCOMPARE(ui::Dialogs::fileRequests().constFirst().filter,
                 QStringLiteral("*.txt (*.txt);;Todos os arquivos (*)"));
        QCOMPARE(m_form->edtCaminho->text(), path);
        QCOMPARE(focusName(), focus);
        QCOMPARE(shownTexts(),
                 warned ? QStringList{"Warning|warning|Arquivo inválido para importação!\rFavor "
                                      "selecionar um arquivo válido (Extensão TXT)."}
                        : QStringList());
    }
};

COLETOR_TEST_MAIN(TestRun)
#include "test_run.moc"
