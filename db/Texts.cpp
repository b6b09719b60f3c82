#include "Texts.h"

#include <QRegularExpression>

namespace db::texts {

QString trimControl(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= 32)
        --end;
    return text.mid(begin, end - begin);
}

QString quotedInput(const QString& text) {
    constexpr qsizetype limit = 60;
    if (text.size() <= limit)
        return text;
    // A character outside the basic plane takes two units; it is kept whole or not at all.
    const qsizetype cut = text.at(limit - 1).isHighSurrogate() ? limit - 1 : limit;
    return text.left(cut) + QChar(0x2026);
}

QString escapedControls(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            result += QStringLiteral("\\x") +
                      QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else
            result += c;
    }
    return result;
}

QString turnWaitText(int seconds) {
    return QStringLiteral("Aguardando outra estação de trabalho terminar a conversão… (%1 s)")
        .arg(seconds);
}

QString upperAscii(const QString& text) {
    QString result = text;
    for (QChar& c : result) {
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - (u'a' - u'A'));
    }
    return result;
}

QString formatDate(const QDate& date) {
    return date.toString(QStringLiteral("dd/MM/yyyy"));
}

QString inventoryDocumentNumber(const QDate& inventoryDate) {
    return inventoryDate.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('A');
}

QString movementDocumentNumber(const QDate& today) {
    const QString date = formatDate(today);
    return date.mid(0, 2) + date.mid(3, 2) + date.mid(6, 4) + QLatin1Char('A');
}

QString longTimeFormatWithoutZone(const QLocale& locale) {
    // Drops the zone letters outside quoted text, with the blanks that set them apart.
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString result;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == u'\'')
            quoted = !quoted;
        if (!quoted && c == u't')
            continue;
        result += c;
    }
    return result.trimmed();
}

QString stampText(const QDate& today, const QTime& now, const QLocale& locale) {
    const QString date = formatDate(today);
    QString time = locale.toString(now, longTimeFormatWithoutZone(locale));
    time.remove(QLatin1Char(':'));
    return date.mid(0, 2) + date.mid(3, 2) + date.mid(8, 2) + time;
}

StampTexts::StampTexts(const QLocale& locale)
    : m_locale(locale)
    , m_timeFormat(longTimeFormatWithoutZone(locale))
    // A format that shows milliseconds changes within a second.
    , m_perSecond(!m_timeFormat.contains(QLatin1Char('z'))) {}

const QString& StampTexts::at(const QDate& today, const QTime& now) {
    const bool sameDay = today == m_day;
    if (sameDay && (m_perSecond ? now.msecsSinceStartOfDay() / 1000 == m_second : now == m_time))
        return m_text;
    if (!sameDay) {
        m_day = today;
        const QString date = formatDate(today);
        m_dayPart = date.mid(0, 2) + date.mid(3, 2) + date.mid(8, 2);
    }
    m_second = now.msecsSinceStartOfDay() / 1000;
    m_time = now;
    QString time = m_locale.toString(now, m_timeFormat);
    time.remove(QLatin1Char(':'));
    m_text = m_dayPart + time;
    return m_text;
}

} // namespace db::texts
