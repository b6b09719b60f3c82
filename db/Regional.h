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

// The one clock of the tool, so that tests can fix "today" and "now".
class Clock {
public:
    static QDateTime now();
    static QDate today() { return now().date(); }
    static void setFixed(const QDateTime& moment);
    static void reset();
};

} // namespace db
