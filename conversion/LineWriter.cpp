// The reads and writes of a run that goes line by line: each line asks for what it needs and
// writes its reading as it is decided.
#include "EngineRun.h"

namespace conversion {

void ConversionEngine::takeCountRow(Known& known, const db::Statement& query, int at,
                                    bool counting) {
    known.processado = query.text(at);
    const bool open = counting && known.processado == QLatin1String(db::value::NotProcessed);
    known.countIsNull = open && query.isNull(at + 1);
    known.count = open ? query.number(at + 1) : 0.0;
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
    known.rowExists = query.open();
    if (known.rowExists)
        takeCountRow(known, query, 0, counting);
    query.close();
    known.rowRead = true;
    return known;
}

StockAndCost ConversionEngine::ReadStockAndCost(Known& known) {
    if (known.stock)
        return *known.stock;
    db::Statement& query = statements().stock();
    query.bind(0, values().company);
    query.bind(1, known.product);
    query.bind(2, known.grade);
    StockAndCost result;
    if (query.open())
        result = {query.number(0), query.number(1)};
    query.close();
    known.stock = result;
    return result;
}

bool ConversionEngine::hasMovements(Known& known) {
    if (known.moved)
        return *known.moved;
    db::Statement& query = statements().movements();
    query.bind(0, values().company);
    query.bind(1, known.product);
    query.bind(2, known.grade);
    known.moved = query.open();
    query.close();
    return *known.moved;
}

bool ConversionEngine::postCount(Known& known, double quantity, LineReport& line) {
    if (!known.rowExists) {
        if (InsertInventoryRow(known, quantity)) {
            line.countBefore = 0.0;
            line.countAfter = quantity;
            line.rowCreated = true;
            return true;
        }
        // Another workstation has created the row since it was read: the reading adds to it.
        known.rowRead = false;
        countRow(known);
        if (!known.rowExists)
            throw db::LockTimeout(db::otherWorkstationText());
        if (known.processado == QLatin1String(db::value::Processed))
            return false;
    }
    const double before = known.count;
    if (!known.countIsNull)
        requireFiniteTotal(line.itemCode, before + quantity);
    if (!UpdateInventoryRow(known, quantity))
        return false;
    line.countBefore = before;
    line.countAfter = known.count;
    return true;
}

namespace {
template <typename At>
void bindCountRow(db::Statement& query, const At& at, const db::BoundValue& stamp, double quantity,
                  const StockAndCost& stock, const db::BoundValue& company,
                  const db::BoundValue& date, const db::BoundValue& document,
                  const db::BoundValue& cause, const db::BoundValue& product,
                  const db::BoundValue& grade) {
    query.bind(at.stamp, stamp);
    query.bindFloat(at.quantity, quantity);
    query.bindFloat(at.kardex, stock.stock);
    query.bind(at.cause, cause);
    query.bindFloat(at.cost, stock.cost);
    query.bind(at.company, company);
    query.bind(at.date, date);
    query.bind(at.document, document);
    query.bind(at.product, product);
    query.bind(at.grade, grade);
}
} // namespace

bool ConversionEngine::UpdateInventoryRow(Known& known, double quantity) {
    RunValues& entries = values();
    const auto [query, at] = statements().update();
    // The stamp's date and time come from one reading of the clock, so they never straddle
    // midnight.
    bindCountRow(query, at, entries.stampNow(), quantity, *known.stock, entries.company,
                 entries.dateValue, entries.document, entries.cause, known.product, known.grade);
    if (query.executeCounted() == 0)
        return false;
    // Null plus a number stays null.
    if (!known.countIsNull)
        known.count += quantity;
    return true;
}

bool ConversionEngine::InsertInventoryRow(Known& known, double quantity) {
    RunValues& entries = values();
    const auto [query, at] = statements().insert();
    bindCountRow(query, at, entries.stampNow(), quantity, *known.stock, entries.company,
                 entries.dateValue, entries.document, entries.cause, known.product, known.grade);
    if (*m_dialect.unlessCreated()) {
        if (query.executeCounted() == 0)
            return false;
    } else {
        // The row was not there when the run read it: another workstation's run has created it
        // since, and this run can't add to a row it can't see.
        try {
            query.execute();
        } catch (const db::DuplicateKey&) {
            throw db::LockTimeout(db::otherWorkstationText());
        }
    }
    known.rowExists = true;
    known.processado = QString::fromLatin1(db::value::NotProcessed);
    known.count = quantity;
    known.countIsNull = false;
    return true;
}

QString ConversionEngine::insertFailure(const QString& CodProd, const QString& serverMessage) {
    return QStringLiteral("Não gravou o ítem \"") + CodProd +
           QStringLiteral("\" no arquivo MvGeral, devido a ocorrência do seguinte erro:") +
           QLatin1Char('\r') + serverMessage;
}

// Both inserts run inside the run's own transaction, which commits when the last line is done.
void ConversionEngine::postOpeningStock(Known& known, double quantity) {
    InsertOpeningStock(known, quantity);
    InsertOpeningMovement(known, quantity);
}

void ConversionEngine::InsertOpeningStock(Known& known, double quantity) {
    try {
        RunValues& entries = values();
        const auto [query, at] = statements().openingStock();
        query.bind(at.company, entries.company);
        query.bind(at.product, known.product);
        query.bind(at.grade, known.grade);
        query.bind(at.start, entries.midnight);
        query.bindFloat(at.cost, known.stock->cost);
        query.bindFloat(at.quantity, quantity);
        query.bind(at.stamp, entries.stampNow());
        query.execute();
    } catch (const db::LockTimeout&) {
        throw;
    } catch (const db::DuplicateKey& error) {
        throw OpeningStockClash(error.message(), m_entries.companyCode,
                                {{known.CodProd, known.CodGrade}});
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(known.CodProd, error.message()));
    }
}

void ConversionEngine::InsertOpeningMovement(Known& known, double quantity) {
    try {
        RunValues& entries = values();
        const auto [query, at] = statements().openingMovement();
        query.bind(at.company, entries.company);
        query.bind(at.product, known.product);
        query.bind(at.grade, known.grade);
        query.bind(at.moment, entries.midnight);
        query.bind(at.type, entries.movementType);
        query.bind(at.document, entries.movementDocument());
        query.bindFloat(at.quantity, quantity);
        query.bindFloat(at.cost, known.stock->cost);
        query.execute();
    } catch (const db::LockTimeout&) {
        throw;
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(known.CodProd, error.message()));
    }
}

namespace {
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
