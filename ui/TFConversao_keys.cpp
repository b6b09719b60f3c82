// Form-wide keyboard rules and display states, and the routing of the watched controls' keys and
// leaves to them.
#include "ErrorGuard.h"
#include "LookupComboBox.h"
#include "MaskEdit.h"
#include "TFConversao.h"

#include <QApplication>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableView>

namespace ui {

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
    const QList<QWidget*> inputControls = {
        edtCaminho, btAbrir,   DtInventa,   CodEmpresa, MostraEmpresa, CodCausa,     MostraCausa,
        btOK,       btSimular, btHistorico, GroupBox3,  GroupBox2,     btNaoContados};
    for (QWidget* control : inputControls) {
        // What nobody counted belongs to the inventory, as the cause does.
        const bool followsTab =
            control == CodCausa || control == MostraCausa || control == btNaoContados;
        control->setVisible(followsTab ? causeVisible : visible);
    }
}

void TFConversao::PcDadosChange() {
    const bool causeVisible = PcDados->currentIndex() != 1 && Notebook->currentIndex() != 1;
    CodCausa->setVisible(causeVisible);
    MostraCausa->setVisible(causeVisible);
    btNaoContados->setVisible(causeVisible);
}

void TFConversao::watch(QWidget* widget) {
    widget->installEventFilter(this);
}

bool TFConversao::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* keyEvent = static_cast<QKeyEvent*>(event);
        int key = 0;
        switch (keyEvent->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            key = VK_RETURN;
            break;
        case Qt::Key_Escape:
            key = VK_ESCAPE;
            break;
        case Qt::Key_Up:
            key = VK_UP;
            break;
        case Qt::Key_Down:
            key = VK_DOWN;
            break;
        default:
            return false;
        }
        bool passOn = true;
        guarded(this, [&] { passOn = previewKey(watched, key); });
        return !passOn;
    }
    case QEvent::FocusOut: {
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        // A modal box or a dropped-down list takes the focus for a while; that is no leave.
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            guarded(this, [&] { controlLeft(watched); });
        return false;
    }
    default:
        return false;
    }
}

bool TFConversao::previewKey(QObject* watched, int key) {
    // A focused button takes Enter itself and presses; the arrows move among the controls as
    // in a dialog. Neither reaches the form's rules.
    if (auto* button = qobject_cast<QPushButton*>(watched)) {
        if (key == VK_RETURN) {
            button->click();
            return false;
        }
        if (key == VK_UP || key == VK_DOWN) {
            focusNextControl(key == VK_DOWN);
            return false;
        }
    }
    // A dropped-down list takes Enter and Esc itself, to pick or to close.
    if (auto* list = qobject_cast<LookupComboBox*>(watched);
        list && list->isDroppedDown() && (key == VK_RETURN || key == VK_ESCAPE))
        return true;
    FormKeyDown(key);
    if (key != 0) {
        if (watched == DtInventa)
            DtInventaKeyDown(key);
        else if (watched == CodEmpresa)
            CodEmpresaKeyDown(key);
        else if (watched == CodCausa)
            CodCausaKeyDown(key);
        else if (watched == MostraEmpresa)
            MostraEmpresaKeyDown(key);
        else if (watched == MostraCausa)
            MostraCausaKeyDown(key);
    }
    return key != 0;
}

void TFConversao::controlLeft(QObject* watched) {
    if (watched == DtInventa)
        DtInventaExit();
    else if (watched == CodEmpresa)
        CodEmpresaExit();
    else if (watched == CodCausa)
        CodCausaExit();
}

} // namespace ui
