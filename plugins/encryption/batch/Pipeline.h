// A batch's stages, each a part with a thread of its own but the committing
// one, which is the caller's, joined by bounded queues:
//
//   write ahead ──> flush the group ──> put in place, in walk order ──> flush the folders
//   (WriteStage)    (FlushStage)        (this, on the calling thread)    (Settling), then log
//
// and the replaced files closed late (filesystem/LateClose.h). A group is
// written while the one before is flushed and the one before that is put
// in place; under a low open-file limit one group at a time (HandleBudget).
// A file short of room or handles while others were in flight stops the
// stages, lets go of what they wrote ahead, and is tried again alone.
#pragma once

#include "batch/BatchEngine.h"
#include "batch/FlushStage.h"
#include "batch/HandleBudget.h"
#include "batch/Settling.h"
#include "batch/Slot.h"
#include "batch/StageQueue.h"
#include "batch/WriteStage.h"
#include "transform/ChunkWriter.h"

namespace vaultine {

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
    // Returns how many files it settled.
    int commitGroups();
    int commitInOrder(Group &group, int from, bool *stopped);
    void makeRoom(Group &current, int after);
    void letGo(Slot &slot);
    void logCancelled(const Group &group, int settledCount);

    SlotWork &m_work;
    const BatchEngine::Hooks &m_hooks;
    const int m_total;
    const bool m_overlapping; // false: one group at a time
    BatchSummary m_summary;
    filecrypt::ChunkWriter m_chunks; // for the files written in their turn
    StageQueue<Group> m_written;     // write stage → flush stage
    StageQueue<Group> m_flushed;     // flush stage → committing
    Settling m_settling;
    // Last: they go first, while the queues they use are still there.
    WriteStage m_writeStage;
    FlushStage m_flushStage;
};

} // namespace vaultine
