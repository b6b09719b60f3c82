#include "db/Dialect.h"
#include "db/Schema.h"
#include "tests/TestMain.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

// The three schema scripts are written by hand, one per engine; they must declare the same tables,
// columns, keys and indexes, or a run, a test or the demo data behaves differently per engine.
namespace {

// What a script declares, one line per fact, spelled the same for every engine.
struct Declared {
    QStringList facts;
    // Statements and clauses the reader does not know: differences there would go unseen.
    QStringList unread;
};

// Spellings of one column type that differ between the engines.
const QHash<QString, QString> SameType = {
    {QStringLiteral("INT"), QStringLiteral("INTEGER")},
    {QStringLiteral("CHARACTER"), QStringLiteral("CHAR")},
    {QStringLiteral("CHARACTER VARYING"), QStringLiteral("VARCHAR")},
    {QStringLiteral("BLOB SUB_TYPE TEXT"), QStringLiteral("TEXT")},
    {QStringLiteral("TIMESTAMP WITHOUT TIME ZONE"), QStringLiteral("TIMESTAMP")},
};

// Words that end a column's type and begin one of its clauses.
const QSet<QString> ColumnClauses = {
    QStringLiteral("NOT"),     QStringLiteral("NULL"),       QStringLiteral("DEFAULT"),
    QStringLiteral("PRIMARY"), QStringLiteral("REFERENCES"), QStringLiteral("UNIQUE"),
    QStringLiteral("CHECK"),   QStringLiteral("CONSTRAINT"), QStringLiteral("COLLATE"),
};

// Identifiers without quotes are the same in any case on every engine.
QStringList tokens(const QString& statement) {
    static const QRegularExpression token(QStringLiteral(R"('(?:[^']|'')*'|[\w$.]+|\S)"));
    QStringList result;
    for (const auto& match : token.globalMatch(statement))
        result << match.captured().toUpper();
    return result;
}

bool isWord(const QString& token) {
    return token.front().isLetterOrNumber() || token.front() == u'_' || token.front() == u'\'';
}

// Tokens as one text, spaced only between words: "upper ( CodBarra )" reads "UPPER(CODBARRA)".
QString joined(const QStringList& parts) {
    QString text;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i > 0 && isWord(parts[i - 1]) && isWord(parts[i]))
            text += u' ';
        text += parts[i];
    }
    return text;
}

// The tokens inside the parentheses that open at t[at]; at moves past the closing one.
QStringList group(const QStringList& t, qsizetype& at) {
    QStringList inside;
    if (t.value(at) != u'(')
        return inside;
    int depth = 0;
    for (; at < t.size(); ++at) {
        depth += t[at] == u'(' ? 1 : t[at] == u')' ? -1 : 0;
        if (depth == 0)
            break;
        if (depth > 1 || t[at] != u'(')
            inside << t[at];
    }
    ++at;
    return inside;
}

// The items of a list split at its top-level commas.
QList<QStringList> items(const QStringList& list) {
    QList<QStringList> result{{}};
    int depth = 0;
    for (const QString& token : list) {
        depth += token == u'(' ? 1 : token == u')' ? -1 : 0;
        if (depth == 0 && token == u',')
            result.append(QStringList());
        else
            result.last() << token;
    }
    return result;
}

QString foreignKey(const QString& table, const QString& columns, const QStringList& t,
                   qsizetype& at) {
    const QString target = t.value(at++);
    return QStringLiteral("foreign key %1 (%2) references %3 (%4)")
        .arg(table, columns, target, joined(group(t, at)));
}

// A key, a foreign key or a unique set declared apart from the columns.
void readTableClause(const QString& table, const QStringList& t, Declared& out) {
    qsizetype at = t.value(0) == QLatin1String("CONSTRAINT") ? 2 : 0;
    const QString kind = t.value(at++);
    QString fact;
    if (kind == QLatin1String("UNIQUE")) {
        fact = QStringLiteral("unique %1 (%2)").arg(table, joined(group(t, at)));
    } else if (kind == QLatin1String("PRIMARY") && t.value(at++) == QLatin1String("KEY")) {
        fact = QStringLiteral("primary key %1 (%2)").arg(table, joined(group(t, at)));
    } else if (kind == QLatin1String("FOREIGN") && t.value(at++) == QLatin1String("KEY")) {
        const QString columns = joined(group(t, at));
        if (t.value(at++) == QLatin1String("REFERENCES"))
            fact = foreignKey(table, columns, t, at);
    }
    // What follows, such as ON DELETE, is not compared, so it may not pass unseen.
    if (fact.isEmpty() || at < t.size())
        out.unread << joined(t);
    else
        out.facts << fact;
}

