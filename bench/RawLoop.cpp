#include "RawLoop.h"

#include "Catalogue.h"
#include "Sqlite.h"
#include "db/Statements.h"

#include <QFile>
#include <cstdlib>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace bench {

namespace {

std::vector<std::string_view> splitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32)
        text.remove_prefix(1);
    while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32)
        text.remove_suffix(1);
    return text;
}

double quantity(std::string_view text) {
    std::string number(text);
    for (char& c : number)
        if (c == ',')
            c = '.';
    return std::strtod(number.c_str(), nullptr);
}

// Day, month, two-digit year and the time of day, as the tool stamps its rows.
void stamp(char (&out)[16]) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::strftime(out, sizeof out, "%d%m%y%H%M%S", &local);
}

struct Key {
    std::string product;
    std::string grade;
};

// The statements of product resolution, prepared once.
class Resolver {
public:
    explicit Resolver(Sqlite& db)
        : m_barcode(db, db::sql::BarcodeSearch)
        , m_references{{db, db::sql::ReferenceSearch1},
                       {db, db::sql::ReferenceSearch2},
                       {db, db::sql::ReferenceSearch3}}
        , m_processed(db, db::sql::ProcessedCheck)
        , m_processedCompany(m_processed.index(":PCodEmpresa"))
        , m_processedDate(m_processed.index(":PDataInv"))
        , m_processedProduct(m_processed.index(":PCodProd"))
        , m_processedDocument(m_processed.index(":PDocumento"))
        , m_processedGrade(m_processed.index(":PCodGrade")) {}

    // Empty product: not found; `processed` tells an already processed count row.
    Key resolve(const std::string& code, bool& processed) {
        Key key;
        processed = false;
        m_barcode.textInPlace(1, code.data(), static_cast<int>(code.size()));
        if (m_barcode.step()) {
            key.product = m_barcode.columnChars(0);
            key.grade = m_barcode.columnChars(1);
        } else {
            for (Statement& search : m_references) {
                search.textInPlace(1, code.data(), static_cast<int>(code.size()));
                if (!search.step()) {
                    search.reset();
                    continue;
                }
                const int grade = search.columnInt(1);
                if (grade == 1 || grade == 3) {
                    key.product = search.columnChars(0);
                    key.grade = "0000";
                }
                search.reset();
                break;
            }
        }
        m_barcode.reset();
        if (key.product.empty())
            return key;
        m_processed.textInPlace(m_processedCompany, Company, 2)
            .textInPlace(m_processedDate, InventoryDateSql, 10)
            .textInPlace(m_processedProduct, key.product.data(),
                         static_cast<int>(key.product.size()))
            .textInPlace(m_processedDocument, InventoryDocument, 9)
            .textInPlace(m_processedGrade, key.grade.data(), static_cast<int>(key.grade.size()));
        processed = m_processed.step() && std::string_view(m_processed.columnChars(0)) == "S";
        m_processed.reset();
        return key;
    }

private:
    Statement m_barcode;
    Statement m_references[3];
    Statement m_processed;
    int m_processedCompany, m_processedDate, m_processedProduct, m_processedDocument,
        m_processedGrade;
};

class StockReader {
public:
    explicit StockReader(Sqlite& db)
        : m_statement(db, db::sql::ReadStockAndCost) {}
    void read(const Key& key, double& stock, double& cost) {
        m_statement.textInPlace(1, Company, 2)
            .textInPlace(2, key.product.data(), static_cast<int>(key.product.size()))
            .textInPlace(3, key.grade.data(), static_cast<int>(key.grade.size()));
        stock = cost = 0.0;
        if (m_statement.step()) {
            stock = m_statement.columnReal(0);
            cost = m_statement.columnReal(1);
        }
        m_statement.reset();
    }

private:
    Statement m_statement;
};

// A count-row statement with the positions of its parameters, looked up once.
struct InventoryBinds {
    InventoryBinds(Sqlite& db, const char* sql)
        : statement(db, sql)
        , company(statement.index(":PCodEmpresa"))
        , date(statement.index(":PDataInv"))
        , document(statement.index(":PDocumento"))
        , product(statement.index(":PCodProd"))
        , grade(statement.index(":PCodGrade"))
        , stamp(optional(":PDataHora"))
        , quantity(optional(":PQuantidade"))
        , kardex(optional(":PQuantKardex"))
        , cause(optional(":PCodCausa"))
        , cost(optional(":PPrecoCusto")) {}

    int optional(const char* name) const {
        return sqlite3_bind_parameter_index(statementHandle(), name);
    }
    sqlite3_stmt* statementHandle() const { return statement.handle(); }
    void bindKey(const Key& key) {
        statement.textInPlace(company, Company, 2)
            .textInPlace(date, InventoryDateSql, 10)
            .textInPlace(document, InventoryDocument, 9)
            .textInPlace(product, key.product.data(), static_cast<int>(key.product.size()))
            .textInPlace(grade, key.grade.data(), static_cast<int>(key.grade.size()));
    }

    Statement statement;
    int company, date, document, product, grade, stamp, quantity, kardex, cause, cost;
};

