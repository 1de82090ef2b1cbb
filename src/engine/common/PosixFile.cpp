#include "common/PosixFile.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unistd.h>
#include <utility>

namespace corvelle {

void UniqueFd::reset(int fd) noexcept
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
    m_fd = fd;
}

std::system_error fileError(std::string_view doing, const std::filesystem::path& file, int error)
{
    return std::system_error(error, std::generic_category(),
                             std::string(doing) + " '" + file.string() + "'");
}

UniqueFd openFile(const std::filesystem::path& file, int flags, unsigned mode)
{
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC, mode);
    if (fd < 0) {
        throw fileError("cannot open", file, errno);
    }
    return UniqueFd(fd);
}

namespace {

/// Repeats a read or write call until `size` bytes are done, the call reports the end of the
/// file (returns 0), or it fails other than by an interruption. `call(done)` transfers the
/// bytes from offset `done` on.
template <typename Call>
std::size_t transferFully(std::size_t size, std::string_view doing,
                          const std::filesystem::path& file, Call call)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = call(done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError(doing, file, errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::int64_t at(std::int64_t offset, std::size_t done)
{
    return offset + static_cast<std::int64_t>(done);
}

/// A write that stops short without an error still lost bytes.
void requireWhole(std::size_t done, std::size_t size, const std::filesystem::path& file)
{
    if (done < size) {
        throw fileError("cannot write", file, EIO);
    }
}

} // namespace

void writeAll(int fd, const void* data, std::size_t size, const std::filesystem::path& file)
{
    const auto* bytes = static_cast<const char*>(data);
    requireWhole(
        transferFully(size, "cannot write", file,
                      [&](std::size_t done) { return ::write(fd, bytes + done, size - done); }),
        size, file);
}

void writeAllAt(int fd, const void* data, std::size_t size, std::int64_t offset,
                const std::filesystem::path& file)
{
    const auto* bytes = static_cast<const char*>(data);
    requireWhole(transferFully(size, "cannot write", file,
                               [&](std::size_t done) {
                                   return ::pwrite(fd, bytes + done, size - done, at(offset, done));
                               }),
                 size, file);
}

std::size_t readFully(int fd, void* data, std::size_t size, const std::filesystem::path& file)
{
    auto* bytes = static_cast<char*>(data);
    return transferFully(size, "cannot read", file,
                         [&](std::size_t done) { return ::read(fd, bytes + done, size - done); });
}

std::size_t readFullyAt(int fd, void* data, std::size_t size, std::int64_t offset,
                        const std::filesystem::path& file)
{
    auto* bytes = static_cast<char*>(data);
    return transferFully(size, "cannot read", file, [&](std::size_t done) {
        return ::pread(fd, bytes + done, size - done, at(offset, done));
    });
}

void closeFile(UniqueFd& fd, const std::filesystem::path& file)
{
    const int raw = fd.release();
    if (raw >= 0 && ::close(raw) != 0 && errno != EINTR) {
        throw fileError("cannot close", file, errno);
    }
}

BufferedWriter::BufferedWriter(int fd, std::filesystem::path file, std::size_t capacity)
    : m_fd(fd)
    , m_file(std::move(file))
    , m_buffer(capacity, '\0')
{}

void BufferedWriter::write(const void* data, std::size_t size)
{
    if (size > m_buffer.size() - m_used) {
        flush();
        if (size > m_buffer.size()) {
            writeAll(m_fd, data, size, m_file);
            return;
        }
    }
    std::memcpy(m_buffer.data() + m_used, data, size);
    m_used += size;
}

char* BufferedWriter::reserve(std::size_t size)
{
    if (size > m_buffer.size() - m_used) {
        flush();
        if (size > m_buffer.size()) {
            m_buffer.resize(size);
        }
    }
    char* at = m_buffer.data() + m_used;
    m_used += size;
    return at;
}

void BufferedWriter::flush()
{
    if (m_used > 0) {
        writeAll(m_fd, m_buffer.data(), m_used, m_file);
        m_used = 0;
    }
}

class BackgroundWriter::Impl {
public:
    Impl(int fd, std::filesystem::path file, std::size_t bufferSize)
        : m_fd(fd)
        , m_file(std::move(file))
        , m_capacity(bufferSize)
        , m_filling(std::make_unique_for_overwrite<char[]>(bufferSize))
        , m_writing(std::make_unique_for_overwrite<char[]>(bufferSize))
        , m_thread([this] { run(); })
    {}

    ~Impl()
    {
        {
            std::lock_guard lock(m_mutex);
            m_quit = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    char* reserve(std::size_t size)
    {
        if (size > m_capacity) {
            throw std::length_error("a reservation larger than the write buffer");
        }
        if (size > m_capacity - m_used) {
            handOver();
        }
        char* at = m_filling.get() + m_used;
        m_used += size;
        return at;
    }

    void finish()
    {
        handOver();
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_pending == 0; });
        rethrow();
    }

private:
    /// Waits until the writing buffer is free, then swaps the buffers.
    void handOver()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_pending == 0; });
        rethrow();
        if (m_used == 0) {
            return;
        }
        std::swap(m_filling, m_writing);
        m_pending = m_used;
        m_used = 0;
        lock.unlock();
        m_changed.notify_all();
    }

    void rethrow()
    {
        if (m_failure) {
            std::rethrow_exception(std::exchange(m_failure, nullptr));
        }
    }

    void run()
    {
        std::unique_lock lock(m_mutex);
        while (true) {
            m_changed.wait(lock, [this] { return m_quit || m_pending > 0; });
            if (m_pending == 0) {
                return; // quitting with nothing left to write
            }
            const std::size_t size = m_pending;
            lock.unlock();
            std::exception_ptr failure;
            try {
                writeAll(m_fd, m_writing.get(), size, m_file);
            } catch (...) {
                failure = std::current_exception();
            }
            lock.lock();
            if (failure && !m_failure) {
                m_failure = failure;
            }
            m_pending = 0;
            m_changed.notify_all();
        }
    }

    int m_fd;
    std::filesystem::path m_file;
    std::size_t m_capacity;
    std::unique_ptr<char[]> m_filling;
    std::unique_ptr<char[]> m_writing;
    std::size_t m_used = 0;
    std::size_t m_pending = 0; // bytes of m_writing still to be written
    bool m_quit = false;
    std::exception_ptr m_failure;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::thread m_thread;
};

BackgroundWriter::BackgroundWriter(int fd, std::filesystem::path file, std::size_t bufferSize)
    : m_impl(std::make_unique<Impl>(fd, std::move(file), bufferSize))
{}

BackgroundWriter::~BackgroundWriter() = default;

char* BackgroundWriter::reserve(std::size_t size)
{
    return m_impl->reserve(size);
}

void BackgroundWriter::finish()
{
    m_impl->finish();
}

} // namespace corvelle
