#pragma once

#include "ui/Dialogs.h"
#include "ui/LookupComboBox.h"

#include <QApplication>
#include <QHash>
#include <QTest>

// Types as a clerk does: keys go to the dropped-down list while one is open, to the focused
// control otherwise.
namespace clerk {

inline QWidget* keyTarget() {
    if (QWidget* popup = QApplication::activePopupWidget())
        return popup->focusWidget() ? popup->focusWidget() : popup;
    return QApplication::focusWidget();
}

// The focused control by name; a dropped-down list counts as its box.
inline QString focusName() {
    for (QWidget* widget = keyTarget(); widget; widget = widget->parentWidget()) {
        if (qobject_cast<ui::LookupComboBox*>(widget))
            return widget->objectName();
    }
    return QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString();
}

// Named keys split by blanks: Enter, Up, Down, Esc, Tab.
inline void press(const QString& keys) {
    static const QHash<QString, Qt::Key> names = {{QStringLiteral("Enter"), Qt::Key_Return},
                                                  {QStringLiteral("Up"), Qt::Key_Up},
                                                  {QStringLiteral("Down"), Qt::Key_Down},
                                                  {QStringLiteral("Esc"), Qt::Key_Escape},
                                                  {QStringLiteral("Tab"), Qt::Key_Tab}};
    for (const QString& key : keys.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        QVERIFY2(names.contains(key), qPrintable(key));
        QTest::keyClick(keyTarget(), names.value(key));
    }
}

// What the dialogs said, each as "caption|text".
inline QStringList shownTexts() {
    QStringList texts;
    for (const ui::Dialogs::Shown& shown : ui::Dialogs::shown())
        texts << shown.caption + QLatin1Char('|') + shown.text;
    return texts;
}

// Text typed into the control that has the focus.
inline void type(const QString& text) {
    QTest::keyClicks(keyTarget(), text);
}

} // namespace clerk
