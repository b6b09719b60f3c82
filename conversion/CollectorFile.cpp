#include "CollectorFile.h"

#include "Cp1252.h"
#include "db/Errors.h"

#include <QFile>

namespace collector {

QStringList splitLines(const QString& text) {
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const QChar c = text.at(i);
        if (c != u'\r' && c != u'\n')
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < size && text.at(i + 1) == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < size)
        lines << text.mid(start);
    return lines;
}

QStringList readLines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw db::FileError(
            QStringLiteral("Não foi possível ler o arquivo %1: %2").arg(path, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw db::FileError(
            QStringLiteral("Não foi possível ler o arquivo %1: %2").arg(path, file.errorString()));
    return splitLines(cp1252::decode(bytes));
}

std::optional<Reading> splitReading(const QString& line) {
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    return Reading{line.left(comma), line.mid(comma + 1)};
}

} // namespace collector
