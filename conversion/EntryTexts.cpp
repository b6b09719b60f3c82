#include "EntryTexts.h"

#include "Errors.h"
#include "db/Texts.h"

#include <QRegularExpression>
#include <QStringList>

namespace conversion {

namespace {
constexpr qsizetype DateLength = 10;

QString fourDigitYear(const QDate& date) {
    return QString::number(date.year()).rightJustified(4, QLatin1Char('0'));
}

bool isBlank(const QString& positions) {
    return db::texts::trimControl(positions).isEmpty();
}

// The argument as the ten positions of the date field: day, month and year each in its place,
// so that the field's completion applies. Empty when a part can't be typed there.
std::optional<QString> datePositions(const QString& argument) {
    const QStringList parts = argument.split(QLatin1Char('/'));
    const int widths[] = {2, 2, 4};
    if (parts.size() > 3)
        return std::nullopt;
    QString positions;
    for (int i = 0; i < 3; ++i) {
        const QString part = i < parts.size() ? parts[i].trimmed() : QString();
        if (part.size() > widths[i])
            return std::nullopt;
        for (const QChar c : part) {
            if (c < u'0' || c > u'9')
                return std::nullopt;
        }
        positions += part.leftJustified(widths[i], QLatin1Char(' '));
        if (i < 2)
            positions += QLatin1Char('/');
    }
    return positions;
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

std::optional<QDate> parseDate(const QString& text, const QDate& today) {
    static const QRegularExpression pattern(
        QStringLiteral("^ *([0-9]{1,2}) */ *([0-9]{1,2}) */ *([0-9]{1,4}) *$"));
    const auto match = pattern.match(text);
    if (!match.hasMatch())
        return std::nullopt;
    const int day = match.captured(1).toInt();
    const int month = match.captured(2).toInt();
    int year = match.captured(3).toInt();
    if (match.captured(3).size() <= 2)
        year += today.year() / 100 * 100;
    const QDate date(year, month, day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QDate toDate(const QString& text, const QDate& today) {
    if (const auto date = parseDate(text, today))
        return *date;
    throw ConversionError(QStringLiteral("'%1' is not a valid date").arg(text));
}

QString invalidDateText(const QString& name, const QString& typed) {
    return name + QStringLiteral(" inválida: \"") + db::texts::quotedInput(typed) +
           QStringLiteral("\".\rInforme dia, mês e ano na forma DD/MM/AAAA.");
}

GivenDate givenDate(const QString& argument, const QDate& today) {
    if (db::texts::trimControl(argument).isEmpty())
        return {db::texts::formatDate(today), {}};
    const auto positions = datePositions(argument);
    if (!positions)
        return {{}, invalidDateText(QStringLiteral("Data"), argument)};
    const CompletedDate completed = completeDateText(*positions, today);
    // Told as typed: the blanks are the field's positions after a one-digit part, not the clerk's.
    if (completed.suspicious)
        return {{},
                QStringLiteral("Atenção Data Suspeita: %1")
                    .arg(QString(completed.text).remove(QLatin1Char(' ')))};
    const auto date = parseDate(completed.text, today);
    if (!date)
        return {{}, invalidDateText(QStringLiteral("Data"), argument)};
    return {db::texts::formatDate(*date), {}};
}

bool isFarFromToday(const QDate& date, const QDate& today) {
    return date > today.addDays(60) || date < today.addYears(-1);
}

QString farDateText(const QDate& date, const QDate& today) {
    return QStringLiteral("Data distante de hoje: %1 (hoje é %2).")
        .arg(db::texts::formatDate(date), db::texts::formatDate(today));
}

} // namespace conversion
