#pragma once

#include "Errors.h"

#include <QLocale>
#include <QString>

namespace conversion {

// A quantity text that is not a number. The message says so in the clerk's words, with the line
// when it is known, so whoever shows it adds no line of its own.
class BadQuantity : public ConversionError {
public:
    BadQuantity(const QString& message, int lineNumber)
        : ConversionError(message)
        , m_lineNumber(lineNumber) {}
    // From 1; 0 when the caller gave none.
    int lineNumber() const { return m_lineNumber; }

private:
    int m_lineNumber;
};

// A quantity in the notation of the locale: optional blanks, an optional sign, digits with at
// most one decimal separator (the locale's), an optional exponent, optional blanks. Group
// separators are refused, since a reading is never written with them and 1.500 must not pass
// for fifteen hundred where the point groups thousands. Raises BadQuantity otherwise
// ("Linha 11: a quantidade "x" não é um número.", the text cut as messages quote input), with a
// hint at the regional settings when the text would read as a number with a decimal comma the
// locale does not use; an overflow is refused the same way.
double parseQuantity(const QString& text, const QLocale& locale, int lineNumber = 0);

} // namespace conversion
