#pragma once

#include "ReviewModel.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QTableView;

namespace ui {

// The review of a dry run: what the file would post and what it would refuse. "Gravar" accepts
// the dialog and "Descartar" (or Esc, or closing it) rejects it; the form does the rest.
class ReviewWindow : public QDialog {
    Q_OBJECT
public:
    // Takes the model over; destination says where "Gravar" posts (destinationText).
    ReviewWindow(ReviewModel* model, const QString& destination, QWidget* parent = nullptr);

    // The journal's line on a file converted before, at the top; none when empty.
    void setAlreadyConverted(const QString& text);

    QTableView* table() const { return m_table; }
    ReviewFilter* filter() const { return m_filter; }

    // The rows shown, in the order shown, with the header first: tab-separated as the
    // clipboard takes them (the selected rows, or all when none is selected), or as CSV.
    QString shownText(bool selectedOnly) const;
    QByteArray shownCsv() const;

    void copyToClipboard();
    void exportCsv();

    void setVisible(bool visible) override;

private:
    QList<int> shownRows(bool selectedOnly) const;
    // Narrows the free-text columns, widest first, until the last, the outcome, is in view
    // without scrolling.
    void fitColumns();
    // What the rows shown are worth, told again whenever the filter changes.
    void showValueTotals();

    ReviewModel* m_model;
    ReviewFilter* m_filter;
    QComboBox* m_show = nullptr;
    QTableView* m_table = nullptr;
    QLabel* m_totals = nullptr;
    QLabel* m_valueTotals = nullptr;
    QLabel* m_alreadyConverted = nullptr;
    bool m_fitted = false;
};

} // namespace ui
