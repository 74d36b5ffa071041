// The command line as text. On Windows main() receives its arguments in the
// ANSI code page (qtmain and the C runtime convert the wide command line), so
// a name with characters outside it (an emoji anywhere, Chinese on a Western
// system) arrives mangled there; the process's wide command line keeps them.
#pragma once

#include <QByteArray>
#include <QStringList>
#include <QVector>

namespace WideArguments {

// argv[0] to argv[argc - 1] (as left by the application object, which has
// taken out Qt's own options): on Windows the wide arguments of the
// process's command line that they came from, elsewhere argv in the
// file-name encoding.
QStringList of(int argc, char **argv);

#if defined(Q_OS_WIN)
// The process's command line split as qtmain splits it
// (CommandLineToArgvW), and in `narrow` each argument as qtmain hands it to
// main() (the ANSI code page).
QStringList commandLine(QVector<QByteArray> *narrow);

// The arguments of `wide` that argv holds, each found by its narrow form:
// argv must be what is left of the command line with some arguments taken
// out (Qt's options), in order. Empty when it is not.
QStringList matched(int argc, char **argv, const QStringList &wide, const QVector<QByteArray> &narrow);
#endif

} // namespace WideArguments
