#pragma once

#include <QLineEdit>

namespace ui {

// The masked date field: ten positions "99/99/9999", every digit optional. Its text, as the
// date rules read and write it, is always ten characters, "/" at positions 3 and 6 and a blank
// in every position not typed; the screen shows a blank position as "_".
class MaskEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit MaskEdit(QWidget* parent = nullptr);

    static QString blankMask() { return QStringLiteral("  /  /    "); }
    // QLineEdit::text() drops the blank positions; these keep every position in place.
    QString maskedText() const;
    void setMaskedText(const QString& text);
    // Gives the focus back while the field's leave is being handled (a refused date), selected
    // for a new entry; the leave then ends without undoing that.
    void takeFocusBack();

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_focusTakenBack = false;
};

} // namespace ui
