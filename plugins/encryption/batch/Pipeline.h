// The threads of a batch: one writes the next group of files ahead, another
// flushes the group written before it, and the calling thread puts the
// flushed groups' files in place one by one as the caller lets it, has
// their folders flushed and logs them (see Settling).
#pragma once

#include "batch/BatchEngine.h"
#include "batch/HandleBudget.h"
#include "batch/Settling.h"
#include "batch/Slot.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class SlotWork;

class Pipeline
{
public:
    Pipeline(SlotWork &work, const BatchEngine::Hooks &hooks, const HandleBudget &budget);
    Pipeline(const Pipeline &) = delete;
    Pipeline &operator=(const Pipeline &) = delete;
    ~Pipeline() = default;

    BatchSummary run();

private:
    // The writing thread.
    void writeGroups();
    Group writeAhead(int *next);
    // The committing thread; returns how many files it settled.
    int commitGroups();
    int commitInOrder(Group &group, int from, bool *stopped);
    void makeRoom(Group &current, int after);
    void letGo(Slot &slot);
    void letWriterOn();
    void waitUntilIdle();
    void flushGroup(Group &group);
    void logCancelled(const Group &group, int settledCount);
    void releaseAll(Group &group);

    SlotWork &m_work;
    const BatchEngine::Hooks &m_hooks;
    const int m_total;
    const int m_groupFiles;
    const std::size_t m_groupsAhead; // flushed or flushing, not yet committed
    const bool m_overlapping;        // false: one group at a time
    BatchSummary m_summary;
    Settling m_settling;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Group> m_written; // flushed, in order, waiting to be committed
    bool m_writerDone = false;
    // The committing thread stopped: nothing more is written ahead.
    std::atomic<bool> m_committerStopped{false};
    // A file is tried again alone: nothing new is written ahead meanwhile.
    std::atomic<bool> m_holdWriter{false};
    bool m_writerBusy = false;   // within writeAhead(); under m_lock
    bool m_flushing = false;     // a group on its way to m_written; under m_lock
    bool m_committerIdle = true; // no group taken and not yet settled; under m_lock
    std::thread m_flusher;       // joined by the writing thread
};
