// The Windows side of WideArguments.h: the wide command line, and the
// arguments of it that argv holds.
#pragma once

#include "WideArguments.h"

#include <QByteArray>
#include <QVector>

namespace widearguments {

// The process's command line split as qtmain splits it
// (CommandLineToArgvW), and in `narrow` each argument as qtmain hands it to
// main() (the ANSI code page).
QStringList commandLine(QVector<QByteArray> *narrow);

// The arguments of `wide` that argv holds, each found by its narrow form:
// argv must be what is left of the command line with some arguments taken
// out (Qt's options), in order. Empty when it is not.
QStringList matched(int argc, char **argv, const QStringList &wide, const QVector<QByteArray> &narrow);

} // namespace widearguments