// A column, numbered by its place: statements that insert without naming columns rely on it.
void readColumn(const QString& table, int place, const QStringList& t, Declared& out) {
    const QString name = t.value(0);
    qsizetype at = 1;
    QStringList type;
    while (at < t.size() && t[at] != u'(' && !ColumnClauses.contains(t[at]))
        type << t[at++];
    const QString size = at < t.size() && t[at] == u'(' ? joined(group(t, at)) : QString();
    QString column = QStringLiteral("column %1 #%2 %3 %4")
                         .arg(table)
                         .arg(place)
                         .arg(name, SameType.value(type.join(u' '), type.join(u' ')));
    if (!size.isEmpty())
        column += QStringLiteral("(%1)").arg(size);
    QString notNull;
    QString defaultValue;
    while (at < t.size()) {
        const QString word = t[at++];
        if (word == QLatin1String("NOT") && t.value(at) == QLatin1String("NULL")) {
            ++at;
            notNull = QStringLiteral(" not null");
        } else if (word == QLatin1String("DEFAULT")) {
            QStringList value;
            while (at < t.size() && !ColumnClauses.contains(t[at]))
                value << t[at++];
            defaultValue = QStringLiteral(" default ") + joined(value);
        } else if (word == QLatin1String("PRIMARY") && t.value(at) == QLatin1String("KEY")) {
            ++at;
            out.facts << QStringLiteral("primary key %1 (%2)").arg(table, name);
        } else if (word == QLatin1String("UNIQUE")) {
            out.facts << QStringLiteral("unique %1 (%2)").arg(table, name);
        } else if (word == QLatin1String("REFERENCES")) {
            out.facts << foreignKey(table, name, t, at);
        } else if (word == QLatin1String("CONSTRAINT")) {
            ++at;
        } else if (word != QLatin1String("NULL")) {
            out.unread << joined(t);
            return;
        }
    }
    out.facts << column + notNull + defaultValue;
}

void readTable(const QStringList& t, Declared& out) {
    const QString table = t.value(2);
    qsizetype at = 3;
    const QList<QStringList> parts = items(group(t, at));
    // How SQLite stores a table is its own affair, not something the engines agree on.
    if (t.mid(at) == QStringList{QStringLiteral("WITHOUT"), QStringLiteral("ROWID")})
        at = t.size();
    if (at != t.size())
        out.unread << joined(t);
    out.facts << QStringLiteral("table %1").arg(table);
    static const QSet<QString> clauses = {QStringLiteral("CONSTRAINT"), QStringLiteral("PRIMARY"),
                                          QStringLiteral("FOREIGN"), QStringLiteral("UNIQUE")};
    int place = 0;
    for (const QStringList& part : parts) {
        if (clauses.contains(part.value(0)))
            readTableClause(table, part, out);
        else
            readColumn(table, ++place, part, out);
    }
}

// Firebird writes an index on an expression "COMPUTED BY (...)", the others "(...)".
void readIndex(const QStringList& t, Declared& out) {
    const bool unique = t.value(1) == QLatin1String("UNIQUE");
    qsizetype at = unique ? 3 : 2;
    const QString name = t.value(at++);
    if (t.value(at++) != QLatin1String("ON")) {
        out.unread << joined(t);
        return;
    }
    const QString table = t.value(at++);
    if (t.value(at) == QLatin1String("COMPUTED"))
        at += t.value(at + 1) == QLatin1String("BY") ? 2 : 1;
    const QString columns = joined(group(t, at));
    if (at != t.size())
        out.unread << joined(t);
    out.facts << QStringLiteral("%1index %2 on %3 (%4)")
                     .arg(unique ? QStringLiteral("unique ") : QString(), name, table, columns);
}

Declared declared(const QStringList& statements) {
    Declared out;
    for (const QString& statement : statements) {
        const QStringList t = tokens(statement);
        if (t.value(0) == QLatin1String("CREATE") && t.value(1) == QLatin1String("TABLE"))
            readTable(t, out);
        else if (t.value(0) == QLatin1String("CREATE") &&
                 (t.value(1) == QLatin1String("INDEX") ||
                  (t.value(1) == QLatin1String("UNIQUE") && t.value(2) == QLatin1String("INDEX"))))
            readIndex(t, out);
        else if (!t.isEmpty())
            out.unread << joined(t);
    }
    return out;
}

Declared declaredIn(const QString& text) {
    return declared(text.split(u';', Qt::SkipEmptyParts));
}

// The facts one side declares and the other does not, for a message that names them.
QString difference(const QStringList& left, const QStringList& right, const QString& leftName,
                   const QString& rightName) {
    const QSet<QString> a(left.cbegin(), left.cend());
    const QSet<QString> b(right.cbegin(), right.cend());
    if (a == b)
        return {};
    const auto listed = [](const QSet<QString>& facts) {
        QStringList sorted = facts.values();
        sorted.sort();
        return sorted.isEmpty() ? QStringLiteral("(nothing)") : sorted.join(QStringLiteral("; "));
    };
    return QStringLiteral("\n  only in %1: %2\n  only in %3: %4")
        .arg(leftName, listed(a - b), rightName, listed(b - a));
}

} // namespace

