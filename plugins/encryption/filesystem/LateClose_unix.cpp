#include "LateClose.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <time.h>

namespace {

// Closing a replaced file frees its blocks. Where that waits on the disk (a
// discard for every file, on some mounts) closes fall behind however fast
// the processor is, and only more of them at once help: another thread
// joins while handles pile up and a close waits long on average (beside
// what it works), up to kMostClosers. Where closing is the processor's work
// more threads would only take it from the batch: one does it.
constexpr std::size_t kBacklog = 32;
constexpr int kMostClosers = 8;
constexpr std::chrono::microseconds kLongWait{50};

using Clock = std::chrono::steady_clock;

std::chrono::nanoseconds threadTime()
{
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

struct Closer
{
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<FileHandle> handles;
    int threads = 0;
    int closing = 0;
    // Of the closes so far: how many, the time they took, and the time on
    // the processor.
    std::size_t closed = 0;
    std::chrono::nanoseconds spent{0};
    std::chrono::nanoseconds worked{0};
};

void closeInTurn(Closer *c)
{
    std::unique_lock<std::mutex> lock(c->lock);
    for (;;) {
        c->wake.wait(lock, [c] { return !c->handles.empty(); });
        FileHandle handle = std::move(c->handles.front());
        c->handles.pop_front();
        ++c->closing;
        lock.unlock();
        const Clock::time_point started = Clock::now();
        const std::chrono::nanoseconds startedWork = threadTime();
        handle.reset();
        const std::chrono::nanoseconds spent = Clock::now() - started;
        const std::chrono::nanoseconds worked = threadTime() - startedWork;
        lock.lock();
        ++c->closed;
        c->spent += spent;
        c->worked += worked;
        --c->closing;
        if (c->handles.empty() && c->closing == 0)
            c->idle.notify_all();
    }
}

// Lives as long as the process: the threads are never joined, so neither
// they nor what they wait on may be destroyed at exit.
Closer &closer()
{
    static Closer *const instance = new Closer;
    return *instance;
}

// Under the lock.
bool wantsAnotherThread(const Closer &c)
{
    return c.threads == 0
           || (c.threads < kMostClosers && c.handles.size() > kBacklog * std::size_t(c.threads) && c.closed >= kBacklog
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
        if (wantsAnotherThread(c)) {
            std::thread(closeInTurn, &c).detach();
            ++c.threads;
        }
    }
    c.wake.notify_one();
}

void waitForLateCloses()
{
    Closer &c = closer();
    std::unique_lock<std::mutex> lock(c.lock);
    c.idle.wait(lock, [&c] { return c.handles.empty() && c.closing == 0; });
}
