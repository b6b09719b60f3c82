#include "LineRules.h"

#include "Quantity.h"
#include "db/Names.h"
#include "db/Regional.h"
#include "db/Texts.h"

#include <cmath>

namespace conversion {

bool countRowIsOpen(const QString& processado) {
    return processado == QLatin1String(db::value::NotProcessed);
}

bool countRowIsProcessed(const QString& processado) {
    return processado == QLatin1String(db::value::Processed);
}

LineDecision decideReading(bool inventory, const ProductState& product, const QString& itemCode,
                           const QString& quantityText, int line) {
    LineDecision decision;
    if (product.rowExists && countRowIsProcessed(product.processado)) {
        decision.outcome = LineOutcome::Processed;
        return decision;
    }
    if (!inventory && product.moved) {
        decision.outcome = LineOutcome::HasMovements;
        return decision;
    }
    const double quantity = parseQuantity(quantityText, db::Regional::locale(), line);
    if (!inventory) {
        decision.outcome = LineOutcome::Posted;
        decision.write = RowWrite::Create;
        decision.quantity = quantity;
        return decision;
    }
    if (!product.rowExists) {
        decision.outcome = LineOutcome::Posted;
        decision.write = RowWrite::Create;
        decision.quantity = quantity;
        decision.countBefore = 0.0;
        decision.countAfter = quantity;
        return decision;
    }
    // A row that is neither open nor processed takes no more readings; the clerk must hear of it.
    if (!countRowIsOpen(product.processado)) {
        decision.outcome = LineOutcome::Processed;
        return decision;
    }
    const double after = product.countIsNull ? product.count : product.count + quantity;
    // Some engines store an infinite count and others refuse it; either way the run must end as
    // it does for a bad quantity.
    if (!std::isfinite(after))
        throw ConversionError(
            QStringLiteral("O total da contagem do ítem \"%1\" passaria do maior número "
                           "que se pode gravar.")
                .arg(db::texts::quotedInput(itemCode)));
    decision.outcome = LineOutcome::Posted;
    decision.write = RowWrite::Add;
    decision.quantity = quantity;
    decision.countBefore = product.count;
    decision.countAfter = after;
    return decision;
}

void follow(ProductState& product, const LineDecision& decision) {
    if (decision.write == RowWrite::None)
        return;
    // An opening stock's movement refuses a later reading of the product.
    if (!decision.countAfter) {
        product.moved = true;
        return;
    }
    if (!product.rowExists) {
        product.rowExists = true;
        product.processado = QString::fromLatin1(db::value::NotProcessed);
        product.countIsNull = false;
    }
    product.count = *decision.countAfter;
}

} // namespace conversion
