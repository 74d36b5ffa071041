#include "Settling.h"

#include "batch/SlotWork.h"
#include "filesystem/Folder.h"
#include "format/ActionLogLines.h"
#include "format/LogLines.h"

namespace vaultine {

Settling::Settling(SlotWork &work, const BatchEngine::Hooks &hooks, BatchSummary &summary)
    : m_work(work)
    , m_hooks(hooks)
    , m_summary(summary)
{
}

Settling::~Settling()
{
    finish();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

// The folders of the files renamed, each once; pinned by the slots until
// they are flushed.
void Settling::noteFolders(const Group &group, int from, int to)
{
    m_flushed.clear();
    for (int i = from; i < to; ++i) {
        const Slot &slot = group[std::size_t(i)];
        if (slot.state == SlotState::Done)
            m_flushed.emplace(slot.folder, FolderFlush());
    }
}

void Settling::flushFolders()
{
    for (auto &folder : m_flushed)
        folder.second.done = folder.first->flush(&folder.second.reason);
}

void Settling::run()
{
    std::unique_lock<std::mutex> guard(m_lock);
    for (;;) {
        m_changed.wait(guard, [this] { return m_flushing || m_stopping; });
        if (!m_flushing)
            return;
        guard.unlock();
        flushFolders(); // only waits on the disk
        guard.lock();
        m_flushing = false;
        m_changed.notify_all();
    }
}

void Settling::settleNow(Group &group, int from, int to)
{
    finish();
    noteFolders(group, from, to);
    flushFolders();
    logAndRelease(group, from, to);
}

void Settling::settleAside(Group group)
{
    finish();
    m_aside = std::move(group);
    noteFolders(m_aside, 0, int(m_aside.size()));
    if (!m_thread.isRunning())
        m_thread = NamedThread("keystrel-settle", [this] { run(); });
    std::lock_guard<std::mutex> guard(m_lock);
    m_flushing = true;
    m_changed.notify_all();
}

void Settling::finish()
{
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return !m_flushing; });
    }
    if (m_aside.empty())
        return;
    logAndRelease(m_aside, 0, int(m_aside.size()));
    m_aside.clear();
}

void Settling::logAndRelease(Group &group, int from, int to)
{
    const Direction direction = m_work.direction();
    for (int i = from; i < to; ++i) {
        Slot &slot = group[std::size_t(i)];
        const QString &path = m_work.listing().paths.at(slot.index);
        if (slot.state == SlotState::Done) {
            const FolderFlush &flush = m_flushed[slot.folder];
            if (flush.done) {
                slot.lines << actionlines::outputLine(direction, path);
            } else {
                slot.lines << loglines::withReason(loglines::kNotDurable[direction], path, flush.reason);
                slot.state = SlotState::Failed;
            }
        }
        count(slot);
        if (m_hooks.log) {
            for (const QString &line : qAsConst(slot.lines))
                m_hooks.log(line);
        }
        m_work.release(slot);
    }
}

void Settling::count(const Slot &slot)
{
    switch (slot.state) {
    case SlotState::Done:
        ++m_summary.done;
        break;
    case SlotState::Skipped:
        ++m_summary.skipped;
        m_summary.alreadyInState += slot.inState ? 1 : 0;
        break;
    default:
        ++m_summary.failed;
        m_summary.failedPaths << m_work.listing().paths.at(slot.index);
        break;
    }
}

} // namespace vaultine
