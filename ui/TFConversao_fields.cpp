// Company, cause and date fields.
#include "Dialogs.h"
#include "EntryRules.h"
#include "ErrorGuard.h"
#include "LookupComboBox.h"
#include "MaskEdit.h"
#include "TFConversao.h"
#include "db/LookupQuery.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTabWidget>

#include <functional>

namespace ui {

namespace {
// A code field with its look-up list: the two pairs differ only in these.
struct CodePair {
    QLineEdit* code;
    LookupComboBox* list;
    db::LookupQuery* query;
    int width;
};

CodePair companyPair(const TFConversao& form) {
    return {form.CodEmpresa, form.MostraEmpresa, form.Empresa, conversion::CompanyCodeWidth};
}

CodePair causePair(const TFConversao& form) {
    return {form.CodCausa, form.MostraCausa, form.CausInv, conversion::CauseCodeWidth};
}

// Pads the code and looks it up; a code that no row has is removed without a message. Without
// a connection the padded code stays, since there is nothing to look it up in.
bool leaveCode(TFConversao& form, const CodePair& pair) {
    if (pair.code->text().isEmpty())
        return false;
    pair.code->setText(conversion::ZeroPad(pair.code->text(), pair.width));
    if (!form.lookupAvailable(*pair.query))
        return false;
    if (pair.query->locate(pair.code->text())) {
        pair.list->setKeyValue(pair.code->text());
        return true;
    }
    pair.code->clear();
    pair.list->setKeyValue({});
    return false;
}

// Typing blanks the list until the field is left; texts the program sets leave it alone.
void codeChanged(const CodePair& pair) {
    if (pair.code->hasFocus())
        pair.list->setKeyValue({});
}

void listClicked(const CodePair& pair) {
    if (!pair.list->shownText().isEmpty())
        pair.code->setText(pair.query->fieldText(pair.query->keyColumn()));
}

// Enter on an empty code field offers the list, dropped down on its first row; so does Enter on
// an unknown code, which the leave check has just removed. The field stays empty until an entry
// is picked.
void enterOnEmptyCode(TFConversao& form, const CodePair& pair) {
    if (!pair.code->text().isEmpty() || !form.lookupAvailable(*pair.query))
        return;
    pair.query->first();
    pair.list->setFocus();
    pair.list->setKeyValue(pair.query->fieldText(pair.query->keyColumn()));
    pair.list->dropDown();
}

// A mouse click released over the control, as a click event.
class ClickFilter : public QObject {
public:
    ClickFilter(QWidget* control, std::function<void()> onClick)
        : QObject(control)
        , m_onClick(std::move(onClick)) {
        control->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const auto* mouse = static_cast<QMouseEvent*>(event);
            const auto* control = static_cast<QWidget*>(watched);
            if (mouse->button() == Qt::LeftButton &&
                control->rect().contains(mouse->position().toPoint()))
                m_onClick();
        }
        return false;
    }

private:
    std::function<void()> m_onClick;
};
} // namespace

void TFConversao::setUpEntryFields() {
    // Letters typed into the company code become capitals; texts set by the program stay as
    // they are, so a code picked from the list is copied exactly.
    connect(CodEmpresa, &QLineEdit::textEdited, this, [this](const QString& text) {
        const QString upper = db::texts::upperAscii(text);
        if (upper == text)
            return;
        const int cursor = CodEmpresa->cursorPosition();
        CodEmpresa->setText(upper);
        CodEmpresa->setCursorPosition(cursor);
    });
    new ClickFilter(CodEmpresa, [this] { guarded(this, [this] { MostraEmpresaClick(); }); });
    new ClickFilter(CodCausa, [this] { guarded(this, [this] { MostraCausaClick(); }); });
}

bool TFConversao::lookupAvailable(const db::LookupQuery& lookup) {
    if (lookup.isOpen())
        return true;
    if (!m_noConnectionTold) {
        m_noConnectionTold = true;
        Dialogs::message(this, Dialogs::Kind::Warning,
                         QStringLiteral("Não há conexão com o banco de dados: as empresas e as "
                                        "causas não podem ser conferidas e nenhuma conversão "
                                        "pode ser feita. Corrija a conexão como diz o aviso da "
                                        "abertura e abra o programa de novo."));
    }
    return false;
}

void TFConversao::CodEmpresaExit() {
    if (m_leaving)
        return;
    const QScopedValueRollback guard(m_leaving, true);
    leaveCode(*this, companyPair(*this));
}

void TFConversao::CodEmpresaChange() {
    codeChanged(companyPair(*this));
}

void TFConversao::CodEmpresaKeyDown(int& key) {
    if (key == VK_RETURN)
        enterOnEmptyCode(*this, companyPair(*this));
    else if (key == VK_UP)
        DtInventa->setFocus();
}

void TFConversao::MostraEmpresaClick() {
    listClicked(companyPair(*this));
}

void TFConversao::MostraEmpresaKeyDown(int& key) {
    if (key == VK_UP) {
        // Never steps back to the previous company, not even in the dropped-down list.
        key = 0;
        CodEmpresa->setFocus();
    } else if (key == VK_RETURN) {
        if (PcDados->currentIndex() == 0)
            CodCausa->setFocus();
        else
            btOK->setFocus();
    }
}

void TFConversao::CodCausaExit() {
    if (m_leaving)
        return;
    const QScopedValueRollback guard(m_leaving, true);
    if (leaveCode(*this, causePair(*this)))
        btOK->setFocus();
}

void TFConversao::CodCausaChange() {
    codeChanged(causePair(*this));
}

void TFConversao::CodCausaKeyDown(int& key) {
    if (key == VK_RETURN)
        enterOnEmptyCode(*this, causePair(*this));
    else if (key == VK_UP)
        MostraEmpresa->setFocus();
}

void TFConversao::MostraCausaClick() {
    listClicked(causePair(*this));
}

void TFConversao::MostraCausaKeyDown(int& key) {
    if (key == VK_UP) {
        key = 0;
        CodCausa->setFocus();
    }
}

void TFConversao::DtInventaExit() {
    if (m_leaving)
        return;
    const QScopedValueRollback guard(m_leaving, true);
    ValidateDateField(DtInventa, QStringLiteral("Data"));
}

void TFConversao::DtInventaKeyDown(int& key) {
    if (key != VK_RETURN)
        return;
    const QDate today = db::Clock::today();
    DtInventa->setMaskedText(CompleteDate(DtInventa->maskedText(), today, this));
    if (DtInventa->maskedText() == MaskEdit::blankMask())
        DtInventa->setMaskedText(db::texts::formatDate(today));
    CodEmpresa->setFocus();
}

} // namespace ui
