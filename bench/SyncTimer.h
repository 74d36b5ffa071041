// Time this process spent in fsync/fdatasync and in rename, the two steps
// of the safe replace that wait for the disk.
#pragma once

namespace synctimer {
double seconds();
long calls();
double renameSeconds();
void reset();
} // namespace synctimer
