#include "EntryTexts.h"

#include "Errors.h"
#include "db/Texts.h"

namespace conversion {

namespace {
constexpr qsizetype DateLength = 10;

QString fourDigitYear(const QDate& date) {
    return QString::number(date.year()).rightJustified(4, QLatin1Char('0'));
}

bool isBlank(const QString& positions) {
    return db::texts::trimControl(positions).isEmpty();
}
} // namespace

QString ZeroPad(const QString& text, int width) {
    const QString trimmed = db::texts::trimControl(text);
    return trimmed.rightJustified(width, QLatin1Char('0')).right(width);
}

CompletedDate completeDateText(const QString& text, const QDate& today) {
    // Positions count on a text of exactly ten characters, as the field always holds.
    const QString s = text.leftJustified(DateLength, QLatin1Char(' '));
    const qsizetype length = db::texts::trimControl(s).size();
    if (length <= 6) {
        if (isBlank(s.mid(0, 2)))
            return {s};
        const QString day = ZeroPad(s.mid(0, 2), 2);
        const QString month = isBlank(s.mid(3, 2)) ? ZeroPad(QString::number(today.month()), 2)
                                                   : ZeroPad(s.mid(3, 2), 2);
        return {day + QLatin1Char('/') + month + QLatin1Char('/') + fourDigitYear(today)};
    }
    if (length == 9 || length == 10)
        return {s, length == 9};
    // "20" in front of a one-digit year leaves three digits, as suspicious as three typed.
    const QString completed = s.left(6) + QStringLiteral("20") + s.mid(6, 2);
    return {completed, db::texts::trimControl(completed).size() == 9};
}

QDate toDate(const QString& text, const QDate& today) {
    if (const auto date = db::texts::parseDate(text, today))
        return *date;
    throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
}

QString invalidDateText(const QString& name, const QString& typed) {
    return name + QStringLiteral(" inválida: \"") + db::texts::quotedInput(typed) +
           QStringLiteral("\".\rInforme dia, mês e ano na forma DD/MM/AAAA.");
}

bool isFarFromToday(const QDate& date, const QDate& today) {
    return date > today.addDays(60) || date < today.addYears(-1);
}

QString farDateText(const QDate& date, const QDate& today) {
    return QStringLiteral("Data distante de hoje: %1 (hoje é %2).")
        .arg(db::texts::formatDate(date), db::texts::formatDate(today));
}

} // namespace conversion
