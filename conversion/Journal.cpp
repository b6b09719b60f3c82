#include "Journal.h"

#include "EngineRun.h"
#include "JournalStatements.h"
#include "db/Dialect.h"
#include "db/Errors.h"
#include "db/Names.h"
#include "db/Query.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "db/Texts.h"

#include <QDateTime>
#include <QDir>
#include <QHash>
#include <QLocale>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <map>
#include <numeric>
#include <tuple>

namespace conversion::journal {

namespace {

constexpr char Undone[] = "D";
constexpr char InventoryMode[] = "I";
constexpr char OpeningStockMode[] = "E";
constexpr char UncountedMode[] = "Z";

RunRecord readRun(const db::Statement& row) {
    RunRecord run;
    run.id = row.text(0);
    run.when = row.text(1);
    run.workstation = row.text(2);
    run.user = row.text(3);
    const QString mode = row.text(4).trimmed();
    run.uncounted = mode == QLatin1String(UncountedMode);
    run.inventory = run.uncounted || mode == QLatin1String(InventoryMode);
    run.companyCode = row.text(5);
    run.causeCode = row.text(6);
    run.date = QDate::fromString(row.text(7).left(10), Qt::ISODate);
    run.fileName = row.text(8);
    run.sha256 = row.text(9);
    run.lines = static_cast<int>(row.number(10));
    run.posted = static_cast<int>(row.number(11));
    run.rejected = static_cast<int>(row.number(12));
    run.undone = row.text(13).trimmed() == QLatin1String(Undone);
    run.undoneBy = row.text(14);
    run.undoneAt = row.text(15);
    return run;
}

QList<RunRecord> readRuns(db::Statement& select) {
    QList<RunRecord> runs;
    for (bool onRow = select.open(); onRow; onRow = select.next())
        runs << readRun(select);
    select.close();
    return runs;
}

QString modeCode(const RunRecord& run) {
    if (run.uncounted)
        return QLatin1String(UncountedMode);
    return QLatin1String(run.inventory ? InventoryMode : OpeningStockMode);
}

} // namespace

// A count as the journal stores it: NULL where there is none.
QVariant countValue(const std::optional<double>& count) {
    return count ? QVariant(*count) : QVariant(QMetaType::fromType<double>());
}
std::optional<double> countOf(const db::Statement& row, int column) {
    if (row.isNull(column))
        return std::nullopt;
    return row.number(column);
}

namespace {

bool isJournalStatement(const QString& statement) {
    return statement.contains(QLatin1String(db::table::ConvColetor), Qt::CaseInsensitive);
}

} // namespace

QString shownMoment(const QString& stored) {
    const QDateTime moment =
        QDateTime::fromString(stored.left(19), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return moment.isValid() ? moment.toString(QStringLiteral("dd/MM/yyyy HH:mm")) : stored;
}

QString currentUser() {
    for (const char* name : {"USERNAME", "USER", "LOGNAME"}) {
        const QString user = qEnvironmentVariable(name);
        if (!user.isEmpty())
            return user.left(60);
    }
    // The home folder is named after the user where no variable says so.
    return QDir::home().dirName().left(60);
}

QString workstationName() {
    const QString name = qEnvironmentVariable("COMPUTERNAME");
    return (name.isEmpty() ? QSysInfo::machineHostName() : name).left(60);
}

QString momentText(const QDateTime& moment) {
    // Milliseconds, so that two runs of one second still sort in their order.
    return moment.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

bool present(const QSqlDatabase& database) {
    int found = 0;
    for (const QString& table : database.tables()) {
        for (const char* wanted : {db::table::ConvColetor, db::table::ConvColetorIt}) {
            if (table.compare(QLatin1String(wanted), Qt::CaseInsensitive) == 0)
                ++found;
        }
    }
    return found == 2;
}

namespace {
// Whether a journal table has a column; the table's name as the database spells it, since each
// server folds unquoted names its own way.
bool hasColumn(const QSqlDatabase& database, const char* table, const char* column) {
    for (const QString& name : database.tables()) {
        if (name.compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
            return database.record(name).contains(QLatin1String(column));
    }
    return false;
}
} // namespace

namespace {
// The columns every version of the journal has, which the tool always writes and reads.
constexpr const char* RunColumns[] = {"IdConv",     "DataHora",   "Estacao",     "Usuario",
                                      "Modo",       "CodEmpresa", "CodCausa",    "DataInv",
                                      "Arquivo",    "Sha256",     "Linhas",      "Gravadas",
                                      "Rejeitadas", "Situacao",   "DesfeitoPor", "DesfeitoEm"};
constexpr const char* RowColumns[] = {"IdConv", "CodProd", "CodGrade", "Quantidade", "Criou"};

// The table's name as the database spells it; empty when it has none of that name.
QString tableName(const QSqlDatabase& database, const char* table) {
    for (const QString& name : database.tables()) {
        if (name.compare(QLatin1String(table), Qt::CaseInsensitive) == 0)
            return name;
    }
    return {};
}

// A journal table's creation and its indexes, from the statements that make the journal.
bool belongsTo(const QString& statement, const char* table) {
    const QString name = QLatin1String(table);
    return statement.contains(QStringLiteral("CREATE TABLE ") + name + QStringLiteral(" ("),
                              Qt::CaseInsensitive) ||
           statement.contains(QStringLiteral(" ON ") + name + QStringLiteral(" ("),
                              Qt::CaseInsensitive);
}
} // namespace

QString damage(const QSqlDatabase& database) {
    const QString runs = tableName(database, db::table::ConvColetor);
    const QString rows = tableName(database, db::table::ConvColetorIt);
    if (runs.isEmpty() && rows.isEmpty())
        return {};
    const QString lead = QStringLiteral("O diário de conversões deste banco está incompleto: ");
    if (runs.isEmpty() || rows.isEmpty())
        return lead + QStringLiteral("falta a tabela %1 (conversor-coletor --preparar-banco a "
                                     "cria).")
                          .arg(QLatin1String(runs.isEmpty() ? db::table::ConvColetor
                                                            : db::table::ConvColetorIt));
    QStringList missing;
    // Named as the tool names them, whatever case the server keeps them in.
    const auto check = [&](const QString& table, const char* named, const auto& columns) {
        const QSqlRecord record = database.record(table);
        for (const char* column : columns) {
            if (!record.contains(QLatin1String(column)))
                missing << QLatin1String(named) + u'.' + QLatin1String(column);
        }
    };
    check(runs, db::table::ConvColetor, RunColumns);
    check(rows, db::table::ConvColetorIt, RowColumns);
    if (missing.isEmpty())
        return {};
    return lead +
           QStringLiteral("faltam as colunas %1. O administrador do banco deve recriar as tabelas "
                          "com o script do diário.")
               .arg(missing.join(QStringLiteral(", ")));
}

bool keepsLotes(const QSqlDatabase& database) {
    return hasColumn(database, db::table::ConvColetor, "IdLote");
}

bool keepsCounts(const QSqlDatabase& database) {
    return hasColumn(database, db::table::ConvColetorIt, "Depois");
}

QString noLotesText() {
    return QStringLiteral("O diário de conversões deste banco é de uma versão anterior e não "
                          "junta os arquivos de uma conversão: converta um arquivo por vez, ou "
                          "complete o diário com conversor-coletor --preparar-banco.");
}

QStringList creationStatements(const db::Dialect& dialect) {
    QStringList statements = db::schemaStatements(dialect);
    statements.removeIf([](const QString& statement) { return !isJournalStatement(statement); });
    return statements;
}

QStringList completionStatements(const QSqlDatabase& database, const db::Dialect& dialect) {
    const bool runs = !tableName(database, db::table::ConvColetor).isEmpty();
    const bool rows = !tableName(database, db::table::ConvColetorIt).isEmpty();
    if (!runs && !rows)
        return {};
    // One table of the two: the other is made as a new journal's would be.
    if (!runs || !rows) {
        QStringList statements = creationStatements(dialect);
        const char* missing = runs ? db::table::ConvColetorIt : db::table::ConvColetor;
        statements.removeIf(
            [&](const QString& statement) { return !belongsTo(statement, missing); });
        if (runs && !keepsLotes(database))
            statements << QString::fromLatin1(db::sql::JournalAddLote);
        if (rows && !keepsCounts(database))
            statements << QString::fromLatin1(db::sql::JournalAddBefore)
                       << QString::fromLatin1(db::sql::JournalAddAfter);
        return statements;
    }
    QStringList statements;
    if (!keepsCounts(database))
        statements << QString::fromLatin1(db::sql::JournalAddBefore)
                   << QString::fromLatin1(db::sql::JournalAddAfter);
    if (const char* lookup = dialect.journalForeignKeys()) {
        const Prepared keys = prepare(database, dialect, lookup);
        for (bool found = keys->open(); found; found = keys->next())
            statements << QString::fromLatin1(db::sql::JournalDropConstraint) + u'"' +
                              keys->text(0).replace(u'"', QLatin1String("\"\"")) + u'"';
        keys->close();
    }
    const Prepared productIndex = prepare(database, dialect, dialect.journalProductIndex());
    if (productIndex->open())
        statements << QString::fromLatin1(db::sql::JournalDropProductIndex);
    productIndex->close();
    if (!keepsLotes(database)) {
        // A journal without IdLote has only the index it was made with, on Sha256.
        statements << QString::fromLatin1(db::sql::JournalAddLote);
        for (const QString& statement : creationStatements(dialect)) {
            if (statement.startsWith(QLatin1String("CREATE INDEX"), Qt::CaseInsensitive) &&
                !statement.contains(QLatin1String("ConvColetor_Sha256")))
                statements << statement;
        }
    }
    return statements;
}

QString offShortText() {
    return QStringLiteral("Diário de conversões desligado.");
}

QString offText() {
    return QStringLiteral("Diário de conversões desligado: o banco não tem as tabelas ConvColetor "
                          "e ConvColetorIt (conversor-coletor --preparar-banco as cria).");
}

RowCollector::RowCollector(bool inventory, qsizetype lines)
    : m_inventory(inventory) {
    m_rows.reserve(static_cast<std::size_t>(lines));
}

void RowCollector::add(const LineReport& line) {
    if (line.outcome != LineOutcome::Posted)
        return;
    m_merged = false;
    if (m_inventory)
        m_rows.push_back({line.CodProd, line.CodGrade, line.quantity, line.rowCreated,
                          line.rowCreated ? std::nullopt : line.countBefore, line.countAfter});
    else
        m_rows.push_back({line.CodProd, line.CodGrade, line.quantity, line.rowCreated, {}, {}});
}

namespace {

bool keyBefore(const RowRecord& a, const RowRecord& b) {
    return std::tie(a.CodProd, a.CodGrade) < std::tie(b.CodProd, b.CodGrade);
}

// A line's product and grade side by side, with the line's place to keep equal keys in the
// order they came: sorting these small values stays in the processor's cache, where sorting
// the lines themselves reaches for every code's text. Four code units a word, the first one
// highest, so that the words compare as the units do.
struct LineKey {
    std::array<std::uint64_t, 5> units{};
    std::uint32_t line = 0;
    auto operator<=>(const LineKey&) const = default;
};

// Puts `text` at unit `from` of the key, in at most `room` units; false when it doesn't fit or
// holds a unit that would read as the padding.
bool fill(LineKey& key, int from, qsizetype room, const QString& text) {
    if (text.size() > room)
        return false;
    int at = from;
    for (const QChar each : text) {
        if (each.unicode() == 0)
            return false;
        key.units[static_cast<std::size_t>(at / 4)] |= std::uint64_t{each.unicode()}
                                                       << (16 * (3 - at % 4));
        ++at;
    }
    return true;
}

// A line's place, and whether its product and grade are those of the line before it.
struct Placed {
    std::uint32_t line;
    bool sameKey;
};

// The lines in key order, equal keys in the order they came.
std::vector<Placed> keyOrder(const std::vector<RowRecord>& lines) {
    std::vector<Placed> order;
    order.reserve(lines.size());
    std::vector<LineKey> keys(lines.size());
    bool fits = true;
    for (std::uint32_t at = 0; at < lines.size() && fits; ++at) {
        LineKey& key = keys[at];
        key.line = at;
        fits = fill(key, 0, 14, lines[at].CodProd) && fill(key, 14, 4, lines[at].CodGrade);
    }
    if (fits) {
        std::sort(keys.begin(), keys.end());
        for (std::size_t at = 0; at < keys.size(); ++at)
            order.push_back({keys[at].line, at > 0 && keys[at].units == keys[at - 1].units});
        return order;
    }
    // Codes longer than a catalogue's: the lines themselves.
    std::vector<std::uint32_t> places(lines.size());
    std::iota(places.begin(), places.end(), 0U);
    std::stable_sort(places.begin(), places.end(), [&](std::uint32_t a, std::uint32_t b) {
        return keyBefore(lines[a], lines[b]);
    });
    for (std::size_t at = 0; at < places.size(); ++at) {
        const RowRecord& line = lines[places[at]];
        const bool same = at > 0 && line.CodProd == lines[places[at - 1]].CodProd &&
                          line.CodGrade == lines[places[at - 1]].CodGrade;
        order.push_back({places[at], same});
    }
    return order;
}

} // namespace

const std::vector<RowRecord>& RowCollector::rows() {
    if (m_merged)
        return m_rows;
    m_merged = true;
    // The lines of one count row stay in the order they came, so that its first line says
    // whether the run created it and what it held before, its last what it left.
    std::vector<RowRecord> merged;
    merged.reserve(m_rows.size());
    for (const auto [at, sameKey] : keyOrder(m_rows)) {
        RowRecord& line = m_rows[at];
        if (m_inventory && sameKey) {
            merged.back().quantity += line.quantity;
            merged.back().after = line.after;
            continue;
        }
        merged.push_back(std::move(line));
    }
    m_rows = std::move(merged);
    return m_rows;
}

namespace {

// An element of an array's text: quoted, so that no code can end it or the array.
void appendArrayText(QString& array, const QString& text) {
    array += QLatin1Char('"');
    for (const QChar each : text) {
        if (each == QLatin1Char('"') || each == QLatin1Char('\\'))
            array += QLatin1Char('\\');
        array += each;
    }
    array += QLatin1Char('"');
}

// The shortest text that reads back as the same double: an undo puts a count back to the bit.
void appendArrayNumber(QString& array, const std::optional<double>& number) {
    if (number)
        array += QString::number(*number, 'g', QLocale::FloatingPointShortest);
    else
        array += QLatin1String("NULL");
}

// The rows as one array a column, in statements of a bounded size.
void writeAsArrays(const QSqlDatabase& database, const db::Dialect& dialect, const char* text,
                   const db::BoundValue& id, const std::vector<const RowRecord*>& rows) {
    constexpr size_t RowsAStatement = 8192;
    const Prepared insert = prepare(database, dialect, text);
    for (size_t from = 0; from < rows.size(); from += RowsAStatement) {
        const size_t to = std::min(rows.size(), from + RowsAStatement);
        std::array<QString, 6> columns;
        for (QString& column : columns) {
            column.reserve(static_cast<qsizetype>(24 * (to - from)));
            column += QLatin1Char('{');
        }
        for (size_t at = from; at < to; ++at) {
            const RowRecord& row = *rows[at];
            if (at > from)
                for (QString& column : columns)
                    column += QLatin1Char(',');
            appendArrayText(columns[0], row.CodProd);
            appendArrayText(columns[1], row.CodGrade);
            appendArrayNumber(columns[2], row.quantity);
            columns[3] += QLatin1String(row.created ? "S" : "N");
            appendArrayNumber(columns[4], row.before);
            appendArrayNumber(columns[5], row.after);
        }
        std::vector<db::BoundValue> values;
        values.reserve(columns.size());
        insert->bind(0, id);
        for (QString& column : columns) {
            column += QLatin1Char('}');
            const int at = static_cast<int>(values.size()) + 1;
            insert->bind(at, values.emplace_back(column));
        }
        insert->execute();
    }
}

// A count row the run created and left holding just what it counted, to the bit: its Criou,
// Antes and Depois follow from its quantity.
bool createdAsCounted(const RowRecord& row) {
    return row.created && !row.before && row.after &&
           std::bit_cast<std::uint64_t>(*row.after) == std::bit_cast<std::uint64_t>(row.quantity);
}

// Rows in batches of a few sizes, each prepared once: a row costs a bind, not a statement, and on
// a server not a round trip. `idOnce`, where given, is bound first, once a batch.
template <typename Text, typename BindRow>
void writeInBatches(const QSqlDatabase& database, const db::Dialect& dialect,
                    const std::vector<const RowRecord*>& rows, const db::BoundValue* idOnce,
                    const Text& text, const BindRow& bindRow) {
    std::map<int, Prepared> statements;
    for (size_t from = 0; from < rows.size();) {
        const int size = writeBatchSize(rows.size() - from);
        Prepared& insert = statements[size];
        if (!insert)
            insert = prepare(database, dialect, text(size).c_str());
        int at = 0;
        if (idOnce)
            insert->bind(at++, *idOnce);
        for (int i = 0; i < size; ++i)
            bindRow(*insert, at, *rows[from + static_cast<size_t>(i)]);
        insert->execute();
        from += static_cast<size_t>(size);
    }
}

} // namespace

void write(const QSqlDatabase& database, const db::Dialect& dialect,
           const std::vector<RunRecord>& entries, const std::vector<RowRecord>& rows) {
    // A run of one file is written as journals without lotes know it.
    const bool inLote = entries.size() > 1;
    const Prepared insertRun = prepare(
        database, dialect, inLote ? db::sql::JournalInsertRunInLote : db::sql::JournalInsertRun);
    for (const RunRecord& run : entries) {
        Binder binder(*insertRun);
        binder.text(":PIdConv", run.id)
            .text(":PDataHora", run.when)
            .text(":PEstacao", run.workstation)
            .text(":PUsuario", run.user)
            .text(":PModo", modeCode(run))
            .text(":PCodEmpresa", run.companyCode)
            .text(":PCodCausa", run.causeCode)
            .variant(":PDataInv", dialect.date(run.date))
            .text(":PArquivo", run.fileName.right(255))
            .text(":PSha256", run.sha256)
            .number(":PLinhas", run.lines)
            .number(":PGravadas", run.posted)
            .number(":PRejeitadas", run.rejected);
        if (inLote)
            binder.text(":PIdLote", entries.front().id);
        binder.statement.execute();
    }
    // In key order, so that each of the table's indexes grows at its end rather than at pages
    // all over it.
    std::vector<const RowRecord*> inKeyOrder;
    inKeyOrder.reserve(rows.size());
    for (const RowRecord& row : rows)
        inKeyOrder.push_back(&row);
    // A run's collector hands them over sorted already.
    if (!std::is_sorted(rows.cbegin(), rows.cend(), keyBefore))
        std::sort(inKeyOrder.begin(), inKeyOrder.end(),
                  [](const RowRecord* a, const RowRecord* b) { return keyBefore(*a, *b); });
    if (!keepsCounts(database)) {
        // A journal made before it kept the counts gets the rows as it knows them, one by one.
        const Prepared insertRow = prepare(database, dialect, db::sql::JournalInsertRow);
        for (const RowRecord* row : inKeyOrder) {
            Binder binder(*insertRow);
            binder.text(":PIdConv", entries.front().id)
                .text(":PCodProd", row->CodProd)
                .text(":PCodGrade", row->CodGrade)
                .number(":PQuantidade", row->quantity)
                .text(":PCriou", QLatin1String(row->created ? "S" : "N"));
            insertRow->execute();
        }
        return;
    }
    const db::BoundValue id(entries.front().id);
    if (const char* arrays = dialect.journalRowArrays()) {
        writeAsArrays(database, dialect, arrays, id, inKeyOrder);
        return;
    }
    const db::BoundValue created(QStringLiteral("S")), added(QStringLiteral("N"));
    const db::BoundValue none(countValue(std::nullopt));
    const auto bindCount = [&none](db::Statement& insert, int& at,
                                   const std::optional<double>& count) {
        if (count)
            insert.bindFloat(at++, *count);
        else
            insert.bind(at++, none);
    };
    // Where the engine has a narrower insert for the count rows the run created, those go
    // through it; the others, and every row elsewhere, with all their values.
    std::vector<const RowRecord*> whole, counted;
    if (dialect.journalCountedRowInsert(1).empty())
        whole = std::move(inKeyOrder);
    else
        for (const RowRecord* row : inKeyOrder)
            (createdAsCounted(*row) ? counted : whole).push_back(row);
    writeInBatches(
        database, dialect, counted, &id,
        [&dialect](int size) { return dialect.journalCountedRowInsert(size); },
        [](db::Statement& insert, int& at, const RowRecord& row) {
            insert.bindText(at++, row.CodProd);
            insert.bindText(at++, row.CodGrade);
            insert.bindFloat(at++, row.quantity);
        });
    const bool idOnce = dialect.journalRowInsertBindsIdOnce();
    writeInBatches(
        database, dialect, whole, idOnce ? &id : nullptr,
        [&dialect](int size) { return dialect.journalRowInsert(size); },
        [&](db::Statement& insert, int& at, const RowRecord& row) {
            if (!idOnce)
                insert.bind(at++, id);
            insert.bindText(at++, row.CodProd);
            insert.bindText(at++, row.CodGrade);
            insert.bindFloat(at++, row.quantity);
            insert.bind(at++, row.created ? created : added);
            bindCount(insert, at, row.before);
            bindCount(insert, at, row.after);
        });
}

std::optional<RunRecord> findPosted(const QSqlDatabase& database, const db::Dialect& dialect,
                                    const RunRecord& wanted, const QString& bytesSha256) {
    const Prepared select = prepare(database, dialect, db::sql::JournalFindPosted);
    Binder binder{*select};
    binder.text(":PSha256", wanted.sha256)
        .text(":PBytesSha256", bytesSha256.isEmpty() ? wanted.sha256 : bytesSha256)
        .text(":PModo", modeCode(wanted))
        .text(":PCodEmpresa", wanted.companyCode)
        .variant(":PDataInv", dialect.date(wanted.date))
        .text(":PCodCausa", wanted.causeCode);
    const QList<RunRecord> runs = readRuns(*select);
    if (runs.isEmpty())
        return std::nullopt;
    return runs.constFirst();
}

std::optional<RunRecord> find(const QSqlDatabase& database, const db::Dialect& dialect,
                              const QString& id) {
    const Prepared select = prepare(database, dialect, db::sql::JournalFindRun);
    Binder binder{*select};
    binder.text(":PIdConv", id);
    const QList<RunRecord> runs = readRuns(*select);
    if (runs.isEmpty())
        return std::nullopt;
    return runs.constFirst();
}

QList<RunRecord> lote(const QSqlDatabase& database, const db::Dialect& dialect,
                      const RunRecord& entry) {
    if (!keepsLotes(database))
        return {entry};
    const Prepared loteOf = prepare(database, dialect, db::sql::JournalLoteOf);
    Binder(*loteOf).text(":PIdConv", entry.id);
    const QString id = loteOf->open() ? loteOf->text(0) : QString();
    loteOf->close();
    if (id.isEmpty())
        return {entry};
    const Prepared select = prepare(database, dialect, db::sql::JournalLote);
    Binder(*select).text(":PIdLote", id);
    QList<RunRecord> entries = readRuns(*select);
    for (RunRecord& each : entries)
        each.lote = id;
    // The first file's entry leads: it holds the rows.
    std::stable_partition(entries.begin(), entries.end(),
                          [&](const RunRecord& each) { return each.id == id; });
    return entries;
}

QList<RunRecord> history(const QSqlDatabase& database, const db::Dialect& dialect,
                         const QString& companyCode, const QDate& date) {
    const Prepared select = prepare(database, dialect, db::sql::JournalHistory);
    QList<RunRecord> runs = readRuns(*select);
    runs.removeIf([&](const RunRecord& run) {
        return (!companyCode.isEmpty() && run.companyCode != companyCode) ||
               (date.isValid() && run.date != date);
    });
    if (keepsLotes(database)) {
        QHash<QString, QString> lotes;
        const Prepared select = prepare(database, dialect, db::sql::JournalLotes);
        for (bool onRow = select->open(); onRow; onRow = select->next())
            lotes.insert(select->text(0), select->text(1));
        select->close();
        for (RunRecord& run : runs)
            run.lote = lotes.value(run.id);
    }
    return runs;
}

std::vector<RowRecord> rows(const QSqlDatabase& database, const db::Dialect& dialect,
                            const QString& id) {
    const bool counts = keepsCounts(database);
    const Prepared select =
        prepare(database, dialect, counts ? db::sql::JournalRowsCounts : db::sql::JournalRows);
    Binder binder{*select};
    binder.text(":PIdConv", id);
    std::vector<RowRecord> result;
    for (bool onRow = select->open(); onRow; onRow = select->next()) {
        RowRecord& row =
            result.emplace_back(RowRecord{select->text(0),
                                          select->text(1),
                                          select->number(2),
                                          select->text(3).trimmed() == QLatin1String("S"),
                                          {},
                                          {}});
        if (counts) {
            row.before = countOf(*select, 4);
            row.after = countOf(*select, 5);
        }
    }
    select->close();
    return result;
}

QString describe(const RunRecord& run) {
    return QStringLiteral("convertido em %1 por %2 na estação %3: %4")
        .arg(shownMoment(run.when), run.user, run.workstation,
             counted(run.posted, "leitura gravada", "leituras gravadas"));
}

QString alreadyConvertedText(const std::vector<RunRecord>& runs) {
    QStringList texts;
    for (const RunRecord& run : runs)
        texts << QStringLiteral("%1 já foi %2.").arg(run.fileName, describe(run));
    return texts.join(u'\r');
}

QString alreadyConvertedText(const RunRecord& run) {
    return QStringLiteral("Este arquivo já foi %1 (%2, empresa %3, data %4%5).")
        .arg(describe(run),
             run.inventory ? QStringLiteral("inventário") : QStringLiteral("início de estoque"),
             run.companyCode, db::texts::formatDate(run.date),
             run.causeCode.isEmpty() ? QString() : QStringLiteral(", causa ") + run.causeCode);
}

} // namespace conversion::journal
