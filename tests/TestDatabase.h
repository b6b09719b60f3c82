#pragma once

#include "db/Dialect.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <QVariantList>

// A database of its own for one test, built from the schema script. The engine comes from the
// environment: COLETOR_TEST_ENGINE is sqlite (a temporary file, the default), postgresql or
// firebird (a fresh database on the server that the test run started, found through
// COLETOR_SERVERS_FILE), so the same test runs on every engine without editing code.
class TestDatabase {
public:
    explicit TestDatabase(const QString& connectionName = QStringLiteral("test"));
    ~TestDatabase();
    TestDatabase(const TestDatabase&) = delete;
    TestDatabase& operator=(const TestDatabase&) = delete;

    static QString engine();

    QSqlDatabase database() const;
    const db::Dialect& dialect() const;
    // The SQLite file; empty on a server engine.
    QString filePath() const { return m_path; }
    QString directory() const { return m_dir.path(); }

    // Where the tool's connection finds this database: the "SERVER NAME" text, and an alias file
    // (written on first use) whose Telvaro entry names the engine.
    QString serverName() const { return m_serverName; }
    QString aliasFile() const;
    // Points the tool's connection here: the alias file, and a Caminho.Dir in the working
    // folder whose first line is the server name.
    void pointToolAt(const QString& workingFolder) const;

    // A user of the server who logs in with the password given and has no rights on the
    // database's tables until granted them; dropped with the database. Its name is upper case,
    // which PostgreSQL keeps only quoted. Empty on SQLite, which has no users.
    QString addUser(const QString& password);
    // Grants privileges ("SELECT", "SELECT, INSERT"...) on a table to a user of addUser.
    void grant(const QString& privileges, const QString& table, const QString& user) const;

    // Runs a statement with positional values; fails the test on an error.
    void exec(const QString& sql, const QVariantList& values = {}) const;
    // Every row of a select, each as its fields joined by "|": numbers as the shortest text that
    // holds them, dates as yyyy-MM-dd and moments as yyyy-MM-dd HH:mm:ss on every engine.
    QStringList rows(const QString& sql) const;

private:
    void createOnPostgres();
    void createOnFirebird();
    void dropFromServer();
    void dropUsers();

    QTemporaryDir m_dir;
    QString m_connectionName;
    QString m_path;
    QString m_serverDatabase;
    QString m_serverName;
    QStringList m_users;
    const db::Dialect* m_dialect = nullptr;
};
