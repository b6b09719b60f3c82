#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QStringList>

// The files of the batch mode: the collector file it reads and the outputs it writes. Whatever
// can be checked is checked before connecting, so that a run never posts and only then finds
// that it can't write what it was asked for.
namespace app::batch {

// A file named on the command line: its name for messages, and the argument's own bytes where
// the system names files by bytes (empty elsewhere), so that a name that is not valid UTF-8 is
// still the file the user named.
struct FileArgument {
    QString name;
    QByteArray native;
};

// A file named by an option's value; native is the command line's own bytes for that value
// (nativeValue), kept where they are what the parser read as the value.
FileArgument fileArgument(const QString& value, const QByteArray& native);

struct CollectorInput {
    // Links followed: where the file really is, to tell an output that would overwrite it.
    QString canonicalPath;
    QStringList lines;
    // SHA-256 of the file's bytes, in hex.
    QString sha256;
};

// Reads the collector file; raises conversion::FileError with the message to show when it is
// missing or not a regular file, can't be read, or holds more than maxBytes.
CollectorInput readCollector(const FileArgument& file, qint64 maxBytes);

// True when two resolved paths name the same file, as the platform compares names.
bool samePath(const QString& a, const QString& b);

// An output file, written beside its target and put in place by commit, so that a run that
// fails leaves none behind.
class Output {
public:
    // Refuses (conversion::FileError) a name that is not valid, a folder that does not exist or
    // does not take the file, and an existing target that is not a regular file or may not be
    // replaced.
    explicit Output(const FileArgument& file);

    const QString& name() const { return m_name; }
    // Where the file will be put, links followed.
    const QString& resolvedPath() const { return m_resolved; }

    void write(const QByteArray& bytes);
    // Puts the file in place; empty, or the message of what failed.
    QString commit();

private:
    QString failure(const QString& reason) const;
    void noteWriteError();

    QString m_name;
    QString m_resolved;
    QSaveFile m_file;
    // The first write that failed: the save file forgets why once it gives up.
    QString m_writeError;
};

// The system's text for an error number; a full disk is said in the tool's words.
QString systemErrorText(int errorNumber);

} // namespace app::batch
