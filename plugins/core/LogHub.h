// Where the log lines of every plug-in go: the log pane of the main window
// while it exists, and standard error only when asked for (StderrMirror.h).
#pragma once

class LogPane;
class QString;

namespace LogHub {

// Stamps the line with the time of day and hands it on.
void write(const QString &line);

// The pane that shows the lines from now on.
void attachPane(LogPane *pane);
// Stops showing lines in `pane` if it is the current one.
void detachPane(LogPane *pane);

// "hh:mm:ss.zzz  " followed by the line.
QString stamped(const QString &line);

} // namespace LogHub
