// The second stage of a batch, on a thread of its own ("keystrel-flush"):
// each group written ahead put on disk at once (DurableFlush.h) while the
// next is written, then handed to the committing stage. A file whose flush
// failed travels on as failed, with its line.
#pragma once

#include "batch/Slot.h"
#include "batch/StageQueue.h"
#include "filesystem/NamedThread.h"

#include <atomic>

namespace vaultine {

class SlotWork;

class FlushStage
{
public:
    FlushStage(SlotWork &work, StageQueue<Group> &written, StageQueue<Group> &toCommit);
    FlushStage(const FlushStage &) = delete;
    FlushStage &operator=(const FlushStage &) = delete;
    ~FlushStage(); // joins: its input must be closed

    void start();
    // What is still handed on needs no flush: nothing of it is put in place.
    void stop() { m_stopped = true; }

private:
    void run();
    void flush(Group &group);

    SlotWork &m_work;
    StageQueue<Group> &m_written;
    StageQueue<Group> &m_toCommit;
    std::atomic<bool> m_stopped{false};
    NamedThread m_thread; // last: goes first
};

} // namespace vaultine
