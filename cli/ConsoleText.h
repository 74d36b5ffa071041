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

// Names and texts in the encoding this system gives them (Utf8.h): the
// locale's on Unix (UTF-8 without one), UTF-8 on Windows, whose names are
// UTF-16 and reach the program as such.
void useNameEncoding();
// The arguments after the program's name, as bytes that the encoding above
// decodes: Unix's own bytes, the wide arguments in UTF-8 on Windows.
QList<QByteArray> argumentBytes(int argc, char **argv);

// Results on standard output: buffered, the bytes unchanged (no CR added on
// Windows), text to a Windows console as the console shows it.
void writeResult(const QByteArray &bytes);
// False when some result could not be written.
bool flushResults();

// Standard input's next bytes: -1 on an error (errno), with EINTR once Ctrl-C
// has ended a wait.
qint64 readInput(char *buffer, qint64 size);

// Characters per line of the console or terminal on `stream`; 80 when it
// cannot tell.
int columns(Stream stream);

} // namespace consoletext
