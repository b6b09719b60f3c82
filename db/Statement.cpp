#include "Statement.h"

#include "Errors.h"
#include "Query.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <atomic>
#include <functional>
#include <sqlite3.h>
#include <vector>

namespace db {

BoundValue::BoundValue(const QString& text)
    : value(text.isNull() ? QStringLiteral("") : text)
    , utf8(text.toUtf8())
    , isText(true) {}

BoundValue::BoundValue(const QVariant& value)
    : value(value) {
    if (value.typeId() == QMetaType::QString) {
        utf8 = value.toString().toUtf8();
        isText = true;
        if (value.isNull())
            this->value = QStringLiteral("");
    }
}

Statement::Statement(const char* text) {
    static const QRegularExpression placeholder(QStringLiteral(":P[A-Za-z0-9_]+"));
    const QString statement = QString::fromLatin1(text);
    for (auto found = placeholder.globalMatch(statement); found.hasNext();)
        m_placeholders << found.next().captured().toLatin1();
}

int Statement::position(const char* name) const {
    const qsizetype found = m_placeholders.indexOf(QByteArray(name));
    if (found < 0)
        throw DatabaseError(
            QStringLiteral("Parâmetro %1 não encontrado.").arg(QLatin1String(name)));
    return static_cast<int>(found);
}

namespace {

// Through the Qt driver: servers, and SQLite where the driver gives no library handle.
class QtStatement final : public Statement {
public:
    QtStatement(const QSqlDatabase& database, const Dialect& dialect, const char* text,
                StatementWatchdog* watchdog)
        : Statement(text)
        , m_query(database)
        , m_dialect(dialect)
        , m_watchdog(watchdog) {
        m_query.setForwardOnly(true);
        // A server or network that holds the answer is cut off at the limit here too: a run by
        // sets prepares its writes after its last line.
        if (m_watchdog)
            m_watchdog->arm();
        const bool prepared = m_query.prepare(dialect.statement(QString::fromLatin1(text)));
        if (m_watchdog && m_watchdog->disarm())
            throw LockTimeout(noAnswerText());
        if (!prepared)
            raiseDatabaseError(m_query.lastError(), dialect);
    }

    void bind(int position, const BoundValue& value) override {
        m_query.bindValue(position, value.value);
    }
    void bindFloat(int position, double value) override { m_query.bindValue(position, value); }
    void bindText(int position, const QString& text) override {
        m_query.bindValue(position, text.isNull() ? QStringLiteral("") : text);
    }

    bool open() override {
        // A select that locks its rows waits for them as it fetches.
        run([this] { m_onRow = m_query.next(); });
        if (!m_onRow && m_query.lastError().isValid())
            fail();
        if (m_columnTypes.empty()) {
            const QSqlRecord record = m_query.record();
            for (int c = 0; c < record.count(); ++c)
                m_columnTypes.push_back(record.field(c).typeID());
        }
        return m_onRow;
    }
    bool next() override {
        m_onRow = m_query.next();
        if (!m_onRow && m_query.lastError().isValid())
            fail();
        return m_onRow;
    }
    QString text(int column) const override {
        const QVariant value = this->value(column);
        return value.isNull() ? QString() : m_dialect.text(value, m_columnTypes.at(column));
    }
    // A text converts as a whole, in the C locale, or not at all.
    double number(int column) const override { return value(column).toDouble(); }
    bool isNull(int column) const override { return value(column).isNull(); }

    void execute() override {
        run();
        close();
    }
    int executeCounted() override {
        run();
        const int rows = m_query.numRowsAffected();
        close();
        return rows;
    }
    // A statement that fails to close is reported with the server's reason; left open, it would
    // fail its next use with a message that hides that reason.
    void close() override {
        m_onRow = false;
        if (!m_query.isActive())
            return;
        m_query.finish();
        if (m_query.lastError().isValid())
            fail();
    }

private:
    QVariant value(int column) const { return m_onRow ? m_query.value(column) : QVariant(); }
    // Runs the statement, then `fetch` when it ran, within the lock wait limit.
    void run(const std::function<void()>& fetch = {}) {
        if (m_watchdog)
            m_watchdog->arm();
        const bool done = m_query.exec();
        if (done && fetch)
            fetch();
        // Cut off at the limit, whatever the server answered: a cancel may still be on its way.
        if (m_watchdog && m_watchdog->disarm())
            throw LockTimeout(noAnswerText());
        if (!done)
            fail();
    }
    [[noreturn]] void fail() const { raiseDatabaseError(m_query.lastError(), m_dialect); }

    QSqlQuery m_query;
    const Dialect& m_dialect;
    StatementWatchdog* m_watchdog;
    std::vector<int> m_columnTypes;
    bool m_onRow = false;
};

// Through the SQLite library that the Qt driver itself opened the connection with.
class SqliteStatement final : public Statement {
public:
    SqliteStatement(sqlite3* connection, const Dialect& dialect, const char* text)
        : Statement(text)
        , m_connection(connection)
        , m_dialect(dialect) {
        if (sqlite3_prepare_v3(connection, text, -1, SQLITE_PREPARE_PERSISTENT, &m_statement,
                               nullptr) != SQLITE_OK)
            fail();
    }
    ~SqliteStatement() override { sqlite3_finalize(m_statement); }

