// Starts a Keystrel executable with the end-to-end driver preloaded and
// collects what it leaves behind.
#pragma once

#include <QByteArray>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

struct KeystrelRun
{
    bool started = false;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    int exitCode = -1;
    QByteArray standardError;
    QStringList report; // the driver's lines
    QStringList failures() const { return report.filter(QRegularExpression(QStringLiteral("^FAIL "))); }
    // The log pane as the driver copied it ("expect" and "stay").
    QStringList log() const
    {
        QStringList lines;
        for (const QString &line : report) {
            if (line.startsWith(QLatin1String("log ")))
                lines << line.mid(4);
        }
        return lines;
    }
};

struct KeystrelOptions
{
    QStringList arguments;
    QStringList expect;      // the "expect" scenario's log lines
    QStringList wrapper;     // a command to run it under, e.g. setpriv
    QStringList environment; // "NAME=value" each, added to the test's own
};

// Runs `program` with the driver in `workDir` until it exits.
// `cmake --install` of the build in `buildDir` into `prefix` (DESTDIR left
// out); false with what it said.
bool installBuild(const QString &cmake, const QString &buildDir, const QString &prefix, QByteArray *output);

KeystrelRun runKeystrel(const QString &program, const QString &workDir, const QString &scenario,
                        const KeystrelOptions &options = {});

// The same in the background, for a test that acts meanwhile.
class KeystrelProcess
{
public:
    void start(const QString &program, const QString &workDir, const QString &scenario,
               const KeystrelOptions &options = {});
    // Waits for the end (a hung run is killed) and collects.
    KeystrelRun finish();

    QProcess process;

private:
    QString m_workDir;
    bool m_started = false;
};
