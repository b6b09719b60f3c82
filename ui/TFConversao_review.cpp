// Review before posting: a dry run over the file, its review, then posting or discarding it.
#include "ErrorGuard.h"
#include "ReviewModel.h"
#include "ReviewWindow.h"
#include "RunRecorder.h"
#include "TFConversao.h"
#include "conversion/ProductDescriptions.h"
#include "db/Connection.h"

#include <QProgressBar>

void TFConversao::btSimularClick() {
    if (m_running || !CheckEntries() || !loadArquivo() || !dbTelvaro->isOpen())
        return;
    const FormRun run = currentRun();
    progress->setMaximum(static_cast<int>(run.lines.size()));
    progress->setValue(0);
    RunResult result;
    const bool completed = runConversion(run, true, result);
    progress->setValue(0);
    if (!completed)
        return;

    auto* model = new ReviewModel(run.inventory ? ReviewModel::Mode::Inventory
                                                : ReviewModel::Mode::OpeningStock,
                                  result.lines);
    model->setDescriptions(conversion::productDescriptions(
        dbTelvaro->database(), dbTelvaro->dialect(), model->productCodes()));
    auto* window = new ReviewWindow(model, this);
    // Queued: the run lets window messages through, and the review is on its way out.
    connect(
        window, &QDialog::accepted, this,
        [this, run] { guarded(this, [&] { postReviewed(run); }); }, Qt::QueuedConnection);
    connect(window, &QDialog::finished, window, &QObject::deleteLater);
    window->open();
}

void TFConversao::postReviewed(const FormRun& run) {
    if (m_running)
        return;
    Arquivo = run.lines;
    if (postRun(run))
        showListsIfRejected();
}
