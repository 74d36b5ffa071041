// Where a piece of work sends its log lines: one complete line per call, in
// the order the work happened. The form hands them to the core plug-in's
// log, the command line to standard error.
#pragma once

#include <QString>

#include <functional>

using LogFn = std::function<void(const QString &line)>;
