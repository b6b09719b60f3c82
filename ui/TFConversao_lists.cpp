// Rejection lists, the way back to the entry area and the export.
#include "TFConversao.h"

#include "conversion/RejectionList.h"

void TFConversao::BitBtn2Click() {}
void TFConversao::btnSalvarClick() {}
void TFConversao::ClearRejectionLists() {
    m_inventoryRejections->clear();
    m_openingRejections->clear();
}
bool TFConversao::AlreadyListed(const QString& itemCode) const {
    return m_inventoryRejections->alreadyListed(itemCode);
}
