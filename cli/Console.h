// Where the command line's output goes: log lines to standard error, one
// per line and never one that carries a user's text; results to standard
// output; the progress line between the log lines on a terminal.
#pragma once

#include "LogFn.h"
#include "ProgressLine.h"

#include <QByteArray>
#include <QString>

class Console
{
public:
    explicit Console(bool quiet);

    void log(const QString &line);
    LogFn logger();
    ProgressLine &progress() { return m_progress; }

    // Results, in the local encoding of the terminal.
    void result(const QByteArray &bytes);
    // False when standard output could not take everything.
    bool flushResults();

    // The command line's own complaints, before any work starts.
    static void error(const QString &text);

private:
    const bool m_quiet;
    ProgressLine m_progress;
};
