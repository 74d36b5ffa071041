#include "Pipeline.h"

#include "batch/SlotWork.h"
#include "filesystem/DurableFlush.h"
#include "filesystem/LateClose.h"
#include "format/LogLines.h"

#include <thread>
#include <utility>

namespace {

// One group: little enough data that its flush stays short. Its count of
// files comes from the handles at hand (HandleBudget).
constexpr qint64 kGroupBytes = qint64(64) << 20;
// Larger files end their group: they are flushed without waiting for more.
constexpr qint64 kLargeFile = qint64(16) << 20;

} // namespace

Pipeline::Pipeline(SlotWork &work, const BatchEngine::Hooks &hooks, const HandleBudget &budget)
    : m_work(work)
    , m_hooks(hooks)
    , m_total(work.listing().paths.size())
    , m_groupFiles(budget.groupFiles())
    , m_groupsAhead(budget.fitsAGroupAhead() ? 1 : 0)
    , m_overlapping(budget.overlapsGroups())
    , m_settling(work, hooks, m_summary)
{
}

void Pipeline::releaseAll(Group &group)
{
    for (Slot &slot : group)
        m_work.release(slot); // what was not put in place stays as it was
}

// The files from `*next` on that make one group, written ahead: none of them
// in place yet. A large file is left for the committing thread to write when
// its turn comes, so that its progress is reported from there.
Group Pipeline::writeAhead(int *next)
{
    const FolderListing &listing = m_work.listing();
    Group group;
    qint64 bytes = 0;
    while (*next < m_total && int(group.size()) < m_groupFiles && bytes < kGroupBytes && !m_work.cancelled()
           && !m_committerStopped.load() && !m_holdWriter.load()) {
        const bool large = listing.files[std::size_t(*next)].size >= kLargeFile;
        // A large file has a group of its own: the files before it are put
        // in place first instead of waiting for it.
        if (large && !group.empty())
            break;
        if (large) {
            Slot slot;
            slot.index = (*next)++;
            slot.state = SlotState::Deferred;
            group.push_back(std::move(slot));
            break;
        }
        group.push_back(m_work.prepare((*next)++, false));
        if (group.back().state == SlotState::Cancelled)
            break;
        bytes += group.back().replacement ? group.back().replacement->written() : 0;
    }
    return group;
}

void Pipeline::writeGroups()
{
    int next = 0;
    while (next < m_total) {
        {
            // Besides the one written, m_groupsAhead groups flushing or
            // waiting at most: handles and memory stay bounded.
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [&] {
                return (m_written.size() + (m_flushing ? 1 : 0) <= m_groupsAhead && !m_holdWriter.load()
                        && (m_overlapping || m_committerIdle))
                       || m_committerStopped.load();
            });
            if (m_committerStopped.load())
                break;
            m_writerBusy = true;
        }
        Group group = writeAhead(&next);
        // Held back before its first file, while one is tried alone.
        const bool heldBack = group.empty() && !m_work.cancelled() && !m_committerStopped.load();
        const bool cancelled = !heldBack && (group.empty() || group.back().state == SlotState::Cancelled);
        // Groups reach the committing thread in order: the one flushing first.
        if (m_flusher.joinable())
            m_flusher.join();
        std::lock_guard<std::mutex> guard(m_lock);
        m_writerBusy = false;
        m_changed.notify_all();
        if (heldBack)
            continue;
        if (!cancelled && !m_committerStopped.load()) {
            // Flushed on a thread of its own, which waits on the disk while
            // the next group is written and the one before put in place.
            m_flushing = true;
            m_flusher = std::thread([this, flushing = std::move(group)]() mutable {
                flushGroup(flushing);
                std::lock_guard<std::mutex> done(m_lock);
                m_written.push_back(std::move(flushing));
                m_flushing = false;
                m_changed.notify_all();
            });
            continue;
        }
        m_written.push_back(std::move(group));
        m_changed.notify_all();
        if (cancelled)
            break;
    }
    if (m_flusher.joinable())
        m_flusher.join();
    std::lock_guard<std::mutex> guard(m_lock);
    m_writerDone = true;
    m_changed.notify_all();
}

// The group's new files reach the disk together.
void Pipeline::flushGroup(Group &group)
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
        m_work.commit(slot);
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

// Nothing else of the batch in flight: the writing thread holds back (what
// it wrote ahead is let go, to be written again in turn) and the files
// already replaced are closed, their blocks free.
void Pipeline::makeRoom(Group &current, int after)
{
    m_settling.finish(); // its files' old content is let go too
    std::unique_lock<std::mutex> guard(m_lock);
    m_holdWriter = true;
    m_changed.wait(guard, [&] { return !m_writerBusy && !m_flushing; });
    for (std::size_t i = std::size_t(after) + 1; i < current.size(); ++i)
        letGo(current[i]);
    for (Group &pending : m_written) {
        for (Slot &slot : pending)
            letGo(slot);
    }
    guard.unlock();
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

// One group at a time: the next is written only once this one's old files
// are closed.
void Pipeline::waitUntilIdle()
{
    waitForLateCloses();
    std::lock_guard<std::mutex> guard(m_lock);
    m_committerIdle = true;
    m_changed.notify_all();
}

void Pipeline::letWriterOn()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_holdWriter = false;
    m_changed.notify_all();
}

// A file cancelled while the committing thread wrote it (a large one) says
// so, after the files settled before it.
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
        Group group;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [&] { return !m_written.empty() || m_writerDone; });
            if (m_written.empty())
                break;
            group = std::move(m_written.front());
            m_written.pop_front();
            m_committerIdle = false;
            m_changed.notify_all();
        }
        if (group.empty() || group.back().state == SlotState::Cancelled || m_work.cancelled()) {
            stopped = true; // nothing of this group was put in place
        } else {
            int from = 0;
            for (;;) {
                const int to = commitInOrder(group, from, &stopped);
                settled += to - from;
                // Whole: its folders are flushed while the next group is
                // renamed. In parts, or after a file tried alone: at once.
                if (m_overlapping && from == 0 && to == int(group.size()) && !stopped && !m_holdWriter.load()) {
                    m_settling.settleAside(std::move(group));
                    group.clear();
                    break;
                }
                m_settling.settleNow(group, from, to);
                logCancelled(group, to);
                if (m_holdWriter.load())
                    letWriterOn();
                if (stopped || to >= int(group.size()) || group[std::size_t(to)].state != SlotState::Retry)
                    break;
                from = to;
            }
        }
        releaseAll(group);
        if (!m_overlapping)
            waitUntilIdle();
    }
    m_settling.finish();
    return settled;
}

BatchSummary Pipeline::run()
{
    std::thread writer([this] { writeGroups(); });
    const int settled = commitGroups();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_committerStopped = true;
        m_changed.notify_all();
    }
    writer.join();
    for (Group &group : m_written)
        releaseAll(group);
    m_summary.left = m_total - settled;
    return m_summary;
}
