// Time spent in fsync/fdatasync by this process, and how many calls.
#pragma once

namespace synctimer {
double seconds();
long calls();
void reset();
} // namespace synctimer
