// Runs keystrel-cli as a shell would, in an environment without a display,
// and collects its exit, standard output and standard error.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

namespace clirun {

struct Result
{
    bool crashed = false;
    int status = -1;
    QByteArray out;
    QByteArray err;
    QStringList errLines; // standard error as UTF-8 lines

    QString outText() const { return QString::fromUtf8(out); }
};

struct Options
{
    QByteArray input;          // standard input (closed after it)
    QProcessEnvironment extra; // added to the environment
    QStringList wrapper;       // a command to run it under (setpriv)
    QString workingDirectory;
    QString program; // another copy of keystrel-cli to run
};

inline QProcessEnvironment baseEnvironment()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // No display of any kind, and no hint at a platform plug-in.
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    env.remove(QStringLiteral("KEYSTREL_TOOL_HOOK"));
    env.remove(QStringLiteral("KEYSTREL_HOOK_PATH"));
    return env;
}

inline Result run(const QStringList &arguments, const Options &options = {})
{
    QProcessEnvironment env = baseEnvironment();
    env.insert(options.extra);
    QProcess process;
    process.setProcessEnvironment(env);
    if (!options.workingDirectory.isEmpty())
        process.setWorkingDirectory(options.workingDirectory);
    QStringList command = options.wrapper;
    command << (options.program.isEmpty() ? QStringLiteral(KEYSTREL_CLI) : options.program) << arguments;
    process.start(command.takeFirst(), command);
    process.waitForStarted(-1);
    process.write(options.input);
    process.closeWriteChannel();
    process.waitForFinished(-1);

    Result result;
    result.crashed = process.exitStatus() == QProcess::CrashExit;
    result.status = process.exitCode();
    result.out = process.readAllStandardOutput();
    result.err = process.readAllStandardError();
    result.errLines = QString::fromUtf8(result.err).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return result;
}

} // namespace clirun
