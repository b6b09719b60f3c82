#include "ReviewModel.h"

#include "db/Regional.h"

#include <QLocale>
#include <QSet>
#include <algorithm>
#include <cmath>
#include <limits>

namespace ui {

using conversion::LineOutcome;
using conversion::LineReport;

namespace {
// Sums of decimal readings carry binary noise; twelve digits show what was typed.
constexpr int ShownDigits = 12;

// Every number of the review, in the table and under it, in one notation: the workstation's
// decimal separator and no group separator. The collector file writes none, and a spreadsheet
// may take one for decimals.
QLocale numberLocale() {
    QLocale locale = db::Regional::locale();
    locale.setNumberOptions(locale.numberOptions() | QLocale::OmitGroupSeparator);
    return locale;
}

QString shownNumber(double value) {
    return numberLocale().toString(value, 'g', ShownDigits);
}

// A product read on hundreds of lines keeps its cell readable; the export has them all.
constexpr int ShownLineGroups = 8;

// Line numbers in file order, a run of three or more as "4 a 7": 1, 4 a 7, 12. After maxGroups
// groups (0: no limit) the rest is left at "…".
QString linesText(const std::vector<int>& lines, int maxGroups) {
    QStringList groups;
    const auto full = [&] {
        return maxGroups > 0 && groups.size() > maxGroups;
    };
    for (std::size_t i = 0; i < lines.size() && !full();) {
        std::size_t end = i;
        while (end + 1 < lines.size() && lines[end + 1] == lines[end] + 1)
            ++end;
        if (end - i >= 2) {
            groups << QStringLiteral("%1 a %2").arg(lines[i]).arg(lines[end]);
        } else {
            for (std::size_t j = i; j <= end; ++j)
                groups << QString::number(lines[j]);
        }
        i = end + 1;
    }
    if (full()) {
        groups.resize(maxGroups);
        groups << QString(QChar(0x2026));
    }
    return groups.join(QStringLiteral(", "));
}

// Of a run of several files, the lines of each file after its name: "a.txt: 1, 4 a 7; b.txt: 2".
QString linesText(const std::vector<int>& lines, int maxGroups, const conversion::RunFiles& files) {
    if (files.size() < 2)
        return linesText(lines, maxGroups);
    QStringList parts;
    std::vector<int> local;
    int file = -1;
    const auto flush = [&] {
        if (!local.empty())
            parts << files[file].name + QStringLiteral(": ") + linesText(local, maxGroups);
        local.clear();
    };
    for (const int number : lines) {
        const conversion::FileLine where = conversion::locate(files, number);
        if (where.file != file) {
            flush();
            file = where.file;
        }
        local.push_back(where.line);
    }
    flush();
    return parts.join(QStringLiteral("; "));
}

void addOnce(QStringList& list, const QString& text) {
    if (!text.isEmpty() && !list.contains(text))
        list.append(text);
}

// Money to the cent, in the review's one notation.
QString shownMoney(double value) {
    return conversion::moneyText(value, numberLocale());
}

using conversion::countDifference;
} // namespace

ReviewModel::ReviewModel(Mode mode, const std::vector<LineReport>& lines, QObject* parent,
                         conversion::RunFiles files)
    : QAbstractTableModel(parent)
    , m_mode(mode)
    , m_files(std::move(files)) {
    m_columns = {Column::Lines,       Column::Code,    Column::CodProd, Column::CodGrade,
                 Column::Description, Column::FoundBy, Column::Quantity};
    if (mode == Mode::Inventory)
        m_columns << Column::CountAfter;
    m_columns << Column::StockOnRecord;
    if (mode == Mode::Inventory)
        m_columns << Column::Difference << Column::Cost << Column::Value;
    m_columns << Column::Outcome;

    QHash<QString, std::size_t> productRow;
    std::vector<Row> refused;
    const QString toPost = conversion::outcomeText(LineOutcome::Posted, true);
    for (const LineReport& line : lines) {
        m_summary.add(line);
        if (line.outcome == LineOutcome::Posted) {
            // A unit separator can't occur in a code read from the database's text columns.
            const QString key = line.CodProd + QChar(0x1f) + line.CodGrade;
            auto found = productRow.constFind(key);
            if (found == productRow.cend()) {
                found = productRow.insert(key, m_rows.size());
                Row row;
                row.CodProd = line.CodProd;
                row.CodGrade = line.CodGrade;
                row.outcome = toPost;
                m_rows.push_back(std::move(row));
            }
            Row& row = m_rows[*found];
            row.lines.push_back(line.number);
            addOnce(row.codes, line.itemCode);
            addOnce(row.foundBy, conversion::foundByText(line));
            row.quantity += line.quantity;
            // The lines come in file order: the last one's count is the count after posting.
            row.countAfter = line.countAfter;
            row.stockOnRecord = line.stockOnRecord;
            row.cost = line.cost;
        } else if (line.rejected()) {
            Row row;
            row.refused = true;
            row.lines = {line.number};
            row.codes = QStringList{line.itemCode};
            row.CodProd = line.CodProd;
            row.CodGrade = line.CodGrade;
            row.foundBy = QStringList{conversion::foundByText(line)};
            row.quantityText = line.quantityText;
            row.outcome = conversion::reasonText(line.outcome);
            refused.push_back(std::move(row));
        } else if (!line.itemCode.trimmed().isEmpty()) {
            Row row;
            row.passedOver = true;
            row.lines = {line.number};
            row.codes = QStringList{line.itemCode};
            row.outcome = conversion::outcomeText(line.outcome);
            refused.push_back(std::move(row));
        }
    }
    m_rows.insert(m_rows.end(), std::make_move_iterator(refused.begin()),
                  std::make_move_iterator(refused.end()));
}

bool ReviewModel::isFreeText(Column column) {
    switch (column) {
    case Column::Lines:
    case Column::Code:
    case Column::Description:
    case Column::FoundBy:
        return true;
    default:
        return false;
    }
}

QStringList ReviewModel::productCodes() const {
    QStringList codes;
    QSet<QString> seen;
    for (const Row& row : m_rows) {
        if (!row.CodProd.isEmpty() && !seen.contains(row.CodProd)) {
            seen.insert(row.CodProd);
            codes.append(row.CodProd);
        }
    }
    return codes;
}

void ReviewModel::setDescriptions(QHash<QString, QString> byCodProd) {
    m_descriptions = std::move(byCodProd);
    const int section = static_cast<int>(m_columns.indexOf(Column::Description));
    if (!m_rows.empty())
        emit dataChanged(index(0, section), index(rowCount() - 1, section));
}

void ReviewModel::addUncounted(const conversion::UncountedList& list) {
    QSet<QString> posted;
    for (const Row& row : m_rows) {
        if (!row.refused && !row.passedOver && !row.uncounted)
            posted.insert(row.CodProd + QChar(0x1f) + row.CodGrade);
    }
    std::vector<Row> added;
    for (const conversion::UncountedProduct& product : list.products) {
        if (posted.contains(product.CodProd + QChar(0x1f) + product.CodGrade))
            continue;
        Row row;
        row.uncounted = true;
        row.CodProd = product.CodProd;
        row.CodGrade = product.CodGrade;
        row.stockOnRecord = product.stock;
        row.cost = product.cost;
        row.outcome = QStringLiteral("não contado");
        added.push_back(std::move(row));
    }
    if (added.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    m_rows.insert(m_rows.end(), std::make_move_iterator(added.begin()),
                  std::make_move_iterator(added.end()));
    endInsertRows();
}

bool ReviewModel::hasDifference(int row) const {
    const Row& shown = m_rows.at(static_cast<std::size_t>(row));
    return !shown.refused && shown.countAfter &&
           countDifference(*shown.countAfter, shown.stockOnRecord) != 0.0;
}

void ReviewModel::addToTotals(int row, Totals& totals) const {
    const Row& shown = m_rows.at(static_cast<std::size_t>(row));
    if (shown.uncounted) {
        ++totals.uncounted;
        totals.uncountedStock += shown.stockOnRecord;
        totals.uncountedValue += shown.stockOnRecord * shown.cost;
        return;
    }
    if (shown.refused || shown.passedOver || !shown.countAfter)
        return;
    ++totals.products;
    const double difference = countDifference(*shown.countAfter, shown.stockOnRecord);
    (difference < 0 ? totals.lossQuantity : totals.gainQuantity) += difference;
    totals.values.add(difference * shown.cost);
}

int ReviewModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ReviewModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant ReviewModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::TextAlignmentRole) {
        switch (column(index.column())) {
        case Column::Quantity:
        case Column::CountAfter:
        case Column::StockOnRecord:
        case Column::Difference:
        case Column::Cost:
        case Column::Value:
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        default:
            return {};
        }
    }
    // A text the window narrows to keep every column in view can still be read whole.
    if (role == Qt::ToolTipRole) {
        if (!isFreeText(column(index.column())))
            return {};
        return value(m_rows.at(static_cast<std::size_t>(index.row())), column(index.column()),
                     ExportRole);
    }
    if (role != Qt::DisplayRole && role != SortRole && role != ExportRole)
        return {};
    return value(m_rows.at(static_cast<std::size_t>(index.row())), column(index.column()), role);
}

