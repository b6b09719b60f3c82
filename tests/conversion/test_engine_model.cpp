// The engine against a plain model of the line rules, on generated catalogues and collector files:
// codes reached several ways, codes that several products share (the lowest key takes them),
// unknown codes, repeats, processed and closed count rows, products with movements, bad
// quantities, grades stored under a product code with a trailing blank, and files of up to 520
// distinct codes, around the sizes of the batches a run reads and writes in. The engine, reading
// and writing in batches on every engine, must leave the rows, the line reports and the
// rejections that the rules give, to the last bit of every count. The seeds are fixed; a failure
// names its seed.
#include "conversion/ConversionEngine.h"
#include "conversion/Quantity.h"
#include "conversion/RejectionList.h"
#include "db/Errors.h"
#include "db/Regional.h"
#include "db/Texts.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>
#include <map>
#include <optional>
#include <random>
#include <set>

namespace {
using conversion::LineOutcome;
using conversion::RejectionList;

const QDateTime Now(QDate(2026, 12, 8), QTime(9, 15, 42));
const QString Company = QStringLiteral("01");
const QString Cause = QStringLiteral("001");
const QString InventoryDate = QStringLiteral("06/12/2026");

struct Product {
    QString code;
    int grade = 1;
    QString referencia;
    QString reffabricante;
};
struct Barcode {
    QString product;
    QString grade;
    QString code;
    // Stored under the product code with a blank after it, where the server compares texts
    // without their trailing blanks: the same product there.
    bool twin = false;
};
struct CountRow {
    QString processado;
    std::optional<double> count;
    // Left as they are unless the run writes the row.
    QString dataHora = QStringLiteral("010101000000");
    QString usuario = QStringLiteral("ANA");
    double kardex = 1;
    double cost = 2;
    QString cause = QStringLiteral("009");
};
using Key = std::pair<QString, QString>;

struct Catalogue {
    std::vector<Product> products;
    std::vector<Barcode> barcodes;
    std::vector<std::pair<QString, QString>> oldReferences; // current, old
    std::map<Key, std::pair<double, double>> stock;         // Estoque, PrecoCusto
    std::map<Key, CountRow> countRows;
    std::set<Key> moved;
};

// The generated world of one case.
struct Case {
    Catalogue catalogue;
    QStringList lines;
    bool inventory = true;
};

class Generator {
public:
    explicit Generator(unsigned seed)
        : m_random(seed) {}

