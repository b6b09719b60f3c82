#pragma once

#include "conversion/ConversionEngine.h"
#include "conversion/RunFiles.h"
#include "conversion/RunReport.h"
#include "conversion/Uncounted.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSortFilterProxyModel>
#include <optional>
#include <vector>

namespace ui {

// What a dry run would post, for the review before posting: one row per product and grade the
// file posts, then one per refused reading and per passed-over line that is not blank, in file
// order, and on the inventory tab one per product with stock that neither the file nor the
// inventory counts. Built once from the run's line reports; the rows
// hold only figures, so a file of any length is one model and one view.
class ReviewModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum class Mode { Inventory, OpeningStock };
    enum class Column {
        Lines,
        Code,
        CodProd,
        CodGrade,
        Description,
        FoundBy,
        Quantity,
        CountAfter,
        StockOnRecord,
        Difference,
        Cost,
        Value,
        Outcome
    };
    // Numbers as plain values (sorting), and everything as the CSV export writes it. Numbers are
    // shown as they are exported: in the workstation's notation, without group separators.
    static constexpr int SortRole = Qt::UserRole;
    static constexpr int ExportRole = Qt::UserRole + 1;

    // files: the run's files, whose names and lines the Lines column shows when there are
    // several.
    ReviewModel(Mode mode, const std::vector<conversion::LineReport>& lines,
                QObject* parent = nullptr, conversion::RunFiles files = {});

    Mode mode() const { return m_mode; }
    const conversion::RunSummary& summary() const { return m_summary; }
    // The CodProd of the product rows, for looking their descriptions up.
    QStringList productCodes() const;
    void setDescriptions(QHash<QString, QString> byCodProd);
    // The products nobody has counted, after the file's lines: those of the list that the file
    // does not post.
    void addUncounted(const conversion::UncountedList& list);

    // The columns this mode shows: the opening stock has no count to compare.
    Column column(int section) const { return m_columns.at(section); }
    // Columns of texts of any length (lines, codes, descriptions, how found), which the window
    // narrows first and whose whole text is the cell's tool tip.
    static bool isFreeText(Column column);
    bool isRefused(int row) const { return m_rows.at(row).refused; }
    bool isUncounted(int row) const { return m_rows.at(row).uncounted; }
    // A product row whose count after posting differs from the stock on record.
    bool hasDifference(int row) const;

    // The figures of some rows: the differences of the products the file posts, losses and
    // gains apart, quantity and value; and the products nobody counted.
    struct Totals {
        double lossQuantity = 0.0;
        double gainQuantity = 0.0;
        conversion::DifferenceValues values;
        int products = 0;
        int uncounted = 0;
        double uncountedStock = 0.0;
        double uncountedValue = 0.0;
    };
    void addToTotals(int row, Totals& totals) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    struct Row {
        bool refused = false;
        // A line without a reading: its text is the code, and it has no figures.
        bool passedOver = false;
        // The lines of the file the row stands for, in file order.
        std::vector<int> lines;
        QStringList codes;
        QString CodProd;
        QString CodGrade;
        QStringList foundBy;
        double quantity = 0.0;
        // A refused reading keeps its quantity as read; it was never taken as a number.
        QString quantityText;
        std::optional<double> countAfter;
        double stockOnRecord = 0.0;
        double cost = 0.0;
        // A product with stock that nobody counted: no line of the file stands for it.
        bool uncounted = false;
        QString outcome;
    };
    QVariant value(const Row& row, Column column, int role) const;

    Mode m_mode;
    conversion::RunFiles m_files;
    QList<Column> m_columns;
    std::vector<Row> m_rows;
    conversion::RunSummary m_summary;
    QHash<QString, QString> m_descriptions;
};

// The review's filter: every line of the file, product rows whose count differs from the stock
// on record, refused readings only, or the products nobody counted.
class ReviewFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    enum class Show { All, Differences, Refused, Uncounted };
    explicit ReviewFilter(QObject* parent = nullptr);
    void setShow(Show show);
    Show show() const { return m_show; }

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    Show m_show = Show::All;
};

// Where "Gravar" posts the reviewed readings.
struct ReviewDestination {
    QStringList paths;
    bool inventory = true;
    QString companyCode;
    QString companyName;
    QString date;
    QString causeCode;
    QString causeName;
};
// Two lines: the file, then the tab and the entries (the cause on the inventory tab only).
QString destinationText(const ReviewDestination& destination);

// The figures of a run for the success box's details: lines, readings, posted, refused per
// reason, seconds. listed: the rows the run added to its rejection list, which names a code
// not found once however often it is read.
QString figuresText(const conversion::RunSummary& summary, double seconds, int listed);
// The same figures under the review's table, on one line.
QString totalsText(const conversion::RunSummary& summary);
// What the rows shown are worth, under those figures: the differences, losses and gains apart,
// and the products nobody counted; empty when the rows shown have neither.
QString valueTotalsText(const ReviewModel::Totals& totals);

} // namespace ui
