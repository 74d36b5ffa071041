#include "WriteStage.h"

#include "batch/SlotWork.h"

namespace vaultine {

namespace {

// One group: little enough data that its flush stays short.
constexpr qint64 kGroupBytes = qint64(64) << 20;
// Larger files end their group: they are written in their turn, with their
// progress, and flushed without waiting for more.
constexpr qint64 kLargeFile = qint64(16) << 20;

} // namespace

WriteStage::WriteStage(SlotWork &work, const HandleBudget &budget, StageQueue<Group> &toFlush)
    : m_work(work)
    , m_toFlush(toFlush)
    , m_total(work.listing().paths.size())
    , m_groupFiles(budget.groupFiles())
    // The group written, and the one flushed or waiting beside it if the
    // handles allow.
    , m_tickets(budget.fitsAGroupAhead() ? 2 : 1)
{
}

WriteStage::~WriteStage()
{
    stop();
    m_thread.join();
}

void WriteStage::start()
{
    m_thread = NamedThread("keystrel-write", [this] { run(); });
}

void WriteStage::giveBackTicket()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_tickets;
    m_changed.notify_all();
}

void WriteStage::hold()
{
    m_held = true;
}

void WriteStage::resume()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_held = false;
    m_changed.notify_all();
}

void WriteStage::waitUntilParked()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [this] { return m_parked; });
}

void WriteStage::stop()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_stopped = true;
    m_changed.notify_all();
}

bool WriteStage::takeTicket()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_parked = true;
    m_changed.notify_all();
    m_changed.wait(guard, [this] { return (m_tickets > 0 && !m_held.load()) || m_stopped.load(); });
    if (m_stopped.load())
        return false;
    --m_tickets;
    m_parked = false;
    return true;
}

// The files from `*next` on that make one group, none of them in place yet.
Group WriteStage::writeAhead(int *next)
{
    const FolderListing &listing = m_work.listing();
    Group group;
    qint64 bytes = 0;
    while (*next < m_total && int(group.size()) < m_groupFiles && bytes < kGroupBytes && !m_work.cancelled()
           && !stopped() && !m_held.load()) {
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
        group.push_back(m_work.prepare((*next)++, SlotWork::Turn::Ahead, SlotWork::InFlight::Others, m_chunks));
        if (group.back().state == SlotState::Cancelled)
            break;
        bytes += group.back().replacement ? group.back().replacement->written() : 0;
    }
    return group;
}

void WriteStage::run()
{
    int next = 0;
    while (next < m_total && takeTicket()) {
        Group group = writeAhead(&next);
        // Held back before its first file, while one is tried alone.
        if (group.empty() && !m_work.cancelled() && !stopped()) {
            giveBackTicket();
            continue;
        }
        const bool cancelled = group.empty() || group.back().state == SlotState::Cancelled;
        if (!m_toFlush.push(group)) {
            m_work.releaseAll(group);
            break;
        }
        if (cancelled)
            break;
    }
    m_toFlush.close();
    std::lock_guard<std::mutex> guard(m_lock);
    m_parked = true;
    m_changed.notify_all();
}

} // namespace vaultine