    void bind(int position, const BoundValue& value) override {
        if (value.isText) {
            sqlite3_bind_text(m_statement, position + 1, value.utf8.constData(),
                              static_cast<int>(value.utf8.size()), SQLITE_STATIC);
            return;
        }
        if (value.value.isNull()) {
            sqlite3_bind_null(m_statement, position + 1);
            return;
        }
        // Dates reach SQLite as texts already (the dialect's form); anything else as a number.
        sqlite3_bind_double(m_statement, position + 1, value.value.toDouble());
    }
    void bindFloat(int position, double value) override {
        sqlite3_bind_double(m_statement, position + 1, value);
    }
    // Into a buffer kept for the position: a text of UTF-16 would be converted by SQLite itself,
    // through a copy of its own, for every row. The buffer is never empty, since SQLite binds a
    // text without an address as null.
    void bindText(int position, const QString& text) override {
        if (m_texts.size() <= static_cast<std::size_t>(position))
            m_texts.resize(static_cast<std::size_t>(position) + 1);
        std::vector<char>& buffer = m_texts[static_cast<std::size_t>(position)];
        buffer.resize(static_cast<std::size_t>(3 * text.size()) + 1);
        const char* end = m_utf8.appendToBuffer(buffer.data(), text);
        sqlite3_bind_text(m_statement, position + 1, buffer.data(),
                          static_cast<int>(end - buffer.data()), SQLITE_STATIC);
    }

    bool open() override {
        sqlite3_reset(m_statement);
        return step();
    }
    bool next() override { return step(); }
    QString text(int column) const override {
        if (!m_onRow)
            return {};
        return QString::fromUtf8(
            reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
            sqlite3_column_bytes(m_statement, column));
    }
    // SQLite would read the leading digits of a text; the Qt driver's rule, the whole text or
    // nothing, holds here too.
    double number(int column) const override {
        if (!m_onRow)
            return 0.0;
        switch (sqlite3_column_type(m_statement, column)) {
        case SQLITE_INTEGER:
        case SQLITE_FLOAT:
            return sqlite3_column_double(m_statement, column);
        case SQLITE_TEXT: {
            bool ok = false;
            const double value =
                QByteArray::fromRawData(
                    reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column)),
                    sqlite3_column_bytes(m_statement, column))
                    .toDouble(&ok);
            return ok ? value : 0.0;
        }
        default:
            return 0.0;
        }
    }
    bool isNull(int column) const override {
        return !m_onRow || sqlite3_column_type(m_statement, column) == SQLITE_NULL;
    }

    void execute() override {
        sqlite3_reset(m_statement);
        step();
        close();
    }
    int executeCounted() override {
        sqlite3_reset(m_statement);
        step();
        const int rows = sqlite3_changes(m_connection);
        close();
        return rows;
    }
    void close() override {
        m_onRow = false;
        sqlite3_reset(m_statement);
    }

private:
    bool step() {
        const int result = sqlite3_step(m_statement);
        m_onRow = result == SQLITE_ROW;
        if (!m_onRow && result != SQLITE_DONE)
            fail();
        return m_onRow;
    }
    [[noreturn]] void fail() const {
        const int code = sqlite3_extended_errcode(m_connection);
        raiseDatabaseError(QSqlError(QString(), QString::fromUtf8(sqlite3_errmsg(m_connection)),
                                     QSqlError::StatementError, QString::number(code)),
                           m_dialect);
    }

    sqlite3* m_connection;
    const Dialect& m_dialect;
    sqlite3_stmt* m_statement = nullptr;
    // The texts bindText bound, a position each.
    std::vector<std::vector<char>> m_texts;
    QStringEncoder m_utf8{QStringEncoder::Utf8};
    bool m_onRow = false;
};

} // namespace

bool sharesSqliteLibrary(const QSqlDatabase& database) {
    enum : int { Unknown, Shared, Apart };
    static std::atomic<int> answer{Unknown};
    if (const int known = answer.load(); known != Unknown)
        return known == Shared;
    // The source id names the very build of the library: two copies of one version still differ
    // when either was built apart.
    // Through Qt, since the answer decides whether this program's library may be used at all.
    QSqlQuery query(database);
    if (!query.exec(QStringLiteral("Select sqlite_source_id()")) || !query.next())
        return false;
    const bool shared = query.value(0).toString() == QString::fromLatin1(sqlite3_sourceid());
    answer.store(shared ? Shared : Apart);
    return shared;
}

sqlite3* sqliteHandle(const QSqlDatabase& database) {
    const QVariant handle = database.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0 ||
        !sharesSqliteLibrary(database))
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.constData());
}

std::unique_ptr<Statement> Statement::prepare(const QSqlDatabase& database, const Dialect& dialect,
                                              const char* text, StatementWatchdog* watchdog) {
    if (dialect.driver() == QLatin1String("QSQLITE")) {
        if (sqlite3* connection = sqliteHandle(database))
            return std::make_unique<SqliteStatement>(connection, dialect, text);
    }
    return std::make_unique<QtStatement>(database, dialect, text, watchdog);
}

} // namespace db
