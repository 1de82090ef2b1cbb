// clsCRC: the running CRC-16/CRC-32 value and the file checksum built on it.
#include "checksum/clsCRC.h"

#include "common/PosixFile.h"
#include "common/Types.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace corvelle {
namespace {

constexpr std::uint32_t crc32Initial = 0xFFFFFFFFu;

/// The length of a regular file, following symbolic links. Anything else (missing, a FIFO, a
/// device, a folder) has no length worth reading and counts as a failure.
std::optional<std::int64_t> regularFileLength(const std::filesystem::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(info.st_size);
}

/// A file opened for reading only, closed on every path out.
class ReadOnlyFile {
public:
    // O_NONBLOCK: should the path have become a FIFO since it was examined, opening it must
    // not wait for a writer; fstat then refuses it.
    explicit ReadOnlyFile(const std::filesystem::path& path)
        : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK))
    {}

    [[nodiscard]] bool isRegularFile() const
    {
        struct stat info {};
        return m_fd.valid() && ::fstat(m_fd.get(), &info) == 0 && S_ISREG(info.st_mode);
    }

    /// Fills `block` completely; false on a read error or when the file ends first (it shrank
    /// since its length was taken).
    bool readExactly(std::span<std::uint8_t> block, const std::filesystem::path& path)
    {
        try {
            return readFully(m_fd.get(), block.data(), block.size(), path) == block.size();
        } catch (const std::system_error&) {
            return false;
        }
    }

private:
    UniqueFd m_fd;
};

/// Runs the leading `total` bytes of the file through `crc` block by block. `lastBlock` keeps
/// the value after the last complete block, which is the result even when a later one fails.
bool addLeadingBytes(clsCRC& crc, const std::filesystem::path& path, std::int64_t total,
                     const WorkHooks& progress, std::optional<std::int32_t>& lastBlock)
{
    progress.setProgress(0.0f);
    ReadOnlyFile file(path);
    if (!file.isRegularFile()) {
        return false;
    }
    std::array<std::uint8_t, clsCRC::blockSize> buffer;
    std::int64_t remaining = total;
    while (remaining > 0) {
        const auto size = static_cast<std::size_t>(
            std::min(remaining, static_cast<std::int64_t>(clsCRC::blockSize)));
        const std::span<std::uint8_t> block(buffer.data(), size);
        if (!file.readExactly(block, path)) {
            return false;
        }
        lastBlock = crc.CalculateBytes(block);
        remaining -= static_cast<std::int64_t>(size);
        progress.setProgress(
            percentOf(static_cast<double>(total - remaining), static_cast<double>(total)));
    }
    return true;
}

} // namespace

clsCRC::clsCRC(MessageSink* messages)
    : m_messages(messages)
{
    Algorithm(1);
}

std::int32_t clsCRC::AddBytes(ByteArray Bytes)
{
    if (Bytes.data() == nullptr) {
        return Value();
    }
    if (Bytes.empty()) {
        throw SubscriptOutOfRange();
    }
    if (m_crc32) {
        m_crc32Register = crc::crc32Update(m_crc32Register, Bytes.data(), Bytes.size());
    } else {
        m_crc16 = crc::crc16Update(m_crc16, Bytes.data(), Bytes.size());
    }
    return Value();
}

std::int32_t clsCRC::AddString(std::string_view Text)
{
    // An empty text still converts to an array with storage, which AddBytes refuses.
    static constexpr std::uint8_t storage = 0;
    if (Text.empty()) {
        return AddBytes(ByteArray(&storage, 0));
    }
    return AddBytes(ByteArray(reinterpret_cast<const std::uint8_t*>(Text.data()), Text.size()));
}

void clsCRC::Algorithm(std::int32_t New_Value)
{
    m_crc32 = New_Value != 0;
    if (m_crc32 && !m_crc32TableBuilt) {
        InitCRC32();
    } else if (!m_crc32 && !m_crc16TableBuilt) {
        InitCRC16();
    }
    Clear();
}

std::int16_t clsCRC::Algorithm() const
{
    return m_crc32 ? std::int16_t{-1} : std::int16_t{0};
}

std::int32_t clsCRC::CalculateBytes(ByteArray Bytes)
{
    return AddBytes(Bytes);
}

std::optional<std::int32_t> clsCRC::CalculateFile(const std::filesystem::path& Filename,
                                                  std::int64_t MaxSize, ProgressSink* ProgressBar)
{
    // The CRC-16 register is deliberately left alone: a CRC-16 over a file continues from it.
    m_crc32Register = crc32Initial;
    WorkHooks hooks;
    hooks.progress = ProgressBar;
    hooks.messages = m_messages;
    std::optional<std::int32_t> lastBlock;
    bool read = false;
    try {
        if (const std::optional<std::int64_t> length = regularFileLength(Filename)) {
            if (MaxSize <= 0 || *length == 0) {
                return std::nullopt;
            }
            read = addLeadingBytes(*this, Filename, std::min(*length, MaxSize), hooks, lastBlock);
        }
    } catch (const std::exception&) {
        // A progress object that fails ends the checksum like a read error does.
        read = false;
    }
    if (!read) {
        m_crc32Register = 0;
        hooks.report(crcFileErrorMessage(Filename.native()));
    }
    return lastBlock;
}

std::int32_t clsCRC::CalculateString(std::string_view Text)
{
    return AddString(Text);
}

std::int32_t clsCRC::Value() const
{
    return (m_crc32 ? toCrcValue(~m_crc32Register) : toCrcValue(m_crc16 & 0xFFFFu)).stored();
}

void clsCRC::Value(std::int32_t New_Value)
{
    if (m_crc32) {
        m_crc32Register = toCrcBits(New_Value);
    } else {
        m_crc16 = toCrcBits(New_Value);
    }
}

void clsCRC::Clear()
{
    m_crc16 = 0;
    m_crc32Register = crc32Initial;
}

// Both tables are compile-time constants in CrcTables.h, shared with the fast kernels: the
// CRC-16 one generated by the MSB-first loop of 0x1021, the CRC-32 one stored as its 256
// values. Selecting an algorithm therefore only has to note that its table is in use.
void clsCRC::InitCRC16()
{
    m_crc16TableBuilt = true;
}

void clsCRC::InitCRC32()
{
    m_crc32TableBuilt = true;
}

Message crcFileErrorMessage(std::string_view filename)
{
    Message message;
    message.text = "Error CRC'ing file '" + std::string(filename) + "'";
    message.icon = MessageIcon::Information;
    message.buttons = MessageButtons::Ok;
    message.title = std::string(applicationTitle);
    return message;
}

} // namespace corvelle
