// A folder batch: the files of one walk, each encrypted or decrypted in
// place in one direction, as fast as the disk allows and as safely as a
// single file.
//
// Files are written in groups, the stages of a batch overlapping (see
// Pipeline.h): each group's new files are flushed to disk in one go, then
// renamed over the originals in walk order, then their folders are flushed,
// and only then are their lines logged. Leftovers of interrupted rewrites
// that the walk met are cleared first (Leftovers.h). Every file is reached
// through folders held open from the dropped folder, never through a link,
// and must still be the file the walk recorded; the replacement is written
// into the folder it was read from. The caller sees each file settled in
// order and may stop the batch between two files; a stop or cancel leaves
// every file not yet settled untouched. Free of widgets: runs on any thread.
#pragma once

#include "LogFn.h"
#include "batch/FolderWalk.h"
#include "format/Direction.h"

#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace vaultine {

struct BatchSummary
{
    int done = 0;
    int skipped = 0;
    int alreadyInState = 0; // of the skipped: already encrypted (decrypted)
    int failed = 0;
    int left = 0; // not handled: stopped or cancelled before them
    QStringList failedPaths;
    // Leftovers of interrupted rewrites that stay in the folder.
    QStringList leftovers;
};

class BatchEngine
{
public:
    struct Hooks
    {
        // Each file's lines in walk order, once its new content and its name
        // are on disk.
        LogFn log;
        // After file `index` is settled (done, skipped or failed), before the
        // next file is committed: false stops the batch there.
        std::function<bool(int index)> settled;
        // Stops the batch within a chunk of the file in hand.
        const std::atomic<bool> *cancel = nullptr;
        // Bytes of a large file being written. Every hook is called on the
        // thread that runs run().
        std::function<void(qint64 done, qint64 total)> fileProgress;
    };

    BatchEngine(const FolderListing &listing, Direction direction, bool cipherActive, Hooks hooks);
    BatchEngine(const BatchEngine &) = delete;
    BatchEngine &operator=(const BatchEngine &) = delete;
    ~BatchEngine();

    BatchSummary run();

private:
    class Private;
    std::unique_ptr<Private> d;
};

} // namespace vaultine
