#include "RunReport.h"

#include <QLocale>

namespace runreport {

using conversion::FoundBy;
using conversion::LineOutcome;
using conversion::LineReport;

QString outcomeText(LineOutcome outcome) {
    switch (outcome) {
    case LineOutcome::Posted:
        return QStringLiteral("gravada");
    case LineOutcome::NoReading:
        return QStringLiteral("sem leitura");
    case LineOutcome::NotFound:
    case LineOutcome::Processed:
    case LineOutcome::HasMovements:
        break;
    }
    return conversion::reasonText(outcome);
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

QByteArray csvHeader() {
    return "linha,codigo,quantidade_texto,resultado,CodProd,CodGrade,encontrado_por,quantidade,"
           "contagem_antes,contagem_depois,QuantKardex\r\n";
}

void appendCsvRow(QByteArray& out, const LineReport& line) {
    out += QByteArray::number(line.number);
    out += ',';
    appendCsvField(out, line.itemCode);
    out += ',';
    appendCsvField(out, line.quantityText);
    out += ',';
    appendCsvField(out, outcomeText(line.outcome));
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
    out += "\r\n";
}

void Summary::add(const LineReport& line) {
    ++m_lines;
    if (line.outcome != LineOutcome::NoReading)
        ++m_readings;
    if (line.outcome == LineOutcome::Posted) {
        ++m_posted;
        m_products.insert({line.CodProd, line.CodGrade});
    } else if (line.rejected()) {
        ++m_rejected;
        ++m_byOutcome[static_cast<size_t>(line.outcome)];
    }
}

QMap<QString, int> Summary::reasons() const {
    QMap<QString, int> result;
    for (const LineOutcome outcome :
         {LineOutcome::NotFound, LineOutcome::Processed, LineOutcome::HasMovements}) {
        if (const int count = m_byOutcome[static_cast<size_t>(outcome)])
            result.insert(conversion::reasonText(outcome), count);
    }
    return result;
}

QJsonObject Summary::toJson(const QString& mode, bool dryRun, double seconds) const {
    QJsonObject reasons;
    const QMap<QString, int> byReason = this->reasons();
    for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
        reasons.insert(it.key(), it.value());
    return {{QStringLiteral("modo"), mode},           {QStringLiteral("simulacao"), dryRun},
            {QStringLiteral("linhas"), m_lines},      {QStringLiteral("leituras"), m_readings},
            {QStringLiteral("gravadas"), m_posted},   {QStringLiteral("rejeitadas"), reasons},
            {QStringLiteral("produtos"), products()}, {QStringLiteral("segundos"), seconds}};
}

} // namespace runreport