QVariant ReviewModel::value(const Row& row, Column column, int role) const {
    // Numbers sort as numbers; a row without one sorts before every number.
    const auto number = [role](std::optional<double> figure) -> QVariant {
        if (role == SortRole)
            return figure.value_or(std::numeric_limits<double>::lowest());
        if (!figure)
            return QString();
        return shownNumber(*figure);
    };
    const auto money = [role](std::optional<double> figure) -> QVariant {
        if (role == SortRole)
            return figure.value_or(std::numeric_limits<double>::lowest());
        if (!figure)
            return QString();
        return shownMoney(*figure);
    };
    const bool posts = !row.refused && !row.passedOver && !row.uncounted;
    // A product nobody counted has stock on record and a cost, and no count to differ.
    const bool priced = posts || row.uncounted;
    switch (column) {
    case Column::Lines:
        if (role == SortRole)
            return row.lines.front();
        return linesText(row.lines, role == ExportRole ? 0 : ShownLineGroups, m_files);
    case Column::Code:
        return row.codes.join(QStringLiteral(", "));
    case Column::CodProd:
        return row.CodProd;
    case Column::CodGrade:
        return row.CodGrade;
    case Column::Description:
        return m_descriptions.value(row.CodProd);
    case Column::FoundBy:
        return row.foundBy.join(QStringLiteral(", "));
    case Column::Quantity:
        if (!posts)
            return role == SortRole ? QVariant(std::numeric_limits<double>::lowest())
                                    : QVariant(row.quantityText);
        return number(row.quantity);
    case Column::CountAfter:
        return number(posts ? row.countAfter : std::nullopt);
    case Column::StockOnRecord:
        return number(priced ? std::optional<double>(row.stockOnRecord) : std::nullopt);
    case Column::Difference:
        if (!posts || !row.countAfter)
            return number(std::nullopt);
        return number(countDifference(*row.countAfter, row.stockOnRecord));
    case Column::Cost:
        if (!priced)
            return money(std::nullopt);
        if (role == SortRole)
            return row.cost;
        return conversion::priceText(row.cost, numberLocale());
    case Column::Value:
        // Of a product nobody counted, what its stock is worth; of a count, its difference.
        if (row.uncounted)
            return money(row.stockOnRecord * row.cost);
        if (!posts || !row.countAfter)
            return money(std::nullopt);
        return money(countDifference(*row.countAfter, row.stockOnRecord) * row.cost);
    case Column::Outcome:
        return row.outcome;
    }
    return {};
}

