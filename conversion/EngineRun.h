#pragma once

// The parts of a run of the conversion engine, shared by the files that make up the engine: the
// run's lines, product resolution, and the reads and writes of the run, made in batches.

#include "ConversionEngine.h"
#include "EntryTexts.h"
#include "Errors.h"
#include "LineRules.h"
#include "db/Errors.h"
#include "db/Names.h"
#include "db/Query.h"
#include "db/Regional.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <map>
#include <unordered_map>
#include <vector>

namespace conversion {

// The sizes a batch of a read is sent in, the last value repeated to fill it, so that a run
// prepares at most three texts of each read.
inline int readBatchSize(size_t values) {
    for (const int size : {8, 64})
        if (values <= static_cast<size_t>(size))
            return size;
    return 256;
}

// The sizes a batch of a write is sent in, each row once: the largest that the rows left fill.
inline int writeBatchSize(size_t rows) {
    for (const int size : {128, 16})
        if (rows >= static_cast<size_t>(size))
            return size;
    return 1;
}

inline QDateTime atMidnight(const QDate& date) {
    return QDateTime(date, QTime(0, 0));
}

// The statements of a run, each prepared when the run first needs it, inside the run's
// transaction, with the positions of its parameters. A database without the tables of one mode
// still takes runs of the other, and a missing table fails the run's batch that uses it. The
// statements of batches are composed for a few batch sizes and kept by their text.
struct ConversionEngine::Statements {
    // The five columns that name a count row.
    struct RowKeyAt {
        explicit RowKeyAt(const db::Statement& statement)
            : company(statement.position(db::param::CodEmpresa))
            , date(statement.position(db::param::DataInv))
            , document(statement.position(db::param::Documento))
            , product(statement.position(db::param::CodProd))
            , grade(statement.position(db::param::CodGrade)) {}
        int company, date, document, product, grade;
    };
    // Bound by position only.
    struct NoPositions {
        explicit NoPositions(const db::Statement&) {}
    };

    template <typename At> struct Slot {
        std::unique_ptr<db::Statement> statement;
        std::optional<At> at;
    };
    template <typename At> struct Use {
        db::Statement& query;
        const At& at;
    };

    Statements(const QSqlDatabase& database, const db::Dialect& dialect,
               db::StatementWatchdog* watchdog)
        : m_database(database)
        , m_dialect(dialect)
        , m_watchdog(watchdog)
        , m_lockedCountRow(QByteArray(db::sql::InventoryRowExists) + dialect.rowLock()) {}

    db::Statement& barcode() { return use(m_barcode, db::sql::BarcodeSearch).query; }
    db::Statement& reference(int search) {
        static const char* const texts[] = {db::sql::ReferenceSearch1, db::sql::ReferenceSearch2,
                                            db::sql::ReferenceSearch3};
        return use(m_references[search], texts[search]).query;
    }
    // The inventory run's read of a count row holds the row until the run ends.
    Use<RowKeyAt> countRow() { return use(m_countRow, m_lockedCountRow.constData()); }
    Use<RowKeyAt> processedCheck() { return use(m_processedCheck, db::sql::ProcessedCheck); }
    // A statement for a batch of `rows` rows, with `suffix` after its text; prepared once a
    // run for each size.
    db::Statement& batched(const db::sql::Batched& texts, int rows, const char* suffix = "") {
        const QByteArray text = QByteArray::fromStdString(texts.text(rows, suffix));
        std::unique_ptr<db::Statement>& slot = m_batched[text];
        if (!slot) {
            slot = db::Statement::prepare(m_database, m_dialect, text.constData(), m_watchdog);
            m_prepared.push_back(slot.get());
        }
        return *slot;
    }

    // Closes every statement prepared so far, then reports the first that failed to close.
    void closeAll() {
        std::exception_ptr first;
        for (db::Statement* statement : m_prepared) {
            try {
                statement->close();
            } catch (const db::Error&) {
                if (!first)
                    first = std::current_exception();
            }
        }
        if (first)
            std::rethrow_exception(first);
    }

private:
    template <typename At> Use<At> use(Slot<At>& slot, const char* text) {
        if (!slot.statement) {
            auto statement = db::Statement::prepare(m_database, m_dialect, text, m_watchdog);
            slot.at.emplace(*statement);
            m_prepared.push_back(statement.get());
            slot.statement = std::move(statement);
        }
        return {*slot.statement, *slot.at};
    }

    QSqlDatabase m_database;
    const db::Dialect& m_dialect;
    db::StatementWatchdog* m_watchdog;
    const QByteArray m_lockedCountRow;
    std::vector<db::Statement*> m_prepared;
    Slot<NoPositions> m_barcode;
    Slot<NoPositions> m_references[3];
    Slot<RowKeyAt> m_countRow;
    Slot<RowKeyAt> m_processedCheck;
    std::map<QByteArray, std::unique_ptr<db::Statement>> m_batched;
};

// The entries and the texts made of them, worked out once a run.
struct ConversionEngine::RunValues {
    RunValues(const EntryValues& entries, const db::Dialect& dialect)
        : company(entries.companyCode)
        , cause(entries.causeCode)
        , stamps(db::Regional::locale()) {
        // A bad date fails only a reading that gets as far as needing it.
        try {
            date = toDate(entries.dateText, db::Clock::today());
        } catch (const ConversionError& error) {
            dateError = error.message();
            return;
        }
        dateValue = db::BoundValue(dialect.date(date));
        midnight = db::BoundValue(dialect.dateTime(atMidnight(date)));
        document = db::BoundValue(db::texts::inventoryDocumentNumber(date));
    }

