// The reads and writes of a run: what the lines of a file need is read in batches before the
// first line, each line is decided in memory by the line rules, and the writes the lines decided
// are made in batches after the last line, within the same transaction.
#include "EngineRun.h"

#include <QHash>
#include <QSet>
#include <QSqlQuery>
#include <cmath>
#include <functional>
#include <limits>
#include <span>

namespace conversion {

namespace {
// What an update adds to a row that held `before` so that it holds `after`, the readings summed
// in file order: the number a run that adds each reading in turn leaves, to the last bit where
// one addition can make it.
double addition(double before, double after) {
    const double difference = after - before;
    constexpr double infinity = std::numeric_limits<double>::infinity();
    for (const double candidate :
         {difference, std::nextafter(difference, -infinity), std::nextafter(difference, infinity)})
        if (before + candidate == after)
            return candidate;
    return difference;
}

// Runs `write` for each batch of `rows`, with its first row and its size.
template <typename Row, typename Write>
void inBatches(const std::vector<Row>& rows, Write&& write) {
    for (size_t from = 0; from < rows.size();) {
        const int size = writeBatchSize(rows.size() - from);
        write(from, size);
        from += static_cast<size_t>(size);
    }
}

// Where each value of a count row goes in the rows of the batched writes, as db::sql::SetWrites
// lists them; an update binds the two counts after the ten values an insert binds.
enum CountRowValue {
    Stamp,
    Quantity,
    Kardex,
    Cause,
    Cost,
    Company,
    Date,
    Document,
    Product,
    Grade,
    CountRead,
    CountWritten,
    InsertValues = CountRead,
    UpdateValues = CountWritten + 1
};

// Whether a look-up by company, product and grade finds a row; a look-up that fails finds none.
bool found(const QSqlDatabase& database, const db::Dialect& dialect, const char* text,
           const QString& company, const std::pair<QString, QString>& product) {
    try {
        db::Query lookup(database, dialect);
        lookup.setText(QString::fromLatin1(text));
        lookup.bindTextAt(0, company);
        lookup.bindTextAt(1, product.first);
        lookup.bindTextAt(2, product.second);
        lookup.open();
        const bool any = !lookup.isEmpty();
        lookup.close();
        return any;
    } catch (const db::Error&) {
        return false;
    }
}
} // namespace

void ConversionEngine::takeCountRow(Known& known, const db::Statement& query, int at,
                                    bool counting) {
    ProductState& state = known.state;
    state.rowExists = true;
    state.processado = query.text(at);
    const bool open = counting && countRowIsOpen(state.processado);
    state.countIsNull = open && query.isNull(at + 1);
    state.count = open ? query.number(at + 1) : 0.0;
}

ConversionEngine::Known& ConversionEngine::countRow(Known& known) {
    if (known.rowRead)
        return known;
    RunValues& entries = values();
    entries.requireDate();
    // Only an inventory run adds to the count, and holds the row it reads until it ends.
    const bool counting = m_run->transaction && m_mode == Mode::Inventory;
    const auto [query, at] = counting ? statements().countRow() : statements().processedCheck();
    query.bind(at.company, entries.company);
    query.bind(at.date, entries.dateValue);
    query.bind(at.document, entries.document);
    query.bind(at.product, known.product);
    query.bind(at.grade, known.grade);
    if (query.open())
        takeCountRow(known, query, 0, counting);
    query.close();
    known.rowRead = true;
    return known;
}

void ConversionEngine::readAheadInFileOrder(const Readings& readings, Mode mode) {
    Run& current = run();
    // Not a db::Statement: a mark in the transaction, which some servers won't prepare.
    QSqlQuery savepoint(m_database);
    const bool canGoBack = savepoint.exec(QString::fromLatin1(db::sql::ReadAheadSavepoint));
    std::span<const std::optional<Reading>> lines(readings);
    for (;;) {
        m_failedLine = 0;
        try {
            readAhead(lines, mode);
            return;
        } catch (const db::Error&) {
            const int line = m_failedLine;
            if (!canGoBack || line <= 1 ||
                !savepoint.exec(QString::fromLatin1(db::sql::BackToReadAhead)))
                throw;
            current.readFailure = std::current_exception();
            current.readFailureLine = line;
            lines = lines.first(static_cast<size_t>(line - 1));
        }
    }
}

void ConversionEngine::readAhead(std::span<const std::optional<Reading>> readings, Mode mode) {
    resolveAll(readings);
    RunValues& entries = values();
    // A bad date fails the first line that finds a product, as that line is decided.
    if (!entries.dateError.isNull())
        return;
    std::vector<Known*> found;
    QSet<const Known*> listed;
    for (size_t i = 0; i < readings.size(); ++i) {
        if (!readings[i])
            continue;
        if (const Resolved* resolved = resolve(readings[i]->itemCode);
            resolved && !listed.contains(resolved->known)) {
            listed.insert(resolved->known);
            resolved->known->firstLine = static_cast<int>(i + 1);
            found.push_back(resolved->known);
        }
    }

    // Runs a read of `texts` for the products and grades of `products` in batches, the values of
    // `head` first; `onRow` gets each row, with the products and grades its first two columns name.
    const auto readByProduct = [this](const db::sql::Batched& texts, const char* suffix,
                                      const std::vector<const db::BoundValue*>& head,
                                      const std::vector<Known*>& products,
                                      const std::function<void(Known&, db::Statement&)>& onRow) {
        const int headCount = static_cast<int>(head.size());
        for (size_t from = 0; from < products.size();) {
            const int size = readBatchSize(products.size() - from);
            const size_t to = std::min(products.size(), from + static_cast<size_t>(size));
            forLine(products[from]->firstLine, [&] {
                db::Statement& query = statements().batched(texts, size, suffix);
                for (int i = 0; i < headCount; ++i)
                    query.bind(i, *head[static_cast<size_t>(i)]);
                QHash<QString, QList<Known*>> asked;
                for (int row = 0; row < size; ++row) {
                    Known& known = *products[std::min(from + static_cast<size_t>(row), to - 1)];
                    query.bind(headCount + 2 * row, known.product);
                    query.bind(headCount + 2 * row + 1, known.grade);
                    if (from + static_cast<size_t>(row) < to)
                        asked[compared(known.CodProd) + QChar(0) + compared(known.CodGrade)]
                            << &known;
                }
                for (bool row = query.open(); row; row = query.next()) {
                    const auto askedBy = asked.constFind(compared(query.text(0)) + QChar(0) +
                                                         compared(query.text(1)));
                    if (askedBy != asked.constEnd())
                        for (Known* known : *askedBy)
                            onRow(*known, query);
                }
                query.close();
            });
            from = to;
        }
    };

    // Only an inventory run adds to the count, and holds the rows it reads until it ends.
    const bool counting = mode == Mode::Inventory;
    readByProduct(m_dialect.keyedBatches().countRows, counting ? m_dialect.rowLock() : "",
                  {&entries.company, &entries.dateValue, &entries.document}, found,
                  [counting](Known& known, db::Statement& query) {
                      if (!known.state.rowExists)
                          takeCountRow(known, query, 2, counting);
                  });
    std::vector<Known*> unprocessed;
    for (Known* known : found) {
        known->rowRead = true;
        if (!countRowIsProcessed(known->state.processado))
            unprocessed.push_back(known);
    }

    if (!counting) {
        readByProduct(m_dialect.keyedBatches().movements, "", {&entries.company}, unprocessed,
                      [](Known& known, db::Statement&) { known.state.moved = true; });
        std::erase_if(unprocessed, [](Known* known) { return known->state.moved; });
    }
    // The first row read for a product counts, where the engine returns several for one.
    QSet<const Known*> stocked;
    readByProduct(m_dialect.keyedBatches().stocksAndCosts, "", {&entries.company}, unprocessed,
                  [&stocked](Known& known, db::Statement& query) {
                      if (!stocked.contains(&known)) {
                          stocked.insert(&known);
                          known.state.stock = StockAndCost{query.number(2), query.number(3)};
                      }
                  });
    if (counting)
        createCountRows(unprocessed);
}

// Creates, holding nothing yet, the count rows that the products of the file lack, so that the
// run holds them from now on as it holds the rows it read: a row that another workstation has
// created since is read again, under lock, before any line is decided, and the lines add to it.
// Where the insert can't pass over such a row, the rows are created with the other writes, after
// the last line: the run fails on such a row either way.
void ConversionEngine::createCountRows(const std::vector<Known*>& products) {
    const db::sql::SetWrites& texts = m_dialect.setWrites();
    if (!texts.insertReturnsCreated)
        return;
    std::vector<Known*> missing;
    for (Known* known : products)
        if (!known->state.rowExists)
            missing.push_back(known);
    std::vector<Known*> createdElsewhere;
    inBatches(missing, [&](size_t from, int size) {
        forLine(missing[from]->firstLine, [&] {
            db::Statement& query = statements().batched(texts.insertCountRows, size);
            bindCountRows(query, values(),
                          std::span(missing).subspan(from, static_cast<size_t>(size)), false);
            QSet<QString> inserted;
            for (bool row = query.open(); row; row = query.next())
                inserted.insert(compared(query.text(0)) + QChar(0) + compared(query.text(1)));
            query.close();
            for (size_t i = from; i < from + static_cast<size_t>(size); ++i) {
                if (inserted.contains(compared(missing[i]->CodProd) + QChar(0) +
                                      compared(missing[i]->CodGrade)))
                    missing[i]->createdAhead = true;
                else
                    createdElsewhere.push_back(missing[i]);
            }
        });
    });
    for (Known* known : createdElsewhere)
        forLine(known->firstLine, [&] {
            known->rowRead = false;
            countRow(*known);
            if (!known->state.rowExists)
                throw db::LockTimeout(db::otherWorkstationText());
        });
}

void ConversionEngine::keepWrite(Known& known, const LineDecision& decision) {
    RunMemory& kept = memory();
    if (m_mode == Mode::OpeningStock) {
        kept.openingStocks.emplace_back(&known, decision.quantity);
        return;
    }
    if (known.written)
        return;
    known.written = true;
    known.created = decision.write == RowWrite::Create;
    known.countAtRead = known.state.count;
    kept.countRows.push_back(&known);
}

void ConversionEngine::writeSets() {
    if (m_mode == Mode::Inventory)
        writeCountRows();
    else
        writeOpeningStocks();
}

// Binds the count rows of a batch, an insert's with the count their readings make (0 for a row
// created ahead of the lines), an update's with what it adds; DataHora from the moment the batch
// is written.
void ConversionEngine::bindCountRows(db::Statement& query, RunValues& entries,
                                     std::span<Known* const> rows, bool update) {
    const db::BoundValue& stamp = entries.stampNow();
    int at = 0;
    for (const Known* known : rows) {
        const ProductState& state = known->state;
        double quantity = state.count;
        if (update) {
            quantity = state.countIsNull ? 0.0 : addition(known->countAtRead, state.count);
            query.bindFloat(at + CountRead, known->countAtRead);
            query.bindFloat(at + CountWritten, state.count);
        }
        query.bind(at + Stamp, stamp);
        query.bindFloat(at + Quantity, quantity);
        query.bindFloat(at + Kardex, state.stock.stock);
        query.bind(at + Cause, entries.cause);
        query.bindFloat(at + Cost, state.stock.cost);
        query.bind(at + Company, entries.company);
        query.bind(at + Date, entries.dateValue);
        query.bind(at + Document, entries.document);
        query.bind(at + Product, known->product);
        query.bind(at + Grade, known->grade);
        at += update ? UpdateValues : InsertValues;
    }
}

void ConversionEngine::writeCountRows() {
    const db::sql::SetWrites& texts = m_dialect.setWrites();
    RunValues& entries = values();
    std::vector<Known*> inserts, updates;
    for (Known* known : std::exchange(memory().countRows, {}))
        (known->created && !known->createdAhead ? inserts : updates).push_back(known);
    inBatches(inserts, [&](size_t from, int size) {
        const auto batch = std::span(inserts).subspan(from, static_cast<size_t>(size));
        forLine(batch.front()->firstLine, [&] {
            db::Statement& query = statements().batched(texts.insertCountRows, size);
            bindCountRows(query, entries, batch, false);
            // The row was not there when the run read it: another workstation's run has created
            // it since, and this run can't add to a row it can't see.
            try {
                query.execute();
            } catch (const db::DuplicateKey&) {
                throw db::LockTimeout(db::otherWorkstationText());
            }
        });
    });
    inBatches(updates, [&](size_t from, int size) {
        const auto batch = std::span(updates).subspan(from, static_cast<size_t>(size));
        forLine(batch.front()->firstLine, [&] {
            db::Statement& query = statements().batched(texts.addToCountRows, size);
            bindCountRows(query, entries, batch, true);
            query.execute();
        });
    });
}

void ConversionEngine::writeOpeningStocks() {
    const db::sql::SetWrites& texts = m_dialect.setWrites();
    RunValues& entries = values();
    const auto postings = std::exchange(memory().openingStocks, {});
    // Both rows of a posting start with its company, product, grade and day.
    const auto bindProductAndDay = [&entries](db::Statement& query, int& at, const Known& known) {
        query.bind(at++, entries.company);
        query.bind(at++, known.product);
        query.bind(at++, known.grade);
        query.bind(at++, entries.midnight);
    };
    inBatches(postings, [&](size_t from, int size) {
        const auto batch = std::span(postings).subspan(from, static_cast<size_t>(size));
        // A refused insert names the first product of its batch.
        const auto refused = [&](const db::DatabaseError& error) {
            return db::Error(insertFailure(batch.front().first->CodProd, error.message()));
        };
        // A batch is the first of its lines, in file order, to fail.
        forLine(batch.front().first->firstLine, [&] {
            try {
                db::Statement& query = statements().batched(texts.insertOpeningStock, size);
                const db::BoundValue& stamp = entries.stampNow();
                int at = 0;
                for (const auto& [known, quantity] : batch) {
                    bindProductAndDay(query, at, *known);
                    query.bindFloat(at++, quantity);
                    query.bindFloat(at++, known->state.stock.cost);
                    query.bind(at++, stamp);
                }
                query.execute();
            } catch (const db::LockTimeout&) {
                throw;
            } catch (const db::DuplicateKey& error) {
                std::vector<std::pair<QString, QString>> products;
                std::vector<int> lines;
                for (const auto& posting : batch) {
                    products.emplace_back(posting.first->CodProd, posting.first->CodGrade);
                    lines.push_back(posting.first->firstLine);
                }
                throw OpeningStockClash(error.message(), m_entries.companyCode, std::move(products),
                                        std::move(lines));
            } catch (const db::DatabaseError& error) {
                throw refused(error);
            }
            try {
                db::Statement& query = statements().batched(texts.insertOpeningMovement, size);
                const db::BoundValue& document = entries.movementDocument();
                int at = 0;
                for (const auto& [known, quantity] : batch) {
                    bindProductAndDay(query, at, *known);
                    query.bind(at++, entries.movementType);
                    query.bind(at++, document);
                    query.bindFloat(at++, quantity);
                    query.bindFloat(at++, known->state.stock.cost);
                }
                query.execute();
            } catch (const db::LockTimeout&) {
                throw;
            } catch (const db::DatabaseError& error) {
                throw refused(error);
            }
        });
    });
}

QString ConversionEngine::insertFailure(const QString& CodProd, const QString& serverMessage) {
    return QStringLiteral("Não gravou o ítem \"") + CodProd +
           QStringLiteral("\" no arquivo MvGeral, devido a ocorrência do seguinte erro:") +
           QLatin1Char('\r') + serverMessage;
}

void ConversionEngine::OpeningStockClash::explain(const QSqlDatabase& database,
                                                  const db::Dialect& dialect, int& line) const {
    for (const auto& product : m_products)
        if (found(database, dialect, db::sql::MovementLookup, m_company, product))
            throw db::LockTimeout(db::otherWorkstationText());
    if (m_products.size() > 1)
        for (size_t i = 0; i < m_products.size(); ++i)
            if (found(database, dialect, db::sql::OpeningStockLookup, m_company, m_products[i])) {
                if (i < m_lines.size())
                    line = m_lines[i];
                throw db::Error(insertFailure(m_products[i].first, m_serverMessage));
            }
    throw db::Error(message());
}

} // namespace conversion
