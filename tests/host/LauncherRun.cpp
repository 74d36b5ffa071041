#include "LauncherRun.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace {

bool copyFile(const QString &from, const QString &to)
{
    // A copy, not a link: the launcher resolves its own path through links.
    return QFile::copy(from, to);
}

QStringList readLines(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

QString testCorePath(const QString &name)
{
    return QStringLiteral(KEYSTREL_TEST_CORES_DIR "/") + name + QStringLiteral(".so");
}

LauncherRun runLauncher(const QString &workDir, const LauncherSetup &setup)
{
    LauncherRun run;
    const QDir dir(workDir);
    run.program = dir.filePath(QStringLiteral("Keystrel"));
    if (!copyFile(QStringLiteral(KEYSTREL_EXECUTABLE), run.program))
        return run;

    const QString pluginDir = dir.filePath(QStringLiteral("Plugin"));
    const QString corePath = pluginDir + QStringLiteral("/Hubstone.so");
    switch (setup.folder) {
    case LauncherSetup::Folder::Missing:
        break;
    case LauncherSetup::Folder::Empty:
        dir.mkpath(pluginDir);
        break;
    case LauncherSetup::Folder::NotALibrary: {
        dir.mkpath(pluginDir);
        QFile file(corePath);
        if (!file.open(QIODevice::WriteOnly) || file.write("not a shared library\n") < 0)
            return run;
        break;
    }
    case LauncherSetup::Folder::Truncated:
    case LauncherSetup::Folder::Encrypted: {
        dir.mkpath(pluginDir);
        QFile good(testCorePath(setup.core));
        QFile file(corePath);
        if (!good.open(QIODevice::ReadOnly) || !file.open(QIODevice::WriteOnly))
            return run;
        const QByteArray bytes = good.readAll();
        const QByteArray damaged = setup.folder == LauncherSetup::Folder::Truncated
                                       ? bytes.left(1024) // its headers, not what they describe
                                       : QByteArray("has been encrypt", 17) + bytes;
        if (file.write(damaged) != damaged.size())
            return run;
        break;
    }
    case LauncherSetup::Folder::WithCore:
        dir.mkpath(pluginDir);
        if (!copyFile(setup.coreFile.isEmpty() ? testCorePath(setup.core) : setup.coreFile, corePath))
            return run;
        break;
    }
    for (auto it = setup.pluginFiles.constBegin(); it != setup.pluginFiles.constEnd(); ++it) {
        QFile file(pluginDir + QLatin1Char('/') + it.key());
        if (!file.open(QIODevice::WriteOnly) || file.write(it.value()) != it.value().size())
            return run;
    }

    const QString coreLog = dir.filePath(QStringLiteral("core.log"));
    const QString reportPath = dir.filePath(QStringLiteral("report.json"));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QStringList command = setup.wrapper;
    if (command.isEmpty()) {
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KEYSTREL_PROBE));
    } else {
        // Preloaded into the launcher only, not into the wrapper.
        command << QStringLiteral("env") << QStringLiteral("LD_PRELOAD=" KEYSTREL_PROBE);
    }
    command << run.program << setup.arguments;
    env.insert(QStringLiteral("KEYSTREL_PROBE_REPORT"), reportPath);
    env.insert(QStringLiteral("KEYSTREL_TEST_CORE_LOG"), coreLog);
    env.insert(QStringLiteral("KEYSTREL_TEST_CORE_EXIT"), QString::number(setup.quitCode));
    // The probe comes before the sanitizer runtime in a sanitized build.
    QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + "verify_asan_link_order=0");
    if (setup.platformFromArguments) {
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
    }

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(QDir::rootPath());
    process.start(command.takeFirst(), command);
    // The limit only stops a hung launcher; no verdict rests on it.
    run.finished = process.waitForFinished(120000);
    if (!run.finished) {
        process.kill();
        process.waitForFinished();
    }
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.errorOutput = process.readAllStandardError();
    run.coreCalls = readLines(coreLog);

    QFile report(reportPath);
    if (report.open(QIODevice::ReadOnly))
        run.report = QJsonDocument::fromJson(report.readAll()).object();
    return run;
}
