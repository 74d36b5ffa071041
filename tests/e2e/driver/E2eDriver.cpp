// Preloaded (LD_PRELOAD) into the real Keystrel. Once the event loop runs it
// uses the window as a person would: types into the form, clicks its
// buttons, drops a file twice and a folder once, reads the log pane, then
// closes the window. Every check is written to $KEYSTREL_E2E_WORKDIR/report
// as "ok <name>" or "FAIL <name>: <detail>", and "done" at the end.
//
// KEYSTREL_E2E_SCENARIO: "full" (the default) as above; "smoke" only checks
// the window and closes it; "screenshot" types and encrypts, decrypts, then
// writes "ready" and leaves the window open. "expect" writes "ready" and waits
// until the log pane holds the lines of KEYSTREL_E2E_EXPECT (one per line) in
// their order, "stay" until a file "close" appears in the work folder; both
// then copy the pane into the report ("log <line>") and close the window.
// KEYSTREL_E2E_TEXT, when set, is the text the full scenario types.
#include "E2eSteps.h"

#include <QApplication>
#include <QTimer>

namespace {

void start()
{
    const QString workDir = qEnvironmentVariable("KEYSTREL_E2E_WORKDIR");
    if (workDir.isEmpty())
        return;
    const QString scenario = qEnvironmentVariable("KEYSTREL_E2E_SCENARIO", QStringLiteral("full"));
    // Runs at the first turn of the event loop: the core plug-in has built
    // and shown its window by then.
    QTimer::singleShot(0, qApp, [workDir, scenario] { e2esteps::run(workDir, scenario); });
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(start)
