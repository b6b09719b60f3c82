#include "ConversionEngine.h"

#include "CollectorFile.h"
#include "Quantity.h"
#include "RejectionList.h"
#include "db/Errors.h"
#include "db/Names.h"
#include "db/Regional.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <cmath>

namespace conversion {

namespace {
QString str(const char* text) {
    return QString::fromLatin1(text);
}

const QString ReasonProcessed = QStringLiteral("Produto já processado.");
const QString ReasonNotFound = QStringLiteral("Referência não encontrada.");
const QString ReasonHasMovements = QStringLiteral("Existe movimentos com este produto.");

// A product kept without grades (Grade 1 or 3) is counted under grade "0000"; one kept by
// grade can't be placed by a reference, which names no grade.
bool gradeRuleAdmits(int grade) {
    return grade == 1 || grade == 3;
}

QDateTime atMidnight(const QDate& date) {
    return QDateTime(date, QTime(0, 0));
}

// A code that no searched column can hold matches nothing, and is not sent: some engines refuse
// an overlong one as an index key, and a NUL breaks the statement text on others.
bool searchable(const QString& itemCode) {
    return !itemCode.contains(QChar(0)) && itemCode.toUcs4().size() <= db::SearchedCodeWidth;
}

// Some engines store an infinite count and others refuse it; either way the run must end as it
// does for a bad quantity.
void requireFiniteTotal(const QString& itemCode, double total) {
    if (!std::isfinite(total))
        throw db::ConversionError(
            QStringLiteral("O total da contagem do ítem \"%1\" passaria do maior número "
                           "que se pode gravar.")
                .arg(db::texts::quotedInput(itemCode)));
}
} // namespace

QString reasonText(LineOutcome outcome) {
    switch (outcome) {
    case LineOutcome::NotFound:
        return ReasonNotFound;
    case LineOutcome::Processed:
        return ReasonProcessed;
    case LineOutcome::HasMovements:
        return ReasonHasMovements;
    case LineOutcome::Posted:
    case LineOutcome::NoReading:
        break;
    }
    return {};
}

ConversionEngine::ConversionEngine(const QSqlDatabase& database, const db::Dialect& dialect,
                                   EntryValues entries, RejectionTargets rejections,
                                   RunObserver* observer)
    : m_database(database)
    , m_dialect(dialect)
    , m_entries(std::move(entries))
    , m_rejections(rejections)
    , m_observer(observer)
    , m_qryConversao(database, dialect)
    , m_MvGeral(database, dialect)
    , m_qryInciEst(database, dialect)
    , m_qryMvGeral(database, dialect) {}

QString ConversionEngine::failedRunMessage(const QString& errorMessage) {
    return errorMessage + QStringLiteral("\rNenhuma leitura do arquivo foi gravada.");
}

QString ConversionEngine::failedRunMessage(const std::exception& error) {
    if (const auto* unconfirmed = dynamic_cast<const db::CommitUnconfirmed*>(&error))
        return unconfirmed->message() +
               QStringLiteral("\rNão foi possível confirmar se as leituras do arquivo foram "
                              "gravadas. Confira o inventário antes de converter o arquivo de "
                              "novo.");
    if (const auto* known = dynamic_cast<const db::Error*>(&error))
        return failedRunMessage(known->message());
    return failedRunMessage(QString::fromLocal8Bit(error.what()));
}

template <typename PostLine>
ConversionEngine::Outcome ConversionEngine::runLines(const QStringList& lines, Mode mode,
                                                     PostLine&& postLine) {
    m_rejections.rejectionsFlag = false;
    const qsizetype count = lines.size();
    if (count == 0)
        return Outcome::Completed;

    db::TransactionGuard transaction(m_database, m_dialect);
    // Declared after the guard, so the statements are closed before it rolls back. A run that
    // is failing already reports its first error, not one from closing.
    struct Closer {
        ConversionEngine& engine;
        void quietly() {
            try {
                engine.closeQueries();
            } catch (const db::Error&) {
            }
        }
        ~Closer() { quietly(); }
    } closer{*this};
    // Prepared inside the run's transaction: on some engines a statement prepared outside it
    // reads in a transaction of its own and would miss the movements this run writes.
    if (mode == Mode::OpeningStock)
        m_MvGeral.setText(str(db::sql::MovementLookup));

    try {
        for (qsizetype i = 0; i < count; ++i) {
            const int number = static_cast<int>(i + 1);
            if (m_observer) {
                m_observer->lineStarted(number);
                // The status label belongs to the inventory tab.
                if (mode == Mode::Inventory)
                    m_observer->statusChanged(QStringLiteral("Executando linha %1.").arg(number));
                m_observer->letMessagesRun();
            }
            LineReport line;
            line.number = number;
            if (auto reading = collector::splitReading(lines.at(i))) {
                line.itemCode = std::move(reading->itemCode);
                line.quantityText = std::move(reading->quantityText);
                postLine(line);
            }
            lineDone(mode, line);
            if (m_observer && m_observer->stopRequested())
                return Outcome::Stopped;
        }
        closeQueries();
    } catch (const db::Error& error) {
        closer.quietly();
        transaction.rollbackAfter(error);
    }
    // The guard rolls a dry run back.
    if (!m_dryRun)
        transaction.commit();
    return Outcome::Completed;
}

void ConversionEngine::lineDone(Mode mode, const LineReport& line) {
    if (line.rejected()) {
        RejectionList& list =
            mode == Mode::Inventory ? m_rejections.inventory : m_rejections.openingStock;
        // The inventory list names a code that is not found once, however often it is read.
        if (mode != Mode::Inventory || line.outcome != LineOutcome::NotFound ||
            !list.alreadyListed(line.itemCode))
            list.add(line.itemCode, reasonText(line.outcome));
    }
    if (m_observer)
        m_observer->lineDone(line);
}

// Closes every statement, then reports the first that failed to close.
void ConversionEngine::closeQueries() {
    std::exception_ptr first;
    for (db::Query* query : {&m_qryConversao, &m_MvGeral, &m_qryInciEst, &m_qryMvGeral}) {
        try {
            query->close();
        } catch (const db::Error&) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

QDate ConversionEngine::inventoryDate() const {
    return db::texts::toDate(m_entries.dateText, db::Clock::today());
}

namespace {
// The product part of a line's report; the outcome when resolution already decides it.
std::optional<LineOutcome> fillFound(LineReport& line, FoundBy foundBy, const QString& codProd,
                                     const ProductKey& key) {
    line.foundBy = foundBy;
    line.CodProd = codProd;
    line.CodGrade = key.CodGrade;
    if (key.CodProd == str(db::value::ProcessedMarker))
        return LineOutcome::Processed;
    if (key.CodProd.isEmpty())
        return LineOutcome::NotFound;
    return std::nullopt;
}
} // namespace

ConversionEngine::Outcome ConversionEngine::ConvertInventory(const QStringList& lines) {
    return runLines(lines, Mode::Inventory, [&](LineReport& line) {
        const Resolution found = resolve(line.itemCode);
        const ProductKey& key = found.key;
        if (const auto outcome = fillFound(line, found.foundBy, found.CodProd, key)) {
            line.outcome = *outcome;
            return;
        }
        const double quantity = collector::parseQuantity(line.quantityText, db::Regional::locale());
        const StockAndCost stock = ReadStockAndCost(key);
        double counted = 0.0;
        if (InventoryRowExists(key, &counted)) {
            requireFiniteTotal(line.itemCode, counted + quantity);
            // A row marked processed after resolution, or one that is neither open nor
            // processed, takes no more readings; the clerk must hear of it.
            if (!UpdateInventoryRow(key, quantity, stock)) {
                line.outcome = LineOutcome::Processed;
                return;
            }
        } else {
            InsertInventoryRow(key, quantity, stock);
        }
        line.outcome = LineOutcome::Posted;
        line.quantity = quantity;
        line.stockOnRecord = stock.stock;
        line.countBefore = counted;
        line.countAfter = counted + quantity;
    });
}

ConversionEngine::Outcome ConversionEngine::ConvertOpeningStock(const QStringList& lines) {
    return runLines(lines, Mode::OpeningStock, [&](LineReport& line) {
        const Resolution found = resolve(line.itemCode);
        const ProductKey& key = found.key;
        if (const auto outcome = fillFound(line, found.foundBy, found.CodProd, key)) {
            line.outcome = *outcome;
            return;
        }
        // Looked up for a found product only: the processed marker is no product code and is
        // longer than the column, which some engines refuse.
        m_MvGeral.close();
        m_MvGeral.bindTextAt(0, m_entries.companyCode);
        m_MvGeral.bindTextAt(1, key.CodProd);
        m_MvGeral.bindTextAt(2, key.CodGrade);
        m_MvGeral.open();
        if (!m_MvGeral.isEmpty()) {
            line.outcome = LineOutcome::HasMovements;
            return;
        }
        const double quantity = collector::parseQuantity(line.quantityText, db::Regional::locale());
        const StockAndCost stock = ReadStockAndCost(key);
        InsertOpeningStock(key, quantity, stock.cost);
        InsertOpeningMovement(key, quantity, stock.cost);
        line.outcome = LineOutcome::Posted;
        line.quantity = quantity;
        line.stockOnRecord = stock.stock;
    });
}

ProductKey ConversionEngine::ResolveProduct(const QString& itemCode) {
    return resolve(itemCode).key;
}

ConversionEngine::Resolution ConversionEngine::resolve(const QString& itemCode) {
    Resolution found;
    ProductKey& key = found.key;
    if (!searchable(itemCode))
        return found;
    const QString code = db::texts::upperAscii(itemCode);
    db::Query& query = m_qryConversao;

    query.setText(str(db::sql::BarcodeSearch));
    query.bindText(str(db::param::CodBarra), code);
    query.open();
    if (!query.isEmpty()) {
        key.CodProd = query.text(str(db::column::CodProd));
        key.CodGrade = query.text(str(db::column::CodGrade));
        found.foundBy = FoundBy::Barcode;
    } else {
        for (const auto& [search, foundBy] :
             {std::pair{db::sql::ReferenceSearch1, FoundBy::Reference},
              std::pair{db::sql::ReferenceSearch2, FoundBy::ManufacturerReference},
              std::pair{db::sql::ReferenceSearch3, FoundBy::OldReference}}) {
            query.setText(str(search));
            query.bindText(str(db::param::Referencia), code);
            query.open();
            if (query.isEmpty())
                continue;
            if (gradeRuleAdmits(query.integer(str(db::column::Grade)))) {
                key.CodProd = query.text(str(db::column::CodProd));
                key.CodGrade = str(db::value::NoGrade);
                found.foundBy = foundBy;
            }
            break;
        }
    }
    found.CodProd = key.CodProd;

    if (!key.CodProd.isEmpty()) {
        const QDate date = inventoryDate();
        query.setText(str(db::sql::ProcessedCheck));
        query.bindText(str(db::param::CodEmpresa), m_entries.companyCode);
        query.bindDate(str(db::param::DataInv), date);
        query.bindText(str(db::param::CodProd), key.CodProd);
        query.bindText(str(db::param::Documento), db::texts::inventoryDocumentNumber(date));
        query.bindText(str(db::param::CodGrade), key.CodGrade);
        query.open();
        if (query.text(str(db::column::Processado)) == str(db::value::Processed))
            key.CodProd = str(db::value::ProcessedMarker);
    }
    query.close();
    return found;
}

StockAndCost ConversionEngine::ReadStockAndCost(const ProductKey& key) {
    db::Query& query = m_qryConversao;
    query.setText(str(db::sql::ReadStockAndCost));
    query.bindText(str(db::param::CodEmpresa), m_entries.companyCode);
    query.bindText(str(db::param::CodProd), key.CodProd);
    query.bindText(str(db::param::CodGrade), key.CodGrade);
    query.open();
    const StockAndCost result{query.number(str(db::column::Estoque)),
                              query.number(str(db::column::PrecoCusto))};
    query.close();
    return result;
}

bool ConversionEngine::InventoryRowExists(const ProductKey& key, double* counted) {
    db::Query& query = m_qryConversao;
    const QDate date = inventoryDate();
    query.setText(str(db::sql::InventoryRowExists));
    query.bindText(str(db::param::CodEmpresa), m_entries.companyCode);
    query.bindDate(str(db::param::DataInv), date);
    query.bindText(str(db::param::Documento), db::texts::inventoryDocumentNumber(date));
    query.bindText(str(db::param::CodProd), key.CodProd);
    query.bindText(str(db::param::CodGrade), key.CodGrade);
    query.open();
    const bool exists = !query.isEmpty();
    if (counted)
        *counted = query.text(str(db::column::Processado)) == str(db::value::NotProcessed)
                       ? query.number(str(db::column::Quantidade))
                       : 0.0;
    query.close();
    return exists;
}

void ConversionEngine::bindInventoryRow(const QDate& today, const ProductKey& key, double quantity,
                                        const StockAndCost& stock) {
    db::Query& query = m_qryConversao;
    const QDate date = inventoryDate();
    query.bindText(str(db::param::DataHora),
                   db::texts::stampText(today, db::Clock::now().time(), db::Regional::locale()));
    query.bindFloat(str(db::param::Quantidade), quantity);
    query.bindFloat(str(db::param::QuantKardex), stock.stock);
    query.bindText(str(db::param::CodCausa), m_entries.causeCode);
    query.bindFloat(str(db::param::PrecoCusto), stock.cost);
    query.bindText(str(db::param::CodEmpresa), m_entries.companyCode);
    query.bindDate(str(db::param::DataInv), date);
    query.bindText(str(db::param::Documento), db::texts::inventoryDocumentNumber(date));
    query.bindText(str(db::param::CodProd), key.CodProd);
    query.bindText(str(db::param::CodGrade), key.CodGrade);
}

bool ConversionEngine::UpdateInventoryRow(const ProductKey& key, double quantity,
                                          const StockAndCost& stock) {
    // The stamp's date is taken before the statement is set, its time after.
    const QDate today = db::Clock::today();
    m_qryConversao.setText(str(db::sql::UpdateInventoryRow));
    bindInventoryRow(today, key, quantity, stock);
    const int rows = m_qryConversao.execute();
    m_qryConversao.close();
    return rows > 0;
}

void ConversionEngine::InsertInventoryRow(const ProductKey& key, double quantity,
                                          const StockAndCost& stock) {
    const QDate today = db::Clock::today();
    m_qryConversao.setText(str(db::sql::InsertInventoryRow));
    bindInventoryRow(today, key, quantity, stock);
    m_qryConversao.execute();
    m_qryConversao.close();
}

QString ConversionEngine::insertFailure(const ProductKey& key, const QString& serverMessage) {
    return QStringLiteral("Não gravou o ítem \"") + key.CodProd +
           QStringLiteral("\" no arquivo MvGeral, devido a ocorrência do seguinte erro:") +
           QLatin1Char('\r') + serverMessage;
}

// Both inserts run inside the run's own transaction, which commits when the last line is done.
void ConversionEngine::InsertOpeningStock(const ProductKey& key, double quantity, double cost) {
    try {
        const QDate today = db::Clock::today();
        db::Query& query = m_qryInciEst;
        query.setText(str(db::sql::InsertOpeningStock));
        query.bindText(str(db::param::UpperCodEmpresa), m_entries.companyCode);
        query.bindText(str(db::param::UpperCodProd), key.CodProd);
        query.bindText(str(db::param::UpperCodGrade), key.CodGrade);
        query.bindDateTime(str(db::param::DataInicio), atMidnight(inventoryDate()));
        query.bindFloat(str(db::param::PrecoMedio), cost);
        query.bindFloat(str(db::param::UpperQuantidade), quantity);
        query.bindText(
            str(db::param::UpperDataHora),
            db::texts::stampText(today, db::Clock::now().time(), db::Regional::locale()));
        query.execute();
        query.close();
    } catch (const db::LockTimeout&) {
        throw;
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(key, error.message()));
    }
}

void ConversionEngine::InsertOpeningMovement(const ProductKey& key, double quantity, double cost) {
    try {
        const QString movementType = str(db::value::OpeningMovementType);
        const QString document = db::texts::movementDocumentNumber(db::Clock::today());
        db::Query& query = m_qryMvGeral;
        query.setText(str(db::sql::InsertOpeningMovement));
        query.bindText(str(db::param::UpperCodEmpresa), m_entries.companyCode);
        query.bindText(str(db::param::UpperCodProd), key.CodProd);
        query.bindText(str(db::param::UpperCodGrade), key.CodGrade);
        query.bindDateTime(str(db::param::DtMovimento), atMidnight(inventoryDate()));
        query.bindText(str(db::param::TipoMov), movementType);
        query.bindText(str(db::param::UpperDocumento), document);
        query.bindFloat(str(db::param::UpperQuantidade), quantity);
        query.bindFloat(str(db::param::PrecoMedio), cost);
        query.execute();
        query.close();
    } catch (const db::LockTimeout&) {
        throw;
    } catch (const db::DatabaseError& error) {
        throw db::Error(insertFailure(key, error.message()));
    }
}

} // namespace conversion
