// The paths named on the command line, as the file manager or a shell
// hands them over, and the direction asked for them.
#pragma once

#include "PathDirection.h"

#include <QStringList>

namespace commandlinepaths {

// Every argument after the program name that is not an option, made
// absolute against the working directory (see resolvedPath). Arguments that
// begin with '-' are options (--encrypt, --decrypt, or someone else's: a
// plug-in's, or Qt's); "--" ends them, so a file named "-x" can still be
// given.
QStringList fromArguments(int argc, char **argv);

// --encrypt or --decrypt among the options; both is contradictory.
PathDirection directionFromArguments(int argc, char **argv);

// --quit-running among the options: this start only asks the running window
// to close (as an installer does before it replaces the program's files).
bool asksToQuitRunning(int argc, char **argv);

// `argument` as an absolute path that names what the system would open:
// "." and doubled slashes go, but ".." is taken from where the path before
// it really leads (a link to another folder leads there), as the kernel
// takes it, never folded away as text.
QString resolvedPath(const QString &argument);

} // namespace commandlinepaths
