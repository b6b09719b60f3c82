#pragma once

#include "conversion/EntryTexts.h"

#include <QDate>
#include <QString>

class QWidget;

namespace ui {

class MaskEdit;

// Entry rules of the code and date fields, kept apart from the form so they can be checked
// without it.

// completeDateText, with the suspicious-date warning over dialogParent.
QString CompleteDate(const QString& text, const QDate& today, QWidget* dialogParent = nullptr);

// The leave check of a masked date field: completes the text, converts it and writes it back as
// dd/mm/yyyy; a blank or impossible date is refused with a box titled "Alerta" and the focus goes
// back to the field (an impossible one is emptied first). name is the field as the box calls it.
void ValidateDateField(MaskEdit* field, const QString& name);

} // namespace ui
