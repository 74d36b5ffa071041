// Closing a file whose last name was just replaced frees its blocks: a large
// file takes a tenth of a second and more (and discards on some disks), a
// thousand small ones add up. Done on a thread of its own, nobody waits for
// it; until then the old content stays allocated, not reachable by any name.
#pragma once

#include "FileHandle.h"

void closeLater(FileHandle handle);
// Returns once every handle handed over so far is closed: their files'
// blocks are free again.
void waitForLateCloses();
