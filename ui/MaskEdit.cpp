#include "MaskEdit.h"

MaskEdit::MaskEdit(QWidget* parent)
    : QLineEdit(parent) {
    setInputMask(QStringLiteral("99/99/9999;_"));
    setMaxLength(10);
}

QString MaskEdit::maskedText() const {
    QString text = displayText();
    text.replace(QLatin1Char('_'), QLatin1Char(' '));
    return text;
}

void MaskEdit::setMaskedText(const QString& text) {
    setText(text);
}