QVariant ReviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= columnCount())
        return {};
    switch (column(section)) {
    case Column::Lines:
        return QStringLiteral("Linhas");
    case Column::Code:
        return QStringLiteral("Código lido");
    case Column::CodProd:
        return QStringLiteral("CodProd");
    case Column::CodGrade:
        return QStringLiteral("CodGrade");
    case Column::Description:
        return QStringLiteral("Descrição");
    case Column::FoundBy:
        return QStringLiteral("Encontrado por");
    case Column::Quantity:
        return QStringLiteral("Qtd. lida");
    case Column::CountAfter:
        return QStringLiteral("Contagem final");
    case Column::StockOnRecord:
        return QStringLiteral("Estoque");
    case Column::Difference:
        return QStringLiteral("Diferença");
    case Column::Cost:
        return QStringLiteral("Custo");
    case Column::Value:
        return QStringLiteral("Valor");
    case Column::Outcome:
        return QStringLiteral("Situação");
    }
    return {};
}

ReviewFilter::ReviewFilter(QObject* parent)
    : QSortFilterProxyModel(parent) {
    setSortRole(ReviewModel::SortRole);
}

void ReviewFilter::setShow(Show show) {
    if (show == m_show)
        return;
    m_show = show;
    invalidateFilter();
}

bool ReviewFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const auto* review = static_cast<const ReviewModel*>(sourceModel());
    switch (m_show) {
    case Show::All:
        // Every line of the file; the products nobody counted are no line of it.
        return !review->isUncounted(sourceRow);
    case Show::Differences:
        return review->hasDifference(sourceRow);
    case Show::Refused:
        return review->isRefused(sourceRow);
    case Show::Uncounted:
        return review->isUncounted(sourceRow);
    }
    return true;
}

