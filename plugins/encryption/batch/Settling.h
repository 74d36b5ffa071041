// The last stage of a group put in place: the folders of its renamed files
// flushed, then every file's lines logged in order and counted. The flush of
// a whole group waits on the disk on a thread of its own
// ("keystrel-settle", started with the first such group) while the next
// group is renamed; its lines are logged later, on the committing thread,
// before any line of the next group.
#pragma once

#include "batch/BatchEngine.h"
#include "batch/Slot.h"
#include "filesystem/NamedThread.h"

#include <condition_variable>
#include <map>
#include <mutex>

namespace vaultine {

class SlotWork;

class Settling
{
public:
    Settling(SlotWork &work, const BatchEngine::Hooks &hooks, BatchSummary &summary);
    Settling(const Settling &) = delete;
    Settling &operator=(const Settling &) = delete;
    ~Settling(); // settles what was set aside, then joins

    // Files `from` to `to` of `group`, at once: a group committed in parts.
    void settleNow(Group &group, int from, int to);
    // A whole group, taken over: its folders start being flushed.
    void settleAside(Group group);
    // Settles what was set aside, if anything: before the next lines.
    void finish();

private:
    struct FolderFlush
    {
        bool done = true;
        QString reason;
    };

    void run();
    void noteFolders(const Group &group, int from, int to);
    void flushFolders();
    void logAndRelease(Group &group, int from, int to);
    void count(const Slot &slot);

    SlotWork &m_work;
    const BatchEngine::Hooks &m_hooks;
    BatchSummary &m_summary;

    std::map<const Folder *, FolderFlush> m_flushed;
    Group m_aside;
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_flushing = false; // m_aside's folders are being flushed
    bool m_stopping = false;
    NamedThread m_thread; // last: goes first
};

} // namespace vaultine
