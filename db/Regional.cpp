#include "Regional.h"

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
void Clock::setFixed(const QDateTime& moment) {
    fixedMoment() = moment;
}
void Clock::reset() {
    fixedMoment().reset();
}

} // namespace db