std::string upperAscii(std::string_view text) {
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - ('a' - 'A'));
    return result;
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("Can't read %s", qPrintable(path));
    return file.readAll();
}

} // namespace

void rawInventory(const QString& databasePath, const QString& collectorPath) {
    const QByteArray file = readFile(collectorPath);
    Sqlite db(databasePath);
    const auto lines = splitLines(std::string_view(file.constData(), file.size()));
    db.exec("BEGIN");
    Resolver resolver(db);
    StockReader stocks(db);
    InventoryBinds exists(db, db::sql::InventoryRowExists);
    InventoryBinds update(db, db::sql::UpdateInventoryRow);
    InventoryBinds insert(db, db::sql::InsertInventoryRow);
    std::unordered_set<std::string> listed;
    char now[16];
    for (const std::string_view line : lines) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            continue;
        const std::string_view itemCode = line.substr(0, comma);
        bool processed = false;
        const Key key = resolver.resolve(upperAscii(itemCode), processed);
        if (processed) {
            listed.emplace(trimmed(itemCode));
            continue;
        }
        if (key.product.empty()) {
            listed.emplace(trimmed(itemCode));
            continue;
        }
        const double read = quantity(line.substr(comma + 1));
        double stock = 0.0;
        double cost = 0.0;
        stocks.read(key, stock, cost);
        exists.bindKey(key);
        const bool rowExists = exists.statement.step();
        exists.statement.reset();
        InventoryBinds& write = rowExists ? update : insert;
        stamp(now);
        write.bindKey(key);
        write.statement.textInPlace(write.stamp, now, 12)
            .real(write.quantity, read)
            .real(write.kardex, stock)
            .textInPlace(write.cause, Cause, 3)
            .real(write.cost, cost);
        write.statement.step();
        if (rowExists && write.statement.changes() == 0)
            listed.emplace(trimmed(itemCode));
        write.statement.reset();
    }
    db.exec("COMMIT");
}
void rawOpeningStock(const QString& databasePath, const QString& collectorPath) {
    const QByteArray file = readFile(collectorPath);
    Sqlite db(databasePath);
    const auto lines = splitLines(std::string_view(file.constData(), file.size()));
    db.exec("BEGIN");
    Resolver resolver(db);
    StockReader stocks(db);
    Statement movements(db, db::sql::MovementLookup);
    Statement opening(db, db::sql::InsertOpeningStock);
    const int o[] = {opening.index(":PCODEMPRESA"), opening.index(":PCODPROD"),
                     opening.index(":PCODGRADE"),   opening.index(":PDATAINICIO"),
                     opening.index(":PPRECOMEDIO"), opening.index(":PQUANTIDADE"),
                     opening.index(":PDATAHORA")};
    Statement movement(db, db::sql::InsertOpeningMovement);
    const int m[] = {movement.index(":PCODEMPRESA"), movement.index(":PCODPROD"),
                     movement.index(":PCODGRADE"),   movement.index(":PDT_MOVIMENTO"),
                     movement.index(":PTIPOMOV"),    movement.index(":PDOCUMENTO"),
                     movement.index(":PQUANTIDADE"), movement.index(":PPRECOMEDIO")};
    char now[16];
    char document[16];
    {
        const std::time_t today = std::time(nullptr);
        std::tm local{};
        localtime_r(&today, &local);
        std::strftime(document, sizeof document, "%d%m%YA", &local);
    }
    const char midnight[] = "2026-12-01 00:00:00";
    for (const std::string_view line : lines) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            continue;
        bool processed = false;
        const Key key = resolver.resolve(upperAscii(line.substr(0, comma)), processed);
        if (processed || key.product.empty())
            continue;
        movements.textInPlace(1, Company, 2)
            .textInPlace(2, key.product.data(), static_cast<int>(key.product.size()))
            .textInPlace(3, key.grade.data(), static_cast<int>(key.grade.size()));
        const bool moved = movements.step();
        movements.reset();
        if (moved)
            continue;
        const double read = quantity(line.substr(comma + 1));
        double stock = 0.0;
        double cost = 0.0;
        stocks.read(key, stock, cost);
        stamp(now);
        opening.textInPlace(o[0], Company, 2)
            .textInPlace(o[1], key.product.data(), static_cast<int>(key.product.size()))
            .textInPlace(o[2], key.grade.data(), static_cast<int>(key.grade.size()))
            .textInPlace(o[3], midnight, 19)
            .real(o[4], cost)
            .real(o[5], read)
            .textInPlace(o[6], now, 12)
            .run();
        movement.textInPlace(m[0], Company, 2)
            .textInPlace(m[1], key.product.data(), static_cast<int>(key.product.size()))
            .textInPlace(m[2], key.grade.data(), static_cast<int>(key.grade.size()))
            .textInPlace(m[3], midnight, 19)
            .textInPlace(m[4], "04", 2)
            .textInPlace(m[5], document, 9)
            .real(m[6], read)
            .real(m[7], cost)
            .run();
    }
    db.exec("COMMIT");
}

} // namespace bench
