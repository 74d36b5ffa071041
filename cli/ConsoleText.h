// Text on standard output and error. A Windows console shows what it gets as
// UTF-16 (WriteConsoleW), so Chinese appears in cmd.exe and PowerShell
// whatever the console's code page; a pipe or a file gets UTF-8 bytes, the
// same bytes as on Linux.
#pragma once

#include <QByteArray>
#include <QStringList>

namespace consoletext {

enum class Stream { Output, Error };

// True when the stream is a console (a terminal), not a pipe or a file.
bool isConsole(Stream stream);
// Writes all of `utf8`; false when the stream did not take it.
bool write(Stream stream, const QByteArray &utf8);

// The program's arguments, the program name first, with every character
// (Windows: from the wide command line, not main()'s ANSI argv).
QStringList arguments(int argc, char **argv);

} // namespace consoletext
