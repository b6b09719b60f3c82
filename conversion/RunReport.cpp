#include "RunReport.h"

#include <QLocale>

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

QByteArray csvHeader(bool withFile) {
    return QByteArray(withFile ? "arquivo," : "") +
           "linha,codigo,quantidade_texto,resultado,CodProd,CodGrade,encontrado_por,quantidade,"
           "contagem_antes,contagem_depois,QuantKardex\r\n";
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
        m_products.insert({line.CodProd, line.CodGrade});
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
    return {{QStringLiteral("modo"), mode},         {QStringLiteral("simulacao"), dryRun},
            {QStringLiteral("linhas"), m_lines},    {QStringLiteral("leituras"), m_readings},
            {QStringLiteral("gravadas"), m_posted}, {QStringLiteral("rejeitadas"), reasons},
            {QStringLiteral("motivos"), byKey},     {QStringLiteral("produtos"), products()},
            {QStringLiteral("segundos"), seconds}};
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
