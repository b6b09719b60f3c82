#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStringList>
#include <functional>

// The built program run as a script or a scheduler would run it.
namespace programrun {

struct Result {
    int status = -1; // -1 when the program did not end by itself within two minutes
    QByteArray out;
    QByteArray err;
};

// The environment of a scheduled job on a Brazilian workstation: no usable display, so that a
// window, or anything that needs one, would abort the program; numbers with the decimal comma.
inline QProcessEnvironment batchEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("nenhuma"));
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("LC_ALL"));
    environment.insert(QStringLiteral("LC_NUMERIC"), QStringLiteral("pt_BR.UTF-8"));
    return environment;
}

// prepare may change how the program is started: through another program, with standard
// output elsewhere.
inline Result run(const QString& program, const QStringList& arguments, const QString& folder,
                  const QProcessEnvironment& environment,
                  const std::function<void(QProcess&)>& prepare = {}) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.setProgram(program);
    process.setArguments(arguments);
    if (prepare)
        prepare(process);
    process.start();
    Result result;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return result;
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
#ifdef Q_OS_WIN
    // The C runtime ends a line on a text stream with CR LF.
    result.out.replace("\r\n", "\n");
    result.err.replace("\r\n", "\n");
#endif
    return result;
}

} // namespace programrun
