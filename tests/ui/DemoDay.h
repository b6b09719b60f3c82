#pragma once

#include "conversion/RejectionList.h"
#include "db/Regional.h"
#include "ui/Dialogs.h"

#include "db/DemoData.h"
#include "db/Schema.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QSqlDatabase>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

// The day the demo tests live on: a Brazilian workstation on 06/12/2026 at 14:30:05, dialogs
// answered by the test, and no alias file but the default.
namespace demoday {

inline void prepare() {
    ui::Dialogs::setTestMode(true);
    db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
    db::Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(14, 30, 5)));
    qputenv("CONVERSOR_ALIASES", QByteArray("/nonexistent/aliases.ini"));
}

// The rows of a rejection list, header left out, as "code | reason".
inline QStringList listed(const conversion::RejectionList& list) {
    QStringList rows;
    for (int row = 1; row < list.gridRowCount(); ++row)
        rows << list.cell(row, 0) + QStringLiteral(" | ") + list.cell(row, 1);
    return rows;
}

// A demo folder as the demo command makes it, dated the 5th.
inline void makeDemoFolder(const QTemporaryDir& folder) {
    {
        QSqlDatabase database =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("demo"));
        database.setDatabaseName(folder.filePath(QStringLiteral("telvaro.db")));
        QVERIFY(database.open());
        const db::Dialect& dialect = *db::Dialect::forDriver(QStringLiteral("QSQLITE"));
        db::createSchema(database, dialect);
        db::demo::fill(database, dialect, QDate(2026, 12, 5));
        database.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("demo"));
    QFile file(folder.filePath(QStringLiteral("coletor.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(db::demo::collectorFile());
    QFile caminho(folder.filePath(QStringLiteral("Caminho.Dir")));
    QVERIFY(caminho.open(QIODevice::WriteOnly));
    caminho.write("telvaro.db\r\n");
}

} // namespace demoday
