// A source that lists folders and reads files on worker threads, ahead of the cataloguing
// loop, so that the loop only waits when it has caught up with them.
#pragma once

#include "intake/IntakeSources.h"
#include "intake/ReadAheadQueue.h"

#include <deque>
#include <string>
#include <thread>
#include <vector>

namespace corvelle::intake {

/// One lister thread (in a folder scan) and one or more reader threads fill a ReadAheadQueue
/// in scan order; nextFolder and nextFile take from its front on the calling thread.
///
/// Stopping. The user's stop (the StopFlag in the intake's hooks) is read by the cataloguing
/// loop alone, at the same checkpoints as without read-ahead; the workers never see it. A stop
/// makes the loop return and drop its source, and only then does the destructor request the
/// queue's Cancel, which the lister, the folder listing and the readers check between system
/// calls, and join the threads. The two are kept apart on purpose: the loop may still take a
/// folder or a file after a stop was asked (the one in hand), and that one must have been
/// listed or read to its end. Workers may give up only once nobody reads their results.
///
/// Failures. An exception in a worker is kept by the queue and rethrown on the calling thread
/// by the next nextFolder or nextFile that would have waited for it.
class ReadAheadSource final : public IntakeSource {
public:
    explicit ReadAheadSource(const ReadSettings& settings);
    /// Cancels the workers' remaining work and waits for them to return.
    ~ReadAheadSource() override;
    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    /// Starts a folder scan: one lister thread and `readers` reader threads (at least one).
    void startTree(std::string root, FilterPatterns filter, bool recursive, int readers);
    /// Starts reading files named by full paths on `readers` threads (at least one).
    void startList(std::vector<std::string> fullPaths, int readers);

    bool nextFolder(ScannedFolder& out) override;
    ExaminedFile nextFile() override;

private:
    /// Runs a worker's loop, handing any exception to the queue.
    template <typename Work> void guarded(Work work);
    void startReaders(int readers);
    void listTree(std::string root, FilterPatterns filter, bool recursive);
    void readFiles();

    ReadSettings m_settings;
    ReadAheadQueue m_queue;
    std::vector<std::thread> m_threads;
    std::deque<ExaminedFile> m_ready; // finished files taken by the loop; only it touches them
};

} // namespace corvelle::intake
