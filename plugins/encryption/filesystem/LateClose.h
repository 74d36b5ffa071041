// Closing a file whose last name was just replaced frees its blocks: a large
// file takes a tenth of a second and more (and discards on some disks), a
// thousand small ones add up. Done on closing threads that the engine owns
// ("keystrel-close", joined when the process ends), so that nobody waits for
// it; until then the old content stays allocated, not reachable by any name.
#pragma once

#include "FileHandle.h"

namespace vaultine {

void closeLater(FileHandle handle);
// Returns once every handle handed over so far is closed: their files'
// blocks are free again.
void waitForLateCloses();

} // namespace vaultine