    Case next() {
        Case made;
        Catalogue& c = made.catalogue;
        std::vector<QString> referencias, fabricantes, barcodes, olds;
        // Now and then a file of many distinct codes, each read at least once.
        const bool large = chance(0.08);
        m_codes = large ? pick({8, 9, 16, 17, 63, 65, 128, 129, 257, 520}) : 12;
        const int products = large ? between(m_codes / 4 + 1, m_codes / 2 + 4) : between(1, 6);
        for (int p = 1; p <= products; ++p) {
            Product product{QStringLiteral("P%1").arg(p), pick({1, 2, 3}), {}, {}};
            if (chance(0.6))
                product.referencia = code(referencias);
            if (chance(0.4))
                product.reffabricante = code(fabricantes);
            c.products.push_back(product);
            std::vector<Key> keys{{product.code, QStringLiteral("0000")}};
            for (int g = between(0, 2); g > 0; --g) {
                const QString grade = QStringLiteral("G%1").arg(g);
                c.barcodes.push_back(
                    {product.code, grade, chance(0.8) ? code(barcodes) : QString(), chance(0.15)});
                keys.emplace_back(product.code, grade);
            }
            for (const Key& key : keys) {
                if (chance(0.5))
                    c.stock[key] = {between(0, 50) / 2.0, between(1, 999) / 100.0};
                if (chance(0.35))
                    c.countRows[key] = {pick<QString>({"S", "N", "N", "X"}),
                                        chance(0.2) ? std::nullopt
                                                    : std::optional(between(0, 40) / 10.0)};
                if (chance(0.25))
                    c.moved.insert(key);
            }
        }
        // An old reference may name several current ones, and a current one several products.
        std::set<std::pair<QString, QString>> related;
        for (int o = large ? between(1, products) : between(0, 2); o > 0; --o) {
            const Product& target = c.products[static_cast<size_t>(between(0, products - 1))];
            const QString old = code(olds);
            if (!target.referencia.isEmpty() && !old.isEmpty() &&
                related.emplace(target.referencia, old).second)
                c.oldReferences.emplace_back(target.referencia, old);
        }
        made.inventory = chance(0.5);
        const bool badQuantity = chance(0.15);
        std::vector<QString> codes;
        if (large) {
            for (int i = 0; i < m_codes; ++i)
                codes.push_back(QStringLiteral("C%1").arg(i));
            std::shuffle(codes.begin(), codes.end(), m_random);
        }
        for (int l = large ? m_codes + between(0, m_codes / 4) : between(0, 18); l > 0; --l) {
            if (chance(0.06)) {
                made.lines << pick<QString>({"", "C3", "sem leitura"});
                continue;
            }
            QString code = !codes.empty() ? codes.back()
                           : chance(0.8)  ? QStringLiteral("C%1").arg(between(0, m_codes - 1))
                           : chance(0.5)  ? QStringLiteral("Z%1").arg(between(0, 3))
                                          : pick<QString>({"", "D'A", "c 1"});
            if (!codes.empty())
                codes.pop_back();
            if (chance(0.3))
                code = code.toLower();
            const QString quantity = badQuantity && chance(0.1)
                                         ? QStringLiteral("x")
                                         : pick<QString>({"1", "2", "0,5", "3,25", "-1", "0", "0,1",
                                                          "0,2", "10", "1,1"});
            made.lines << code + QLatin1Char(',') + quantity;
        }
        return made;
    }

private:
    int between(int low, int high) { return std::uniform_int_distribution(low, high)(m_random); }
    bool chance(double p) { return std::bernoulli_distribution(p)(m_random); }
    template <typename T> T pick(std::initializer_list<T> values) {
        return *(values.begin() + between(0, static_cast<int>(values.size()) - 1));
    }
    // A code of the pool for one column, stored in upper or lower case: mostly one not yet used
    // there, sometimes one that another row has already, which the rows then share.
    QString code(std::vector<QString>& used) {
        if (!used.empty() && chance(0.2)) {
            const QString shared =
                used[static_cast<size_t>(between(0, static_cast<int>(used.size()) - 1))];
            return chance(0.3) ? shared.toLower() : shared;
        }
        for (int tries = 0; tries < 20; ++tries) {
            const QString code = QStringLiteral("C%1").arg(between(0, m_codes - 1));
            if (std::find(used.begin(), used.end(), code) == used.end()) {
                used.push_back(code);
                return chance(0.3) ? code.toLower() : code;
            }
        }
        return QString();
    }

    std::mt19937 m_random;
    int m_codes = 12;
};

// What the rules give for one run: the rows after it, the line reports and the rejections.
struct Expected {
    bool flag = false;
    std::map<Key, CountRow> countRows;
    struct Opening {
        Key key;
        double quantity;
        double cost;
        bool operator<(const Opening& other) const { return key < other.key; }
    };
    std::vector<Opening> openingStocks;
    QStringList reports;
    RejectionList inventoryList;
    RejectionList openingList;
    QString failure;

