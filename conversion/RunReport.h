#pragma once

#include "ConversionEngine.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QMap>
#include <array>
#include <optional>
#include <utility>

// The run report as files and figures: one CSV row per line, and a summary of the run.
namespace conversion {

// "gravada" ("a gravar" in a dry run, which posts nothing), "sem leitura" or the rejection reason.
QString outcomeText(LineOutcome outcome, bool dryRun = false);
// "código de barras", "referência", "referência do fabricante", "referência antiga" or empty.
QString foundByText(FoundBy foundBy);
// How a line's code was found, with "(N produtos)" after it where the code names several
// products, so that the clerk sees which lines went to the lowest of them.
QString foundByText(const LineReport& line);

// A count less the stock on record; 0 where they differ only by the noise of adding decimals, as
// the readings of a count row are added one at a time.
double countDifference(double count, double stock);
// A money value to the cent, as the reports and the JSON give it.
double roundedMoney(double value);

// What the differences of a run between count and stock on record are worth (difference times
// cost): losses, which are negative, and gains apart.
struct DifferenceValues {
    double losses = 0.0;
    double gains = 0.0;
    double net() const { return losses + gains; }
    void add(double value) { (value < 0 ? losses : gains) += value; }
};

// UTF-8, RFC 4180: fields holding a comma, a double quote or a line break are quoted with their
// quotes doubled; every row ends with CR LF. Numbers are written with a point and no more digits
// than they need.
// withFile: the report of a run of several files, whose rows begin with the file's name. An
// inventory line's valor_diferenca is what the difference between the count it leaves and the
// stock on record is worth: of a product read on several lines, its last line's is the run's.
// produtos_com_o_codigo, last so that readers of the older columns keep working, counts the
// products the code names (empty where none was found).
QByteArray csvHeader(bool withFile = false);
void appendCsvRow(QByteArray& out, const LineReport& line, bool dryRun = false);
// One field of such a row, quoted when it must be; separator is the one between fields.
void appendCsvField(QByteArray& out, const QString& text, char separator = ',');

// A line without a reading is reported with its own text as its code, so that what was passed
// over can be seen; lines are the run's lines.
void showPassedOverText(LineReport& line, const QStringList& lines);

// Figures of a run, added up line by line.
class RunSummary {
public:
    void add(const LineReport& line);

    int lines() const { return m_lines; }
    int readings() const { return m_readings; }
    int posted() const { return m_posted; }
    int rejected() const { return m_rejected; }
    // Distinct CodProd and CodGrade pairs posted.
    int products() const { return static_cast<int>(m_products.size()); }
    // Rejected lines by reason.
    QMap<QString, int> reasons() const;
    // What the differences between the counts an inventory run leaves and the stock on record
    // are worth, each count row once.
    DifferenceValues values() const;

    // Keys modo, simulacao, linhas, leituras, gravadas, rejeitadas (reason -> count, reasons
    // with none left out), motivos (nao_encontrada, ja_processado, com_movimentos -> count,
    // always all three), produtos, segundos; of an inventory run valor_perdas, valor_sobras and
    // valor_liquido too.
    QJsonObject toJson(const QString& mode, bool dryRun, double seconds) const;

private:
    int m_lines = 0;
    int m_readings = 0;
    int m_posted = 0;
    int m_rejected = 0;
    // By outcome: a run adds a line at a time, and a window's run must not slow down for it.
    std::array<int, 5> m_byOutcome{};
    // Each count row's last line: the count it leaves, the stock on record and the cost.
    struct Difference {
        std::optional<double> count;
        double stock = 0.0;
        double cost = 0.0;
    };
    QHash<std::pair<QString, QString>, Difference> m_products;
};

// Said when a run that came to its end posted none of its readings, with no full stop after
// it: "Nenhuma leitura foi gravada: as 13 leituras foram rejeitadas". Empty when it posted some.
// A dry run says what a real one would have done.
QString nothingPostedText(const RunSummary& summary, bool dryRun = false);

} // namespace conversion
