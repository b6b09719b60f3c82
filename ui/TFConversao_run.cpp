// The conversion run: choosing the file, checking the entries and dispatching by tab.
#include "Dialogs.h"
#include "LookupComboBox.h"
#include "MaskEdit.h"
#include "ReviewModel.h"
#include "TFConversao.h"
#include "conversion/CollectorFile.h"
#include "conversion/ConversionEngine.h"
#include "conversion/EntryTexts.h"
#include "conversion/Errors.h"
#include "conversion/Journal.h"
#include "conversion/RejectionList.h"
#include "conversion/RunReport.h"
#include "conversion/RunService.h"
#include "db/Connection.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabBar>
#include <QTabWidget>
#include <algorithm>
#include <optional>

namespace ui {

namespace {
// What "Sim" does to a file posted before: an inventory's counts grow by its readings again; an
// opening stock's products now have movements, so the run refuses them.
QString againText(bool inventory) {
    return inventory ? QStringLiteral("\"Sim\" soma as leituras outra vez às contagens já "
                                      "gravadas: cada contagem cresce de novo.\rConverter de novo?")
                     : QStringLiteral("\"Sim\" converte outra vez, mas os produtos que a "
                                      "conversão anterior lançou já têm movimentos e serão "
                                      "rejeitados.\rConverter de novo?");
}

// The end of a run that posted readings: success when it refused none, otherwise how many of
// its readings went in.
QString endedText(const conversion::RunSummary& figures) {
    if (figures.rejected() == 0)
        return QStringLiteral("Processo de conversão concluído com sucesso!");
    return QStringLiteral("Processo de conversão concluído: %1 de %2 leituras gravadas; %3, veja "
                          "a lista.")
        .arg(figures.posted())
        .arg(figures.readings())
        .arg(figures.rejected() == 1 ? QStringLiteral("1 rejeitada")
                                     : QStringLiteral("%1 rejeitadas").arg(figures.rejected()));
}
} // namespace

// The window's side of a run: progress bar, status label, the message queue, and the close
// request. The bar and the label follow every line, but are repainted at most every 50 ms:
// painting them for each line cost more than the line itself, and no screen shows more. Pending
// messages are handled at the first line and then whenever a millisecond has passed: one pass of
// the event loop costs about as much as a line, and a click is still seen at once.
class FormRunObserver final : public conversion::RunObserver {
public:
    FormRunObserver(TFConversao& form, bool inventory)
        : m_form(form)
        , m_inventory(inventory)
        , m_position(form.progress->value()) {
        m_sincePainted.start();
        m_sinceMessages.start();
    }
    void lineStarted(int number) override {
        ++m_position;
        endWait();
        // The status label belongs to the inventory tab.
        if (m_inventory)
            m_status = QStringLiteral("Executando linha ") + QString::number(number) + u'.';
        if (m_sincePainted.elapsed() >= PaintInterval) {
            show();
            m_sincePainted.restart();
        }
        if (m_firstLine || m_sinceMessages.elapsed() >= MessageInterval) {
            m_firstLine = false;
            QCoreApplication::processEvents();
            m_sinceMessages.restart();
        }
    }
    bool stopRequested() override { return m_form.m_closeRequested; }
    // The bar along the window's foot counts the wait, on either tab's run (the tab's status
    // line, under the buttons, has room for the start of it only), and the window stays alive.
    void waitingForTurn(int seconds) override {
        m_form.progress->setFormat(db::texts::turnWaitText(seconds));
        m_form.progress->setTextVisible(true);
        m_form.progress->repaint();
        m_waited = true;
        QCoreApplication::processEvents();
    }

    // Shows the line the run has reached; called too when it ends, however it ends.
    void show() {
        endWait();
        m_form.progress->setValue(m_position);
        if (!m_status.isNull())
            m_form.lblStatus->setText(m_status);
    }

private:
    void endWait() {
        if (!m_waited)
            return;
        m_waited = false;
        m_form.progress->setTextVisible(false);
        m_form.progress->resetFormat();
    }

    static constexpr qint64 PaintInterval = 50;
    static constexpr qint64 MessageInterval = 1;

