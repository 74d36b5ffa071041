// Where the file operations of this process wait: the time spent in each
// kind of file system call, summed over every thread since the last reset.
#pragma once

namespace iotimer {

struct Totals
{
    double readSeconds = 0;
    double writeSeconds = 0;
    double syncSeconds = 0; // fsync and fdatasync of files
    long syncCalls = 0;
    double folderSyncSeconds = 0; // fsync of folders
    long folderSyncCalls = 0;
    double syncfsSeconds = 0;
    long syncfsCalls = 0;
    double writeBackSeconds = 0; // sync_file_range
    double renameSeconds = 0;    // rename, renameat, renameat2
    long renameCalls = 0;
    double linkSeconds = 0; // linkat
    double closeSeconds = 0;
};

Totals totals();
void reset();

} // namespace iotimer
