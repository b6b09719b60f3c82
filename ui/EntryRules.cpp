#include "EntryRules.h"

#include "Dialogs.h"
#include "MaskEdit.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <QStackedWidget>
#include <QTabWidget>

namespace {
constexpr qsizetype DateLength = 10;

QString fourDigitYear(const QDate& date) {
    return QString::number(date.year()).rightJustified(4, QLatin1Char('0'));
}

bool isBlank(const QString& positions) {
    return db::texts::trimControl(positions).isEmpty();
}

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

QString ZeroPad(const QString& text, int width) {
    const QString trimmed = db::texts::trimControl(text);
    return trimmed.rightJustified(width, QLatin1Char('0')).right(width);
}

QString CompleteDate(const QString& text, const QDate& today, QWidget* dialogParent) {
    // Positions count on a text of exactly ten characters, as the field always holds.
    const QString s = text.leftJustified(DateLength, QLatin1Char(' '));
    const qsizetype length = db::texts::trimControl(s).size();
    if (length <= 6) {
        if (isBlank(s.mid(0, 2)))
            return s;
        const QString day = ZeroPad(s.mid(0, 2), 2);
        const QString month = isBlank(s.mid(3, 2)) ? ZeroPad(QString::number(today.month()), 2)
                                                   : ZeroPad(s.mid(3, 2), 2);
        return day + QLatin1Char('/') + month + QLatin1Char('/') + fourDigitYear(today);
    }
    if (length == 9 || length == 10) {
        if (length == 9)
            Dialogs::message(dialogParent, Dialogs::Kind::Warning,
                             QStringLiteral("Atenção Data Suspeita:") + QLatin1Char('\r') + s);
        return s;
    }
    return s.left(6) + QStringLiteral("20") + s.mid(6, 2);
}

void ValidateDateField(MaskEdit* field, const QString& name) {
    if (!field->isEnabled())
        return;
    const QDate today = db::Clock::today();
    field->setMaskedText(CompleteDate(field->maskedText(), today, field->window()));
    try {
        field->setMaskedText(db::texts::formatDate(db::texts::toDate(field->maskedText(), today)));
    } catch (const db::ConversionError&) {
        const bool blank = field->maskedText() == MaskEdit::blankMask();
        Dialogs::box(field->window(),
                     name + (blank ? QStringLiteral(" não pode ficar em branco.")
                                   : QStringLiteral(" inválida.  ")),
                     QStringLiteral("Alerta"), Dialogs::Icon::Exclamation);
        bringTabSheetToFront(field);
        if (!blank)
            field->setMaskedText(MaskEdit::blankMask());
        field->takeFocusBack();
    }
}
