#pragma once

#include "db/Dialect.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QVariantList>

// A database of its own for one test: a temporary SQLite file built from the schema script.
class TestDatabase {
public:
    explicit TestDatabase(const QString& connectionName = QStringLiteral("test"));
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    QSqlDatabase database() const;
    const db::Dialect& dialect() const;
    QString filePath() const { return m_path; }
    QString directory() const { return m_dir.path(); }

    // Runs a statement with positional values; fails the test on an error.
    void exec(const QString& sql, const QVariantList& values = {}) const;
    // Every row of a select, each as a list of texts joined by "|".
    QStringList rows(const QString& sql) const;

private:
    QTemporaryDir m_dir;
    QString m_connectionName;
    QString m_path;
};
