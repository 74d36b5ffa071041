// status: "encrypted" or "plain", a tab and the path, one line per file;
// folders are walked as a drop walks them.
#pragma once

#include <QStringList>

class Console;

// The exit status.
int runStatusCommand(const QStringList &paths, Console &console);
