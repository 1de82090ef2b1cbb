// WorkerPool: a few threads that run the iterations of a loop in parallel, with the calling
// thread taking part. Used for work whose results do not depend on who computes them.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace corvelle {

class WorkerPool {
public:
    /// Starts threads - 1 helpers (0 helpers: everything runs on the caller).
    explicit WorkerPool(unsigned threads = std::thread::hardware_concurrency());
    ~WorkerPool();
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    /// Calls body(i) for every i in [0, count), spread over the threads; returns when all are
    /// done. The first exception thrown by a body is rethrown here.
    void forEach(std::size_t count, const std::function<void(std::size_t)>& body);

    [[nodiscard]] unsigned threads() const { return static_cast<unsigned>(m_helpers.size()) + 1; }

private:
    void helperLoop();
    void work();

    std::vector<std::thread> m_helpers;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_done;
    const std::function<void(std::size_t)>* m_body = nullptr;
    std::size_t m_count = 0;
    std::size_t m_next = 0;
    std::size_t m_busy = 0;
    std::size_t m_generation = 0;
    std::exception_ptr m_failure;
    bool m_quit = false;
};

} // namespace corvelle