    TFConversao& m_form;
    bool m_inventory;
    int m_position;
    QString m_status;
    QElapsedTimer m_sincePainted;
    QElapsedTimer m_sinceMessages;
    bool m_firstLine = true;
    bool m_waited = false;
};

namespace {
// One path as it is; several each in double quotes, which no file name holds on Windows.
QString pathsText(const QStringList& paths) {
    if (paths.size() == 1)
        return paths.constFirst();
    QStringList quoted;
    for (const QString& path : paths)
        quoted << u'"' + path + u'"';
    return quoted.join(u' ');
}
} // namespace

QStringList TFConversao::collectorPaths() const {
    const QString text = edtCaminho->text();
    if (!text.trimmed().startsWith(u'"'))
        return {text};
    QStringList paths;
    const QStringList parts = text.split(u'"');
    // The odd parts are between quotes; what lies between them is blank.
    for (qsizetype i = 1; i < parts.size(); i += 2) {
        if (!parts.at(i).isEmpty())
            paths << parts.at(i);
    }
    return paths.isEmpty() ? QStringList{text} : paths;
}

void TFConversao::btAbrirClick() {
    Dialogs::FileRequest request;
    request.filter = QStringLiteral("*.txt (*.txt);;Todos os arquivos (*)");
    request.directory = m_lastFolder;
    bool accepted = false;
    const QStringList paths = Dialogs::openFileNames(this, request, &accepted);
    if (!accepted || paths.isEmpty())
        return;
    m_lastFolder = QFileInfo(paths.constFirst()).absolutePath();
    edtCaminho->setText(pathsText(paths));
    DtInventa->setFocus();
    // Only the last three characters count: neither the dot nor the case is required.
    if (std::any_of(paths.cbegin(), paths.cend(), [](const QString& path) {
            return db::texts::upperAscii(path.right(3)) != QLatin1String("TXT");
        })) {
        Dialogs::message(this, Dialogs::Kind::Warning,
                         QStringLiteral("Arquivo inválido para importação!\r"
                                        "Favor selecionar um arquivo válido (Extensão TXT)."));
        edtCaminho->clear();
        edtCaminho->setFocus();
    }
}

bool TFConversao::CheckEntries() {
    const QString date = DtInventa->maskedText();
    if (date.isEmpty() || date == MaskEdit::blankMask())
        DtInventa->setMaskedText(db::texts::formatDate(db::Clock::today()));
    std::optional<conversion::EntryProblem> problem;
    for (const QString& path : collectorPaths()) {
        problem = conversion::checkEntries(
            {path, CodEmpresa->text(), CodCausa->text(), PcDados->currentIndex() == 0, true});
        if (problem)
            break;
    }
    if (!problem)
        return farDateAccepted();
    if (problem->blankLabel.isEmpty()) {
        Dialogs::message(this, Dialogs::Kind::Warning, problem->message);
        return false;
    }
    QWidget* const control = problem->entry == conversion::Entry::Company ? CodEmpresa
                             : problem->entry == conversion::Entry::Cause ? CodCausa
                                                                          : edtCaminho;
    ReportBlankField(control, problem->blankLabel);
    return false;
}

bool TFConversao::farDateAccepted() {
    const QDate today = db::Clock::today();
    const std::optional<QDate> date = conversion::parseDate(DtInventa->maskedText(), today);
    if (!date || !conversion::isFarFromToday(*date, today))
        return true;
    if (Dialogs::question(this,
                          conversion::farDateText(*date, today) +
                              QStringLiteral("\rAs leituras serão gravadas nessa data. Converter "
                                             "assim mesmo?"),
                          QStringLiteral("Data distante")))
        return true;
    DtInventa->setFocus();
    return false;
}

void TFConversao::ReportBlankField(QWidget* control, const QString& label) {
    Dialogs::message(this, Dialogs::Kind::Warning, conversion::blankFieldText(label));
    control->setFocus();
}

void TFConversao::btOKClick() {
    if (m_running || !CheckEntries() || !loadArquivo())
        return;
    if (dbTelvaro->isOpen() && !postRun(currentRun()))
        return;
    showListsIfRejected();
}

bool TFConversao::loadArquivo() {
    Arquivo.clear();
    m_files.clear();
    const QStringList paths = collectorPaths();
    std::optional<QString> problem;
    for (const QString& path : paths) {
        conversion::RunFile& file = m_files.emplace_back();
        QStringList lines;
        try {
            lines = conversion::readLines(path, &file.bytesSha256, conversion::MaxCollectorBytes);
        } catch (const conversion::FileError& error) {
            problem = error.message();
            break;
        }
        file.sha256 = conversion::readingsSha256(lines);
        file.name = QFileInfo(path).fileName();
        file.lines = static_cast<int>(lines.size());
        // A file of several is named: the clerk must know which one is empty.
        problem = conversion::checkLines(lines, paths.size() > 1 ? file.name : QString());
        if (!problem)
            problem = conversion::checkRunLines(Arquivo.size() + lines.size());
        if (problem)
            break;
        Arquivo += lines;
    }
    if (!problem)
        problem = conversion::checkFiles(m_files);
    if (!problem && !m_journalDamage.isEmpty())
        problem = m_journalDamage + QStringLiteral("\rNada foi gravado.");
    if (!problem && m_files.size() > 1 && m_journal &&
        !conversion::journal::keepsLotes(dbTelvaro->database()))
        problem = conversion::journal::noLotesText();
    if (problem) {
        Arquivo.clear();
        m_files.clear();
        Dialogs::box(this, *problem, QStringLiteral("Erro ao converter"),
                     Dialogs::Icon::Exclamation);
        edtCaminho->setFocus();
        return false;
    }
    return true;
}

conversion::RunRequest TFConversao::currentRun() const {
    conversion::RunRequest run;
    run.lines = Arquivo;
    run.entries = {CodEmpresa->text(), CodCausa->text(), DtInventa->maskedText()};
    run.inventory = PcDados->currentIndex() == 0;
    run.journal = m_journal;
    run.files = m_files;
    run.turnWaitLimit = dbTelvaro->turnWait();
    return run;
}

bool TFConversao::postRun(const conversion::RunRequest& reviewed) {
    conversion::RunRequest run = reviewed;
    run.dryRun = false;
    run.keepLines = false;
    progress->setMaximum(static_cast<int>(run.lines.size()));
    progress->setValue(0);
    const conversion::RejectionList& list =
        run.inventory ? *m_inventoryRejections : *m_openingRejections;
    const qsizetype listedBefore = list.rows().size();
    conversion::RunResult result;
    while (!runConversion(run, result)) {
        // Counts add up: a file posted twice by mistake doubles them. The run asked the journal
        // once it had its turn, so a posting of the file by another workstation a moment ago is
        // asked about too.
        if (result.ending != conversion::RunEnding::AlreadyConverted || run.again ||
            m_closeRequested)
            return false;
        if (!Dialogs::question(this, result.failure + u'\r' + againText(run.inventory),
                               QStringLiteral("Arquivo já convertido"))) {
            // Short: the line has the room left of the buttons only.
            lblStatus->setText(QStringLiteral("Nada foi gravado."));
            return false;
        }
        run.again = true;
        progress->setMaximum(static_cast<int>(run.lines.size()));
    }
    const conversion::RunSummary& figures = result.summary;
    const QString details =
        figuresText(figures, result.seconds, static_cast<int>(list.rows().size() - listedBefore));
    const QString note = result.note.isEmpty() ? QString() : u'\r' + result.note;
    if (const QString none = conversion::nothingPostedText(figures); !none.isEmpty())
        Dialogs::box(
            this,
            none +
                (figures.rejected() > 0 ? QStringLiteral("; veja a lista.") : QStringLiteral(".")) +
                note,
            QStringLiteral("Atenção"), Dialogs::Icon::Exclamation, details);
    else
        Dialogs::box(this, endedText(figures) + note, QStringLiteral("Informação"),
                     Dialogs::Icon::Information, details);
    resetProgress();
    return true;
}

void TFConversao::resetProgress() {
    progress->setValue(0);
    // The line counter belongs to the run; a finished run leaves no "Executando linha" behind.
    lblStatus->clear();
}

void TFConversao::showListsIfRejected() {
    if (m_rejections) {
        SetInputControlsVisible(false);
        Notebook->setCurrentIndex(1);
        Notebook1->setCurrentIndex(1);
    }
}

bool TFConversao::runConversion(const conversion::RunRequest& run, conversion::RunResult& result) {
    FormRunObserver window(*this, run.inventory);
    const QPointer<QWidget> focused = QApplication::focusWidget();
    m_running = true;
    setEntryControlsEnabled(false);
    result = conversion::RunService(dbTelvaro->database(), dbTelvaro->dialect()).run(run, &window);
    // A dry run's rejections are the review's to show.
    if (!run.dryRun)
        result.listRejections({*m_inventoryRejections, *m_openingRejections, m_rejections});
    window.show();
    setEntryControlsEnabled(true);
    m_running = false;
    if (focused)
        focused->setFocus();

    // A file the journal holds as posted is the caller's to ask about.
    if (result.ending != conversion::RunEnding::AlreadyConverted && !result.failure.isNull())
        Dialogs::error(this, run.files.size() > 1 ? result.failureWithLine() : result.failure,
                       result.detail);
    if (m_closeRequested) {
        close();
        return false;
    }
    // A run that did not end leaves neither its line nor its bar behind the box that said why.
    if (!result.completed())
        resetProgress();
    return result.completed();
}

void TFConversao::setEntryControlsEnabled(bool enabled) {
    for (QWidget* control :
         {static_cast<QWidget*>(edtCaminho), static_cast<QWidget*>(btAbrir),
          static_cast<QWidget*>(DtInventa), static_cast<QWidget*>(CodEmpresa),
          static_cast<QWidget*>(MostraEmpresa), static_cast<QWidget*>(CodCausa),
          static_cast<QWidget*>(MostraCausa), static_cast<QWidget*>(btOK),
          static_cast<QWidget*>(btSimular), static_cast<QWidget*>(btHistorico),
          static_cast<QWidget*>(btNaoContados), static_cast<QWidget*>(PcDados->tabBar())})
        control->setEnabled(enabled);
}

void TFConversao::closeEvent(QCloseEvent* event) {
    // The run sees the request after its current line, undoes itself and closes the window.
    if (m_running) {
        m_closeRequested = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

} // namespace ui
