#include "db/Errors.h"
#include "db/LookupQuery.h"
#include "db/Query.h"
#include "db/Schema.h"
#include "db/Statement.h"
#include "db/Statements.h"
#include "tests/TcpRelay.h"
#include "tests/TestDatabase.h"
#include "tests/TestMain.h"

#include <QSqlError>
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

    // The fast path borrows the driver's handle only where both use one library, as the Debian
    // build does; a server connection has none to borrow.
    void sqliteHandleOnlyFromTheSharedLibrary() {
        TestDatabase database;
        const bool sqlite = TestDatabase::engine() == QLatin1String("sqlite");
        if (sqlite)
            QVERIFY(db::sharesSqliteLibrary(database.database()));
        QCOMPARE(db::sqliteHandle(database.database()) != nullptr, sqlite);
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
                               QStringLiteral("Fixos"), QStringLiteral("Codigo"));
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

    // A text bound as it stands arrives whole: an empty one (before any other at its position)
    // as empty, not null, accents and other scripts, and a shorter text after a longer one.
    void textsBoundAsTheyStand() {
        TestDatabase database;
        database.exec(QStringLiteral("Create Table Textos (Ordem INTEGER, Codigo VARCHAR(20))"));
        const QStringList texts = {QString(), QStringLiteral("CALÇA-ÃÉ-ü"), QStringLiteral("7"),
                                   QStringLiteral("日本語コード"), QString(20, u'Z')};
        {
            db::TransactionGuard transaction(database.database(), database.dialect());
            const auto insert = db::Statement::prepare(
                database.database(), database.dialect(),
                "Insert Into Textos (Ordem, Codigo) Values (:POrdem, :PCodigo)");
            for (qsizetype at = 0; at < texts.size(); ++at) {
                insert->bindFloat(0, static_cast<double>(at));
                insert->bindText(1, texts[at]);
                insert->execute();
            }
            transaction.commit();
        }
        QCOMPARE(database.rows(
                     QStringLiteral("Select Coalesce(Codigo, 'null') From Textos Order By Ordem")),
                 texts);
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

    // An insert whose count of rows nobody uses costs one round trip: some drivers ask the server
    // for the count in a trip of its own.
    void executeAsksNoRowCount() {
        if (TestDatabase::engine() == QLatin1String("sqlite"))
            QSKIP("no network between SQLite and the tool");
        TestDatabase database;
        const QSqlDatabase direct = database.database();
        if (!TcpRelay::available())
            QSKIP("no relay on this platform");
        TcpRelay relay(direct.hostName(), direct.port());
        QSqlDatabase link = QSqlDatabase::cloneDatabase(direct, QStringLiteral("relayed"));
        link.setHostName(QStringLiteral("127.0.0.1"));
        link.setPort(relay.port());
        QVERIFY2(link.open(), qPrintable(link.lastError().text()));
        {
            db::TransactionGuard transaction(link, database.dialect());
            const auto insert =
                db::Statement::prepare(link, database.dialect(), db::sql::InsertOpeningMovement);
            const db::BoundValue text(QStringLiteral("01"));
            const db::BoundValue moment(
                database.dialect().dateTime(QDateTime(QDate(2026, 12, 6), QTime(0, 0))));
            for (int position : {0, 1, 2, 4, 5})
                insert->bind(position, text);
            insert->bind(3, moment);
            const auto tripsFor = [&](int inserts) {
                const int before = relay.requests();
                for (int i = 0; i < inserts; ++i) {
                    insert->bindFloat(6, i);
                    insert->bindFloat(7, i);
                    insert->execute();
                }
                return relay.requests() - before;
            };
            tripsFor(1);
            const int ten = tripsFor(10);
            QCOMPARE(tripsFor(20) - ten, 10);
            transaction.commit();
        }
        link.close();
        link = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("relayed"));
    }
};

COLETOR_GUILESS_TEST_MAIN(TestQuery)
#include "test_query.moc"
