#pragma once

#include "db/Statement.h"

#include <QString>
#include <memory>
#include <optional>
#include <vector>

// What the journal's reads, writes and undo share: its statements, prepared and bound by name.
// For the journal's own files only.
namespace conversion::journal {

using Prepared = std::unique_ptr<db::Statement>;

inline Prepared prepare(const QSqlDatabase& database, const db::Dialect& dialect, const char* text,
                        db::StatementWatchdog* watchdog = nullptr) {
    return db::Statement::prepare(database, dialect, text, watchdog);
}

// Binds a value by its placeholder; the statement reads it when it runs, so the caller keeps
// the values alive until then.
struct Binder {
    explicit Binder(db::Statement& bound)
        : statement(bound) {}

    db::Statement& statement;
    std::vector<std::unique_ptr<db::BoundValue>> values;

    Binder& text(const char* name, const QString& value) {
        return keep(name, std::make_unique<db::BoundValue>(value));
    }
    Binder& variant(const char* name, const QVariant& value) {
        return keep(name, std::make_unique<db::BoundValue>(value));
    }
    Binder& number(const char* name, double value) {
        statement.bindFloat(statement.position(name), value);
        return *this;
    }

private:
    Binder& keep(const char* name, std::unique_ptr<db::BoundValue> value) {
        statement.bind(statement.position(name), *value);
        values.push_back(std::move(value));
        return *this;
    }
};

// A count as the journal stores it, NULL where there is none, and as a row holds it.
QVariant countValue(const std::optional<double>& count);
std::optional<double> countOf(const db::Statement& row, int column);

// "1 leitura gravada", "3 leituras gravadas".
inline QString counted(int count, const char* one, const char* many) {
    return QString::number(count) + u' ' + QString::fromUtf8(count == 1 ? one : many);
}

} // namespace conversion::journal
