#pragma once

#include <QDate>
#include <QString>

namespace conversion {

// Rules of the code and date entries that hold without a window, shared by the form's fields and
// the batch mode.

// Trims blanks and control characters, puts "0" in front up to width and keeps the rightmost
// width characters: "5" -> "05", "123" -> "23".
QString ZeroPad(const QString& text, int width);

struct CompletedDate {
    QString text;
    // A year of fewer than four digits once completed (a three-digit year typed, or one digit
    // completed to three): kept, but worth a warning.
    bool suspicious = false;
};

// Completes a date field's ten-character text from today's month and year: a missing year and
// month come from today, a two-digit year gets "20" in front.
CompletedDate completeDateText(const QString& text, const QDate& today);

// As db::texts::parseDate, but a text that is no date raises ConversionError.
QDate toDate(const QString& text, const QDate& today);

// The refusal of a date that makes no calendar date, naming the field, what was typed and the
// form a date takes, on a line of its own:
// Data inválida: "31/02/2026".\rInforme dia, mês e ano na forma DD/MM/AAAA.
QString invalidDateText(const QString& name, const QString& typed);

// A date more likely mistyped than meant: more than 60 days after today, or more than a year
// before it. A run asks before it posts into such a date.
bool isFarFromToday(const QDate& date, const QDate& today);
// "Data distante de hoje: 09/12/2062 (hoje é 08/12/2026)."
QString farDateText(const QDate& date, const QDate& today);

} // namespace conversion
