// The first stage of a batch, on a thread of its own ("keystrel-write"):
// the next group of files written ahead as replacements not yet in place,
// handed to the flush stage. A group is written only with a ticket, which
// the committing stage gives back as it takes a group (one at a time: once
// it has settled it), so that handles and memory stay bounded. The
// committing stage can also hold it (a file tried alone) and stop it.
#pragma once

#include "batch/HandleBudget.h"
#include "batch/Slot.h"
#include "batch/StageQueue.h"
#include "transform/ChunkWriter.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace vaultine {

class SlotWork;

class WriteStage
{
public:
    WriteStage(SlotWork &work, const HandleBudget &budget, StageQueue<Group> &toFlush);
    WriteStage(const WriteStage &) = delete;
    WriteStage &operator=(const WriteStage &) = delete;
    ~WriteStage(); // stops and joins

    void start();
    void giveBackTicket();
    // Stops at the next file and waits there, until resumed.
    void hold();
    void resume();
    bool isHeld() const { return m_held.load(); }
    // Until it waits for a ticket or has written every file: all it wrote
    // is handed on.
    void waitUntilParked();
    // Writes nothing more.
    void stop();

private:
    void run();
    // False once stopped.
    bool takeTicket();
    Group writeAhead(int *next);
    bool stopped() const { return m_stopped.load(); }

    SlotWork &m_work;
    StageQueue<Group> &m_toFlush;
    const int m_total;
    const int m_groupFiles;
    filecrypt::ChunkWriter m_chunks;

    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_tickets;
    bool m_parked = true;
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_stopped{false};
    NamedThread m_thread; // last: goes first
};

} // namespace vaultine
