#include "LateClose.h"

#include "NamedThread.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <time.h>
#include <vector>

namespace vaultine {

namespace {

// Closing a replaced file frees its blocks. Where that waits on the disk (a
// discard for every file, on some mounts) closes fall behind however fast
// the processor is, and only more of them at once help: another thread
// joins while handles pile up and a close waits long on average (beside
// what it works), up to kMostClosers. Where closing is the processor's work
// more threads would only take it from the batch: one does it.
constexpr std::size_t kBacklog = 32;
constexpr std::size_t kMostClosers = 8;
constexpr std::chrono::microseconds kLongWait{50};

using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds threadTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// The closing threads, owned by the engine for as long as the process runs:
// at its end, they close what is left and are joined.
class Closer
{
public:
    Closer() = default;
    Closer(const Closer &) = delete;
    Closer &operator=(const Closer &) = delete;
    ~Closer()
    {
        {
            std::lock_guard<std::mutex> guard(lock);
            stopping = true;
        }
        wake.notify_all();
        threads.clear(); // joins them
    }

    void closeInTurn();

    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<FileHandle> handles;
    std::vector<NamedThread> threads;
    bool stopping = false;
    int closing = 0;
    // Of the closes so far: how many, the time they took, and the time on
    // the processor.
    std::size_t closed = 0;
    std::chrono::nanoseconds spent{0};
    std::chrono::nanoseconds worked{0};
};

void Closer::closeInTurn()
{
    std::unique_lock<std::mutex> guard(lock);
    for (;;) {
        wake.wait(guard, [this] { return !handles.empty() || stopping; });
        if (handles.empty())
            return; // stopping, with nothing left
        FileHandle handle = std::move(handles.front());
        handles.pop_front();
        ++closing;
        guard.unlock();
        const Clock::time_point started = Clock::now();
        const std::chrono::nanoseconds startedWork = threadTime();
        handle.reset();
        const std::chrono::nanoseconds took = Clock::now() - started;
        const std::chrono::nanoseconds work = threadTime() - startedWork;
        guard.lock();
        ++closed;
        spent += took;
        worked += work;
        --closing;
        if (handles.empty() && closing == 0)
            idle.notify_all();
    }
}

Closer &closer()
{
    static Closer instance;
    return instance;
}

// Under the lock.
bool wantsAnotherThread(const Closer &c)
{
    const std::size_t threads = c.threads.size();
    return threads == 0
           || (threads < kMostClosers && c.handles.size() > kBacklog * threads && c.closed >= kBacklog
               && (c.spent - c.worked) / c.closed > kLongWait);
}

} // namespace

void closeLater(FileHandle handle)
{
    if (!handle.isValid())
        return;
    Closer &c = closer();
    {
        std::lock_guard<std::mutex> lock(c.lock);
        c.handles.push_back(std::move(handle));
        if (wantsAnotherThread(c))
            c.threads.emplace_back("keystrel-close", [&c] { c.closeInTurn(); });
    }
    c.wake.notify_one();
}

void waitForLateCloses()
{
    Closer &c = closer();
    std::unique_lock<std::mutex> lock(c.lock);
    c.idle.wait(lock, [&c] { return c.handles.empty() && c.closing == 0; });
}

} // namespace vaultine
