// Review before posting: a dry run over the file, its review, then posting or discarding it; and
// the history of the runs posted, where one can be undone.
#include "Dialogs.h"
#include "ErrorGuard.h"
#include "HistoryWindow.h"
#include "MaskEdit.h"
#include "ReviewModel.h"
#include "ReviewWindow.h"
#include "TFConversao.h"
#include "UncountedWindow.h"
#include "conversion/EntryTexts.h"
#include "conversion/Errors.h"
#include "conversion/ProductDescriptions.h"
#include "conversion/RunService.h"
#include "db/Connection.h"
#include "db/LookupQuery.h"
#include "db/Names.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QLineEdit>
#include <QProgressBar>

namespace ui {

void TFConversao::btSimularClick() {
    if (m_running || !CheckEntries() || !loadArquivo() || !dbTelvaro->isOpen())
        return;
    conversion::RunRequest run = currentRun();
    run.dryRun = true;
    run.keepLines = true;
    progress->setMaximum(static_cast<int>(run.lines.size()));
    progress->setValue(0);
    conversion::RunResult result;
    const bool completed = runConversion(run, result);
    resetProgress();
    if (!completed)
        return;

    auto* model = new ReviewModel(run.inventory ? ReviewModel::Mode::Inventory
                                                : ReviewModel::Mode::OpeningStock,
                                  result.lines, nullptr, run.files);
    // The dry run posted nothing: what the inventory has not counted is read as it stands, less
    // what the file counts.
    if (run.inventory)
        model->addUncounted(conversion::uncountedProducts(
            dbTelvaro->database(), dbTelvaro->dialect(), run.entries.companyCode,
            conversion::toDate(run.entries.dateText, db::Clock::today())));
    model->setDescriptions(conversion::productDescriptions(
        dbTelvaro->database(), dbTelvaro->dialect(), model->productCodes()));
    auto* window = new ReviewWindow(model, destinationText(destination(run)), this);
    window->setAlreadyConverted(result.earlierText());
    // Queued: the run lets window messages through, and the review is on its way out.
    connect(
        window, &QDialog::accepted, this,
        [this, run] { guarded(this, [&] { postReviewed(run); }); }, Qt::QueuedConnection);
    connect(window, &QDialog::finished, window, &QObject::deleteLater);
    window->open();
}

ReviewDestination TFConversao::destination(const conversion::RunRequest& run) const {
    const auto nameOf = [](const db::LookupQuery& lookup, const QString& code, const char* column) {
        const int row = lookup.rowOfKey(code);
        return row < 0 ? QString() : lookup.textAt(row, lookup.columnOf(QLatin1String(column)));
    };
    return {collectorPaths(),
            run.inventory,
            run.entries.companyCode,
            nameOf(*Empresa, run.entries.companyCode, db::column::NomeEmpresa),
            run.entries.dateText,
            run.entries.causeCode,
            nameOf(*CausInv, run.entries.causeCode, db::column::Descricao)};
}

void TFConversao::postReviewed(const conversion::RunRequest& run) {
    if (m_running)
        return;
    Arquivo = run.lines;
    if (postRun(run))
        showListsIfRejected();
}

void TFConversao::btHistoricoClick() {
    if (m_running || !dbTelvaro->isOpen())
        return;
    if (!m_journal) {
        Dialogs::message(this, Dialogs::Kind::Information,
                         m_journalDamage.isEmpty() ? conversion::journal::offText()
                                                   : m_journalDamage);
        return;
    }
    auto* window = new HistoryWindow(dbTelvaro->database(), dbTelvaro->dialect(), this);
    window->companyFilter()->setText(CodEmpresa->text());
    connect(window, &QDialog::finished, window, &QObject::deleteLater);
    window->open();
}

void TFConversao::btNaoContadosClick() {
    if (m_running || !dbTelvaro->isOpen())
        return;
    // As a run takes them: a blank date is today, the company must be given.
    const QString date = DtInventa->maskedText();
    if (date.isEmpty() || date == MaskEdit::blankMask())
        DtInventa->setMaskedText(db::texts::formatDate(db::Clock::today()));
    if (CodEmpresa->text().isEmpty()) {
        ReportBlankField(CodEmpresa, QStringLiteral("Empresa"));
        return;
    }
    UncountedPlace place;
    place.entries = {CodEmpresa->text(), CodCausa->text(), DtInventa->maskedText()};
    try {
        place.date = conversion::toDate(place.entries.dateText, db::Clock::today());
    } catch (const conversion::ConversionError& error) {
        Dialogs::message(this, Dialogs::Kind::Warning, error.message());
        DtInventa->setFocus();
        return;
    }
    const ReviewDestination named = destination(currentRun());
    const auto withName = [](const QString& code, const QString& name) {
        return name.isEmpty() ? code : code + QStringLiteral(" - ") + name;
    };
    place.company = withName(named.companyCode, named.companyName);
    if (!named.causeCode.isEmpty())
        place.cause = withName(named.causeCode, named.causeName);
    place.journal = m_journal;
    place.journalDamage = m_journalDamage;
    place.turnWait = dbTelvaro->turnWait();
    auto* window = new UncountedWindow(dbTelvaro->database(), dbTelvaro->dialect(), place, this);
    connect(window, &QDialog::finished, window, &QObject::deleteLater);
    window->open();
}

} // namespace ui
