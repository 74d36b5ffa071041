// Where the log lines of every plug-in go: the log pane of the main window
// while it exists, and standard error only when asked for (StderrMirror.h).
#pragma once

class LogPane;
class QString;

namespace loghub {

// Stamps the line with the time of day and hands it on: to the pane with
// its control characters escaped (LogText.h), and for a saved log without
// a text the user typed (UserText.h).
void write(const QString &line);

// The pane that shows the lines from now on.
void attachPane(LogPane *pane);
// Stops showing lines in `pane` if it is the current one.
void detachPane(LogPane *pane);

// The time of day as each line starts: "hh:mm:ss.zzz  ".
QString stamp();
// The stamp followed by the line.
QString stamped(const QString &line);

} // namespace loghub