    void requireDate() const {
        if (!dateError.isNull())
            throw ConversionError(dateError);
    }

    // The stamp for a statement about to run, from one reading of the clock.
    const db::BoundValue& stampNow() {
        const db::LocalMoment now = db::Clock::localNow();
        const QString& text = stamps.at(now.date, now.time);
        if (text != stamp.value.toString())
            stamp = db::BoundValue(text);
        return stamp;
    }

    // The movement document number of today's date.
    const db::BoundValue& movementDocument() {
        const QDate today = db::Clock::localNow().date;
        if (today != movementDay) {
            movementDay = today;
            movementDocumentValue = db::BoundValue(db::texts::movementDocumentNumber(today));
        }
        return movementDocumentValue;
    }

    db::BoundValue company;
    db::BoundValue cause;
    QDate date;
    QString dateError;
    db::BoundValue dateValue;
    db::BoundValue midnight;
    db::BoundValue document;
    db::BoundValue movementType{QString::fromLatin1(db::value::OpeningMovementType)};
    db::texts::StampTexts stamps;
    db::BoundValue stamp;
    QDate movementDay;
    db::BoundValue movementDocumentValue;
};

// What the run knows of one product and grade once it has asked, and the write its lines need.
struct ConversionEngine::Known {
    QString CodProd;
    QString CodGrade;
    db::BoundValue product;
    db::BoundValue grade;
    bool rowRead = false;
    ProductState state;
    // The first line of the file that names the product and grade.
    int firstLine = 0;
    // A count row is written once, after the last line: created with the count of its readings,
    // or added to from the count it held when the run read it.
    bool written = false;
    bool created = false;
    double countAtRead = 0.0;
    // The run created the row, holding nothing, before the first line.
    bool createdAhead = false;
};

// An opening stock row that the insert found already there: either another workstation has just
// posted the product's opening stock, or the row was there without a movement before the run. A
// batch inserts many rows at once and knows only that one of them was there.
class ConversionEngine::OpeningStockClash : public db::DatabaseError {
public:
    // `lines`, where given, holds the line of each product.
    OpeningStockClash(const QString& serverMessage, const QString& company,
                      std::vector<std::pair<QString, QString>> productsAndGrades,
                      std::vector<int> lines = {})
        : db::DatabaseError(insertFailure(productsAndGrades.front().first, serverMessage))
        , m_serverMessage(serverMessage)
        , m_company(company)
        , m_products(std::move(productsAndGrades))
        , m_lines(std::move(lines)) {}

    // Asked once the run is undone, afresh: the other workstation's movement is committed by
    // the time the insert is refused, but a run that can't see it (a snapshot) or can't ask any
    // more (a transaction the refusal broke) can't tell. Of a batch, the product named is the
    // first whose row was there, and `line` becomes its line where the clash knows it.
    [[noreturn]] void explain(const QSqlDatabase& database, const db::Dialect& dialect,
                              int& line) const;

private:
    QString m_serverMessage;
    QString m_company;
    std::vector<std::pair<QString, QString>> m_products;
    std::vector<int> m_lines;
};

struct ConversionEngine::Resolved {
    FoundBy foundBy = FoundBy::None;
    int productsWithCode = 0;
    // Null when the code names no product.
    Known* known = nullptr;
};

struct ConversionEngine::RunMemory {
    std::unordered_map<QString, Resolved> codes;
    std::unordered_map<QString, Known> known;
    // The writes the lines decided, in the order of their first lines.
    std::vector<Known*> countRows;
    std::vector<std::pair<Known*, double>> openingStocks;
};

// Declared so that the transaction ends first and the statements go after it: no statement is
// freed inside a transaction that a failure has broken, and every one is finalised before the
// connection can close. The values the statements bind outlive them.
struct ConversionEngine::Run {
    // A run that posts begins its transaction here, once it has its turn; a question between
    // runs has none.
    Run(const QSqlDatabase& database, const db::Dialect& dialect, const EntryValues& entries,
        db::StatementWatchdog* watchdog, const db::TurnWait* turn)
        : values(entries, dialect)
        , statements(database, dialect, watchdog) {
        if (turn)
            transaction.emplace(database, dialect, *turn);
    }
    // The statements are closed before the transaction rolls back; a run that is failing
    // already reports its first error, not one from closing.
    ~Run() { closeQuietly(); }
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void closeQuietly() {
        try {
            statements.closeAll();
        } catch (const db::Error&) {
        }
    }

    RunMemory memory;
    RunValues values;
    Statements statements;
    // A read ahead that failed, raised when the run comes to the line it failed for, unless a
    // line before fails first.
    std::exception_ptr readFailure;
    int readFailureLine = 0;
    std::optional<db::TransactionGuard> transaction;
};

template <typename Batch> void ConversionEngine::forLine(int line, Batch&& batch) {
    try {
        batch();
    } catch (...) {
        // The innermost batch knows best.
        if (m_failedLine == 0)
            m_failedLine = line;
        throw;
    }
}

} // namespace conversion
