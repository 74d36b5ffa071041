// Where a file operation of this process waits: the time spent in read,
// write, fsync/fdatasync and rename, summed since the last reset.
#pragma once

namespace iotimer {

struct Totals {
    double readSeconds = 0;
    double writeSeconds = 0;
    double syncSeconds = 0;
    double renameSeconds = 0;
    long syncCalls = 0;
};

Totals totals();
void reset();

} // namespace iotimer
