// Runs a copy of the real Keystrel executable beside a "Plugin" folder made
// for the test, with the launcher probe preloaded, and collects what the
// test core plug-in and the probe recorded.
#pragma once

#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStringList>

struct LauncherSetup
{
    // Truncated: the first KiB of `core`; Encrypted: `core` as Keystrel
    // leaves it encrypted (the header before other bytes).
    enum class Folder { WithCore, Empty, Missing, NotALibrary, Truncated, Encrypted };

    Folder folder = Folder::WithCore;
    QString core = QStringLiteral("keystrel_test_core_good"); // under the test cores' folder
    QStringList arguments;
    int quitCode = 0;                      // what the test core quits with
    bool platformFromArguments = false;    // no QT_QPA_PLATFORM: the arguments must name it
    QStringList wrapper;                   // a command to run the launcher under, e.g. setpriv
    QString coreFile;                      // a core plug-in by path, instead of `core`
    QMap<QString, QByteArray> pluginFiles; // more files in the Plugin folder, by name
};

struct LauncherRun
{
    QString program;       // the copied executable, as started
    bool finished = false; // on its own, in time
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QStringList coreCalls; // lines the test core plug-in recorded
    QJsonObject report;    // what the probe recorded
    QByteArray errorOutput;
};

// Lays out workDir and runs the launcher there. Starts it from "/" so that
// only the executable's own location can lead it to the plug-in.
LauncherRun runLauncher(const QString &workDir, const LauncherSetup &setup);

// Path of a test core plug-in by target name.
QString testCorePath(const QString &name);
