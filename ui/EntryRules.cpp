#include "EntryRules.h"

#include "Dialogs.h"
#include "MaskEdit.h"
#include "conversion/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QStackedWidget>
#include <QTabWidget>

namespace ui {

namespace {
// A field on a tab sheet is shown before its message leaves the focus there.
void bringTabSheetToFront(QWidget* field) {
    QWidget* child = field;
    for (QWidget* parent = field->parentWidget(); parent; parent = parent->parentWidget()) {
        if (qobject_cast<QStackedWidget*>(parent)) {
            if (auto* tabs = qobject_cast<QTabWidget*>(parent->parentWidget())) {
                tabs->setCurrentWidget(child);
                return;
            }
        }
        child = parent;
    }
}
} // namespace

QString CompleteDate(const QString& text, const QDate& today, QWidget* dialogParent) {
    const conversion::CompletedDate completed = conversion::completeDateText(text, today);
    if (completed.suspicious)
        Dialogs::message(dialogParent, Dialogs::Kind::Warning,
                         QStringLiteral("Atenção Data Suspeita:") + QLatin1Char('\r') +
                             completed.text);
    return completed.text;
}

void ValidateDateField(MaskEdit* field, const QString& name) {
    if (!field->isEnabled())
        return;
    const QDate today = db::Clock::today();
    // As the clerk saw it, blank positions and all.
    const QString typed = QString(field->maskedText()).replace(QLatin1Char(' '), QLatin1Char('_'));
    field->setMaskedText(CompleteDate(field->maskedText(), today, field->window()));
    try {
        field->setMaskedText(db::texts::formatDate(conversion::toDate(field->maskedText(), today)));
    } catch (const conversion::ConversionError&) {
        const bool blank = field->maskedText() == MaskEdit::blankMask();
        Dialogs::box(field->window(),
                     blank ? name + QStringLiteral(" não pode ficar em branco.")
                           : conversion::invalidDateText(name, typed),
                     QStringLiteral("Alerta"), Dialogs::Icon::Exclamation);
        bringTabSheetToFront(field);
        if (!blank)
            field->setMaskedText(MaskEdit::blankMask());
        field->takeFocusBack();
    }
}

} // namespace ui
