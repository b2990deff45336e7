#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace encoder {

// A thread of its own that handles the items of a short queue in turn, so that the one
// who pushes them goes on meanwhile. A handling that fails (a negative result) ends the
// thread: what is queued is dropped, and push() says so instead of waiting. Where no
// thread can be had, push() handles each item at once.
template <typename Item> class QueueThread
{
public:
    using Handle = std::function<int(Item& item)>;
    // `atEnd`, when given, runs on the thread once the queue is closed and emptied
    // without a failure; its result is the thread's.
    QueueThread(size_t capacity, Handle handle, std::function<int()> atEnd = {})
        : m_capacity(capacity), m_handle(std::move(handle)), m_atEnd(std::move(atEnd))
    {
        try {
            m_thread = std::thread([this] { work(); });
        } catch (const std::system_error&) {
        }
    }
    // Drops what is still queued and waits for the thread.
    ~QueueThread()
    {
        {
            std::lock_guard lock(m_lock);
            m_queue.clear();
            m_closed = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
    }
    QueueThread(const QueueThread&) = delete;
    QueueThread& operator=(const QueueThread&) = delete;

    // Queues the item, waiting while the queue is full; the failure so far, else 0.
    int push(Item item)
    {
        if (!m_thread.joinable()) {
            if (m_result >= 0 && !m_closed)
                setResult(m_handle(item));
            return m_result;
        }
        std::unique_lock lock(m_lock);
        m_changed.wait(lock,
                       [this] { return m_queue.size() < m_capacity || m_result < 0 || m_closed; });
        if (m_result < 0 || m_closed)
            return m_result;
        m_queue.push_back(std::move(item));
        lock.unlock();
        m_changed.notify_all();
        return 0;
    }
    // Handles what is queued, then waits for the thread: the first failure, else 0.
    int finish()
    {
        bool first = false;
        {
            std::lock_guard lock(m_lock);
            first = !m_closed;
            m_closed = true;
        }
        m_changed.notify_all();
        if (m_thread.joinable())
            m_thread.join();
        else if (first && m_result >= 0 && m_atEnd)
            setResult(m_atEnd());
        return m_result;
    }
    bool failed() const { return m_result < 0; }

private:
    void work()
    {
        for (;;) {
            Item item;
            {
                std::unique_lock lock(m_lock);
                m_changed.wait(lock, [this] { return !m_queue.empty() || m_closed; });
                if (m_queue.empty())
                    break;
                item = std::move(m_queue.front());
                m_queue.pop_front();
            }
            m_changed.notify_all();
            if (const int result = m_handle(item); result < 0) {
                setResult(result);
                return;
            }
        }
        if (m_atEnd)
            setResult(m_atEnd());
    }
    // Under the lock, so that a pusher about to wait hears of it.
    void setResult(int result)
    {
        {
            std::lock_guard lock(m_lock);
            m_result = result;
        }
        m_changed.notify_all();
    }

    const size_t m_capacity;
    Handle m_handle;
    std::function<int()> m_atEnd;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<Item> m_queue;
    bool m_closed = false;
    std::atomic<int> m_result{0};
    std::thread m_thread;
};

} // namespace encoder
