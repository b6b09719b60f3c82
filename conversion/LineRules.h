#pragma once

// The rules of a line once its code names a product: from what the run knows of the product and
// the line's reading to what becomes of the line and the write it needs. Nothing here asks the
// database; the run reads what a product's lines need before the first line and writes what the
// lines decided after the last.

#include "ConversionEngine.h"

#include <QString>
#include <optional>

namespace conversion {

// A count row takes readings only while it is not processed.
bool countRowIsOpen(const QString& processado);
// A processed count row refuses its product in both modes.
bool countRowIsProcessed(const QString& processado);

// What a run knows of one product and grade when one of its readings comes; the decisions of
// the lines before have been followed in it.
struct ProductState {
    bool rowExists = false;
    QString processado;
    // Quantidade of an open row; a null Quantidade reads 0 and stays null, as an update leaves it.
    double count = 0.0;
    bool countIsNull = false;
    // The product has a movement in the company: opening-stock runs only.
    bool moved = false;
    StockAndCost stock;
};

// The write a line needs: its count row or opening stock created, a reading added to the count
// row, or none.
enum class RowWrite { None, Create, Add };

struct LineDecision {
    LineOutcome outcome = LineOutcome::NoReading;
    RowWrite write = RowWrite::None;
    double quantity = 0.0;
    // Posted inventory lines: the count row's Quantidade before and after the reading.
    std::optional<double> countBefore;
    std::optional<double> countAfter;
};

// The decision for a line whose code named the product. The quantity is converted only for a
// reading that gets that far, so a refused line can't fail on it; a bad one raises BadQuantity,
// and a count past the largest number raises ConversionError.
LineDecision decideReading(bool inventory, const ProductState& product, const QString& itemCode,
                           const QString& quantityText, int line);

// The product as the decision leaves it for the next reading of it.
void follow(ProductState& product, const LineDecision& decision);

} // namespace conversion
