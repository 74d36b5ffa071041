// The last step of a group put in place: the folders of its renamed files
// flushed, then every file's lines logged in order and counted. The flush
// of a whole group may wait on the disk on a thread of its own while the
// next group is renamed; its lines are logged later, on the calling thread,
// before any line of the next group.
#pragma once

#include "batch/BatchEngine.h"
#include "batch/Slot.h"

#include <map>
#include <thread>

class SlotWork;

class Settling
{
public:
    Settling(SlotWork &work, const BatchEngine::Hooks &hooks, BatchSummary &summary);
    Settling(const Settling &) = delete;
    Settling &operator=(const Settling &) = delete;
    ~Settling();

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

    void flushFolders(const Group &group, int from, int to, bool aside);
    void logAndRelease(Group &group, int from, int to);
    void count(const Slot &slot);

    SlotWork &m_work;
    const BatchEngine::Hooks &m_hooks;
    BatchSummary &m_summary;

    std::map<const Folder *, FolderFlush> m_flushed;
    std::thread m_flusher;
    Group m_aside;
};
