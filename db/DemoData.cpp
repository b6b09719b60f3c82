#include "DemoData.h"

#include "Query.h"
#include "Statement.h"

#include <QStringList>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace db::demo {

namespace {

const QStringList Items = {
    QStringLiteral("Camiseta básica"),      QStringLiteral("Calça jeans"),
    QStringLiteral("Tênis de corrida"),     QStringLiteral("Meia esportiva"),
    QStringLiteral("Boné aba curva"),       QStringLiteral("Jaqueta corta-vento"),
    QStringLiteral("Bermuda de sarja"),     QStringLiteral("Camisa social"),
    QStringLiteral("Vestido floral"),       QStringLiteral("Saia plissada"),
    QStringLiteral("Cinto de couro"),       QStringLiteral("Mochila escolar"),
    QStringLiteral("Garrafa térmica"),      QStringLiteral("Caderno universitário"),
    QStringLiteral("Caneta esferográfica"), QStringLiteral("Lápis de cor"),
};
const QStringList Variants = {QStringLiteral("azul"),   QStringLiteral("preto"),
                              QStringLiteral("branco"), QStringLiteral("vermelho"),
                              QStringLiteral("verde"),  QStringLiteral("cinza")};

constexpr int ProductCount = 320;

QString productCode(int n) {
    return QStringLiteral("%1").arg(n, 6, 10, QLatin1Char('0'));
}

// Every 40th product is kept by grade (Grade 2); every 25th is kept without grades as Grade 3.
int gradeOf(int n) {
    if (n % 40 == 0)
        return 2;
    return n % 25 == 0 ? 3 : 1;
}

QString barcode(int n, int grade) {
    const QString twelve = QStringLiteral("789%1%2")
                               .arg(n, 6, 10, QLatin1Char('0'))
                               .arg(grade, 3, 10, QLatin1Char('0'));
    return twelve + QString::number(ean13CheckDigit(twelve));
}

// The demo's inserts, each text prepared once and run for every row it writes.
class Inserts {
public:
    Inserts(const QSqlDatabase& database, const Dialect& dialect)
        : m_database(database)
        , m_dialect(dialect) {
        if (auto cancel = dialect.canceller(database))
            m_watchdog = std::make_unique<StatementWatchdog>(std::move(cancel), LockWaitLimit);
    }

    // Binds the values in order: numbers as numbers, dates in the dialect's form, the rest as
    // text.
    void run(const char* text, const QVariantList& values) {
        std::unique_ptr<Statement>& statement = m_prepared[text];
        if (!statement)
            statement = Statement::prepare(m_database, m_dialect, text, m_watchdog.get());
        std::vector<BoundValue> bound;
        bound.reserve(values.size());
        for (int i = 0; i < values.size(); ++i) {
            const QVariant& value = values[i];
            if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Int) {
                statement->bindFloat(i, value.toDouble());
                continue;
            }
            if (value.typeId() == QMetaType::QDate)
                bound.emplace_back(m_dialect.date(value.toDate()));
            else if (value.typeId() == QMetaType::QDateTime)
                bound.emplace_back(m_dialect.dateTime(value.toDateTime()));
            else
                bound.emplace_back(value.toString());
            statement->bind(i, bound.back());
        }
        statement->execute();
    }

private:
    QSqlDatabase m_database;
    const Dialect& m_dialect;
    std::unique_ptr<StatementWatchdog> m_watchdog;
    std::unordered_map<std::string, std::unique_ptr<Statement>> m_prepared;
};

} // namespace

int ean13CheckDigit(const QString& twelveDigits) {
    int sum = 0;
    for (int i = 0; i < 12; ++i)
        sum += twelveDigits.at(i).digitValue() * (i % 2 == 0 ? 1 : 3);
    return (10 - sum % 10) % 10;
}

