// Runs the crypt tool on a path and collects how it ended.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace toolrun {

struct Outcome
{
    bool killed = false; // ended by a signal
    int exitCode = -1;
    bool hookFired = false;
    QStringList lines; // log lines, without the hook and result lines
    int result = 99;   // the operation's result, 99 when none was printed
};

struct Options
{
    QString hook;           // KEYSTREL_TOOL_HOOK, empty for none
    bool noTmpfile = false; // KEYSTREL_TOOL_NO_TMPFILE
    bool trace = false;     // KEYSTREL_TOOL_TRACE
    QStringList wrapper;    // a command to run the tool under, e.g. setpriv
    QString tool = QStringLiteral(CRYPT_TOOL);
    QString runtimeDir; // XDG_RUNTIME_DIR, when the default does not fit
};

inline Outcome run(const QString &operation, const QString &path, const Options &options = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    // Qt warns on every start without one.
    static QTemporaryDir runtimeDir;
    env.insert("XDG_RUNTIME_DIR", options.runtimeDir.isEmpty() ? runtimeDir.path() : options.runtimeDir);
    env.remove("KEYSTREL_TOOL_HOOK");
    env.remove("KEYSTREL_TOOL_NO_TMPFILE");
    if (!options.hook.isEmpty())
        env.insert("KEYSTREL_TOOL_HOOK", options.hook);
    env.remove("KEYSTREL_TOOL_TRACE");
    if (options.trace)
        env.insert("KEYSTREL_TOOL_TRACE", "1");
    if (options.noTmpfile)
        env.insert("KEYSTREL_TOOL_NO_TMPFILE", "1");

    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList command = options.wrapper;
    command << options.tool << operation << path;
    process.start(command.takeFirst(), command);
    process.waitForFinished(-1);

    Outcome outcome;
    outcome.killed = process.exitStatus() == QProcess::CrashExit;
    outcome.exitCode = process.exitCode();
    const QStringList lines = QString::fromUtf8(process.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    for (const QString &line : lines) {
        if (line == QLatin1String("hook fired"))
            outcome.hookFired = true;
        else if (line.startsWith(QLatin1String("result: ")))
            outcome.result = line.mid(8).toInt();
        else
            outcome.lines << line;
    }
    return outcome;
}

} // namespace toolrun