QString destinationText(const ReviewDestination& destination) {
    const auto named = [](const QString& code, const QString& name) {
        return name.isEmpty() ? code : code + QStringLiteral(" - ") + name;
    };
    QString text =
        QStringLiteral("%1: %2\nAba: %3   Empresa: %4   Data: %5")
            .arg(destination.paths.size() > 1 ? QStringLiteral("Arquivos")
                                              : QStringLiteral("Arquivo"),
                 destination.paths.join(QStringLiteral(", ")),
                 destination.inventory ? QStringLiteral("Inventário")
                                       : QStringLiteral("Início de Estoque"),
                 named(destination.companyCode, destination.companyName), destination.date);
    if (destination.inventory)
        text += QStringLiteral("   Causa: ") + named(destination.causeCode, destination.causeName);
    return text;
}

QString figuresText(const conversion::RunSummary& summary, double seconds, int listed) {
    const QLocale locale = db::Regional::locale();
    // Beside a list of fewer rows, the count says what it counts.
    QString rejected = QString::number(summary.rejected());
    if (listed != summary.rejected())
        rejected = QStringLiteral("%1 leituras (%2 %3)")
                       .arg(rejected)
                       .arg(listed)
                       .arg(listed == 1 ? QStringLiteral("código") : QStringLiteral("códigos"));
    QStringList lines{QStringLiteral("Linhas: %1").arg(summary.lines()),
                      QStringLiteral("Leituras: %1").arg(summary.readings()),
                      QStringLiteral("Gravadas: %1").arg(summary.posted()),
                      QStringLiteral("Rejeitadas: ") + rejected};
    const QMap<QString, int> reasons = summary.reasons();
    for (auto it = reasons.cbegin(); it != reasons.cend(); ++it)
        lines << QStringLiteral("  %1 %2").arg(it.value()).arg(it.key());
    lines << QStringLiteral("Segundos: %1").arg(locale.toString(seconds, 'f', 3));
    return lines.join(QLatin1Char('\n'));
}

QString totalsText(const conversion::RunSummary& summary) {
    QString text = QStringLiteral("Linhas: %1   Leituras: %2   Produtos: %3   Rejeitadas: %4")
                       .arg(summary.lines())
                       .arg(summary.readings())
                       .arg(summary.products())
                       .arg(summary.rejected());
    QStringList reasons;
    const QMap<QString, int> byReason = summary.reasons();
    for (auto it = byReason.cbegin(); it != byReason.cend(); ++it)
        reasons << QStringLiteral("%1 %2").arg(it.value()).arg(it.key());
    if (!reasons.isEmpty())
        text += QStringLiteral(" (") + reasons.join(QStringLiteral("; ")) + QLatin1Char(')');
    return text;
}

} // namespace ui

namespace ui {

QString valueTotalsText(const ReviewModel::Totals& totals) {
    QStringList parts;
    if (totals.products > 0)
        parts << QStringLiteral("Perdas: %1 (valor %2)   Sobras: %3 (valor %4)   Líquido: %5 "
                                "(valor %6)")
                     .arg(shownNumber(totals.lossQuantity), shownMoney(totals.values.losses),
                          shownNumber(totals.gainQuantity), shownMoney(totals.values.gains),
                          shownNumber(totals.lossQuantity + totals.gainQuantity),
                          shownMoney(totals.values.net()));
    if (totals.uncounted > 0)
        parts << QStringLiteral("Não contados: %1, estoque %2 (valor %3)")
                     .arg(totals.uncounted == 1
                              ? QStringLiteral("1 produto")
                              : QStringLiteral("%1 produtos").arg(totals.uncounted),
                          shownNumber(totals.uncountedStock), shownMoney(totals.uncountedValue));
    return parts.join(QStringLiteral("   "));
}

} // namespace ui
