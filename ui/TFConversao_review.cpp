// Review before posting: a dry run over the file, its review, then posting or discarding it; and
// the history of the runs posted, where one can be undone.
#include "Dialogs.h"
#include "ErrorGuard.h"
#include "HistoryWindow.h"
#include "ReviewModel.h"
#include "ReviewWindow.h"
#include "TFConversao.h"
#include "conversion/ProductDescriptions.h"
#include "conversion/RunService.h"
#include "db/Connection.h"
#include "db/LookupQuery.h"
#include "db/Names.h"

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
    model->setDescriptions(conversion::productDescriptions(
        dbTelvaro->database(), dbTelvaro->dialect(), model->productCodes()));
    auto* window = new ReviewWindow(model, destinationText(destination(run)), this);
    window->setAlreadyConverted(earlierRunText(run));
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

} // namespace ui
