#include "FlushStage.h"

#include "batch/SlotWork.h"
#include "filesystem/DurableFlush.h"
#include "format/LogLines.h"

#include <utility>
#include <vector>

namespace vaultine {

FlushStage::FlushStage(SlotWork &work, StageQueue<Group> &written, StageQueue<Group> &toCommit)
    : m_work(work)
    , m_written(written)
    , m_toCommit(toCommit)
{
}

FlushStage::~FlushStage()
{
    m_thread.join();
}

void FlushStage::start()
{
    m_thread = NamedThread("keystrel-flush", [this] { run(); });
}

void FlushStage::run()
{
    while (std::optional<Group> group = m_written.pop()) {
        // A cancelled group is not put in place: no need to flush it.
        if (!m_stopped.load() && !group->empty() && group->back().state != SlotState::Cancelled)
            flush(*group);
        if (!m_toCommit.push(*group))
            m_work.releaseAll(*group);
        m_written.done(); // after the hand-over: drained means handed on
    }
    m_toCommit.close();
}

// The group's new files reach the disk together.
void FlushStage::flush(Group &group)
{
    std::vector<Slot *> ready;
    std::vector<Replacement *> replacements;
    for (Slot &slot : group) {
        if (slot.state == SlotState::Ready) {
            ready.push_back(&slot);
            replacements.push_back(slot.replacement.get());
        }
    }
    std::vector<std::pair<std::size_t, QString>> failures;
    flushTogether(replacements,
                  [&](std::size_t index, const QString &reason) { failures.emplace_back(index, reason); });
    // Released only now: the flush looks at every replacement to the end.
    for (const auto &failure : failures) {
        Slot &slot = *ready[failure.first];
        slot.lines << loglines::withReason(loglines::kWriteFailed[m_work.direction()],
                                           m_work.listing().paths.at(slot.index), failure.second);
        slot.state = SlotState::Failed;
        m_work.release(slot);
    }
}

} // namespace vaultine
