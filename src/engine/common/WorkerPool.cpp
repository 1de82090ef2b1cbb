#include "common/WorkerPool.h"

#include <algorithm>

namespace corvelle {

WorkerPool::WorkerPool(unsigned threads)
{
    const unsigned helpers = std::max(threads, 1u) - 1;
    for (unsigned i = 0; i < helpers; ++i) {
        m_helpers.emplace_back([this] { helperLoop(); });
    }
}

WorkerPool::~WorkerPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
    }
    m_wake.notify_all();
    for (std::thread& helper : m_helpers) {
        helper.join();
    }
}

void WorkerPool::forEach(std::size_t count, const std::function<void(std::size_t)>& body)
{
    if (count == 0) {
        return;
    }
    {
        std::lock_guard lock(m_mutex);
        m_body = &body;
        m_count = count;
        m_next = 0;
        m_failure = nullptr;
        ++m_generation;
    }
    m_wake.notify_all();
    work();
    std::unique_lock lock(m_mutex);
    m_done.wait(lock, [this] { return m_next >= m_count && m_busy == 0; });
    m_body = nullptr;
    if (m_failure) {
        std::rethrow_exception(m_failure);
    }
}

void WorkerPool::helperLoop()
{
    std::size_t seen = 0;
    while (true) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock,
                        [&] { return m_quit || (m_generation != seen && m_body != nullptr); });
            if (m_quit) {
                return;
            }
            seen = m_generation;
        }
        work();
    }
}

void WorkerPool::work()
{
    while (true) {
        std::size_t index = 0;
        const std::function<void(std::size_t)>* body = nullptr;
        {
            std::lock_guard lock(m_mutex);
            if (m_body == nullptr || m_next >= m_count) {
                break;
            }
            index = m_next++;
            body = m_body;
            ++m_busy;
        }
        try {
            (*body)(index);
        } catch (...) {
            std::lock_guard lock(m_mutex);
            if (!m_failure) {
                m_failure = std::current_exception();
            }
            m_next = m_count; // abandon the rest
        }
        bool finished = false;
        {
            std::lock_guard lock(m_mutex);
            --m_busy;
            finished = m_next >= m_count && m_busy == 0;
        }
        if (finished) {
            m_done.notify_all();
        }
    }
}

} // namespace corvelle
