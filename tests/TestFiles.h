#pragma once

#include <QByteArray>
#include <QFile>
#include <QTest>

// Files a test writes and reads back, byte for byte.
namespace testfiles {

inline void write(const QString& path, const QByteArray& content) {
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    file.write(content);
}

inline QByteArray read(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(unreadable)";
    return file.readAll();
}

} // namespace testfiles
