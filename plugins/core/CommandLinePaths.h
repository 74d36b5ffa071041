// The paths named on the command line, as the file manager or a shell
// hands them over.
#pragma once

#include <QStringList>

namespace CommandLinePaths {

// Every argument after the program name that is not an option, made
// absolute against the working directory. Arguments that begin with '-' are
// options for someone else (a plug-in, or Qt); "--" ends them, so a file
// named "-x" can still be given.
QStringList fromArguments(int argc, char **argv);

} // namespace CommandLinePaths
