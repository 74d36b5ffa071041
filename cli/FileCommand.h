// encrypt, decrypt and toggle: each path in place, a file on its own or a
// folder as one batch, as a drop on the form handles them.
#pragma once

#include <QStringList>

class Console;

enum class FileMode { Encrypt, Decrypt, Toggle };

// The exit status.
int runFileCommand(FileMode mode, const QStringList &paths, Console &console);
