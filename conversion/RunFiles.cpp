#include "RunFiles.h"

#include <QStringList>

namespace conversion {

FileLine locate(const RunFiles& files, int number) {
    int before = 0;
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        if (number <= before + files[i].lines)
            return {static_cast<int>(i), number - before};
        before += files[i].lines;
    }
    return {files.empty() ? 0 : static_cast<int>(files.size()) - 1, number - before};
}

QString lineLabel(const RunFiles& files, int number) {
    if (files.size() < 2)
        return QStringLiteral("Linha %1").arg(number);
    const FileLine where = locate(files, number);
    return QStringLiteral("Linha %1 de %2").arg(where.line).arg(files[where.file].name);
}

QString namesText(const RunFiles& files) {
    QStringList names;
    for (const RunFile& file : files)
        names << file.name;
    if (names.size() < 2)
        return names.join(QString());
    const QString last = names.takeLast();
    return names.join(QStringLiteral(", ")) + QStringLiteral(" e ") + last;
}

} // namespace conversion
