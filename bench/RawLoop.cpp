#include "RawLoop.h"

#include "Catalogue.h"
#include "Sqlite.h"
#include "db/Names.h"
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
    bool operator==(const Key&) const = default;
};
struct KeyHash {
    size_t operator()(const Key& key) const {
        return std::hash<std::string>()(key.product) * 31 + std::hash<std::string>()(key.grade);
    }
};

// What the run knows of a product and grade once it has asked: the count row, the stock on
// record and the movements. The run writes none of the catalogue, and a count row it has
// written is its own until it commits.
struct Known {
    bool rowRead = false;
    bool rowExists = false;
    bool processed = false;
    double count = 0.0;
    bool stockRead = false;
    double stock = 0.0;
    double cost = 0.0;
    bool movementsRead = false;
    bool moved = false;
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
        return sqlite3_bind_parameter_index(statement.handle(), name);
    }
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

// Binds the company, product and grade by position, first to third, as the stock read and the
// movement look-up take them.
void bindCompanyAndKey(Statement& statement, const Key& key) {
    statement.textInPlace(1, Company, 2)
        .textInPlace(2, key.product.data(), static_cast<int>(key.product.size()))
        .textInPlace(3, key.grade.data(), static_cast<int>(key.grade.size()));
}

// Product resolution, its statements prepared once and each code asked once a run.
class Resolver {
public:
    explicit Resolver(Sqlite& db)
        : m_barcode(db, db::sql::BarcodeSearch)
        , m_references{{db, db::sql::ReferenceSearch1},
                       {db, db::sql::ReferenceSearch2},
                       {db, db::sql::ReferenceSearch3}}
        , m_countRow(db, db::sql::InventoryRowExists)
        , m_stock(db, db::sql::ReadStockAndCost)
        , m_movements(db, db::sql::MovementLookup) {}

    // Null when the code names no product the run can take.
    const Key* resolve(const std::string& code) {
        if (code.size() > static_cast<size_t>(db::SearchedCodeWidth) ||
            code.find('\0') != std::string::npos)
            return nullptr;
        const auto cached = m_codes.find(code);
        if (cached != m_codes.end())
            return cached->second.product.empty() ? nullptr : &cached->second;
        Key key;
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
        const Key& kept = m_codes.emplace(code, std::move(key)).first->second;
        return kept.product.empty() ? nullptr : &kept;
    }

    Known& known(const Key& key) { return m_known[key]; }

    // The count row once a run; the run follows it in memory after that.
    Known& countRow(const Key& key) {
        Known& state = m_known[key];
        if (state.rowRead)
            return state;
        m_countRow.bindKey(key);
        state.rowRead = true;
        state.rowExists = m_countRow.statement.step();
        if (state.rowExists) {
            state.processed = std::string_view(m_countRow.statement.columnChars(0)) == "S";
            state.count = m_countRow.statement.columnReal(1);
        }
        m_countRow.statement.reset();
        return state;
    }

    Known& stock(const Key& key) {
        Known& state = m_known[key];
        if (state.stockRead)
            return state;
        bindCompanyAndKey(m_stock, key);
        state.stockRead = true;
        if (m_stock.step()) {
            state.stock = m_stock.columnReal(0);
            state.cost = m_stock.columnReal(1);
        }
        m_stock.reset();
        return state;
    }

    Known& movements(const Key& key) {
        Known& state = m_known[key];
        if (state.movementsRead)
            return state;
        bindCompanyAndKey(m_movements, key);
        state.movementsRead = true;
        state.moved = m_movements.step();
        m_movements.reset();
        return state;
    }

private:
    Statement m_barcode;
    Statement m_references[3];
    InventoryBinds m_countRow;
    Statement m_stock;
    Statement m_movements;
    std::unordered_map<std::string, Key> m_codes;
    std::unordered_map<Key, Known, KeyHash> m_known;
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
    db.exec("BEGIN IMMEDIATE");
    Resolver resolver(db);
    InventoryBinds update(db, db::sql::UpdateInventoryRow);
    InventoryBinds insert(db, db::sql::InsertInventoryRow);
    std::unordered_set<std::string> listed;
    char now[16];
    for (const std::string_view line : lines) {
        const size_t comma = line.find(',');
        if (comma == std::string_view::npos)
            continue;
        const std::string_view itemCode = line.substr(0, comma);
        const Key* key = resolver.resolve(upperAscii(itemCode));
        if (!key) {
            listed.emplace(trimmed(itemCode));
            continue;
        }
        Known& state = resolver.countRow(*key);
        if (state.processed) {
            listed.emplace(trimmed(itemCode));
            continue;
        }
        const double read = quantity(line.substr(comma + 1));
        resolver.stock(*key);
        InventoryBinds& write = state.rowExists ? update : insert;
        stamp(now);
        write.bindKey(*key);
        write.statement.textInPlace(write.stamp, now, 12)
            .real(write.quantity, read)
            .real(write.kardex, state.stock)
            .textInPlace(write.cause, Cause, 3)
            .real(write.cost, state.cost);
        write.statement.step();
        const bool written = write.statement.changes() > 0;
        write.statement.reset();
        if (!written) {
            listed.emplace(trimmed(itemCode));
            continue;
        }
        state.count = state.rowExists ? state.count + read : read;
        state.rowExists = true;
    }
    db.exec("COMMIT");
}

void rawOpeningStock(const QString& databasePath, const QString& collectorPath) {
    const QByteArray file = readFile(collectorPath);
    Sqlite db(databasePath);
    const auto lines = splitLines(std::string_view(file.constData(), file.size()));
    db.exec("BEGIN IMMEDIATE");
    Resolver resolver(db);
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
        const Key* key = resolver.resolve(upperAscii(line.substr(0, comma)));
        if (!key || resolver.countRow(*key).processed)
            continue;
        Known& state = resolver.movements(*key);
        if (state.moved)
            continue;
        const double read = quantity(line.substr(comma + 1));
        resolver.stock(*key);
        stamp(now);
        opening.textInPlace(o[0], Company, 2)
            .textInPlace(o[1], key->product.data(), static_cast<int>(key->product.size()))
            .textInPlace(o[2], key->grade.data(), static_cast<int>(key->grade.size()))
            .textInPlace(o[3], midnight, 19)
            .real(o[4], state.cost)
            .real(o[5], read)
            .textInPlace(o[6], now, 12)
            .run();
        movement.textInPlace(m[0], Company, 2)
            .textInPlace(m[1], key->product.data(), static_cast<int>(key->product.size()))
            .textInPlace(m[2], key->grade.data(), static_cast<int>(key->grade.size()))
            .textInPlace(m[3], midnight, 19)
            .textInPlace(m[4], "04", 2)
            .textInPlace(m[5], document, 9)
            .real(m[6], read)
            .real(m[7], state.cost)
            .run();
        state.moved = true;
    }
    db.exec("COMMIT");
}

} // namespace bench
