#include "Catalogue.h"

#include "Sqlite.h"
#include "db/Dialect.h"
#include "db/Schema.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <random>

namespace bench {

namespace {
QByteArray productCode(int i) {
    return QStringLiteral("P%1").arg(i, 7, 10, QLatin1Char('0')).toLatin1();
}
QByteArray barcode(int i) {
    return QStringLiteral("789%1").arg(i, 9, 10, QLatin1Char('0')).toLatin1();
}
// Products kept by grade can't be reached by a reference; every fortieth is one.
bool keptByGrade(int i) {
    return i % 40 == 0;
}
// Every hundred-and-first grade has a count row processed already.
bool processedCount(int i) {
    return i % 101 == 0;
}

QVariant fieldValue(const Statement& row, int column, const db::Dialect& dialect) {
    switch (sqlite3_column_type(row.handle(), column)) {
    case SQLITE_INTEGER:
        return row.columnInt(column);
    case SQLITE_FLOAT:
        return row.columnReal(column);
    case SQLITE_NULL:
        return {};
    default:
        break;
    }
    const QString text = QString::fromUtf8(row.columnText(column));
    if (const QDate date = QDate::fromString(text, QStringLiteral("yyyy-MM-dd")); date.isValid())
        return dialect.date(date);
    if (const QDateTime moment = QDateTime::fromString(text, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
        moment.isValid())
        return dialect.dateTime(moment);
    return text;
}
} // namespace

void makeCatalogue(const QString& path, int grades) {
    if (QFileInfo::exists(path))
        return;
    const QString partial = path + QStringLiteral(".part");
    QFile::remove(partial);
    {
        Sqlite db(partial);
        db.exec("PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;");
        const db::Dialect& dialect = *db::Dialect::forName(QStringLiteral("SQLite"));
        for (const QString& statement : db::schemaStatements(dialect))
            db.exec(statement.toUtf8());
        db.exec("BEGIN");
        db.exec("Insert Into Filiais Values ('01', 'Matriz');"
                "Insert Into CausInv Values ('001', 'Inventario anual')");
        Statement produto(db, "Insert Into Produto Values (?, ?, ?, ?, ?)");
        Statement grade(db, "Insert Into ProdGrade Values (?, ?, ?)");
        Statement comp(db, "Insert Into CompProd Values ('01', ?, ?, ?, ?)");
        Statement old(db, "Insert Into Relacionarefant Values (?, ?)");
        Statement movement(db, "Insert Into MvGeral Values ('01', ?, '0001', '2026-11-02 00:00:00',"
                               " 'A', '0000000000', '01', 'NF1', 1, 1)");
        Statement processed(db, "Insert Into Inventa Values ('01', '2026-12-01', '20261201A', ?,"
                                " ?, 'S', '011226080000', 'ADMIN', 3, 3, 1, '001')");
        for (int i = 0; i < grades; ++i) {
            const QByteArray code = productCode(i);
            produto.text(1, code)
                .text(2, "Produto " + QByteArray::number(i))
                .integer(3, keptByGrade(i) ? 2 : (i % 2 == 0 ? 1 : 3))
                .text(4, "REF" + QByteArray::number(i))
                .text(5, "FAB" + QByteArray::number(i))
                .run();
            grade.text(1, code).text(2, "0001").text(3, barcode(i)).run();
            for (const char* gradeCode : {"0001", "0000"})
                comp.text(1, code)
                    .text(2, gradeCode)
                    .real(3, i % 50)
                    .real(4, (i % 1000) / 100.0)
                    .run();
            if (i % 10 == 0)
                old.text(1, "REF" + QByteArray::number(i))
                    .text(2, "ANT" + QByteArray::number(i))
                    .run();
            if (i % 97 == 0)
                movement.text(1, code).run();
            if (processedCount(i))
                processed.text(1, code).text(2, "0001").run();
        }
        db.exec("COMMIT");
    }
    if (!QFile::rename(partial, path))
        qFatal("Can't keep the catalogue at %s", qPrintable(path));
}

void makeCollectorFile(const QString& path, int lines, int grades) {
    std::mt19937 random(20261201);
    std::uniform_int_distribution<int> anyGrade(0, grades - 1);
    std::uniform_int_distribution<int> percent(0, 99);
    std::vector<int> read;
    QByteArray text;
    text.reserve(static_cast<qsizetype>(lines) * 20);
    for (int n = 0; n < lines; ++n) {
        const int kind = percent(random);
        // About a third of the readings are of a product read before: a clerk scans a shelf's
        // items one by one.
        int i = anyGrade(random);
        if (!read.empty() && percent(random) < 30)
            read.push_back(
                i = read[std::uniform_int_distribution<size_t>(0, read.size() - 1)(random)]);
        else
            read.push_back(i);
        QByteArray code;
        if (kind < 5)
            code = "X" + QByteArray::number(n) + "NAOCADASTRADO";
        else if (kind < 75)
            code = barcode(i);
        else if (kind < 87)
            code = (kind % 2 ? "ref" : "REF") + QByteArray::number(i);
        else if (kind < 93)
            code = "fab" + QByteArray::number(i);
        else
            code = "ant" + QByteArray::number(i / 10 * 10);
        static const char* const quantities[] = {"1", "2", "1,5", "12", "-1", "0,25", "3"};
        text += code + ',' + quantities[n % 7] + "\r\n";
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        qFatal("Can't write %s", qPrintable(path));
}

void makeDistinctCollectorFile(const QString& path, int lines, int grades) {
    QByteArray text;
    text.reserve(static_cast<qsizetype>(lines) * 16);
    int written = 0;
    for (int i = 0; i < grades && written < lines; ++i) {
        // A grade with a processed count row would be refused, and write no row.
        if (processedCount(i))
            continue;
        text += barcode(i) + ",2\r\n";
        ++written;
    }
    if (written < lines)
        qFatal("%d grades have fewer than %d products to read once", grades, lines);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
        qFatal("Can't write %s", qPrintable(path));
}

QStringList writtenRows(const QString& databasePath) {
    Sqlite db(databasePath);
    QStringList rows;
    for (const char* select :
         {"Select CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado,"
          " substr(DataHora, 1, 6), Usuario, quote(Quantidade), quote(QuantKardex),"
          " quote(PrecoCusto), CodCausa From Inventa"
          " Order By CodEmpresa, DataInv, Documento, CodProd, CodGrade",
          "Select CODEMPRESA, CODPROD, CODGRADE, DATAINICIO, quote(QUANTIDADE),"
          " quote(PRECOMEDIO), USUARIO, substr(DATAHORA, 1, 6) From INCIEST"
          " Order By CODEMPRESA, CODPROD, CODGRADE",
          "Select CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOAGENTE, CODIGOAGENTE, TIPOMOV,"
          " DOCUMENTO, quote(QUANTIDADE), quote(PRECOMEDIO) From MVGERAL"
          " Order By CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, DOCUMENTO, TIPOMOV"}) {
        Statement statement(db, select);
        while (statement.step()) {
            QStringList fields;
            for (int c = 0; c < statement.columns(); ++c)
                fields << QString::fromUtf8(statement.columnText(c));
            rows << fields.join(QLatin1Char('|'));
        }
    }
    return rows;
}

void copyCatalogue(const QString& catalogue, QSqlDatabase target, const db::Dialect& dialect) {
    Sqlite source(catalogue);
    target.transaction();
    for (const char* table : {"Filiais", "CausInv", "Produto", "ProdGrade", "Relacionarefant",
                              "CompProd", "MvGeral", "Inventa"}) {
        Statement rows(source, (QByteArray("Select * From ") + table).constData());
        QStringList marks;
        for (int c = 0; c < rows.columns(); ++c)
            marks << QStringLiteral("?");
        QSqlQuery insert(target);
        if (!insert.prepare(QStringLiteral("Insert Into %1 Values (%2)")
                                .arg(QLatin1String(table), marks.join(QStringLiteral(", ")))))
            qFatal("%s", qPrintable(insert.lastError().text()));
        while (rows.step()) {
            for (int c = 0; c < rows.columns(); ++c)
                insert.bindValue(c, fieldValue(rows, c, dialect));
            if (!insert.exec())
                qFatal("%s: %s", table, qPrintable(insert.lastError().text()));
        }
    }
    if (!target.commit())
        qFatal("%s", qPrintable(target.lastError().text()));
    // A company's database has statistics for its planner; one freshly filled has none, and its
    // plans for the joined old-reference search would be no company's.
    QSqlQuery statistics(target);
    if (dialect.name() == QLatin1String("PostgreSQL")) {
        if (!statistics.exec(QStringLiteral("ANALYZE")))
            qFatal("%s", qPrintable(statistics.lastError().text()));
    } else if (dialect.name() == QLatin1String("Firebird")) {
        QStringList indexes;
        if (!statistics.exec(QStringLiteral("Select Trim(RDB$INDEX_NAME) From RDB$INDICES "
                                            "Where Coalesce(RDB$SYSTEM_FLAG, 0) = 0")))
            qFatal("%s", qPrintable(statistics.lastError().text()));
        while (statistics.next())
            indexes << statistics.value(0).toString();
        statistics.finish();
        target.transaction();
        for (const QString& index : indexes)
            if (!statistics.exec(QStringLiteral("SET STATISTICS INDEX %1").arg(index)))
                qFatal("%s", qPrintable(statistics.lastError().text()));
        target.commit();
    }
}

} // namespace bench
