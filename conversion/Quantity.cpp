#include "Quantity.h"

#include "db/Errors.h"
#include "db/Texts.h"

namespace conversion {

namespace {
bool isAsciiDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// Blanks, an optional sign, digits with at most one decimal point (at least one digit on
// either side of it), an optional exponent, blanks. QLocale alone would also read "inf", "nan"
// and other scripts' digits, which a collector never writes.
bool hasQuantityShape(QStringView text, QStringView point) {
    const qsizetype size = text.size();
    qsizetype i = 0;
    const auto digits = [&] {
        const qsizetype start = i;
        while (i < size && isAsciiDigit(text[i]))
            ++i;
        return i > start;
    };
    while (i < size && text[i] == u' ')
        ++i;
    if (i < size && (text[i] == u'+' || text[i] == u'-'))
        ++i;
    const bool whole = digits();
    bool fraction = false;
    if (!point.isEmpty() && text.sliced(i).startsWith(point)) {
        i += point.size();
        fraction = digits();
    }
    if (!whole && !fraction)
        return false;
    if (i < size && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (i < size && (text[i] == u'+' || text[i] == u'-'))
            ++i;
        if (!digits())
            return false;
    }
    while (i < size && text[i] == u' ')
        ++i;
    return i == size;
}

QString badQuantityMessage(const QString& text, const QLocale& locale, int lineNumber) {
    QString message =
        QStringLiteral("a quantidade \"%1\" não é um número.").arg(db::texts::quotedInput(text));
    if (lineNumber > 0)
        message = QStringLiteral("Linha %1: ").arg(lineNumber) + message;
    // 1,5 from a collector set up for a decimal comma, on a workstation that doesn't use one.
    if (locale.decimalPoint() != QStringLiteral(",") && hasQuantityShape(text, u","))
        message += QStringLiteral(
            "\rOs números seguem as configurações regionais da estação (LC_NUMERIC), em que o "
            "separador decimal não é a vírgula; para ler a vírgula como decimal, use por "
            "exemplo LC_NUMERIC=pt_BR.UTF-8.");
    return message;
}
} // namespace

double parseQuantity(const QString& text, const QLocale& locale, int lineNumber) {
    // The reader is set up once per locale: a run reads the same one for every line.
    static QLocale readerFor = QLocale::c();
    static QLocale reader = QLocale::c();
    static QString point = reader.decimalPoint();
    if (readerFor != locale || point != locale.decimalPoint()) {
        readerFor = locale;
        reader = locale;
        reader.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
        point = locale.decimalPoint();
    }
    bool ok = false;
    double value = 0.0;
    if (hasQuantityShape(text, point)) {
        // The locale's own signs may differ from the ASCII ones a collector writes.
        QString normalized = text.trimmed();
        if (normalized.startsWith(u'-'))
            normalized.replace(0, 1, reader.negativeSign());
        else if (normalized.startsWith(u'+'))
            normalized.replace(0, 1, reader.positiveSign());
        value = reader.toDouble(normalized, &ok);
    }
    if (!ok)
        throw BadQuantity(badQuantityMessage(text, locale, lineNumber), lineNumber);
    return value;
}

} // namespace conversion
