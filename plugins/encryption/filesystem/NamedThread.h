// A thread with a name that `top -H`, a debugger and a crash report show,
// joined when its owner goes: the engine has no thread that nobody waits
// for.
#pragma once

#include <functional>
#include <thread>

namespace vaultine {

// Names the calling thread (at most 15 characters are kept).
void nameThisThread(const char *name);

class NamedThread
{
public:
    NamedThread() = default;
    NamedThread(const char *name, std::function<void()> body)
        : m_thread([name, body = std::move(body)] {
            nameThisThread(name);
            body();
        })
    {
    }
    NamedThread(NamedThread &&) noexcept = default;
    NamedThread &operator=(NamedThread &&other) noexcept
    {
        join();
        m_thread = std::move(other.m_thread);
        return *this;
    }
    NamedThread(const NamedThread &) = delete;
    NamedThread &operator=(const NamedThread &) = delete;
    // Its body must have been told to end.
    ~NamedThread() { join(); }

    bool isRunning() const { return m_thread.joinable(); }
    void join()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::thread m_thread;
};

} // namespace vaultine
