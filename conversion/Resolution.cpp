// Product resolution: an item code to the product and grade it names, by barcode first, then by
// the three references in turn, once a run for each code.
#include "EngineRun.h"

#include <QHash>

namespace conversion {

namespace {
// A product kept without grades (Grade 1 or 3) is counted under grade "0000"; one kept by
// grade can't be placed by a reference, which names no grade.
// Grade is read as a number, so that one stored as 1.5 or as text is refused alike on every
// driver.
bool gradeRuleAdmits(double grade) {
    return grade == 1.0 || grade == 3.0;
}

// A code that no searched column can hold matches nothing, and is not sent: some engines refuse
// an overlong one as an index key, and a NUL breaks the statement text on others.
bool searchable(const QString& itemCode) {
    return !itemCode.contains(QChar(0)) && itemCode.toUcs4().size() <= db::SearchedCodeWidth;
}
} // namespace

QString ConversionEngine::compared(const QString& text) const {
    if (!m_dialect.ignoresTrailingBlanks())
        return text;
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.left(end);
}

const ConversionEngine::Resolved& ConversionEngine::remember(const QString& code, FoundBy foundBy,
                                                             const QString& product,
                                                             const QString& grade) {
    RunMemory& kept = memory();
    Resolved resolved;
    if (!product.isEmpty()) {
        resolved.foundBy = foundBy;
        Known& known = kept.known[product + QChar(0) + grade];
        if (known.CodProd.isNull()) {
            known.CodProd = product;
            known.CodGrade = grade;
            known.product = db::BoundValue(product);
            known.grade = db::BoundValue(grade);
        }
        resolved.known = &known;
    }
    return kept.codes.insert_or_assign(code, resolved).first->second;
}

const ConversionEngine::Resolved* ConversionEngine::resolve(const QString& itemCode) {
    if (!searchable(itemCode))
        return nullptr;
    const QString code = db::texts::upperAscii(itemCode);
    RunMemory& kept = memory();
    if (const auto cached = kept.codes.find(code); cached != kept.codes.end())
        return cached->second.known ? &cached->second : nullptr;

    Statements& prepared = statements();
    const db::BoundValue searched(code);
    QString product;
    QString grade;
    FoundBy foundBy = FoundBy::None;
    db::Statement& barcode = prepared.barcode();
    barcode.bind(0, searched);
    if (barcode.open()) {
        product = barcode.text(0);
        grade = barcode.text(1);
        foundBy = FoundBy::Barcode;
    } else {
        // Relacionarefant is asked only for a code that neither reference finds.
        for (const auto& [search, by] :
             {std::pair{0, FoundBy::Reference}, std::pair{1, FoundBy::ManufacturerReference},
              std::pair{2, FoundBy::OldReference}}) {
            db::Statement& query = prepared.reference(search);
            query.bind(0, searched);
            const bool hit = query.open();
            const bool admitted = hit && gradeRuleAdmits(query.number(1));
            if (admitted) {
                product = query.text(0);
                grade = QString::fromLatin1(db::value::NoGrade);
                foundBy = by;
            }
            query.close();
            if (hit)
                break;
        }
    }
    barcode.close();
    const Resolved& stored = remember(code, foundBy, product, grade);
    return stored.known ? &stored : nullptr;
}

// Each search asks only for the codes that the searches before it did not find, and a code is
// answered by the first row found for it, as a search of one code takes its first row.
void ConversionEngine::resolveAll(const Readings& readings) {
    RunMemory& kept = memory();
    // In file order, each with the first line that reads it.
    std::vector<QString> open;
    QHash<QString, int> firstLine;
    for (size_t i = 0; i < readings.size(); ++i) {
        const auto& reading = readings[i];
        if (!reading || !searchable(reading->itemCode))
            continue;
        QString code = db::texts::upperAscii(reading->itemCode);
        if (!kept.codes.count(code) && !firstLine.contains(code)) {
            firstLine.insert(code, static_cast<int>(i + 1));
            open.push_back(std::move(code));
        }
    }
    Statements& prepared = statements();
    const struct {
        const db::sql::Batched& texts;
        FoundBy foundBy;
    } searches[] = {{db::sql::BarcodeSearches, FoundBy::Barcode},
                    {db::sql::ReferenceSearches1, FoundBy::Reference},
                    {db::sql::ReferenceSearches2, FoundBy::ManufacturerReference},
                    {db::sql::ReferenceSearches3, FoundBy::OldReference}};
    for (const auto& search : searches) {
        std::vector<QString> notFound;
        for (size_t from = 0; from < open.size();) {
            const int size = readBatchSize(open.size() - from);
            const size_t to = std::min(open.size(), from + static_cast<size_t>(size));
            std::vector<bool> answered(to - from, false);
            forLine(firstLine.value(open[from]), [&] {
                QHash<QString, QList<size_t>> asked;
                db::Statement& query = prepared.batched(search.texts, size);
                std::vector<db::BoundValue> codes;
                codes.reserve(static_cast<size_t>(size));
                for (size_t i = from; i < to; ++i) {
                    codes.emplace_back(open[i]);
                    asked[compared(open[i])].push_back(i);
                }
                while (codes.size() < static_cast<size_t>(size))
                    codes.push_back(codes.back());
                for (int i = 0; i < size; ++i)
                    query.bind(i, codes[static_cast<size_t>(i)]);
                for (bool row = query.open(); row; row = query.next()) {
                    const auto askedBy = asked.constFind(compared(query.text(0)));
                    if (askedBy == asked.constEnd())
                        continue;
                    for (const size_t i : *askedBy) {
                        if (answered[i - from])
                            continue;
                        answered[i - from] = true;
                        if (search.foundBy == FoundBy::Barcode)
                            remember(open[i], FoundBy::Barcode, query.text(1), query.text(2));
                        else if (gradeRuleAdmits(query.number(2)))
                            remember(open[i], search.foundBy, query.text(1),
                                     QString::fromLatin1(db::value::NoGrade));
                        else
                            remember(open[i], FoundBy::None, {}, {});
                    }
                }
                query.close();
            });
            for (size_t i = from; i < to; ++i)
                if (!answered[i - from])
                    notFound.push_back(open[i]);
            from = to;
        }
        open = std::move(notFound);
    }
    for (const QString& code : open)
        remember(code, FoundBy::None, {}, {});
}

} // namespace conversion
