// encrypt-string and decrypt-string: the text of an argument or of standard
// input, the result on standard output followed by a newline.
#pragma once

#include <QByteArray>

class Console;

enum class StringMode { Encrypt, Decrypt };

// `text` (the argument's bytes) null: read standard input. Text must be
// UTF-8 (the locale's encoding) and at most 8 MiB; hexadecimal text at most
// twice that. Returns the exit status.
int runStringCommand(StringMode mode, const QByteArray *text, Console &console);
