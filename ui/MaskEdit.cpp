#include "MaskEdit.h"

#include <QFocusEvent>
#include <utility>

namespace ui {

namespace {
// Shown for a blank position; the mask's own blank character.
constexpr char16_t BlankShown = u'_';
} // namespace

MaskEdit::MaskEdit(QWidget* parent)
    : QLineEdit(parent) {
    // '0' takes a digit or nothing, so an incomplete date is never refused by the mask itself.
    setInputMask(QStringLiteral("00/00/0000;_"));
    setMaxLength(10);
}

QString MaskEdit::maskedText() const {
    QString text = displayText();
    text.replace(QChar(BlankShown), QLatin1Char(' '));
    return text;
}

void MaskEdit::setMaskedText(const QString& text) {
    // A blank given to the mask as a space would let the next digit slide left into its place;
    // the mask's blank character holds the position.
    QString shown = text;
    shown.replace(QLatin1Char(' '), QChar(BlankShown));
    setText(shown);
}

void MaskEdit::takeFocusBack() {
    m_focusTakenBack = true;
    setFocus();
    selectAll();
}

void MaskEdit::focusInEvent(QFocusEvent* event) {
    m_focusTakenBack = false;
    QLineEdit::focusInEvent(event);
    // Entering the field from the keyboard or from a handler selects it all, so the clerk types
    // the date from its first position.
    const Qt::FocusReason reason = event->reason();
    if (reason != Qt::MouseFocusReason && reason != Qt::PopupFocusReason &&
        reason != Qt::ActiveWindowFocusReason)
        selectAll();
}

void MaskEdit::focusOutEvent(QFocusEvent* event) {
    // A refused date gives the focus back while the leave is still being handled; the field
    // then has nothing to leave and keeps its selection. With a modal box in between, the window
    // comes back active only later, so the field does not have the focus yet.
    if (std::exchange(m_focusTakenBack, false) || hasFocus())
        return;
    QLineEdit::focusOutEvent(event);
}

} // namespace ui
