// encrypt-string and decrypt-string: the text of an argument or of standard
// input, the result on standard output followed by a newline.
#pragma once

#include <QString>

class Console;

enum class StringMode { Encrypt, Decrypt };

// `text` null: read standard input. Returns the exit status.
int runStringCommand(StringMode mode, const QString *text, Console &console);
