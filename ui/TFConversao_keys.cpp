// Form-wide keyboard rules and display states.
#include "LookupComboBox.h"
#include "MaskEdit.h"
#include "TFConversao.h"

#include <QApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>

void TFConversao::FormKeyDown(int& key) {
    switch (key) {
    case VK_RETURN:
        focusNextControl(true);
        break;
    case VK_ESCAPE:
        ClearEntries();
        break;
    case VK_UP:
        // A dropped-down list and a rejection grid use the Up arrow themselves.
        if (MostraEmpresa->isDroppedDown() || MostraCausa->isDroppedDown() ||
            ProdutosNaoEncontrados->hasFocus() || StringGrid1->hasFocus())
            break;
        focusNextControl(false);
        break;
    default:
        break;
    }
}

// Only Tab and the button's shortcut reach the simulate button: Enter and the arrows go from
// field to field and to "Efetuar Conversão" as they always have.
void TFConversao::focusNextControl(bool next) {
    focusNextPrevChild(next);
    if (QApplication::focusWidget() == btSimular)
        focusNextPrevChild(next);
}

void TFConversao::ClearEntries() {
    edtCaminho->clear();
    DtInventa->setMaskedText(MaskEdit::blankMask());
    CodEmpresa->clear();
    MostraEmpresa->setKeyValue({});
    CodCausa->clear();
    MostraCausa->setKeyValue({});
    // In the list state the path field is hidden; the grid of the active tab takes the focus.
    if (edtCaminho->isVisibleTo(this))
        edtCaminho->setFocus();
    else if (PcDados->currentIndex() == 1)
        StringGrid1->setFocus();
    else
        ProdutosNaoEncontrados->setFocus();
}

void TFConversao::SetInputControlsVisible(bool visible) {
    // The cause fields follow the tab: shown only on the inventory tab in the entry state.
    const bool causeVisible =
        visible && PcDados->currentIndex() != 1 && Notebook->currentIndex() != 1;
    const QList<QWidget*> inputControls = {edtCaminho,    btAbrir,     DtInventa,   CodEmpresa,
                                           MostraEmpresa, CodCausa,    MostraCausa, btOK,
                                           btSimular,     btHistorico, GroupBox3,   GroupBox2};
    for (QWidget* control : inputControls) {
        const bool isCause = control == CodCausa || control == MostraCausa;
        control->setVisible(isCause ? causeVisible : visible);
    }
}

void TFConversao::PcDadosChange() {
    const bool causeVisible = PcDados->currentIndex() != 1 && Notebook->currentIndex() != 1;
    CodCausa->setVisible(causeVisible);
    MostraCausa->setVisible(causeVisible);
}
