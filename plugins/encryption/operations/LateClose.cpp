#include "LateClose.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <unistd.h>

namespace {

struct Closer
{
    std::mutex lock;
    std::condition_variable wake;
    std::deque<int> fds;
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
                c->wake.wait(lock, [c] { return !c->fds.empty(); });
                const int fd = c->fds.front();
                c->fds.pop_front();
                lock.unlock();
                ::close(fd);
                lock.lock();
            }
        }).detach();
        return c;
    }();
    return *instance;
}

} // namespace

void closeLater(int fd)
{
    if (fd < 0)
        return;
    Closer &c = closer();
    {
        std::lock_guard<std::mutex> lock(c.lock);
        c.fds.push_back(fd);
    }
    c.wake.notify_one();
}
