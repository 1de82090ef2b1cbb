#include "common/PosixFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

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

void writeAll(int fd, const void* data, std::size_t size, const std::filesystem::path& file)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError("cannot write", file, errno);
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
    }
}

void writeAllAt(int fd, const void* data, std::size_t size, std::int64_t offset,
                const std::filesystem::path& file)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, bytes, size, offset);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError("cannot write", file, errno);
        }
        bytes += n;
        size -= static_cast<std::size_t>(n);
        offset += n;
    }
}

std::size_t readFully(int fd, void* data, std::size_t size, const std::filesystem::path& file)
{
    auto* bytes = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw fileError("cannot read", file, errno);
        }
        if (n == 0) {
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
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

} // namespace corvelle
