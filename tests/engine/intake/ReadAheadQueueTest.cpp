// The hand-over between the read-ahead threads: a failure or a cancel reaches every thread that
// waits, so that no intake hangs. That every file reaches the loop once and in order is shown
// end to end by the read-ahead equivalence tests.
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
