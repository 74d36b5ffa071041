// The two threads of a batch: one writes the next group of files ahead
// while the other flushes the group before it, puts its files in place one
// by one as the caller lets it, flushes their folders and logs them.
#pragma once

#include "batch/BatchEngine.h"
#include "batch/Slot.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

class SlotWork;

class Pipeline
{
public:
    Pipeline(SlotWork &work, const BatchEngine::Hooks &hooks);
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
    void flushGroup(Group &group);
    void settle(Group &group, int from, int settledCount);
    void logCancelled(const Group &group, int settledCount);
    void count(const Slot &slot);
    void releaseAll(Group &group);

    SlotWork &m_work;
    const BatchEngine::Hooks &m_hooks;
    const int m_total;
    const int m_groupFiles;
    BatchSummary m_summary;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Group> m_written; // one group ahead at most
    bool m_writerDone = false;
    // The committing thread stopped: nothing more is written ahead.
    std::atomic<bool> m_committerStopped{false};
    // A file is tried again alone: nothing new is written ahead meanwhile.
    std::atomic<bool> m_holdWriter{false};
    bool m_writerBusy = false; // within writeAhead(); under m_lock
};
