#include "LateClose.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace {

struct Closer
{
    std::mutex lock;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<FileHandle> handles;
    bool closing = false;
};

// Lives as long as the process: the thread is never joined, so neither it
// nor what it waits on may be destroyed at exit.
Closer &closer()
{
    static Closer *const instance = [] {
        auto *c = new Closer;
        std::thread([c] {
            std::unique_lock<std::mutex> lock(c->lock);
            for (;;) {
                c->wake.wait(lock, [c] { return !c->handles.empty(); });
                FileHandle handle = std::move(c->handles.front());
                c->handles.pop_front();
                c->closing = true;
                lock.unlock();
                handle.reset();
                lock.lock();
                c->closing = false;
                if (c->handles.empty())
                    c->idle.notify_all();
            }
        }).detach();
        return c;
    }();
    return *instance;
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
    }
    c.wake.notify_one();
}

void waitForLateCloses()
{
    Closer &c = closer();
    std::unique_lock<std::mutex> lock(c.lock);
    c.idle.wait(lock, [&c] { return c.handles.empty() && !c.closing; });
}
