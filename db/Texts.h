#pragma once

#include <QDate>
#include <QLocale>
#include <QString>
#include <QTime>
#include <optional>

// Composed texts shared by several statements, and the small text rules they rest on.
namespace db::texts {

// Removes characters with codes 0 to 32 (blanks and control characters) from both ends.
QString trimControl(const QString& text);

// Input quoted in a message: at most 60 characters, then "…" when there was more, so a
// runaway line can't fill the error box.
QString quotedInput(const QString& text);

// Control characters (C0, DEL and C1) written as \xHH: a text from the database printed on a
// terminal stays on its line and sends the terminal no control sequence.
QString escapedControls(const QString& text);

// The wait for another workstation's run into the company, as the window counts it.
QString turnWaitText(int seconds);

// Upper-cases the letters a to z only; accented letters and everything else stay as they are.
QString upperAscii(const QString& text);

// Day, month and four-digit year: 06/12/2026.
QString formatDate(const QDate& date);

// Inventory document number: "yyyymmdd" of the inventory date followed by "A".
QString inventoryDocumentNumber(const QDate& inventoryDate);

// Movement document number: today's day, month and four-digit year followed by "A".
QString movementDocumentNumber(const QDate& today);

// The long time format of a locale without its time-zone part: the stamp holds the time of day.
QString longTimeFormatWithoutZone(const QLocale& locale);

// Stamp text: day, month, two-digit year, then the time of day in the locale's long time format
// with every ":" removed. 14:30:05 on 06/12/2026 in pt-BR gives 061226143005.
QString stampText(const QDate& today, const QTime& now, const QLocale& locale);

// Stamp texts for one run: the locale's time format is worked out once, the date part once a day
// and the text once a second, since a run writes many rows a second.
class StampTexts {
public:
    explicit StampTexts(const QLocale& locale);
    // The same text as stampText(today, now, locale).
    const QString& at(const QDate& today, const QTime& now);

private:
    QLocale m_locale;
    QString m_timeFormat;
    bool m_perSecond;
    QDate m_day;
    QString m_dayPart;
    int m_second = -1;
    QTime m_time;
    QString m_text;
};

} // namespace db::texts
