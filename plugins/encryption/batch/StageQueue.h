// The hand-over between two stages of a batch: a bounded queue that can be
// closed. The stage that takes an item says when it is done with it, so that
// whoever must wait for the stage to be idle (a file tried alone) can.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>

namespace vaultine {

template <typename T>
class StageQueue
{
public:
    explicit StageQueue(std::size_t capacity)
        : m_capacity(capacity)
    {
    }
    StageQueue(const StageQueue &) = delete;
    StageQueue &operator=(const StageQueue &) = delete;
    ~StageQueue() = default;

    // Waits for room; false, the item left with the caller, once closed.
    bool push(T &item)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return m_items.size() < m_capacity || m_closed; });
        if (m_closed)
            return false;
        m_items.push_back(std::move(item));
        m_changed.notify_all();
        return true;
    }

    // Waits for an item; none once closed and empty. The taker calls done()
    // once it has handed the item on.
    std::optional<T> pop()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return !m_items.empty() || m_closed; });
        if (m_items.empty())
            return std::nullopt;
        std::optional<T> item(std::move(m_items.front()));
        m_items.pop_front();
        ++m_inHand;
        m_changed.notify_all();
        return item;
    }

    void done()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        --m_inHand;
        m_changed.notify_all();
    }

    // No more items: pop() ends once the queue is empty, push() fails.
    void close()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_closed = true;
        m_changed.notify_all();
    }

    // Until nothing is queued and nothing taken is still in hand.
    void waitUntilDrained()
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait(guard, [this] { return m_items.empty() && m_inHand == 0; });
    }

    // Each item queued, under the queue's lock.
    template <typename Visit>
    void forEach(Visit &&visit)
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (T &item : m_items)
            visit(item);
    }

private:
    const std::size_t m_capacity;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<T> m_items;
    int m_inHand = 0;
    bool m_closed = false;
};

} // namespace vaultine
