#include "intake/IntakeSources.h"

#include "intake/IntakeFaults.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace corvelle::intake {
namespace {

/// Folders nearer the root than this keep their descriptor open while their sub-folders are
/// walked, so those open relative to it. Deeper folders open by full path instead, which keeps
/// a pathologically deep tree from running out of descriptors.
constexpr std::size_t heldDepth = 64;

/// How far the readers may run ahead of the cataloguing loop, in files. The results are a few
/// dozen bytes each; the bound is there so that a stop wastes little reading.
constexpr std::uint64_t readAheadFiles = 2048;
/// How far the lister may run ahead, in files and in folders (each holds a descriptor).
constexpr std::uint64_t listAheadFiles = 8192;
constexpr std::size_t listAheadFolders = 64;

bool listingFaulted(const IntakeFaults* faults, const std::string& folder)
{
    return faults != nullptr && faults->listingFails && faults->listingFails(folder);
}

} // namespace

// ---------------------------------------------------------------------------------------
// TreeWalker

struct TreeWalker::Frame {
    std::shared_ptr<const FolderHandle> folder; // null when too deep to hold a descriptor
    std::string path;
    dev_t device = 0;
    ino_t inode = 0;
    std::vector<std::string> subfolders;
    std::size_t nextChild = 0;
};

TreeWalker::TreeWalker(std::string root, FilterPatterns filter, bool recursive,
                       const IntakeFaults* faults, const Cancel* cancel)
    : m_root(withTrailingSlash(root))
    , m_filter(std::move(filter))
    , m_recursive(recursive)
    , m_faults(faults)
    , m_cancel(cancel)
{}

TreeWalker::~TreeWalker() = default;

