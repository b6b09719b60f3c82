#pragma once

#include <QDate>
#include <QString>

class MaskEdit;
class QWidget;

// Entry rules of the code and date fields, kept apart from the form so they can be checked
// without it.

// Trims blanks and control characters, puts "0" in front up to width and keeps the rightmost
// width characters: "5" -> "05", "123" -> "23".
QString ZeroPad(const QString& text, int width);

// Completes a date field's ten-character text from today's month and year: a missing year and
// month come from today, a two-digit year gets "20" in front. A text holding nine characters
// once trimmed (a three-digit year) raises the suspicious-date warning, over dialogParent.
QString CompleteDate(const QString& text, const QDate& today, QWidget* dialogParent = nullptr);

// The leave check of a masked date field: completes the text, converts it and writes it back as
// dd/mm/yyyy; a blank or impossible date is refused with a box titled "Alerta" and the focus goes
// back to the field (an impossible one is emptied first). name is the field as the box calls it.
void ValidateDateField(MaskEdit* field, const QString& name);
