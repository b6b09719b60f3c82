#pragma once

#include <QDateTime>
#include <QLocale>
#include <optional>

namespace db {

// The workstation's regional settings: numbers and the time of day follow this locale.
// Tests set it; the program leaves it at the system locale.
class Regional {
public:
    static QLocale locale();
    static void setLocale(const QLocale& locale);
    static void resetLocale();
};

// A local date and time of day.
struct LocalMoment {
    QDate date;
    QTime time;
};

// The one clock of the tool, so that tests can fix "today" and "now".
class Clock {
public:
    static QDateTime now();
    // The same moment for a statement that needs it, read without a time-zone look-up each time:
    // the zone's offset is taken once a minute, and zones change offsets on whole minutes only.
    static LocalMoment localNow();
    static QDate today() { return now().date(); }
    static void setFixed(const QDateTime& moment);
    static void reset();
};

} // namespace db
