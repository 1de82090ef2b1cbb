// The hand-over between the threads of a read-ahead intake: the lister publishes folders and
// their files in scan order, readers fill in the files' facts, and the cataloguing loop takes
// folders and finished files from the front.
#pragma once

#include "intake/Cancel.h"
#include "intake/IntakeSources.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace corvelle::intake {

/// One mutex guards the queues; the work itself (listing, reading) runs outside it. Every
/// hand-over moves a run of files, and a waiting thread is only woken once there is a run's
/// worth of work for it: waking a thread costs more than reading a small file. Bounds keep the
/// lister and the readers from running far ahead of the loop, so a stop wastes little work.
class ReadAheadQueue {
public:
    /// A file to read. A reader owns `facts` between taking the file and handing it back.
    struct Job {
        std::shared_ptr<const FolderHandle> folder; ///< null in list mode: name is a full path
        std::string name;
        FileFacts facts;
        bool done = false;
    };

    /// How far the readers may run ahead of the loop, in files. The results are a few dozen
    /// bytes each; the bound is there so that a stop wastes little reading.
    static constexpr std::uint64_t readAheadFiles = 2048;
    /// How far the lister may run ahead, in files and in folders (each holds a descriptor).
    static constexpr std::uint64_t listAheadFiles = 8192;
    static constexpr std::size_t listAheadFolders = 64;
    /// Files a reader takes at once, and files the loop takes at once.
    static constexpr std::uint64_t readerRun = 16;
    static constexpr std::size_t consumerRun = 256;

    ReadAheadQueue() = default;
    ReadAheadQueue(const ReadAheadQueue&) = delete;
    ReadAheadQueue& operator=(const ReadAheadQueue&) = delete;

    // --- The lister, or the owner before any thread starts ---

    /// Publishes every file of a list at once (full paths); nothing more will come.
    void publishPaths(std::vector<std::string> fullPaths);
    /// Waits while the lister is too far ahead. False: cancelled or failed, stop listing.
    bool waitForRoom();
    /// Publishes a folder and its files (moved out of `folder.files`, of which only the count
    /// stays).
    void publishFolder(ScannedFolder folder);
    /// Nothing more will be published.
    void finishPublishing();

    // --- A reader ---

    /// Marks the files of `run` (the reader's previous run; empty the first time) as read and
    /// fills it with the next files to read, in order. Waits for work; false once there is
    /// none left for readers, or on cancel or failure. The pointed-to jobs stay valid until
    /// they are marked read.
    bool nextRun(std::vector<Job*>& run);

    // --- The cataloguing loop ---

    /// The next folder in scan order; false when publishing is finished and none is left.
    bool nextFolder(ScannedFolder& out);
    /// Appends up to consumerRun finished files from the front, waiting for the first of them,
    /// which must have been published. Rethrows a worker's failure.
    void takeFinished(std::deque<ExaminedFile>& ready);

    // --- Anyone ---

    /// Records the first failure of a worker; every waiting thread wakes, the loop to rethrow.
    void fail(std::exception_ptr error);
    /// Tells the workers to abandon their work and wakes them all.
    void cancel();
    /// Requested by cancel(); the work outside the lock checks it between system calls.
    [[nodiscard]] const Cancel& cancelToken() const { return m_cancel; }

private:
    template <typename Ready> void waitAsConsumer(std::unique_lock<std::mutex>& lock, Ready ready);
    [[nodiscard]] std::uint64_t published() const { return m_consumed + m_jobs.size(); }
    [[nodiscard]] std::uint64_t readLimit() const;
    [[nodiscard]] bool readerCanTake(std::uint64_t count) const;
    [[nodiscard]] bool readersAreDone() const;
    [[nodiscard]] bool listerMustWait() const;
    [[nodiscard]] bool listerMayGoOn() const;
    [[nodiscard]] bool over() const { return m_cancel.requested() || m_error; }
    void wakeReadersIfWork(std::uint64_t count);
    void wakeListerIfRoom();
    void wakeAll();

    std::mutex m_mutex;
    std::condition_variable m_consumerCv;
    std::condition_variable m_readerCv;
    std::condition_variable m_listerCv;
    std::deque<ScannedFolder> m_folders;
    std::deque<Job> m_jobs;       // m_jobs[0] is the job numbered m_consumed
    std::uint64_t m_consumed = 0; // jobs the loop has taken
    std::uint64_t m_nextTake = 0; // the next job a reader takes
    bool m_publishingDone = false;
    bool m_consumerWaiting = false;
    bool m_listerWaiting = false;
    int m_readersWaiting = 0;
    Cancel m_cancel;
    std::exception_ptr m_error;
};

} // namespace corvelle::intake
