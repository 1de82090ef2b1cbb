#include "intake/ReadAheadSource.h"

#include <algorithm>

namespace corvelle::intake {

ReadAheadSource::ReadAheadSource(const ReadSettings& settings)
    : m_settings(settings)
{}

ReadAheadSource::~ReadAheadSource()
{
    m_queue.cancel();
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

void ReadAheadSource::startTree(std::string root, FilterPatterns filter, bool recursive,
                                int readers)
{
    m_threads.emplace_back(
        [this, root = std::move(root), filter = std::move(filter), recursive]() mutable {
            guarded([&] { listTree(std::move(root), std::move(filter), recursive); });
        });
    startReaders(readers);
}

void ReadAheadSource::startList(std::vector<std::string> fullPaths, int readers)
{
    m_queue.publishPaths(std::move(fullPaths));
    startReaders(readers);
}

bool ReadAheadSource::nextFolder(ScannedFolder& out)
{
    return m_queue.nextFolder(out);
}

ExaminedFile ReadAheadSource::nextFile()
{
    if (m_ready.empty()) {
        m_queue.takeFinished(m_ready);
    }
    ExaminedFile file = std::move(m_ready.front());
    m_ready.pop_front();
    return file;
}

template <typename Work> void ReadAheadSource::guarded(Work work)
{
    try {
        work();
    } catch (...) {
        m_queue.fail(std::current_exception());
    }
}

void ReadAheadSource::startReaders(int readers)
{
    for (int i = 0; i < std::max(readers, 1); ++i) {
        m_threads.emplace_back([this] { guarded([this] { readFiles(); }); });
    }
}

void ReadAheadSource::listTree(std::string root, FilterPatterns filter, bool recursive)
{
    TreeWalker walker(std::move(root), std::move(filter), recursive, m_settings,
                      &m_queue.cancelToken());
    while (m_queue.waitForRoom()) {
        ScannedFolder folder;
        if (!walker.next(folder)) {
            m_queue.finishPublishing();
            return;
        }
        m_queue.publishFolder(std::move(folder));
    }
}

void ReadAheadSource::readFiles()
{
    FileReader reader(m_settings, &m_queue.cancelToken());
    std::vector<ReadAheadQueue::Job*> run;
    // The files of the run whose leading bytes were asked of the disk: all of them are asked
    // before any is waited for, so the disk has the whole run's reads at once.
    std::vector<std::pair<ReadAheadQueue::Job*, FileRead>> asked;
    while (m_queue.nextRun(run)) {
        for (ReadAheadQueue::Job* job : run) {
            FileRead read;
            const bool finished = job->folder ? reader.startIn(*job->folder, job->name, read)
                                              : reader.startPath(job->name, read);
            if (finished) {
                job->facts = read.facts;
            } else {
                asked.emplace_back(job, std::move(read));
            }
        }
        for (auto& [job, read] : asked) {
            reader.finish(read);
            job->facts = read.facts;
        }
        asked.clear();
    }
}

} // namespace corvelle::intake
