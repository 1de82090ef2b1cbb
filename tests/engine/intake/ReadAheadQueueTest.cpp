// The hand-over between the read-ahead threads: every file reaches the loop once and in order,
// the bounds hold, and a failure or a cancel reaches every thread that waits.
#include "intake/ReadAheadQueue.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace corvelle::intake {
namespace {

using namespace std::chrono_literals;
using Job = ReadAheadQueue::Job;

ScannedFolder folderWith(const std::string& path, int files)
{
    ScannedFolder folder;
    auto handle = std::make_shared<FolderHandle>();
    handle->path = path;
    folder.folder = std::move(handle);
    for (int i = 0; i < files; ++i) {
        folder.files.push_back("f" + std::to_string(i));
    }
    folder.fileCount = folder.files.size();
    return folder;
}

/// Polls `done` for up to a few seconds; a correct queue gets there at once.
template <typename Done> bool eventually(Done done)
{
    for (int i = 0; i < 500 && !done(); ++i) {
        std::this_thread::sleep_for(10ms);
    }
    return done();
}

TEST(ReadAheadQueue, everyPublishedFileReachesTheLoopOnceInOrderWithItsFacts)
{
    ReadAheadQueue queue;
    queue.publishFolder(folderWith("/a/", 40));
    queue.publishFolder(folderWith("/a/b/", 0));
    queue.publishFolder(folderWith("/a/c/", 3));
    queue.finishPublishing();

    // One reader on this thread: runs come in order, none longer than a reader's run.
    std::vector<std::string> read;
    std::vector<Job*> run;
    while (queue.nextRun(run)) {
        EXPECT_LE(run.size(), ReadAheadQueue::readerRun);
        for (Job* job : run) {
            read.push_back(job->folder->path + job->name);
            job->facts.sizeKnown = true;
            job->facts.size = static_cast<FileSize>(read.size());
        }
    }
    ASSERT_EQ(read.size(), 43u);
    EXPECT_EQ(read.front(), "/a/f0");
    EXPECT_EQ(read.back(), "/a/c/f2");

    ScannedFolder folder;
    std::deque<ExaminedFile> ready;
    for (const std::string path : {"/a/", "/a/b/", "/a/c/"}) {
        ASSERT_TRUE(queue.nextFolder(folder));
        EXPECT_EQ(folder.folder->path, path);
        EXPECT_TRUE(folder.files.empty()); // the names travel with the files' facts
        for (std::size_t i = 0; i < folder.fileCount; ++i) {
            if (ready.empty()) {
                queue.takeFinished(ready);
            }
            EXPECT_EQ(path + ready.front().name,
                      read[static_cast<std::size_t>(ready.front().facts.size.bytes() - 1)]);
            ready.pop_front();
        }
    }
    EXPECT_FALSE(queue.nextFolder(folder));
}

TEST(ReadAheadQueue, readersStayWithinTheReadAheadBoundOfTheLoop)
{
    constexpr std::uint64_t bound = ReadAheadQueue::readAheadFiles;
    ReadAheadQueue queue;
    queue.publishPaths(std::vector<std::string>(bound + 500, "/x"));
    std::atomic<std::uint64_t> taken{0};
    std::thread reader([&] {
        std::vector<Job*> run;
        while (queue.nextRun(run)) {
            taken += run.size();
        }
    });
    ASSERT_TRUE(eventually([&] { return taken.load() == bound; }));
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(taken.load(), bound);

    // Every file the loop takes lets the readers on by one; all of them are read in the end.
    std::deque<ExaminedFile> ready;
    std::uint64_t consumed = 0;
    while (consumed < bound + 500) {
        queue.takeFinished(ready);
        consumed += ready.size();
        ready.clear();
        EXPECT_LE(taken.load(), consumed + bound);
    }
    reader.join();
    EXPECT_EQ(taken.load(), bound + 500);
}

TEST(ReadAheadQueue, aWorkerFailureIsRethrownToTheWaitingLoop)
{
    {
        ReadAheadQueue queue;
        std::thread worker([&] {
            std::this_thread::sleep_for(20ms);
            queue.fail(std::make_exception_ptr(std::runtime_error("listing broke")));
        });
        ScannedFolder folder;
        EXPECT_THROW(queue.nextFolder(folder), std::runtime_error);
        worker.join();
    }
    {
        ReadAheadQueue queue;
        queue.publishPaths({"/never/read"});
        std::thread worker([&] {
            std::this_thread::sleep_for(20ms);
            queue.fail(std::make_exception_ptr(std::runtime_error("reader broke")));
        });
        std::deque<ExaminedFile> ready;
        EXPECT_THROW(queue.takeFinished(ready), std::runtime_error);
        worker.join();
        // The readers give up too.
        std::vector<Job*> run;
        EXPECT_FALSE(queue.nextRun(run));
    }
}

TEST(ReadAheadQueue, cancelReleasesWaitingWorkersAndIsVisibleToTheirWork)
{
    ReadAheadQueue queue;
    for (std::size_t i = 0; i < ReadAheadQueue::listAheadFolders; ++i) {
        queue.publishFolder(folderWith("/d" + std::to_string(i) + "/", 0));
    }
    std::atomic<int> released{0};
    std::thread lister([&] { released += queue.waitForRoom() ? 100 : 1; });
    std::thread reader([&] {
        std::vector<Job*> run;
        released += queue.nextRun(run) ? 100 : 1; // nothing to read, nothing finished yet
    });
    EXPECT_FALSE(queue.cancelToken().requested());
    std::this_thread::sleep_for(20ms);
    queue.cancel();
    lister.join();
    reader.join();
    EXPECT_EQ(released.load(), 2);
    EXPECT_TRUE(queue.cancelToken().requested());
}

} // namespace
} // namespace corvelle::intake
