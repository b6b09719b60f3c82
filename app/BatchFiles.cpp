#include "BatchFiles.h"

#include "conversion/CollectorFile.h"
#include "conversion/Errors.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdlib>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace app::batch {

namespace {
const QString DiskFull = QStringLiteral("o disco está cheio");

conversion::FileError notFound(const QString& name) {
    return conversion::FileError(QStringLiteral("Arquivo não encontrado: %1").arg(name));
}

conversion::FileError unreadable(const QString& name, const QString& reason) {
    return conversion::FileError(
        QStringLiteral("Não foi possível ler o arquivo %1: %2").arg(name, reason));
}

#ifdef Q_OS_UNIX
// Opened by its bytes: Qt would read a name that is not valid UTF-8 as another name.
CollectorInput readNative(const FileArgument& file, qint64 maxBytes) {
    // Not blocking: a pipe under that name must be refused, not waited on.
    const int fd = ::open(file.native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            throw notFound(file.name);
        throw unreadable(file.name, systemErrorText(errno));
    }
    QFile opened;
    if (!opened.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        throw unreadable(file.name, opened.errorString());
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
        throw notFound(file.name);
    CollectorInput input;
    if (char* resolved = ::realpath(file.native.constData(), nullptr)) {
        input.canonicalPath = QFile::decodeName(resolved);
        std::free(resolved);
    }
    input.lines = conversion::readLines(opened, file.name, maxBytes, &input.sha256);
    return input;
}
#endif
} // namespace

FileArgument fileArgument(const QString& value, const QByteArray& native) {
    FileArgument file{value, {}};
#ifdef Q_OS_UNIX
    file.native = native;
    // The parser's text is the bytes read as UTF-8: anything else is not this argument.
    if (file.native.isEmpty() || QFile::decodeName(file.native) != file.name)
        file.native = QFile::encodeName(file.name);
#else
    Q_UNUSED(native);
#endif
    return file;
}

QString systemErrorText(int errorNumber) {
    return errorNumber == ENOSPC ? DiskFull : qt_error_string(errorNumber);
}

CollectorInput readCollector(const FileArgument& file, qint64 maxBytes) {
#ifdef Q_OS_UNIX
    if (!file.native.isEmpty())
        return readNative(file, maxBytes);
#endif
    const QFileInfo info(file.name);
    if (!info.isFile())
        throw notFound(file.name);
    QFile opened(file.name);
    if (!opened.open(QIODevice::ReadOnly))
        throw unreadable(file.name, opened.errorString());
    CollectorInput input;
    input.canonicalPath = info.canonicalFilePath();
    input.lines = conversion::readLines(opened, file.name, maxBytes, &input.sha256);
    return input;
}

bool samePath(const QString& a, const QString& b) {
#if defined(Q_OS_WIN) || defined(Q_OS_MACOS)
    return a.compare(b, Qt::CaseInsensitive) == 0;
#else
    return a == b;
#endif
}

Output::Output(const FileArgument& file)
    : m_name(file.name) {
    if (m_name.isEmpty() || (!file.native.isEmpty() && QFile::encodeName(m_name) != file.native))
        throw conversion::FileError(failure(QStringLiteral("nome de arquivo inválido")));
    // The save file writes through a link to its target, so the target is what must be sound.
    const QFileInfo named(m_name);
    const QFileInfo target(named.isSymLink() ? named.symLinkTarget() : named.absoluteFilePath());
    if (target.exists()) {
        // A device, a folder or a pipe would be replaced by a regular file.
        if (!target.isFile())
            throw conversion::FileError(failure(QStringLiteral("não é um arquivo comum")));
        m_resolved = target.canonicalFilePath();
    } else {
        const QFileInfo folder(target.absolutePath());
        if (!folder.isDir())
            throw conversion::FileError(
                failure(QStringLiteral("a pasta %1 não existe").arg(target.absolutePath())));
        m_resolved = folder.canonicalFilePath() + QLatin1Char('/') + target.fileName();
        // Only creating it tells whether the folder takes this name (too long, not allowed).
        QFile probe(target.absoluteFilePath());
        if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            throw conversion::FileError(failure(probe.errorString()));
        probe.remove();
    }
    m_file.setFileName(m_name);
    // Unbuffered: every write reaches write(), which tries the rest of a short one and so learns
    // of a full disk. Qt's buffer would send a small file's bytes once, at commit, and a write
    // cut short there is an unknown error.
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw conversion::FileError(failure(m_file.errorString()));
}

QString Output::failure(const QString& reason) const {
    return QStringLiteral("Não foi possível gravar %1: %2").arg(m_name, reason);
}

void Output::noteWriteError() {
    if (m_writeError.isEmpty())
        m_writeError =
            m_file.error() == QFileDevice::ResourceError ? DiskFull : m_file.errorString();
}

void Output::write(const QByteArray& bytes) {
    // A write cut short by a full disk says why only when the rest is tried.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = m_file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            noteWriteError();
            return;
        }
        done += written;
    }
}

QString Output::commit() {
    const bool committed = m_file.commit();
    if (!m_writeError.isEmpty())
        return failure(m_writeError);
    return committed ? QString() : failure(m_file.errorString());
}

} // namespace app::batch
