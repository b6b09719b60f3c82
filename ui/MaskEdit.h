#pragma once

#include <QLineEdit>

// The masked date field: ten positions "99/99/9999", every digit optional. Its text, as the
// date rules read and write it, is always ten characters, "/" at positions 3 and 6 and a blank
// in every position not typed; the screen shows a blank position as "_".
class MaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit MaskEdit(QWidget* parent = nullptr);

    static QString blankMask() { return QStringLiteral("  /  /    "); }
    QString maskedText() const;
    void setMaskedText(const QString& text);
};