    Expected()
        : inventoryList(flag)
        , openingList(flag) {}
};

QString number(double value) {
    return QString::number(value, 'g', 17);
}

QString report(int number, LineOutcome outcome, const Key& key, int products,
               std::optional<double> before, std::optional<double> after) {
    const auto figure = [](std::optional<double> value) {
        return value ? ::number(*value) : QStringLiteral("-");
    };
    return QStringLiteral("%1 %2 %3/%4 of %5 %6 %7")
        .arg(number)
        .arg(static_cast<int>(outcome))
        .arg(key.first, key.second)
        .arg(products)
        .arg(figure(before), figure(after));
}

// A product code as a server that ignores trailing blanks compares it: a twin's reading may be
// reported and written under either text. No generated code ends in a blank otherwise.
QString trimmed(QString code) {
    while (code.endsWith(QLatin1Char(' ')))
        code.chop(1);
    return code;
}

// What a search found: the lowest key among its rows, and how many products they name.
struct Found {
    std::optional<Key> key;
    int products = 0;
};

// The line rules, written out one after the other.
void model(const Case& c, Expected& out) {
    const Catalogue& cat = c.catalogue;
    out.countRows = cat.countRows;
    std::set<Key> moved = cat.moved;
    const auto upper = [](const QString& text) {
        return db::texts::upperAscii(text);
    };
    // The lowest of the keys a search returns decides; none found, the next search is asked.
    const auto lowest = [](const std::set<Key>& keys, bool byReference,
                           const Catalogue& cat) -> std::optional<Found> {
        if (keys.empty())
            return std::nullopt;
        Found found{*keys.begin(), static_cast<int>(keys.size())};
        if (byReference)
            for (const Product& product : cat.products)
                if (product.code == keys.begin()->first && product.grade != 1 && product.grade != 3)
                    found.key.reset();
        return found;
    };
    const auto resolve = [&](const QString& itemCode) -> Found {
        const QString code = upper(itemCode);
        std::set<Key> keys;
        for (const Barcode& barcode : cat.barcodes)
            if (!barcode.code.isNull() && upper(barcode.code) == code)
                keys.emplace(barcode.product, barcode.grade);
        if (auto found = lowest(keys, false, cat))
            return *found;
        const QString noGrade = QStringLiteral("0000");
        for (const Product& product : cat.products)
            if (!product.referencia.isNull() && upper(product.referencia) == code)
                keys.emplace(product.code, noGrade);
        if (auto found = lowest(keys, true, cat))
            return *found;
        for (const Product& product : cat.products)
            if (!product.reffabricante.isNull() && upper(product.reffabricante) == code)
                keys.emplace(product.code, noGrade);
        if (auto found = lowest(keys, true, cat))
            return *found;
        for (const auto& [current, old] : cat.oldReferences)
            if (upper(old) == code)
                for (const Product& product : cat.products)
                    if (product.referencia == current)
                        keys.emplace(product.code, noGrade);
        return lowest(keys, true, cat).value_or(Found{});
    };
    const QString stamp = db::texts::stampText(Now.date(), Now.time(), db::Regional::locale());

    for (int n = 1; n <= c.lines.size(); ++n) {
        const QString& line = c.lines.at(n - 1);
        const qsizetype comma = line.indexOf(QLatin1Char(','));
        if (comma < 0) {
            out.reports << report(n, LineOutcome::NoReading, {}, 0, {}, {});
            continue;
        }
        const QString code = line.left(comma);
        const QString quantityText = line.mid(comma + 1);
        const Found found = resolve(code);
        const std::optional<Key>& key = found.key;
        const int products = key ? found.products : 0;
        RejectionList& list = c.inventory ? out.inventoryList : out.openingList;
        if (!key) {
            if (!c.inventory || !list.alreadyListed(code))
                list.add(code, conversion::reasonText(LineOutcome::NotFound));
            out.reports << report(n, LineOutcome::NotFound, {}, 0, {}, {});
            continue;
        }
        const auto row = out.countRows.find(*key);
        const bool exists = row != out.countRows.end();
        if (exists && row->second.processado == QLatin1String("S")) {
            list.add(code, conversion::reasonText(LineOutcome::Processed));
            out.reports << report(n, LineOutcome::Processed, *key, products, {}, {});
            continue;
        }
        if (!c.inventory && moved.count(*key)) {
            list.add(code, conversion::reasonText(LineOutcome::HasMovements));
            out.reports << report(n, LineOutcome::HasMovements, *key, products, {}, {});
            continue;
        }
        double quantity = 0;
        try {
            quantity = conversion::parseQuantity(quantityText, db::Regional::locale(), n);
        } catch (const db::Error& error) {
            out.failure = error.message();
            return;
        }
        const auto stockIt = cat.stock.find(*key);
        const auto [stock, cost] =
            stockIt == cat.stock.end() ? std::pair{0.0, 0.0} : stockIt->second;
        if (!c.inventory) {
            out.openingStocks.push_back({*key, quantity, cost});
            moved.insert(*key);
            out.reports << report(n, LineOutcome::Posted, *key, products, {}, {});
            continue;
        }
        if (!exists) {
            out.countRows[*key] = {
                QStringLiteral("N"), quantity, stamp, "ADMIN", stock, cost, Cause};
            out.reports << report(n, LineOutcome::Posted, *key, products, 0.0, quantity);
            continue;
        }
        CountRow& counted = row->second;
        if (counted.processado != QLatin1String("N")) {
            list.add(code, conversion::reasonText(LineOutcome::Processed));
            out.reports << report(n, LineOutcome::Processed, *key, products, {}, {});
            continue;
        }
        const double before = counted.count.value_or(0.0);
        if (counted.count)
            *counted.count += quantity;
        counted.dataHora = stamp;
        counted.usuario = QStringLiteral("ADMIN");
        counted.kardex = stock;
        counted.cost = cost;
        counted.cause = Cause;
        out.reports << report(n, LineOutcome::Posted, *key, products, before,
                              counted.count.value_or(0.0));
    }
}

// Records the reports of the engine in the model's words.
class Reports : public conversion::RunObserver {
public:
    void lineStarted(int) override {}
    bool stopRequested() override { return false; }
    void lineDone(const conversion::LineReport& line) override {
        const bool counted = line.outcome == LineOutcome::Posted && line.countAfter;
        texts << report(line.number, line.outcome, {trimmed(line.CodProd), line.CodGrade},
                        line.productsWithCode, counted ? line.countBefore : std::nullopt,
                        counted ? line.countAfter : std::nullopt);
    }
    QStringList texts;
};
} // namespace

