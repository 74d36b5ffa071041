#include "KeystrelRun.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

KeystrelRun runKeystrel(const QString &program, const QString &workDir, const QString &scenario,
                        const QStringList &environment)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KEYSTREL_LOG_TO_STDERR")); // off unless the test asks
    for (const QString &entry : environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KEYSTREL_E2E_DRIVER));
    env.insert(QStringLiteral("KEYSTREL_E2E_WORKDIR"), workDir);
    env.insert(QStringLiteral("KEYSTREL_E2E_SCENARIO"), scenario);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The driver comes before the sanitizer runtime in a sanitized build.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));

    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(program, QStringList());

    KeystrelRun run;
    run.started = process.waitForStarted();
    // Only a guard against a hung run; a normal run ends by itself.
    if (run.started && !process.waitForFinished(10 * 60 * 1000))
        process.kill();
    process.waitForFinished();
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.standardError = process.readAllStandardError();

    QFile report(QDir(workDir).filePath(QStringLiteral("report")));
    if (report.open(QIODevice::ReadOnly))
        run.report = QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}
