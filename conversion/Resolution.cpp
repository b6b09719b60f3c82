// Product resolution: an item code to the product and grade it names, by barcode first, then by
// the three references in turn, once a run for each code.
#include "EngineRun.h"

#include <QHash>
#include <QSet>

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

QString ConversionEngine::keyOf(const QString& product, const QString& grade) const {
    return compared(product) + QChar(0) + compared(grade);
}

// Keys the server compares equal are one product: a run that kept two for one row would create
// the row twice.
const ConversionEngine::Resolved& ConversionEngine::remember(const QString& code, FoundBy foundBy,
                                                             const QString& product,
                                                             const QString& grade,
                                                             int productsWithCode) {
    RunMemory& kept = memory();
    Resolved resolved;
    if (!product.isEmpty()) {
        resolved.foundBy = foundBy;
        resolved.productsWithCode = productsWithCode;
        Known& known = kept.known[keyOf(product, grade)];
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

int ConversionEngine::productsFrom(db::Statement& query, int product, int grade) {
    QSet<QString> keys;
    do
        keys.insert(keyOf(query.text(product), grade < 0 ? QString() : query.text(grade)));
    while (query.next());
    return static_cast<int>(keys.size());
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
    int products = 0;
    db::Statement& barcode = prepared.barcode();
    barcode.bind(0, searched);
    if (barcode.open()) {
        product = barcode.text(0);
        grade = barcode.text(1);
        foundBy = FoundBy::Barcode;
        products = productsFrom(barcode, 0, 1);
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
                products = productsFrom(query, 0, -1);
            }
            query.close();
            if (hit)
                break;
        }
    }
    barcode.close();
    const Resolved& stored = remember(code, foundBy, product, grade, products);
    return stored.known ? &stored : nullptr;
}

// Each search asks only for the codes that the searches before it did not find, and a code is
// answered by the first row found for it, as a search of one code takes its first row.
void ConversionEngine::resolveAll(std::span<const std::optional<Reading>> readings) {
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
    // The first row for a code, and every product its rows name.
    struct Answer {
        QString product;
        QString grade;
        bool admitted = false;
        QSet<QString> products;
    };
    for (const auto& search : searches) {
        const bool byBarcode = search.foundBy == FoundBy::Barcode;
        std::vector<QString> notFound;
        for (size_t from = 0; from < open.size();) {
            const int size = readBatchSize(open.size() - from);
            const size_t to = std::min(open.size(), from + static_cast<size_t>(size));
            std::vector<std::optional<Answer>> answers(to - from);
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
                    const QString product = query.text(1);
                    const QString grade = byBarcode ? query.text(2) : QString();
                    for (const size_t i : *askedBy) {
                        std::optional<Answer>& answer = answers[i - from];
                        if (!answer)
                            answer =
                                Answer{product,
                                       byBarcode ? grade : QString::fromLatin1(db::value::NoGrade),
                                       byBarcode || gradeRuleAdmits(query.number(2)),
                                       {}};
                        answer->products.insert(keyOf(product, grade));
                    }
                }
                query.close();
            });
            for (size_t i = from; i < to; ++i) {
                const std::optional<Answer>& answer = answers[i - from];
                if (!answer)
                    notFound.push_back(open[i]);
                else if (answer->admitted)
                    remember(open[i], search.foundBy, answer->product, answer->grade,
                             static_cast<int>(answer->products.size()));
                else
                    remember(open[i], FoundBy::None, {}, {});
            }
            from = to;
        }
        open = std::move(notFound);
    }
    for (const QString& code : open)
        remember(code, FoundBy::None, {}, {});
}

} // namespace conversion
