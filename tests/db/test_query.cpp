#include "db/Errors.h"
#include "db/LookupQuery.h"
#include "db/Query.h"
#include "db/Schema.h"
#include "db/Statements.h"
#include "tests/TestDatabase.h"

#include <QTest>

class TestQuery : public QObject {
    Q_OBJECT
private slots:
    void schemaCreatesEveryTable() {
        TestDatabase database;
        const QStringList tables = database.database().tables();
        for (const char* table : {"Filiais", "CausInv", "ProdGrade", "Produto", "Relacionarefant",
                                  "CompProd", "Inventa", "MvGeral", "INCIEST"})
            QVERIFY2(tables.contains(QString::fromLatin1(table), Qt::CaseInsensitive), table);
    }

    void searchesUseTheUpperIndexes() {
        if (TestDatabase::engine() != QLatin1String("sqlite"))
            QSKIP("reads SQLite's query plan");
        TestDatabase database;
        const QStringList plan =
            database.rows(QStringLiteral("EXPLAIN QUERY PLAN Select CodProd From ProdGrade Where "
                                         "upper(ProdGrade.CodBarra) = 'X'"));
        QVERIFY2(plan.join(QLatin1Char(' ')).contains(QLatin1String("ProdGrade_CodBarra_Upper")),
                 qPrintable(plan.join(QLatin1Char(' '))));
    }

    void readsEmptyAndNullAsEmptyAndZero() {
        TestDatabase database;
        database.exec(
            QStringLiteral("Insert Into CompProd Values ('01', 'P1', '0000', NULL, 2.5)"));
        db::Query query(database.database(), database.dialect());
        query.setText(
            QStringLiteral("Select Estoque, PrecoCusto From CompProd Where CodProd = :PCodProd"));
        query.bindText(QStringLiteral(":PCodProd"), QStringLiteral("P1"));
        query.open();
        QVERIFY(!query.isEmpty());
        QCOMPARE(query.number(QStringLiteral("Estoque")), 0.0);
        QCOMPARE(query.number(QStringLiteral("PrecoCusto")), 2.5);
        query.bindText(QStringLiteral(":PCodProd"), QString());
        query.open();
        QVERIFY(query.isEmpty());
        QCOMPARE(query.text(QStringLiteral("Estoque")), QString());
        QCOMPARE(query.number(QStringLiteral("PrecoCusto")), 0.0);
    }

    // A company database may key its tables on CHAR columns, which some engines hand back
    // padded with blanks; codes are read without the padding, VARCHAR texts as stored.
    void fixedCharColumnsReadWithoutPadding() {
        TestDatabase database;
        database.exec(QStringLiteral("Create Table Fixos (Codigo CHAR(4), Nome VARCHAR(8))"));
        database.exec(QStringLiteral("Insert Into Fixos Values ('01', 'ab  ')"));
        db::Query query(database.database(), database.dialect());
        query.setText(QStringLiteral("Select Codigo, Nome From Fixos"));
        query.open();
        QCOMPARE(query.text(QStringLiteral("Codigo")), QStringLiteral("01"));
        QCOMPARE(query.text(QStringLiteral("Nome")), QStringLiteral("ab  "));

        db::LookupQuery lookup(QStringLiteral("Fixos"),
                               QStringLiteral("Select Codigo, Nome From Fixos"),
                               QStringLiteral("Codigo"));
        lookup.open(database.database(), database.dialect());
        QVERIFY(lookup.locate(QStringLiteral("01")));
        QCOMPARE(lookup.fieldText(QStringLiteral("Codigo")), QStringLiteral("01"));
        QCOMPARE(lookup.data(lookup.index(0, 0)).toString(), QStringLiteral("01"));
    }

    // A collector code longer than any column is searched like any other: no match, no error.
    void codeLongerThanTheColumnFindsNothing() {
        TestDatabase database;
        db::Query query(database.database(), database.dialect());
        query.setText(QString::fromLatin1(db::sql::BarcodeSearch));
        query.bindText(QStringLiteral(":PCodBarra"), QString(80, QLatin1Char('7')));
        query.open();
        QVERIFY(query.isEmpty());
        query.setText(QString::fromLatin1(db::sql::ReferenceSearch3));
        query.bindText(QStringLiteral(":PReferencia"), QString(80, QLatin1Char('R')));
        query.open();
        QVERIFY(query.isEmpty());
    }

    void refusedStatementCarriesTheDriverMessage() {
        TestDatabase database;
        db::Query query(database.database(), database.dialect());
        try {
            query.setText(QStringLiteral("Select Nada From TabelaQueNaoExiste"));
            query.open();
            QFAIL("no error raised");
        } catch (const db::DatabaseError& error) {
            QVERIFY2(
                error.message().contains(QLatin1String("TabelaQueNaoExiste"), Qt::CaseInsensitive),
                qPrintable(error.message()));
        }
    }

    void transactionRollsBackUnlessCommitted() {
        TestDatabase database;
        {
            db::TransactionGuard transaction(database.database());
            database.exec(QStringLiteral("Insert Into Filiais Values ('01', 'Matriz')"));
        }
        QCOMPARE(database.rows(QStringLiteral("Select * From Filiais")), QStringList());
        {
            db::TransactionGuard transaction(database.database());
            database.exec(QStringLiteral("Insert Into Filiais Values ('02', 'Filial')"));
            transaction.commit();
        }
        QCOMPARE(database.rows(QStringLiteral("Select * From Filiais")),
                 QStringList{QStringLiteral("02|Filial")});
    }
};

QTEST_GUILESS_MAIN(TestQuery)
#include "test_query.moc"
