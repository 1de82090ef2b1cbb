// Thin RAII over POSIX file descriptors; every failure is a std::system_error naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

namespace corvelle {

class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd)
        : m_fd(fd)
    {}
    ~UniqueFd() { reset(); }
    UniqueFd(UniqueFd&& other) noexcept
        : m_fd(other.release())
    {}
    UniqueFd& operator=(UniqueFd&& other) noexcept
    {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    [[nodiscard]] int get() const { return m_fd; }
    [[nodiscard]] bool valid() const { return m_fd >= 0; }
    int release() noexcept
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1) noexcept;

private:
    int m_fd = -1;
};

/// A std::system_error for errno, naming what was done to which file.
std::system_error fileError(std::string_view doing, const std::filesystem::path& file, int error);

/// open(2) that throws; O_CLOEXEC is always added.
UniqueFd openFile(const std::filesystem::path& file, int flags, unsigned mode = 0644);
/// Writes all bytes at the current position.
void writeAll(int fd, const void* data, std::size_t size, const std::filesystem::path& file);
/// Writes all bytes at an offset.
void writeAllAt(int fd, const void* data, std::size_t size, std::int64_t offset,
                const std::filesystem::path& file);
/// Reads up to size bytes at the current position, retrying short reads; returns bytes read
/// (less than size only at the end of the file).
std::size_t readFully(int fd, void* data, std::size_t size, const std::filesystem::path& file);
/// The same at an offset, leaving the file position alone.
std::size_t readFullyAt(int fd, void* data, std::size_t size, std::int64_t offset,
                        const std::filesystem::path& file);
/// close(2) that reports a failure (a write-back error surfaces here).
void closeFile(UniqueFd& fd, const std::filesystem::path& file);

/// Buffers writes to a file opened for writing.
class BufferedWriter {
public:
    BufferedWriter(int fd, std::filesystem::path file, std::size_t capacity = 1 << 20);
    void write(const void* data, std::size_t size);
    /// Space for size bytes at the end of the buffer, to be filled by the caller.
    char* reserve(std::size_t size);
    void flush();

private:
    int m_fd;
    std::filesystem::path m_file;
    std::string m_buffer;
    std::size_t m_used = 0;
};

/// Buffers writes and hands full buffers to a thread of its own, so that filling the next
/// buffer overlaps the kernel's copying of the last one. A write failure is raised by the
/// next reserve() or by finish().
class BackgroundWriter {
public:
    BackgroundWriter(int fd, std::filesystem::path file, std::size_t bufferSize = 4 << 20);
    ~BackgroundWriter();
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    /// Space for size bytes (at most the buffer size), to be filled by the caller.
    char* reserve(std::size_t size);
    /// Writes what is buffered and waits for every write to end.
    void finish();

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace corvelle
