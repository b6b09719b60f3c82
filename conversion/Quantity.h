#pragma once

#include <QLocale>
#include <QString>

namespace collector {

// A quantity in the notation of the locale: optional blanks, an optional sign, digits with at
// most one decimal separator (the locale's), an optional exponent, optional blanks. Group
// separators are refused, since a reading is never written with them and 1.500 must not pass
// for fifteen hundred where the point groups thousands. Raises db::ConversionError
// "'<text>' is not a valid floating point value" otherwise, the text cut as messages quote input;
// an overflow is refused the same way.
double parseQuantity(const QString& text, const QLocale& locale);

} // namespace collector
