// What becomes of the leftovers of interrupted rewrites (filesystem/
// Leftover.h) that an operation meets: the line that says so, and the sweep
// of a folder before a file in it is rewritten.
#pragma once

#include "filesystem/Leftover.h"
#include "transform/Outcome.h"

#include <QString>

namespace vaultine {

class Folder;

namespace filecrypt {

// Empty when there is nothing to say (the leftover is gone).
QString leftoverLine(LeftoverFate fate, const QString &path, const QString &reason);
// It is still there, and may hold content the user knows nowhere else.
bool staysBehind(LeftoverFate fate);
// Every leftover in `folder`, cleared and logged.
void sweepLeftovers(const Folder &folder, const Control &control);

} // namespace filecrypt

} // namespace vaultine
