// The run by sets: what the lines of a file need is read in batches before the first line, each
// line is decided in memory by the same rules as a run that goes line by line, and the writes are
// made in batches after the last line, within the same transaction.
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
bool isProcessed(const QString& processado) {
    return processado == QLatin1String(db::value::Processed);
}

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
} // namespace

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
                      if (known.rowExists)
                          return;
                      known.rowExists = true;
                      takeCountRow(known, query, 2, counting);
                  });
    std::vector<Known*> open;
    for (Known* known : found) {
        known->rowRead = true;
        if (!isProcessed(known->processado))
            open.push_back(known);
    }

    if (!counting) {
        readByProduct(m_dialect.keyedBatches().movements, "", {&entries.company}, open,
                      [](Known& known, db::Statement&) { known.moved = true; });
        std::erase_if(open, [](Known* known) { return known->moved.value_or(false); });
        for (Known* known : open)
            known->moved = false;
    }
    readByProduct(m_dialect.keyedBatches().stocksAndCosts, "", {&entries.company}, open,
                  [](Known& known, db::Statement& query) {
                      if (!known.stock)
                          known.stock = StockAndCost{query.number(2), query.number(3)};
                  });
    for (Known* known : open)
        if (!known->stock)
            known->stock = StockAndCost{};
    if (counting)
        createCountRows(open);
}

// Creates, holding nothing yet, the count rows that the products of the file lack, so that the
// run holds them from now on as it holds the rows it read: a row that another workstation has
// created since is read again, under lock, before any line is decided, and the lines add to it.
void ConversionEngine::createCountRows(const std::vector<Known*>& products) {
    const db::sql::SetWrites& texts = *m_dialect.setWrites();
    std::vector<Known*> missing;
    for (Known* known : products)
        if (!known->rowExists)
            missing.push_back(known);
    const std::vector<double> nothing(missing.size(), 0.0);
    std::vector<Known*> createdElsewhere;
    inBatches(missing, [&](size_t from, int size) {
        forLine(missing[from]->firstLine, [&] {
            db::Statement& query = statements().batched(texts.insertCountRows, size);
            bindCountRows(query, values(), missing, nothing, from, size, false);
            if (!texts.insertReturnsCreated) {
                // The row was not there when the run read it: another workstation's run has
                // created it since, and this run can't add to a row it can't see.
                try {
                    query.execute();
                } catch (const db::DuplicateKey&) {
                    throw db::LockTimeout(db::otherWorkstationText());
                }
                return;
            }
            QSet<QString> inserted;
            for (bool row = query.open(); row; row = query.next())
                inserted.insert(compared(query.text(0)) + QChar(0) + compared(query.text(1)));
            query.close();
            for (size_t i = from; i < from + static_cast<size_t>(size); ++i)
                if (!inserted.contains(compared(missing[i]->CodProd) + QChar(0) +
                                       compared(missing[i]->CodGrade)))
                    createdElsewhere.push_back(missing[i]);
        });
    });
    for (Known* known : createdElsewhere)
        forLine(known->firstLine, [&] {
            known->rowRead = false;
            countRow(*known);
            if (!known->rowExists)
                throw db::LockTimeout(db::otherWorkstationText());
        });
}

bool ConversionEngine::addToCountInMemory(Known& known, double quantity, LineReport& line) {
    RunMemory& kept = memory();
    // The run has created the row already, holding nothing, as it read ahead.
    if (!known.rowExists) {
        known.rowExists = true;
        known.processado = QString::fromLatin1(db::value::NotProcessed);
        known.count = quantity;
        known.countIsNull = false;
        known.countAtRead = 0.0;
        known.adding = true;
        kept.rowsToAddTo.push_back(&known);
        line.countBefore = 0.0;
        line.countAfter = quantity;
        line.rowCreated = true;
        return true;
    }
    // The update adds only to a row that is open.
    if (known.processado != QLatin1String(db::value::NotProcessed))
        return false;
    const double before = known.count;
    if (!known.countIsNull)
        requireFiniteTotal(line.itemCode, before + quantity);
    if (!known.adding) {
        known.adding = true;
        known.countAtRead = before;
        kept.rowsToAddTo.push_back(&known);
    }
    // Null plus a number stays null.
    if (!known.countIsNull)
        known.count += quantity;
    line.countBefore = before;
    line.countAfter = known.count;
    return true;
}

void ConversionEngine::writeSets() {
    if (m_mode == Mode::Inventory)
        writeCountRows();
    else
        writeOpeningStocks();
}

// Binds `size` count rows from `from`, each with its quantity; DataHora from the moment the batch
// is written.
void ConversionEngine::bindCountRows(db::Statement& query, RunValues& entries,
                                     const std::vector<Known*>& rows,
                                     const std::vector<double>& quantities, size_t from, int size,
                                     bool update) {
    const db::BoundValue& stamp = entries.stampNow();
    const int values = update ? 12 : 10;
    for (int row = 0; row < size; ++row) {
        const size_t i = from + static_cast<size_t>(row);
        const Known& known = *rows[i];
        const int at = values * row;
        if (update) {
            query.bindFloat(at + 10, known.countAtRead);
            query.bindFloat(at + 11, known.count);
        }
        query.bind(at, stamp);
        query.bindFloat(at + 1, quantities[i]);
        query.bindFloat(at + 2, known.stock->stock);
        query.bind(at + 3, entries.cause);
        query.bindFloat(at + 4, known.stock->cost);
        query.bind(at + 5, entries.company);
        query.bind(at + 6, entries.dateValue);
        query.bind(at + 7, entries.document);
        query.bind(at + 8, known.product);
        query.bind(at + 9, known.grade);
    }
}

void ConversionEngine::writeCountRows() {
    const db::sql::SetWrites& texts = *m_dialect.setWrites();
    RunMemory& kept = memory();
    const std::vector<Known*> added = std::exchange(kept.rowsToAddTo, {});
    std::vector<double> additions;
    for (const Known* known : added)
        additions.push_back(known->countIsNull ? 0.0 : addition(known->countAtRead, known->count));
    inBatches(added, [&](size_t from, int size) {
        forLine(added[from]->firstLine, [&] {
            db::Statement& query = statements().batched(texts.addToCountRows, size);
            bindCountRows(query, values(), added, additions, from, size, true);
            query.execute();
        });
    });
}

void ConversionEngine::writeOpeningStocks() {
    const db::sql::SetWrites& texts = *m_dialect.setWrites();
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
                    query.bindFloat(at++, known->stock->cost);
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
                    query.bindFloat(at++, known->stock->cost);
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

} // namespace conversion