void fill(QSqlDatabase database, const Dialect& dialect, const QDate& inventoryDate) {
    TransactionGuard transaction(database);
    // Declared after the transaction, so its statements are finalised before it ends.
    Inserts inserts(database, dialect);
    const char* company = "Insert Into Filiais (CodEmpresa, NomeEmpresa) Values (:v0, :v1)";
    inserts.run(company, {QStringLiteral("01"), QStringLiteral("Matriz - São Paulo")});
    inserts.run(company, {QStringLiteral("02"), QStringLiteral("Filial Centro - Campinas")});
    inserts.run(company, {QStringLiteral("07"), QStringLiteral("Loja Sul - Curitiba")});
    const char* cause = "Insert Into CausInv (CodCausa, Descricao) Values (:v0, :v1)";
    inserts.run(cause, {QStringLiteral("001"), QStringLiteral("Inventário anual")});
    inserts.run(cause, {QStringLiteral("002"), QStringLiteral("Inventário rotativo")});
    inserts.run(cause, {QStringLiteral("005"), QStringLiteral("Ajuste de perdas e quebras")});
    inserts.run(cause, {QStringLiteral("010"), QStringLiteral("Auditoria externa")});

    for (int n = 1; n <= ProductCount; ++n) {
        const int grade = gradeOf(n);
        const QString code = productCode(n);
        const QString name = Items[n % Items.size()] + QLatin1Char(' ') +
                             Variants[(n / Items.size()) % Variants.size()];
        inserts.run("Insert Into Produto (CodProd, Descricao, Grade, Referencia, Reffabricante) "
                    "Values (:v0, :v1, :v2, :v3, :v4)",
                    {code, name, grade, QStringLiteral("REF%1").arg(n, 4, 10, QLatin1Char('0')),
                     QStringLiteral("FB-%1").arg(5000 + n)});
        const QStringList grades = grade == 2
                                       ? QStringList{QStringLiteral("0001"), QStringLiteral("0002"),
                                                     QStringLiteral("0003")}
                                       : QStringList{QStringLiteral("0000")};
        for (int g = 0; g < grades.size(); ++g) {
            inserts.run(
                "Insert Into ProdGrade (CodProd, CodGrade, CodBarra) Values (:v0, :v1, :v2)",
                {code, grades[g], barcode(n, grade == 2 ? g + 1 : 0)});
            for (const char* companyCode : {"01", "02"}) {
                inserts.run(
                    "Insert Into CompProd (CodEmpresa, CodProd, CodGrade, Estoque, PrecoCusto) "
                    "Values (:v0, :v1, :v2, :v3, :v4)",
                    {QString::fromLatin1(companyCode), code, grades[g], double((n * 7) % 90),
                     10.0 + (n % 50) * 1.25});
            }
        }
    }
    // Old references of the first products, replaced by the current ones.
    for (int n = 1; n <= 20; ++n) {
        inserts.run(
            "Insert Into Relacionarefant (ReferenciaAtual, Referenciaantiga) Values (:v0, :v1)",
            {QStringLiteral("REF%1").arg(n, 4, 10, QLatin1Char('0')),
             QStringLiteral("ANT-%1").arg(n, 3, 10, QLatin1Char('0'))});
    }
    // Product 000004 was counted and processed in company 01 on the demo's inventory date.
    inserts.run(
        "Insert Into Inventa (CodEmpresa, DataInv, Documento, CodProd, CodGrade, Processado, "
        "DataHora, Usuario, Quantidade, QuantKardex, PrecoCusto, CodCausa) "
        "Values (:v0, :v1, :v2, :v3, :v4, 'S', :v5, 'ADMIN', :v6, :v7, :v8, :v9)",
        {QStringLiteral("01"), inventoryDate,
         inventoryDate.toString(QStringLiteral("yyyyMMdd")) + QLatin1Char('A'), productCode(4),
         QStringLiteral("0000"),
         inventoryDate.toString(QStringLiteral("ddMMyy")) + QStringLiteral("080000"), 12.0, 12.0,
         15.0, QStringLiteral("001")});
    // Products 000010 to 000014 already have movements in company 01.
    for (int n = 10; n <= 14; ++n) {
        inserts.run("Insert Into MvGeral (CODEMPRESA, CODPROD, CODGRADE, DT_MOVIMENTO, TIPOAGENTE, "
                    "CODIGOAGENTE, TIPOMOV, DOCUMENTO, QUANTIDADE, PRECOMEDIO) "
                    "Values (:v0, :v1, :v2, :v3, 'A', '0000000000', '01', :v4, :v5, :v6)",
                    {QStringLiteral("01"), productCode(n), QStringLiteral("0000"),
                     QDateTime(inventoryDate.addDays(-30), QTime(9, 0)),
                     QStringLiteral("NF%1").arg(n), double(n), 20.0});
    }
    transaction.commit();
}

QByteArray collectorFile() {
    // One reading a line, item code, comma, quantity; Windows-1252 with CR LF.
    const QStringList lines = {
        barcode(1, 0) + QStringLiteral(",3"),   // barcode
        QStringLiteral("REF0002,5"),            // reference
        QStringLiteral("fb-5003,2"),            // manufacturer's reference, lower case
        QStringLiteral("ANT-005,1"),            // old reference
        QStringLiteral("000000000000,4"),       // not found
        QStringLiteral("000000000000,4"),       // not found again, listed once
        barcode(4, 0) + QStringLiteral(",6"),   // processed in company 01
        barcode(1, 0) + QStringLiteral(",2"),   // repeated code, adds up
        QStringLiteral("linha sem vírgula"),    // no reading
        QStringLiteral(""),                     // empty line
        barcode(6, 0) + QStringLiteral(",1,5"), // decimal comma
        barcode(11, 0) + QStringLiteral(",7"),  // has movements in company 01
        barcode(40, 2) + QStringLiteral(",1"),  // a grade of a product kept by grade
        QStringLiteral("REF0040,1"),            // kept by grade: a reference can't place it
        QStringLiteral("REF0025,2"),            // Grade 3: kept without grades
    };
    QByteArray bytes;
    for (const QString& line : lines)
        bytes += line.toLatin1() + "\r\n";
    return bytes;
}

} // namespace db::demo
