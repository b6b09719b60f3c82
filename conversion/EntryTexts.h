#pragma once

#include <QDate>
#include <QString>
#include <optional>

namespace conversion {

// Rules of the code and date entries that hold without a window, shared by the form's fields and
// the batch mode.

// Trims blanks and control characters, puts "0" in front up to width and keeps the rightmost
// width characters: "5" -> "05", "123" -> "23".
QString ZeroPad(const QString& text, int width);

// The codes' widths, as the tables keep them (Filiais.CodEmpresa, CausInv.CodCausa).
inline constexpr int CompanyCodeWidth = 2;
inline constexpr int CauseCodeWidth = 3;
// A company's or a cause's code as typed or given, padded as its table keeps it.
inline QString companyCode(const QString& typed) {
    return ZeroPad(typed, CompanyCodeWidth);
}
inline QString causeCode(const QString& typed) {
    return ZeroPad(typed, CauseCodeWidth);
}

struct CompletedDate {
    QString text;
    // A year of fewer than four digits once completed (a three-digit year typed, or one digit
    // completed to three): kept, but worth a warning.
    bool suspicious = false;
};

// Completes a date field's ten-character text from today's month and year: a missing year and
// month come from today, a two-digit year gets "20" in front.
CompletedDate completeDateText(const QString& text, const QDate& today);

// Reads a date text of three numbers split by "/", day first. Blanks before a number or a
// separator and at the end are skipped; a year of three or four digits is taken as written,
// one of one or two digits falls in the current century. Empty when no calendar date results.
std::optional<QDate> parseDate(const QString& text, const QDate& today);

// As parseDate, but a text that is no date raises ConversionError.
QDate toDate(const QString& text, const QDate& today);

// The refusal of a date that makes no calendar date, naming the field, what was typed and the
// form a date takes, on a line of its own:
// Data inválida: "31/02/2026".\rInforme dia, mês e ano na forma DD/MM/AAAA.
QString invalidDateText(const QString& name, const QString& typed);

// A date given outside the field (a command's argument: day, month and year split by "/", a
// part left out as the field leaves it blank), completed and checked as the field does. No date
// is today. A year of fewer than four digits, which the field only warns about, is refused:
// nobody reads a warning in a scheduled job.
struct GivenDate {
    // dd/mm/yyyy; empty when refused.
    QString text;
    QString refusal;
};
GivenDate givenDate(const QString& argument, const QDate& today);

// A date more likely mistyped than meant: more than 60 days after today, or more than a year
// before it. A run asks before it posts into such a date.
bool isFarFromToday(const QDate& date, const QDate& today);
// "Data distante de hoje: 09/12/2062 (hoje é 08/12/2026)."
QString farDateText(const QDate& date, const QDate& today);

} // namespace conversion
