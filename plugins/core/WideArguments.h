// The command line as text. On Windows main() receives its arguments in the
// ANSI code page (qtmain and the C runtime convert the wide command line), so
// a name with characters outside it (an emoji anywhere, Chinese on a Western
// system) arrives mangled there; the process's wide command line keeps them.
#pragma once

#include <QStringList>

namespace widearguments {

// argv[0] to argv[argc - 1] (as left by the application object, which has
// taken out Qt's own options): on Windows the wide arguments of the
// process's command line that they came from, elsewhere argv in the
// file-name encoding.
QStringList of(int argc, char **argv);

} // namespace widearguments