bool TreeWalker::next(ScannedFolder& out)
{
    out = ScannedFolder{};
    if (!m_started) {
        m_started = true;
        auto folder = std::make_shared<FolderHandle>();
        folder->path = m_root;
        // The folder the user chose is taken as chosen, even when it is a link to a folder.
        if (!listingFaulted(m_faults, folder->path)) {
            folder->fd = UniqueFd(::open(folder->path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        }
        list(std::move(folder), out);
        return true;
    }
    while (!m_stack.empty()) {
        if (cancelled(m_cancel)) {
            return false;
        }
        Frame& top = m_stack.back();
        if (top.nextChild < top.subfolders.size()) {
            const std::string& name = top.subfolders[top.nextChild++];
            auto folder = std::make_shared<FolderHandle>();
            folder->path = top.path + name + '/';
            if (!listingFaulted(m_faults, folder->path)) {
                // O_NOFOLLOW: a sub-folder swapped for a link since it was listed is not
                // entered.
                constexpr int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
                folder->fd =
                    UniqueFd(top.folder ? ::openat(top.folder->fd.get(), name.c_str(), flags)
                                        : ::open(folder->path.c_str(), flags));
            }
            list(std::move(folder), out);
            return true;
        }
        m_stack.pop_back();
    }
    return false;
}

void TreeWalker::list(std::shared_ptr<FolderHandle> folder, ScannedFolder& out)
{
    out.failure = FolderListing::Failure::Open;
    struct stat st {};
    if (folder->fd.valid() && ::fstat(folder->fd.get(), &st) == 0) {
        folder->device = st.st_dev;
        folder->inode = st.st_ino;
        // Links are never followed, but a folder mounted inside itself still forms a loop;
        // it is reported like a folder that cannot be listed rather than walked forever.
        bool loop = false;
        for (const Frame& frame : m_stack) {
            loop = loop || (frame.device == st.st_dev && frame.inode == st.st_ino);
        }
        if (!loop) {
            FolderListing listing = listFolder(folder->fd.get(), m_filter, m_cancel);
            out.failure = listing.failure;
            out.entries = listing.entries;
            if (listing.failure == FolderListing::Failure::None) {
                out.fileCount = listing.files.size();
                out.files = std::move(listing.files);
                if (m_recursive && !listing.folders.empty()) {
                    Frame frame;
                    frame.path = folder->path;
                    frame.device = folder->device;
                    frame.inode = folder->inode;
                    frame.subfolders = std::move(listing.folders);
                    if (m_stack.size() < heldDepth) {
                        frame.folder = folder;
                    }
                    m_stack.push_back(std::move(frame));
                }
            }
        }
    }
    if (out.failure != FolderListing::Failure::None) {
        folder->fd = UniqueFd();
    }
    out.folder = std::move(folder);
}

// ---------------------------------------------------------------------------------------
// Sequential

namespace {

class SequentialTreeSource final : public IntakeSource {
public:
    SequentialTreeSource(std::string root, FilterPatterns filter, bool recursive,
                         const ReadSettings& settings)
        : m_walker(std::move(root), std::move(filter), recursive, settings.faults, nullptr)
        , m_reader(settings)
    {}

    bool nextFolder(ScannedFolder& out) override
    {
        if (!m_walker.next(m_current)) {
            return false;
        }
        m_nextFile = 0;
        out.folder = m_current.folder;
        out.failure = m_current.failure;
        out.entries = m_current.entries;
        out.fileCount = m_current.fileCount;
        out.files.clear();
        return true;
    }

    ExaminedFile nextFile() override
    {
        ExaminedFile file;
        file.name = std::move(m_current.files.at(m_nextFile++));
        file.facts = m_reader.examineIn(*m_current.folder, file.name);
        return file;
    }

private:
    TreeWalker m_walker;
    FileReader m_reader;
    ScannedFolder m_current;
    std::size_t m_nextFile = 0;
};

class SequentialListSource final : public IntakeSource {
public:
    SequentialListSource(std::vector<std::string> paths, const ReadSettings& settings)
        : m_paths(std::move(paths))
        , m_reader(settings)
    {}

    bool nextFolder(ScannedFolder& /*out*/) override { return false; }

    ExaminedFile nextFile() override
    {
        ExaminedFile file;
        file.name = std::move(m_paths.at(m_next++));
        file.facts = m_reader.examinePath(file.name);
        return file;
    }

private:
    std::vector<std::string> m_paths;
    FileReader m_reader;
    std::size_t m_next = 0;
};

// ---------------------------------------------------------------------------------------
// Read-ahead

/// The lister (in a folder scan) publishes folders and their files in scan order; readers
/// take runs of files in that order and fill in their facts; the cataloguing loop takes folders
/// and finished files from the front, waiting only for a file still being read. One mutex
/// guards the queues; the work itself (listing, reading) runs outside it. Every hand-over
/// moves a run of files, and a waiting thread is only woken once there is a run's worth of
/// work for it: waking a thread costs more than reading a small file.
class ReadAheadSource final : public IntakeSource {
public:
    explicit ReadAheadSource(const ReadSettings& settings)
        : m_settings(settings)
    {}

    ~ReadAheadSource() override
    {
        {
            const std::lock_guard lock(m_mutex);
            m_cancel.request();
        }
        m_listerCv.notify_all();
        m_readerCv.notify_all();
        m_consumerCv.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }

    ReadAheadSource(const ReadAheadSource&) = delete;
    ReadAheadSource& operator=(const ReadAheadSource&) = delete;

    void startTree(std::string root, FilterPatterns filter, bool recursive, int readers)
    {
        m_threads.emplace_back(
            [this, root = std::move(root), filter = std::move(filter), recursive]() mutable {
                guarded([&] { listTree(std::move(root), std::move(filter), recursive); });
            });
        startReaders(readers);
    }

    void startList(std::vector<std::string> paths, int readers)
    {
        for (std::string& path : paths) {
            m_jobs.push_back(Job{nullptr, std::move(path), {}, false});
        }
        m_producerDone = true;
        startReaders(readers);
    }

    bool nextFolder(ScannedFolder& out) override
    {
        std::unique_lock lock(m_mutex);
        waitAsConsumer(lock, [&] { return !m_folders.empty() || m_producerDone; });
        if (m_folders.empty()) {
            return false;
        }
        out = std::move(m_folders.front());
        m_folders.pop_front();
        wakeListerIfRoom();
        return true;
    }

    ExaminedFile nextFile() override
    {
        if (m_ready.empty()) {
            takeFinishedRun();
        }
        ExaminedFile file = std::move(m_ready.front());
        m_ready.pop_front();
        return file;
    }

private:
    struct Job {
        std::shared_ptr<const FolderHandle> folder; // null in list mode: name is a full path
        std::string name;
        FileFacts facts;
        bool done = false;
    };

    /// Files a reader takes at once, and files the loop takes at once.
    static constexpr std::uint64_t readerRun = 16;
    static constexpr std::size_t consumerRun = 256;

    /// Moves the finished files at the front of the queue to the loop's own list. The front
    /// file exists: a folder is published together with all of its files.
    void takeFinishedRun()
    {
        std::unique_lock lock(m_mutex);
        waitAsConsumer(lock, [&] { return m_jobs.front().done; });
        while (!m_jobs.empty() && m_jobs.front().done && m_ready.size() < consumerRun) {
            Job& job = m_jobs.front();
            m_ready.push_back(ExaminedFile{std::move(job.name), job.facts});
            m_jobs.pop_front();
            ++m_consumed;
        }
        if (m_readersWaiting > 0 && readerCanTake(readerRun)) {
            m_readerCv.notify_all();
        }
        wakeListerIfRoom();
    }

    template <typename Ready> void waitAsConsumer(std::unique_lock<std::mutex>& lock, Ready ready)
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

    [[nodiscard]] std::uint64_t published() const { return m_consumed + m_jobs.size(); }

    /// Whether a reader could take `count` files (or whatever is left once the list is
    /// complete) without running too far ahead of the loop.
    [[nodiscard]] bool readerCanTake(std::uint64_t count) const
    {
        const std::uint64_t limit = std::min(published(), m_consumed + readAheadFiles);
        if (m_nextTake >= limit) {
            return false;
        }
        return limit - m_nextTake >= count || m_producerDone || limit < published();
    }

    [[nodiscard]] bool listerMustWait() const
    {
        return m_jobs.size() >= listAheadFiles || m_folders.size() >= listAheadFolders;
    }

    [[nodiscard]] bool listerMayGoOn() const
    {
        return m_jobs.size() < listAheadFiles / 2 && m_folders.size() < listAheadFolders / 2;
    }

    void wakeListerIfRoom()
    {
        if (m_listerWaiting && listerMayGoOn()) {
            m_listerCv.notify_one();
        }
    }

    template <typename Work> void guarded(Work work)
    {
        try {
            work();
        } catch (...) {
            const std::lock_guard lock(m_mutex);
            if (!m_error) {
                m_error = std::current_exception();
            }
            m_consumerCv.notify_all();
            m_readerCv.notify_all();
            m_listerCv.notify_all();
        }
    }

    void startReaders(int readers)
    {
        for (int i = 0; i < std::max(readers, 1); ++i) {
            m_threads.emplace_back([this] { guarded([this] { readFiles(); }); });
        }
    }

    void listTree(std::string root, FilterPatterns filter, bool recursive)
    {
        TreeWalker walker(std::move(root), std::move(filter), recursive, m_settings.faults,
                          &m_cancel);
        for (;;) {
            {
                std::unique_lock lock(m_mutex);
                if (listerMustWait()) {
                    m_listerWaiting = true;
                    m_listerCv.wait(
                        lock, [&] { return m_cancel.requested() || m_error || listerMayGoOn(); });
                    m_listerWaiting = false;
                }
                if (m_cancel.requested() || m_error) {
                    return;
                }
            }
            ScannedFolder folder;
            const bool more = walker.next(folder);
            const std::lock_guard lock(m_mutex);
            if (!more) {
                m_producerDone = true;
                m_consumerCv.notify_all();
                m_readerCv.notify_all();
                return;
            }
            for (std::string& name : folder.files) {
                m_jobs.push_back(Job{folder.folder, std::move(name), {}, false});
            }
            folder.files.clear();
            m_folders.push_back(std::move(folder));
            if (m_readersWaiting > 0 && readerCanTake(1)) {
                m_readerCv.notify_all();
            }
            if (m_consumerWaiting) {
                m_consumerCv.notify_one();
            }
        }
    }

    void readFiles()
    {
        FileReader reader(m_settings, &m_cancel);
        std::vector<Job*> run;
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (!readerCanTake(1)) {
                ++m_readersWaiting;
                m_readerCv.wait(lock, [&] {
                    return m_cancel.requested() || m_error || readerCanTake(1) ||
                           (m_producerDone && m_nextTake == published());
                });
                --m_readersWaiting;
            }
            if (m_cancel.requested() || m_error || !readerCanTake(1)) {
                return;
            }
            // References to deque elements survive pushes at the back, and the loop pops
            // only jobs that are done, so the run stays valid while the lock is released.
            run.clear();
            const std::uint64_t limit = std::min(published(), m_consumed + readAheadFiles);
            while (m_nextTake < limit && run.size() < readerRun) {
                run.push_back(&m_jobs[static_cast<std::size_t>(m_nextTake - m_consumed)]);
                ++m_nextTake;
            }
            lock.unlock();
            for (Job* job : run) {
                job->facts = job->folder ? reader.examineIn(*job->folder, job->name)
                                         : reader.examinePath(job->name);
            }
            lock.lock();
            for (Job* job : run) {
                job->done = true;
            }
            if (m_consumerWaiting && m_jobs.front().done) {
                m_consumerCv.notify_one();
            }
        }
    }

    ReadSettings m_settings;

    std::mutex m_mutex;
    std::condition_variable m_consumerCv;
    std::condition_variable m_readerCv;
    std::condition_variable m_listerCv;
    std::deque<ScannedFolder> m_folders;
    std::deque<Job> m_jobs;       // m_jobs[0] is the job numbered m_consumed
    std::uint64_t m_consumed = 0; // jobs the loop has taken
    std::uint64_t m_nextTake = 0; // the next job a reader takes
    bool m_producerDone = false;
    bool m_consumerWaiting = false;
    bool m_listerWaiting = false;
    int m_readersWaiting = 0;
    Cancel m_cancel;
    std::exception_ptr m_error;
    std::vector<std::thread> m_threads;

    std::deque<ExaminedFile> m_ready; // finished files taken by the loop, only it touches them
};

} // namespace

std::unique_ptr<IntakeSource> makeSequentialTreeSource(std::string root, FilterPatterns filter,
                                                       bool recursive, const ReadSettings& settings)
{
    return std::make_unique<SequentialTreeSource>(std::move(root), std::move(filter), recursive,
                                                  settings);
}

std::unique_ptr<IntakeSource> makeReadAheadTreeSource(std::string root, FilterPatterns filter,
                                                      bool recursive, const ReadSettings& settings,
                                                      int readers)
{
    auto source = std::make_unique<ReadAheadSource>(settings);
    source->startTree(std::move(root), std::move(filter), recursive, readers);
    return source;
}

std::unique_ptr<IntakeSource> makeFileListSource(std::vector<std::string> fullPaths,
                                                 const ReadSettings& settings, int readers)
{
    if (readers <= 0) {
        return std::make_unique<SequentialListSource>(std::move(fullPaths), settings);
    }
    auto source = std::make_unique<ReadAheadSource>(settings);
    source->startList(std::move(fullPaths), readers);
    return source;
}

} // namespace corvelle::intake
