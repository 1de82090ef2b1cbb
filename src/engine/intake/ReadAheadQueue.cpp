#include "intake/ReadAheadQueue.h"

#include <algorithm>

namespace corvelle::intake {

void ReadAheadQueue::publishPaths(std::vector<std::string> fullPaths)
{
    const std::lock_guard lock(m_mutex);
    for (std::string& path : fullPaths) {
        m_jobs.push_back(Job{nullptr, std::move(path), {}, false});
    }
    m_publishingDone = true;
}

bool ReadAheadQueue::waitForRoom()
{
    std::unique_lock lock(m_mutex);
    if (listerMustWait()) {
        m_listerWaiting = true;
        m_listerCv.wait(lock, [&] { return over() || listerMayGoOn(); });
        m_listerWaiting = false;
    }
    return !over();
}

void ReadAheadQueue::publishFolder(ScannedFolder folder)
{
    const std::lock_guard lock(m_mutex);
    for (std::string& name : folder.files) {
        m_jobs.push_back(Job{folder.folder, std::move(name), {}, false});
    }
    folder.files.clear();
    m_folders.push_back(std::move(folder));
    wakeReadersIfWork(1);
    if (m_consumerWaiting) {
        m_consumerCv.notify_one();
    }
}

void ReadAheadQueue::finishPublishing()
{
    const std::lock_guard lock(m_mutex);
    m_publishingDone = true;
    m_consumerCv.notify_all();
    m_readerCv.notify_all();
}

bool ReadAheadQueue::nextRun(std::vector<Job*>& run)
{
    std::unique_lock lock(m_mutex);
    if (!run.empty()) {
        for (Job* job : run) {
            job->done = true;
        }
        run.clear();
        if (m_consumerWaiting && m_jobs.front().done) {
            m_consumerCv.notify_one();
        }
    }
    if (!readerCanTake(1)) {
        ++m_readersWaiting;
        m_readerCv.wait(lock, [&] { return over() || readerCanTake(1) || readersAreDone(); });
        --m_readersWaiting;
    }
    if (over() || !readerCanTake(1)) {
        return false;
    }
    // References to deque elements survive pushes at the back, and the loop pops only jobs
    // that are done, so the run stays valid while the reader works on it without the lock.
    const std::uint64_t limit = readLimit();
    while (m_nextTake < limit && run.size() < readerRun) {
        run.push_back(&m_jobs[static_cast<std::size_t>(m_nextTake - m_consumed)]);
        ++m_nextTake;
    }
    return true;
}

bool ReadAheadQueue::nextFolder(ScannedFolder& out)
{
    std::unique_lock lock(m_mutex);
    waitAsConsumer(lock, [&] { return !m_folders.empty() || m_publishingDone; });
    if (m_folders.empty()) {
        return false;
    }
    out = std::move(m_folders.front());
    m_folders.pop_front();
    wakeListerIfRoom();
    return true;
}

void ReadAheadQueue::takeFinished(std::deque<ExaminedFile>& ready)
{
    std::unique_lock lock(m_mutex);
    waitAsConsumer(lock, [&] { return m_jobs.front().done; });
    while (!m_jobs.empty() && m_jobs.front().done && ready.size() < consumerRun) {
        Job& job = m_jobs.front();
        ready.push_back(ExaminedFile{std::move(job.name), job.facts});
        m_jobs.pop_front();
        ++m_consumed;
    }
    wakeReadersIfWork(readerRun);
    wakeListerIfRoom();
}

void ReadAheadQueue::fail(std::exception_ptr error)
{
    const std::lock_guard lock(m_mutex);
    if (!m_error) {
        m_error = std::move(error);
    }
    wakeAll();
}

void ReadAheadQueue::cancel()
{
    {
        const std::lock_guard lock(m_mutex);
        m_cancel.request();
    }
    wakeAll();
}

template <typename Ready>
void ReadAheadQueue::waitAsConsumer(std::unique_lock<std::mutex>& lock, Ready ready)
{
    if (!ready() && !m_error) {
        m_consumerWaiting = true;
        m_consumerCv.wait(lock, [&] { return ready() || m_error; });
        m_consumerWaiting = false;
    }
    if (m_error) {
        std::rethrow_exception(m_error);
    }
}

std::uint64_t ReadAheadQueue::readLimit() const
{
    return std::min(published(), m_consumed + readAheadFiles);
}

bool ReadAheadQueue::readerCanTake(std::uint64_t count) const
{
    // `count` files, or whatever is left once nothing more will be published (or is held
    // back only by the read-ahead bound).
    const std::uint64_t limit = readLimit();
    if (m_nextTake >= limit) {
        return false;
    }
    return limit - m_nextTake >= count || m_publishingDone || limit < published();
}

bool ReadAheadQueue::readersAreDone() const
{
    return m_publishingDone && m_nextTake == published();
}

bool ReadAheadQueue::listerMustWait() const
{
    return m_jobs.size() >= listAheadFiles || m_folders.size() >= listAheadFolders;
}

bool ReadAheadQueue::listerMayGoOn() const
{
    return m_jobs.size() < listAheadFiles / 2 && m_folders.size() < listAheadFolders / 2;
}

void ReadAheadQueue::wakeReadersIfWork(std::uint64_t count)
{
    if (m_readersWaiting > 0 && readerCanTake(count)) {
        m_readerCv.notify_all();
    }
}

void ReadAheadQueue::wakeListerIfRoom()
{
    if (m_listerWaiting && listerMayGoOn()) {
        m_listerCv.notify_one();
    }
}

void ReadAheadQueue::wakeAll()
{
    m_consumerCv.notify_all();
    m_readerCv.notify_all();
    m_listerCv.notify_all();
}

} // namespace corvelle::intake