class TestEngineModel : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        db::Regional::setLocale(QLocale(QLocale::Portuguese, QLocale::Brazil));
        db::Clock::setFixed(Now);
        m_database = std::make_unique<TestDatabase>();
    }
    void cleanupTestCase() { m_database.reset(); }

    void engineFollowsTheRules() {
        // A few hundred cases where a case costs little; fewer on a server.
        const int cases = TestDatabase::engine() == QLatin1String("sqlite") ? 300 : 120;
        for (int i = 0; i < cases; ++i) {
            const unsigned seed = 1700 + static_cast<unsigned>(i);
            const Case c = Generator(seed).next();
            Expected expected;
            model(c, expected);
            fill(c.catalogue);

            bool flag = false;
            RejectionList inventoryList(flag);
            RejectionList openingList(flag);
            Reports reports;
            conversion::ConversionEngine engine(m_database->database(), m_database->dialect(),
                                                {Company, Cause, InventoryDate},
                                                {inventoryList, openingList, flag}, &reports);
            QString failure;
            try {
                if (c.inventory)
                    engine.ConvertInventory(c.lines);
                else
                    engine.ConvertOpeningStock(c.lines);
            } catch (const db::Error& error) {
                failure = error.message();
            }
            const QByteArray where = "seed " + QByteArray::number(seed) +
                                     ", lines: " + c.lines.join(QLatin1String(" | ")).toUtf8();
            QVERIFY2(failure == expected.failure, where + "\nfailure: " + failure.toUtf8());
            QVERIFY2(reports.texts == expected.reports,
                     where + "\nengine: " + reports.texts.join("; ").toUtf8() +
                         "\nmodel: " + expected.reports.join("; ").toUtf8());
            if (!failure.isEmpty()) {
                // All or nothing.
                Case untouched = c;
                untouched.lines.clear();
                Expected before;
                model(untouched, before);
                expected.countRows = before.countRows;
                expected.openingStocks.clear();
            } else {
                QCOMPARE(inventoryList.exportLines(), expected.inventoryList.exportLines());
                QCOMPARE(openingList.exportLines(), expected.openingList.exportLines());
            }
            const QStringList rows = written();
            const QStringList modelled = modelRows(expected);
            QVERIFY2(rows == modelled, where + "\nengine: " + rows.join("; ").toUtf8() +
                                           "\nmodel: " + modelled.join("; ").toUtf8());
        }
    }

