// status: "encrypted" or "plain", a tab and the path, one line per file;
// folders are walked as a drop walks them. Unusual names are quoted
// (Quoting.h); `nulSeparated` writes them as they are, each line ended by a
// zero byte, for scripts.
#pragma once

#include <QStringList>

class Console;

// The exit status.
int runStatusCommand(const QStringList &paths, bool nulSeparated, Console &console);
