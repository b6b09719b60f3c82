#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <sqlite3.h>

// A thin shell over the sqlite3 C API for the benchmark's own work: every call is inline and
// does no more than the API call it wraps, so the raw loop costs what the library costs.
namespace bench {

class Sqlite {
public:
    explicit Sqlite(const QString& path) {
        if (sqlite3_open_v2(path.toUtf8().constData(), &m_db,
                            SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) != SQLITE_OK)
            fail();
    }
    ~Sqlite() { sqlite3_close_v2(m_db); }
    Sqlite(const Sqlite&) = delete;
    Sqlite& operator=(const Sqlite&) = delete;

    void exec(const QByteArray& sql) {
        if (sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr) != SQLITE_OK)
            fail();
    }
    sqlite3* handle() const { return m_db; }
    [[noreturn]] void fail() const { qFatal("sqlite: %s", sqlite3_errmsg(m_db)); }

private:
    sqlite3* m_db = nullptr;
};

class Statement {
public:
    Statement(Sqlite& db, const char* sql)
        : m_db(db) {
        if (sqlite3_prepare_v3(db.handle(), sql, -1, SQLITE_PREPARE_PERSISTENT, &m_statement,
                               nullptr) != SQLITE_OK)
            db.fail();
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // Position of a named parameter, looked up once when the loop is set up.
    int index(const char* name) const {
        const int position = sqlite3_bind_parameter_index(m_statement, name);
        if (position == 0)
            qFatal("no parameter %s", name);
        return position;
    }
    Statement& text(int position, const char* value, int size = -1) {
        sqlite3_bind_text(m_statement, position, value, size, SQLITE_TRANSIENT);
        return *this;
    }
    // Binds a text that stays where it is until the statement has run: nothing is copied.
    Statement& textInPlace(int position, const char* value, int size) {
        sqlite3_bind_text(m_statement, position, value, size, SQLITE_STATIC);
        return *this;
    }
    Statement& text(int position, const QByteArray& value) {
        return text(position, value.constData(), static_cast<int>(value.size()));
    }
    Statement& integer(int position, int value) {
        sqlite3_bind_int(m_statement, position, value);
        return *this;
    }
    Statement& real(int position, double value) {
        sqlite3_bind_double(m_statement, position, value);
        return *this;
    }
    // Steps once; true on a row.
    bool step() {
        const int result = sqlite3_step(m_statement);
        if (result == SQLITE_ROW)
            return true;
        if (result != SQLITE_DONE)
            m_db.fail();
        return false;
    }
    void reset() { sqlite3_reset(m_statement); }
    // Runs a statement that returns no row.
    void run() {
        step();
        reset();
    }
    int columns() const { return sqlite3_column_count(m_statement); }
    QByteArray columnText(int column) const {
        return QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
                          sqlite3_column_bytes(m_statement, column));
    }
    const char* columnChars(int column) const {
        return reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    }
    int columnInt(int column) const { return sqlite3_column_int(m_statement, column); }
    double columnReal(int column) const { return sqlite3_column_double(m_statement, column); }
    sqlite3_stmt* handle() const { return m_statement; }
    int changes() const { return sqlite3_changes(m_db.handle()); }

private:
    Sqlite& m_db;
    sqlite3_stmt* m_statement = nullptr;
};

} // namespace bench
