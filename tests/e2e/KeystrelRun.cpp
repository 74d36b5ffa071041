#include "KeystrelRun.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>

void KeystrelProcess::start(const QString &program, const QString &workDir, const QString &scenario,
                            const KeystrelOptions &options)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("KEYSTREL_LOG_TO_STDERR")); // off unless the test asks
    for (const QString &entry : options.environment)
        env.insert(entry.section(QLatin1Char('='), 0, 0), entry.section(QLatin1Char('='), 1));
    env.insert(QStringLiteral("KEYSTREL_E2E_WORKDIR"), workDir);
    env.insert(QStringLiteral("KEYSTREL_E2E_SCENARIO"), scenario);
    env.insert(QStringLiteral("KEYSTREL_E2E_EXPECT"), options.expect.join(QLatin1Char('\n')));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    // The driver comes before the sanitizer runtime in a sanitized build.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"),
               asan + (asan.isEmpty() ? "" : ":") + QStringLiteral("verify_asan_link_order=0"));

    QStringList command = options.wrapper;
    const QString preload = QStringLiteral("LD_PRELOAD=" KEYSTREL_E2E_DRIVER);
    if (command.isEmpty())
        env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(KEYSTREL_E2E_DRIVER));
    else
        command << QStringLiteral("env") << preload; // preloaded into Keystrel, not the wrapper
    command << program << options.arguments;

    process.setProcessEnvironment(env);
    process.setWorkingDirectory(workDir);
    process.setProcessChannelMode(QProcess::SeparateChannels);
    m_workDir = workDir;
    process.start(command.takeFirst(), command);
    m_started = process.waitForStarted();
}

KeystrelRun KeystrelProcess::finish()
{
    KeystrelRun run;
    run.started = m_started;
    // Only a guard against a hung run; a normal run ends by itself.
    if (run.started && !process.waitForFinished(10 * 60 * 1000))
        process.kill();
    process.waitForFinished();
    run.exitStatus = process.exitStatus();
    run.exitCode = process.exitCode();
    run.standardError = process.readAllStandardError();

    QFile report(QDir(m_workDir).filePath(QStringLiteral("report")));
    if (report.open(QIODevice::ReadOnly))
        run.report = QString::fromUtf8(report.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return run;
}

KeystrelRun runKeystrel(const QString &program, const QString &workDir, const QString &scenario,
                        const KeystrelOptions &options)
{
    KeystrelProcess process;
    process.start(program, workDir, scenario, options);
    return process.finish();
}

bool installBuild(const QString &cmake, const QString &buildDir, const QString &prefix, QByteArray *output)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DESTDIR"));
    QProcess install;
    install.setProcessEnvironment(env);
    install.setProcessChannelMode(QProcess::MergedChannels);
    install.start(cmake, {"--install", buildDir, "--prefix", prefix});
    const bool finished = install.waitForFinished(5 * 60 * 1000);
    *output = install.readAll();
    return finished && install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0;
}
