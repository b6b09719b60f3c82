#include "ConsoleText.h"

#include "db/Texts.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#endif

namespace app {

bool writeConsole(std::FILE* stream, const QString& text) {
#ifdef Q_OS_WIN
    // A console's code page (850 on a Brazilian desktop) is not the ANSI one (1252), and neither
    // is UTF-8: the console takes the text in UTF-16 instead.
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
        std::fflush(stream);
        DWORD written = 0;
        return WriteConsoleW(handle, reinterpret_cast<const wchar_t*>(text.utf16()),
                             static_cast<DWORD>(text.size()), &written, nullptr) &&
               written == static_cast<DWORD>(text.size());
    }
    // Redirected to a file or a pipe: UTF-8, the encoding the JSON summary is in.
    const QByteArray bytes = text.toUtf8();
#else
    const QByteArray bytes = text.toLocal8Bit();
#endif
    return std::fwrite(bytes.constData(), 1, bytes.size(), stream) == size_t(bytes.size()) &&
           std::fflush(stream) == 0;
}

QString oneLine(QString message) {
    return message.replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

void printError(const QString& message) {
    // A name from a file or the database may hold escape sequences the terminal would obey.
    writeConsole(stderr, db::texts::escapedControls(oneLine(message)) + QLatin1Char('\n'));
}

} // namespace app
