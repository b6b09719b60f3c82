#pragma once

#include <QByteArray>
#include <QString>

// Windows-1252, the single-byte text of collector files and exports. The five bytes the code
// page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the control characters of the same
// number, so every byte read comes back unchanged when it is written.
namespace conversion::cp1252 {

QString decode(const QByteArray& bytes);
// Characters outside the code page become "?".
QByteArray encode(const QString& text);

} // namespace conversion::cp1252
