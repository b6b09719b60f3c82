#include "CollectorFile.h"

#include "Cp1252.h"
#include "Errors.h"

#include <QCryptographicHash>
#include <QFile>

namespace conversion {

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

namespace {
FileError unreadable(const QString& name, const QFile& file) {
    return FileError(
        QStringLiteral("Não foi possível ler o arquivo %1: %2").arg(name, file.errorString()));
}

QStringList readOpen(QFile& file, const QString& name, std::optional<qint64> maxBytes,
                     QString* sha256) {
    const auto tooLarge = [&] {
        return FileError(QStringLiteral("Arquivo grande demais (mais de %1 MiB): %2")
                             .arg(*maxBytes / (1 << 20))
                             .arg(name));
    };
    if (maxBytes && file.size() > *maxBytes)
        throw tooLarge();
    // One byte past the limit tells a file that grew while it was read.
    const QByteArray bytes = maxBytes ? file.read(*maxBytes + 1) : file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw unreadable(name, file);
    if (maxBytes && bytes.size() > *maxBytes)
        throw tooLarge();
    if (sha256)
        *sha256 = QString::fromLatin1(
            QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
    return splitLines(cp1252::decode(bytes));
}
} // namespace

QStringList readLines(const QString& path, QString* sha256, std::optional<qint64> maxBytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw unreadable(path, file);
    return readOpen(file, path, maxBytes, sha256);
}

QStringList readLines(QFile& file, const QString& name, qint64 maxBytes, QString* sha256) {
    return readOpen(file, name, maxBytes, sha256);
}

QString readingsSha256(const QStringList& lines) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (i > 0)
            hash.addData("\n");
        hash.addData(lines.at(i).toUtf8());
    }
    return QString::fromLatin1(hash.result().toHex());
}

bool holdsNoReading(const QStringList& lines) {
    bool blank = true;
    for (const QString& line : lines) {
        if (line.contains(QLatin1Char(',')))
            return false;
        blank = blank && line.trimmed().isEmpty();
    }
    return !blank;
}

QString noReadingMessage(const QString& name) {
    return QStringLiteral("O arquivo ") + (name.isEmpty() ? QString() : name + QLatin1Char(' ')) +
           QStringLiteral(
               "não tem nenhuma leitura: cada linha deve trazer código, vírgula, quantidade.");
}

std::optional<Reading> splitReading(const QString& line) {
    const qsizetype comma = line.indexOf(QLatin1Char(','));
    if (comma < 0)
        return std::nullopt;
    return Reading{line.left(comma), line.mid(comma + 1)};
}

} // namespace conversion