private:
    void fill(const Catalogue& c) {
        const bool twins = m_database->dialect().ignoresTrailingBlanks();
        // One transaction: SQLite writes each one through to the disk.
        QSqlDatabase database = m_database->database();
        QVERIFY(database.transaction());
        for (const char* table : {"Inventa", "MvGeral", "INCIEST", "CompProd", "Relacionarefant",
                                  "ProdGrade", "Produto"})
            m_database->exec(QStringLiteral("Delete From ") + QLatin1String(table));
        const auto text = [](const QString& value) {
            return value.isNull() ? QVariant() : QVariant(value);
        };
        for (const Product& p : c.products)
            m_database->exec("Insert Into Produto (CodProd, Descricao, Grade, Referencia, "
                             "Reffabricante) Values (?, 'x', ?, ?, ?)",
                             {p.code, p.grade, text(p.referencia), text(p.reffabricante)});
        for (const Barcode& b : c.barcodes)
            m_database->exec("Insert Into ProdGrade Values (?, ?, ?)",
                             {b.twin && twins ? b.product + QLatin1Char(' ') : b.product, b.grade,
                              text(b.code)});
        for (const auto& [current, old] : c.oldReferences)
            m_database->exec("Insert Into Relacionarefant Values (?, ?)", {current, old});
        for (const auto& [key, figures] : c.stock)
            m_database->exec("Insert Into CompProd Values ('01', ?, ?, ?, ?)",
                             {key.first, key.second, figures.first, figures.second});
        for (const auto& [key, row] : c.countRows)
            m_database->exec(
                "Insert Into Inventa Values ('01', '2026-12-06', '20261206A', ?, ?, ?, ?, ?, " +
                    QString(row.count ? "?" : "NULL") + ", ?, ?, ?)",
                row.count ? QVariantList{key.first, key.second, row.processado, row.dataHora,
                                         row.usuario, *row.count, row.kardex, row.cost, row.cause}
                          : QVariantList{key.first, key.second, row.processado, row.dataHora,
                                         row.usuario, row.kardex, row.cost, row.cause});
        for (const Key& key : c.moved)
            m_database->exec("Insert Into MvGeral (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, "
                             "TIPOMOV) Values ('01', ?, ?, '2026-01-02 00:00:00', '01')",
                             {key.first, key.second});
        QVERIFY(database.commit());
    }

    // The rows of the three tables the runs write, every number to its last bit; the dates are
    // the golden files' business.
    QStringList written() const {
        QStringList all;
        for (const char* select :
             {"Select CodEmpresa, Documento, CodProd, CodGrade, Processado, DataHora, Usuario, "
              "Quantidade, QuantKardex, PrecoCusto, CodCausa From Inventa Order By CodProd, "
              "CodGrade",
              "Select CODEMPRESA, CODPROD, CODGRADE, QUANTIDADE, PRECOMEDIO, USUARIO, DATAHORA "
              "From "
              "INCIEST Order By CODPROD, CODGRADE",
              "Select CODEMPRESA, CODPROD, CODGRADE, TIPOAGENTE, CODIGOAGENTE, TIPOMOV, "
              "DOCUMENTO, QUANTIDADE, PRECOMEDIO From MVGERAL Where TIPOMOV = '04' Order By "
              "CODPROD, CODGRADE"}) {
            QSqlQuery query(m_database->database());
            if (!query.exec(QString::fromLatin1(select)))
                qFatal("%s", qPrintable(query.lastError().text()));
            while (query.next()) {
                QStringList fields;
                for (int i = 0; i < query.record().count(); ++i) {
                    const QVariant value = query.value(i);
                    if (value.isNull())
                        fields << QStringLiteral("NULL");
                    else if (value.typeId() == QMetaType::Double)
                        fields << number(value.toDouble());
                    else if (query.record().fieldName(i).compare(QLatin1String("CodProd"),
                                                                 Qt::CaseInsensitive) == 0)
                        fields << trimmed(value.toString());
                    else
                        fields << m_database->dialect().text(value,
                                                             query.record().field(i).typeID());
                }
                all << fields.join(QLatin1Char('|'));
            }
        }
        return all;
    }

    static QStringList modelRows(const Expected& e) {
        QStringList all;
        for (const auto& [key, row] : e.countRows)
            all << QStringList{Company,
                               QStringLiteral("20261206A"),
                               key.first,
                               key.second,
                               row.processado,
                               row.dataHora,
                               row.usuario,
                               row.count ? number(*row.count) : QStringLiteral("NULL"),
                               number(row.kardex),
                               number(row.cost),
                               row.cause}
                       .join(QLatin1Char('|'));
        std::vector<Expected::Opening> opening = e.openingStocks;
        std::sort(opening.begin(), opening.end());
        const QString stamp = db::texts::stampText(Now.date(), Now.time(), db::Regional::locale());
        const QString document = db::texts::movementDocumentNumber(Now.date());
        QStringList movements;
        for (const auto& [key, quantity, price] : opening) {
            const QString cost = number(price);
            all << QStringList{Company, key.first, key.second, number(quantity),
                               cost,    "ADMIN",   stamp}
                       .join(QLatin1Char('|'));
            movements << QStringList{Company, key.first, key.second,       "A", "0000000000",
                                     "04",    document,  number(quantity), cost}
                             .join(QLatin1Char('|'));
        }
        return all + movements;
    }

    std::unique_ptr<TestDatabase> m_database;
};

COLETOR_GUILESS_TEST_MAIN(TestEngineModel)
#include "test_engine_model.moc"
