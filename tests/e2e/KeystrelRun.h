// Starts a Keystrel executable with the end-to-end driver preloaded and
// collects what it leaves behind.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

struct KeystrelRun {
    bool started = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray standardError;
    QStringList report; // the driver's lines
    QStringList failures() const { return report.filter(QRegularExpression(QStringLiteral("^FAIL "))); }
};

// Runs `program` with the driver in `workDir` until it exits; `environment`
// ("NAME=value" each) is added to the test's own.
KeystrelRun runKeystrel(const QString &program, const QString &workDir, const QString &scenario,
                        const QStringList &environment = {});
