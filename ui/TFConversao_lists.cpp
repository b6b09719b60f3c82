// Rejection lists, the way back to the entry area and the export.
#include "TFConversao.h"

#include "Dialogs.h"
#include "conversion/RejectionExport.h"
#include "conversion/RejectionList.h"
#include "db/Errors.h"

#include <QLabel>
#include <QLineEdit>
#include <QStackedWidget>
#include <QTableView>
#include <tuple>

namespace ui {

void TFConversao::BitBtn2Click() {
    Notebook->setCurrentIndex(0);
    Notebook1->setCurrentIndex(0);
    ClearRejectionLists();
    SetInputControlsVisible(true);
    // The button that had the focus is gone with its page; start again at the path, as on
    // opening.
    edtCaminho->setFocus();
}

void TFConversao::btnSalvarClick() {
    const QByteArray content = conversion::rejectionFileBytes(m_inventoryRejections->exportLines());
    const Dialogs::FileRequest request{
        QStringLiteral("Selecione o nome do arquivo a ser gerado..."),
        QStringLiteral("Arquivo TXT (*.txt)"), QStringLiteral("txt"), QStringLiteral("c:")};
    bool accepted = false;
    const QString fileName = Dialogs::saveFileName(this, request, &accepted);
    if (!accepted)
        return;
    if (fileName.isEmpty()) {
        Dialogs::message(this, Dialogs::Kind::Warning, QStringLiteral("Não há dados para salvar."));
        return;
    }
    try {
        conversion::writeRejectionFile(fileName, content);
    } catch (const db::Error& error) {
        Dialogs::message(this, Dialogs::Kind::Warning,
                         QStringLiteral("Ocorreu o seguinte erro ao salvar os dados no arquivo: ") +
                             error.message());
        return;
    }
    Dialogs::message(this, Dialogs::Kind::Information,
                     QStringLiteral("Arquivo salvo com sucesso no diretório ") + fileName +
                         QLatin1Char('.'));
}

void TFConversao::ClearRejectionLists() {
    m_inventoryRejections->clear();
    m_openingRejections->clear();
}

bool TFConversao::AlreadyListed(const QString& itemCode) const {
    return m_inventoryRejections->alreadyListed(itemCode);
}

void TFConversao::showEmptyLists() {
    for (const auto& [grid, list, none] :
         {std::tuple{ProdutosNaoEncontrados, m_inventoryRejections, m_noInventoryRejections},
          std::tuple{StringGrid1, m_openingRejections, m_noOpeningRejections}}) {
        grid->setVisible(!list->isEmpty());
        none->setVisible(list->isEmpty());
    }
}

} // namespace ui
