#include "FormFixture.h"
#include "conversion/Cp1252.h"
#include "conversion/RejectionList.h"
#include "tests/TestFiles.h"
#include "tests/TestMain.h"
#include "ui/MaskEdit.h"

#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

namespace {
const QString NotFound = QStringLiteral("Referência não encontrada.");
const QString SaveError = QStringLiteral("Ocorreu o seguinte erro ao salvar os dados no arquivo: ");

} // namespace

class TestFormLists : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { FormFixture::prepareEnvironment(); }
    void init() {
        m_fixture = std::make_unique<FormFixture>();
        QVERIFY(m_fixture->open());
        m_fixture->showLists();
    }
    void cleanup() {
        m_fixture->close();
        m_fixture.reset();
    }

    // A list without rows says so, instead of a blank header over a blank row; its first
    // rejection brings the grid back.
    void emptyListSaysSo() {
        ui::TFConversao& form = m_fixture->form();
        form.inventoryRejections()->add(QStringLiteral("X"), NotFound);
        QVERIFY(form.ProdutosNaoEncontrados->isVisible());
        form.PcDados->setCurrentIndex(1);
        auto* none = form.findChild<QLabel*>(QStringLiteral("StringGrid1Vazia"));
        QVERIFY(none);
        QVERIFY(none->isVisible());
        QCOMPARE(none->text(), QStringLiteral("Nenhuma leitura rejeitada."));
        QVERIFY(!form.StringGrid1->isVisible());
        form.openingRejections()->add(QStringLiteral("Y"), NotFound);
        QVERIFY(form.StringGrid1->isVisible());
        QVERIFY(!none->isVisible());
    }

    void saveAsksForATextFile() {
        ui::Dialogs::setNextFileCancel();
        m_fixture->form().btnSalvar->click();
        QCOMPARE(ui::Dialogs::fileRequests().size(), 1);
        const ui::Dialogs::FileRequest request = ui::Dialogs::fileRequests().constFirst();
        QCOMPARE(request.title, QStringLiteral("Selecione o nome do arquivo a ser gerado..."));
        QCOMPARE(request.filter, QStringLiteral("Arquivo TXT (*.txt)"));
        QCOMPARE(request.defaultSuffix, QStringLiteral("txt"));
        QCOMPARE(request.directory, QStringLiteral("c:"));
        QVERIFY(ui::Dialogs::shown().isEmpty());
    }

    // The outcome of "&Salvar" by what the dialog answers and what is in the way.
    void save_data() {
        QTest::addColumn<QString>("answer"); // "(cancel)", or a name in the test folder
        QTest::addColumn<bool>("existing");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QString>("message"); // "$" stands for the full file name
        QTest::addColumn<bool>("written");
        QTest::newRow("new file") << "rejeitados.txt" << false << "Information"
                                  << "Arquivo salvo com sucesso no diretório $." << true;
        QTest::newRow("existing file replaced")
            << "rejeitados.txt" << true << "Information"
            << "Arquivo salvo com sucesso no diretório $." << true;
        QTest::newRow("cancelled") << "(cancel)" << true << ""
                                   << "" << false;
        QTest::newRow("empty name") << "" << false << "Warning"
                                    << "Não há dados para salvar." << false;
        QTest::newRow("folder missing")
            << "nada/rejeitados.txt" << false << "Warning" << SaveError << false;
    }
    void save() {
        QFETCH(QString, answer);
        QFETCH(bool, existing);
        QFETCH(QString, caption);
        QFETCH(QString, message);
        QFETCH(bool, written);
        ui::TFConversao& form = m_fixture->form();
        form.inventoryRejections()->add(conversion::cp1252::decode("\xC7\xD5"
                                                                   "12"),
                                        NotFound);
        form.inventoryRejections()->add(QString(), QStringLiteral("Produto já processado."));
        const QString path = answer.isEmpty() ? QString() : m_fixture->folderPath(answer);
        const QByteArray before = "linhas antigas, mais longas que as novas\r\n";
        if (existing) {
            QFile old(m_fixture->folderPath(QStringLiteral("rejeitados.txt")));
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write(before);
        }
        if (answer == QLatin1String("(cancel)"))
            ui::Dialogs::setNextFileCancel();
        else
            ui::Dialogs::setNextFileName(path);

        m_fixture->control(QStringLiteral("btnSalvar"))->setFocus();
        m_fixture->press(Qt::Key_Return);

        if (caption.isEmpty()) {
            QVERIFY(ui::Dialogs::shown().isEmpty());
        } else {
            QCOMPARE(ui::Dialogs::shown().size(), 1);
            const ui::Dialogs::Shown shown = ui::Dialogs::shown().constFirst();
            QCOMPARE(shown.caption, caption);
            if (message == SaveError) {
                QVERIFY(shown.text.startsWith(SaveError));
                QVERIFY(shown.text.size() > SaveError.size());
            } else {
                QCOMPARE(shown.text, QString(message).replace(QLatin1Char('$'), path));
            }
        }
        const QString target = m_fixture->folderPath(QStringLiteral("rejeitados.txt"));
        if (written)
            QCOMPARE(testfiles::read(target), QByteArray("Produtos n\xE3o processados, Motivo\r\n"
                                                         "\xC7\xD5"
                                                         "12, Refer\xEAncia n\xE3o encontrada.\r\n"
                                                         ", Produto j\xE1 processado.\r\n"));
        else if (existing)
            QCOMPARE(testfiles::read(target), before);
        else
            QVERIFY(!QFile::exists(target));
        // Saving changes nothing on the form: the user may save again or go back.
        QCOMPARE(form.inventoryRejections()->gridRowCount(), 3);
        QCOMPARE(form.Notebook->currentIndex(), 1);
        QVERIFY(form.rejections());
    }

    void saveOfAnEmptyList() {
        const QString path = m_fixture->folderPath(QStringLiteral("vazio.txt"));
        ui::Dialogs::setNextFileName(path);
        m_fixture->form().btnSalvar->click();
        QCOMPARE(testfiles::read(path), QByteArray(", \r\n, \r\n"));
        QCOMPARE(ui::Dialogs::shown().size(), 1);
        QCOMPARE(ui::Dialogs::shown().constFirst().caption, QStringLiteral("Information"));
    }

    void voltarEmptiesBothListsAndKeepsTheEntries() {
        ui::TFConversao& form = m_fixture->form();
        form.edtCaminho->setText(QStringLiteral("c:\\coletor.txt"));
        form.DtInventa->setMaskedText(QStringLiteral("01/02/2026"));
        form.CodEmpresa->setText(QStringLiteral("01"));
        form.inventoryRejections()->add(QStringLiteral("A"), NotFound);
        form.openingRejections()->add(QStringLiteral("B"), NotFound);
        form.openingRejections()->add(QStringLiteral("C"), NotFound);
        form.PcDados->setCurrentIndex(1);
        form.BitBtn3->setFocus();
        m_fixture->press(Qt::Key_Return);
        QCOMPARE(form.inventoryRejections()->gridRowCount(), 2);
        QCOMPARE(form.openingRejections()->gridRowCount(), 2);
        QCOMPARE(form.openingRejections()->cell(0, 0), QString());
        QVERIFY(form.rejections());
        QCOMPARE(form.PcDados->currentIndex(), 1);
        QCOMPARE(form.edtCaminho->text(), QStringLiteral("c:\\coletor.txt"));
        QCOMPARE(form.DtInventa->maskedText(), QStringLiteral("01/02/2026"));
        QCOMPARE(form.CodEmpresa->text(), QStringLiteral("01"));
        QVERIFY(form.GroupBox2->isVisibleTo(&form));
        QVERIFY(form.GroupBox3->isVisibleTo(&form));
    }

private:
    std::unique_ptr<FormFixture> m_fixture;
};

COLETOR_TEST_MAIN(TestFormLists)
#include "test_form_lists.moc"
