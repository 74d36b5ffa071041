#include "Pipeline.h"

#include "batch/SlotWork.h"
#include "filesystem/LateClose.h"
#include "format/LogLines.h"

namespace vaultine {

namespace {

// Groups in flight between two stages, at most: the write stage's tickets
// bound them anyway.
constexpr std::size_t kQueued = 2;

} // namespace

Pipeline::Pipeline(SlotWork &work, const BatchEngine::Hooks &hooks, const HandleBudget &budget)
    : m_work(work)
    , m_hooks(hooks)
    , m_total(work.listing().paths.size())
    , m_overlapping(budget.overlapsGroups())
    , m_written(kQueued)
    , m_flushed(kQueued)
    , m_settling(work, hooks, m_summary)
    , m_writeStage(work, budget, m_written)
    , m_flushStage(work, m_written, m_flushed)
{
}

// In place, in order, each once the caller has seen the one before, from
// `from` on; returns where it stopped. A file to be tried again alone stops
// it, unless it is the first: the files before it settle first.
int Pipeline::commitInOrder(Group &group, int from, bool *stopped)
{
    int i = from;
    for (; i < int(group.size()); ++i) {
        Slot &slot = group[std::size_t(i)];
        if (m_work.cancelled()) {
            *stopped = true;
            break;
        }
        if (slot.state == SlotState::Retry && i > from)
            break;
        if (slot.state == SlotState::Retry)
            makeRoom(group, i);
        m_work.commit(slot, m_chunks);
        if (slot.state == SlotState::Retry)
            break; // short while written here, with others in flight
        if (slot.state == SlotState::Cancelled) {
            *stopped = true;
            break;
        }
        if (m_hooks.settled && !m_hooks.settled(slot.index)) {
            ++i;
            *stopped = true;
            break;
        }
    }
    return i;
}

// Nothing else of the batch in flight: the write stage holds back, what it
// wrote ahead is let go (to be written again in its turn) and the files
// already replaced are closed, their blocks free.
void Pipeline::makeRoom(Group &current, int after)
{
    m_settling.finish(); // its files' old content is let go too
    m_writeStage.hold();
    m_writeStage.waitUntilParked();
    m_written.waitUntilDrained(); // flushed, and handed on
    for (std::size_t i = std::size_t(after) + 1; i < current.size(); ++i)
        letGo(current[i]);
    m_flushed.forEach([this](Group &pending) {
        for (Slot &slot : pending)
            letGo(slot);
    });
    waitForLateCloses();
}

void Pipeline::letGo(Slot &slot)
{
    if (slot.state != SlotState::Ready)
        return;
    m_work.release(slot);
    slot.lines.clear();
    slot.state = SlotState::Deferred;
}

// A file cancelled while it was written in its turn (a large one) says so,
// after the files settled before it.
void Pipeline::logCancelled(const Group &group, int settledCount)
{
    if (std::size_t(settledCount) >= group.size() || !m_hooks.log)
        return;
    const Slot &slot = group[std::size_t(settledCount)];
    if (slot.state != SlotState::Cancelled)
        return;
    for (const QString &line : slot.lines)
        m_hooks.log(line);
}

int Pipeline::commitGroups()
{
    int settled = 0;
    bool stopped = false;
    while (!stopped) {
        std::optional<Group> taken = m_flushed.pop();
        if (!taken)
            break;
        m_flushed.done();
        Group group = std::move(*taken);
        if (m_overlapping)
            m_writeStage.giveBackTicket();
        if (group.empty() || group.back().state == SlotState::Cancelled || m_work.cancelled()) {
            stopped = true; // nothing of this group was put in place
        } else {
            int from = 0;
            for (;;) {
                const int to = commitInOrder(group, from, &stopped);
                settled += to - from;
                // Whole: its folders are flushed while the next group is
                // renamed. In parts, or after a file tried alone: at once.
                if (m_overlapping && from == 0 && to == int(group.size()) && !stopped && !m_writeStage.isHeld()) {
                    m_settling.settleAside(std::move(group));
                    group.clear();
                    break;
                }
                m_settling.settleNow(group, from, to);
                logCancelled(group, to);
                if (m_writeStage.isHeld())
                    m_writeStage.resume();
                if (stopped || to >= int(group.size()) || group[std::size_t(to)].state != SlotState::Retry)
                    break;
                from = to;
            }
        }
        m_work.releaseAll(group);
        if (!m_overlapping) {
            // One group at a time: the next is written once this one's old
            // files are closed.
            waitForLateCloses();
            m_writeStage.giveBackTicket();
        }
    }
    m_settling.finish();
    return settled;
}

BatchSummary Pipeline::run()
{
    m_flushStage.start();
    m_writeStage.start();
    const int settled = commitGroups();
    // Whatever is still on its way was not put in place: let go, as the
    // stages end.
    m_writeStage.stop();
    m_flushStage.stop();
    while (std::optional<Group> group = m_flushed.pop()) {
        m_flushed.done();
        m_work.releaseAll(*group);
    }
    m_summary.left = m_total - settled;
    return m_summary;
}

} // namespace vaultine
