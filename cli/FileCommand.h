// encrypt, decrypt and toggle: each path in place, a file on its own or a
// folder as one batch, as a drop on the form handles them.
#pragma once

#include "jobs/FileJob.h"

#include <QStringList>

class Console;

// The exit status.
int runFileCommand(vaultine::jobs::Asked asked, const QStringList &paths, Console &console);
