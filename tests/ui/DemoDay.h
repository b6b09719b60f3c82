#pragma once

#include "conversion/RejectionList.h"
#include "db/Regional.h"
#include "ui/Dialogs.h"

#include <QDateTime>
#include <QLocale>
#include <QStringList>

// The day the demo tests live on: a Brazilian workstation on 06/12/2026 at 14:30:05, dialogs
// answered by the test, and no alias file but the default.
namespace demoday {

inline void prepare() {
    Dialogs::setTestMode(true);
    db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    db::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(14, 30, 5)));
    qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
}

// The rows of a rejection list, header left out, as "code | reason".
inline QStringList listed(const RejectionList& list) {
    QStringList rows;
    for (int row = 1; row < list.gridRowCount(); ++row)
        rows << list.cell(row, 0) + QStringLiteral(" | ") + list.cell(row, 1);
    return rows;
}

} // namespace demoday