class TestSchema : public QObject {
    Q_OBJECT
private slots:
    void scriptsAgree_data() {
        QTest::addColumn<QString>("engine");
        QTest::newRow("PostgreSQL") << "PostgreSQL";
        QTest::newRow("Firebird") << "Firebird";
    }
    // Each script is held to the SQLite one, which the demo folder and most tests are built from.
    void scriptsAgree() {
        QFETCH(QString, engine);
        const Declared sqlite = declared(db::schemaStatements(*db::Dialect::forName("SQLite")));
        const Declared other = declared(db::schemaStatements(*db::Dialect::forName(engine)));
        QVERIFY2(sqlite.unread.isEmpty(), qPrintable(sqlite.unread.join(u'\n')));
        QVERIFY2(other.unread.isEmpty(), qPrintable(other.unread.join(u'\n')));
        QVERIFY(sqlite.facts.contains(QStringLiteral("table PRODUTO")));
        const QString missing = difference(sqlite.facts, other.facts, "SQLite", engine);
        QVERIFY2(missing.isEmpty(), qPrintable(missing));
    }

    // The reader tells apart what the engines must agree on and lets each engine spell it its way.
    void readerComparesWhatMatters_data() {
        QTest::addColumn<QString>("left");
        QTest::addColumn<QString>("right");
        QTest::addColumn<bool>("same");
        const QString table = "CREATE TABLE T (A VARCHAR(4) NOT NULL, B INTEGER DEFAULT 1, "
                              "PRIMARY KEY (A)); CREATE INDEX T_B ON T (upper(B))";
        QTest::newRow("engine spellings")
            << table
            << "create table t (a CHARACTER VARYING(4) not null, b INT default 1, primary key "
               "(a)); CREATE INDEX T_B ON T COMPUTED BY (UPPER(b))"
            << true;
        QTest::newRow("keys inline or apart")
            << "CREATE TABLE T (A VARCHAR(4) NOT NULL PRIMARY KEY REFERENCES U (X))"
            << "CREATE TABLE T (A VARCHAR(4) NOT NULL, PRIMARY KEY (A), "
               "CONSTRAINT T_U FOREIGN KEY (A) REFERENCES U (X))"
            << true;
        QTest::newRow("column size") << table << QString(table).replace("(4)", "(5)") << false;
        QTest::newRow("column type")
            << table << QString(table).replace("INTEGER", "CHAR(1)") << false;
        QTest::newRow("nullable") << table << QString(table).replace(" NOT NULL", "") << false;
        QTest::newRow("default") << table << QString(table).replace("DEFAULT 1", "DEFAULT 2")
                                 << false;
        QTest::newRow("column order")
            << table
            << "CREATE TABLE T (B INTEGER DEFAULT 1, A VARCHAR(4) NOT NULL, "
               "PRIMARY KEY (A)); CREATE INDEX T_B ON T (upper(B))"
            << false;
        QTest::newRow("primary key")
            << table << QString(table).replace("KEY (A)", "KEY (A, B)") << false;
        QTest::newRow("foreign key")
            << table << QString(table).replace("NOT NULL,", "NOT NULL REFERENCES U (X),") << false;
        QTest::newRow("index") << table << QString(table).replace("(upper(B))", "(B)") << false;
        QTest::newRow("missing index") << table << table.section(u';', 0, 0) << false;
    }
    void readerComparesWhatMatters() {
        QFETCH(QString, left);
        QFETCH(QString, right);
        QFETCH(bool, same);
        const Declared a = declaredIn(left);
        const Declared b = declaredIn(right);
        QVERIFY2(a.unread.isEmpty() && b.unread.isEmpty(),
                 qPrintable((a.unread + b.unread).join(u'\n')));
        const QString missing = difference(a.facts, b.facts, "left", "right");
        QVERIFY2(missing.isEmpty() == same, qPrintable(missing));
    }

    // What the reader cannot compare is reported, never skipped as if the scripts agreed there.
    void readerReportsWhatItCannotCompare_data() {
        QTest::addColumn<QString>("statement");
        QTest::newRow("delete action") << "CREATE TABLE T (A INTEGER, FOREIGN KEY (A) REFERENCES "
                                          "U (X) ON DELETE CASCADE)";
        QTest::newRow("inline delete action")
            << "CREATE TABLE T (A INTEGER REFERENCES U (X) ON DELETE CASCADE)";
        QTest::newRow("automatic key") << "CREATE TABLE T (A INTEGER PRIMARY KEY AUTOINCREMENT)";
        QTest::newRow("check") << "CREATE TABLE T (A INTEGER CHECK (A > 0))";
        QTest::newRow("other statement") << "CREATE SEQUENCE T_A";
    }
    void readerReportsWhatItCannotCompare() {
        QFETCH(QString, statement);
        QCOMPARE(declaredIn(statement).unread.size(), 1);
    }
};

COLETOR_GUILESS_TEST_MAIN(TestSchema)
#include "test_schema.moc"
