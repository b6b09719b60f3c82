#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The text file "&Salvar" writes from the inventory rejection list.
namespace conversion {

// Every line in Windows-1252, each one, the last included, ended by CR LF; no byte-order mark.
// Item codes decoded from a collector file come back with the bytes they were read with.
QByteArray rejectionFileBytes(const QStringList& lines);

// Creates the file or replaces it whole; a failure leaves any earlier file as it was and raises
// FileError with the file layer's own message.
void writeRejectionFile(const QString& fileName, const QByteArray& content);

} // namespace conversion
