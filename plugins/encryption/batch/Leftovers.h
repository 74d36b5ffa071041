// The leftovers of interrupted rewrites that a walk met, cleared before the
// batch starts: each removed where it can only be redundant, otherwise kept
// and named, so that no summary passes over a copy of content the user may
// not know of.
#pragma once

#include "LogFn.h"
#include "batch/FolderHandles.h"
#include "batch/FolderWalk.h"

#include <QStringList>

namespace vaultine {

// Logs what became of each; returns the paths of those that stay.
QStringList clearLeftovers(const FolderListing &listing, FolderHandles &folders, const LogFn &log);

} // namespace vaultine
