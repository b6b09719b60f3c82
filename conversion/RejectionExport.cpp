#include "RejectionExport.h"

#include "Cp1252.h"
#include "Errors.h"

#include <QSaveFile>

namespace conversion {

QByteArray rejectionFileBytes(const QStringList& lines) {
    QByteArray content;
    for (const QString& line : lines)
        content += cp1252::encode(line) + "\r\n";
    return content;
}

void writeRejectionFile(const QString& fileName, const QByteArray& content) {
    // Written beside the target and renamed over it, so a failed write never leaves half a file.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit())
        throw FileError(file.errorString());
}

} // namespace conversion
