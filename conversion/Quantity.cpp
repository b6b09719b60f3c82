#include "Quantity.h"

#include "db/Errors.h"
#include "db/Texts.h"

#include <QRegularExpression>

namespace collector {

double parseQuantity(const QString& text, const QLocale& locale) {
    // The shape is checked first: QLocale also reads "inf", "nan" and locale digits, which a
    // collector never writes.
    // Built once per decimal separator: a run reads the same locale for every line.
    static QString shapePoint;
    static QRegularExpression shape;
    if (shapePoint != locale.decimalPoint()) {
        shapePoint = locale.decimalPoint();
        const QString point = QRegularExpression::escape(shapePoint);
        shape.setPattern(QStringLiteral("^ *[+-]?([0-9]+(%1[0-9]*)?|%1[0-9]+)"
                                        "([eE][+-]?[0-9]+)? *$")
                             .arg(point));
    }
    const QString trimmed = text.trimmed();
    bool ok = false;
    double value = 0.0;
    if (shape.match(text).hasMatch()) {
        QLocale reader = locale;
        reader.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
        // The locale's own signs may differ from the ASCII ones a collector writes.
        QString normalized = trimmed;
        if (normalized.startsWith(u'-'))
            normalized.replace(0, 1, locale.negativeSign());
        else if (normalized.startsWith(u'+'))
            normalized.replace(0, 1, locale.positiveSign());
        value = reader.toDouble(normalized, &ok);
    }
    if (!ok)
        throw db::ConversionError(QStringLiteral("'%1' is not a valid floating point value")
                                      .arg(db::texts::quotedInput(text)));
    return value;
}

} // namespace collector
