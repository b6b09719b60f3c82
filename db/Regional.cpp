#include "Regional.h"

#include <limits>

namespace db {

namespace {
std::optional<QLocale>& localeOverride() {
    static std::optional<QLocale> value;
    return value;
}
std::optional<QDateTime>& fixedMoment() {
    static std::optional<QDateTime> value;
    return value;
}
} // namespace

QLocale Regional::locale() {
    return localeOverride().value_or(QLocale::system());
}
void Regional::setLocale(const QLocale& locale) {
    localeOverride() = locale;
}
void Regional::resetLocale() {
    localeOverride().reset();
}

QDateTime Clock::now() {
    return fixedMoment().value_or(QDateTime::currentDateTime());
}
LocalMoment Clock::localNow() {
    if (const auto& fixed = fixedMoment())
        return {fixed->date(), fixed->time()};
    struct Offset {
        qint64 minute = std::numeric_limits<qint64>::min();
        qint64 milliseconds = 0;
    };
    thread_local Offset offset;
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    const qint64 minute = now >= 0 ? now / 60000 : (now - 59999) / 60000;
    if (minute != offset.minute) {
        offset.minute = minute;
        offset.milliseconds =
            QDateTime::fromMSecsSinceEpoch(minute * 60000, Qt::LocalTime).offsetFromUtc() * 1000LL;
    }
    const QDateTime wallClock = QDateTime::fromMSecsSinceEpoch(now + offset.milliseconds, Qt::UTC);
    return {wallClock.date(), wallClock.time()};
}

void Clock::setFixed(const QDateTime& moment) {
    fixedMoment() = moment;
}
void Clock::reset() {
    fixedMoment().reset();
}

} // namespace db
