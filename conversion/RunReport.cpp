#include "RunReport.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace conversion {

QString outcomeText(LineOutcome outcome, bool dryRun) {
    switch (outcome) {
    case LineOutcome::Posted:
        return dryRun ? QStringLiteral("a gravar") : QStringLiteral("gravada");
    case LineOutcome::NoReading:
        return QStringLiteral("sem leitura");
    case LineOutcome::NotFound:
    case LineOutcome::Processed:
    case LineOutcome::HasMovements:
        break;
    }
    return reasonText(outcome);
}

QString foundByText(FoundBy foundBy) {
    switch (foundBy) {
    case FoundBy::Barcode:
        return QStringLiteral("código de barras");
    case FoundBy::Reference:
        return QStringLiteral("referência");
    case FoundBy::ManufacturerReference:
        return QStringLiteral("referência do fabricante");
    case FoundBy::OldReference:
        return QStringLiteral("referência antiga");
    case FoundBy::None:
        break;
    }
    return {};
}

QString foundByText(const LineReport& line) {
    const QString text = foundByText(line.foundBy);
    if (line.productsWithCode < 2)
        return text;
    return text + QStringLiteral(" (%1 produtos)").arg(line.productsWithCode);
}

void appendCsvField(QByteArray& out, const QString& text, char separator) {
    const QByteArray bytes = text.toUtf8();
    if (!bytes.contains(separator) && !bytes.contains('"') && !bytes.contains('\r') &&
        !bytes.contains('\n')) {
        out += bytes;
        return;
    }
    out += '"';
    for (const char c : bytes) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

namespace {
void appendNumber(QByteArray& out, double value) {
    out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}
} // namespace

double countDifference(double count, double stock) {
    const double value = count - stock;
    const double scale = std::max({1.0, std::abs(count), std::abs(stock)});
    return std::abs(value) < 1e-9 * scale ? 0.0 : value;
}

double roundedMoney(double value) {
    const double cents = std::round(value * 100.0) / 100.0;
    // No "-0" for a loss of less than half a cent.
    return cents == 0.0 ? 0.0 : cents;
}

QByteArray csvHeader(bool withFile) {
    return QByteArray(withFile ? "arquivo," : "") +
           "linha,codigo,quantidade_texto,resultado,CodProd,CodGrade,encontrado_por,quantidade,"
           "contagem_antes,contagem_depois,QuantKardex,valor_diferenca,produtos_com_o_codigo\r\n";
}

void appendCsvRow(QByteArray& out, const LineReport& line, bool dryRun) {
    out += QByteArray::number(line.number);
    out += ',';
    appendCsvField(out, line.itemCode);
    out += ',';
    appendCsvField(out, line.quantityText);
    out += ',';
    appendCsvField(out, outcomeText(line.outcome, dryRun));
    out += ',';
    appendCsvField(out, line.CodProd);
    out += ',';
    appendCsvField(out, line.CodGrade);
    out += ',';
    appendCsvField(out, foundByText(line.foundBy));
    out += ',';
    if (line.outcome == LineOutcome::Posted)
        appendNumber(out, line.quantity);
    out += ',';
    if (line.countBefore)
        appendNumber(out, *line.countBefore);
    out += ',';
    if (line.countAfter)
        appendNumber(out, *line.countAfter);
    out += ',';
    if (line.outcome == LineOutcome::Posted)
        appendNumber(out, line.stockOnRecord);
    out += ',';
    if (line.outcome == LineOutcome::Posted && line.countAfter)
        appendNumber(
            out, roundedMoney(countDifference(*line.countAfter, line.stockOnRecord) * line.cost));
    out += ',';
    if (line.productsWithCode > 0)
        out += QByteArray::number(line.productsWithCode);
    out += "\r\n";
}

void showPassedOverText(LineReport& line, const QStringList& lines) {
    if (line.outcome == LineOutcome::NoReading)
        line.itemCode = lines.value(line.number - 1);
}

void RunSummary::add(const LineReport& line) {
    ++m_lines;
    if (line.outcome != LineOutcome::NoReading)
        ++m_readings;
    if (line.outcome == LineOutcome::Posted) {
        ++m_posted;
        // The lines come in file order: the last one's count is the count the run leaves.
        m_products.insert({line.CodProd, line.CodGrade},
                          {line.countAfter, line.stockOnRecord, line.cost});
    } else if (line.rejected()) {
        ++m_rejected;
        ++m_byOutcome[static_cast<size_t>(line.outcome)];
    }
}

QMap<QString, int> RunSummary::reasons() const {
    QMap<QString, int> result;
    for (const LineOutcome outcome :
         {LineOutcome::NotFound, LineOutcome::Processed, LineOutcome::HasMovements}) {
        if (const int count = m_byOutcome[static_cast<size_t>(outcome)])
            result.insert(reasonText(outcome), count);
    }
    return result;
}

DifferenceValues RunSummary::values() const {
    DifferenceValues values;
    for (const Difference& row : m_products) {
        if (row.count)
            values.add(countDifference(*row.count, row.stock) * row.cost);
    }
    return values;
}

QJsonObject RunSummary::toJson(const QString& mode, bool dryRun, double seconds) const {
    QJsonObject reasons;
    const QMap<QString, int> byReason = this->reasons();
    for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
        reasons.insert(it.key(), it.value());
    // The same counts under keys that don't change with the wording of the reasons.
    const auto count = [this](LineOutcome outcome) {
        return m_byOutcome[static_cast<size_t>(outcome)];
    };
    const QJsonObject byKey{{QStringLiteral("nao_encontrada"), count(LineOutcome::NotFound)},
                            {QStringLiteral("ja_processado"), count(LineOutcome::Processed)},
                            {QStringLiteral("com_movimentos"), count(LineOutcome::HasMovements)}};
    QJsonObject summary{
        {QStringLiteral("modo"), mode},         {QStringLiteral("simulacao"), dryRun},
        {QStringLiteral("linhas"), m_lines},    {QStringLiteral("leituras"), m_readings},
        {QStringLiteral("gravadas"), m_posted}, {QStringLiteral("rejeitadas"), reasons},
        {QStringLiteral("motivos"), byKey},     {QStringLiteral("produtos"), products()},
        {QStringLiteral("segundos"), seconds}};
    if (mode == QLatin1String("inventario")) {
        const DifferenceValues worth = values();
        summary.insert(QStringLiteral("valor_perdas"), roundedMoney(worth.losses));
        summary.insert(QStringLiteral("valor_sobras"), roundedMoney(worth.gains));
        summary.insert(QStringLiteral("valor_liquido"), roundedMoney(worth.net()));
    }
    return summary;
}

QString nothingPostedText(const RunSummary& summary, bool dryRun) {
    if (summary.posted() > 0)
        return {};
    const QString start = dryRun ? QStringLiteral("Nenhuma leitura seria gravada: ")
                                 : QStringLiteral("Nenhuma leitura foi gravada: ");
    if (summary.readings() == 0)
        return start + QStringLiteral("nenhuma linha traz código, vírgula, quantidade");
    if (summary.rejected() == 1)
        return start + (dryRun ? QStringLiteral("a única leitura seria rejeitada")
                               : QStringLiteral("a única leitura foi rejeitada"));
    return start + (dryRun ? QStringLiteral("as %1 leituras seriam rejeitadas")
                           : QStringLiteral("as %1 leituras foram rejeitadas"))
                       .arg(summary.rejected());
}

} // namespace conversion
