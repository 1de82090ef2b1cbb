// clsCRC: CRC-16/XMODEM and CRC-32 (zip, Ethernet) over byte arrays, texts and the leading
// bytes of files, with a running value kept between calls.
#pragma once

#include "common/Hooks.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <stdexcept>
#include <string_view>

namespace corvelle {

/// Raised for an array that has storage but no elements (what an empty text converts to).
class SubscriptOutOfRange : public std::out_of_range {
public:
    SubscriptOutOfRange()
        : std::out_of_range("Subscript out of range")
    {}
    static constexpr int number = 9;
};

/// A byte array as the engine receives it. A span whose data() is null is an array without
/// storage; a span with a non-null data() and size 0 has storage but no elements.
using ByteArray = std::span<const std::uint8_t>;

class clsCRC {
public:
    /// Messages about unreadable files go to `messages` (stderr when null).
    explicit clsCRC(MessageSink* messages = nullptr);

    std::int32_t AddBytes(ByteArray Bytes);
    std::int32_t AddString(std::string_view Text);
    void Algorithm(std::int32_t New_Value);
    [[nodiscard]] std::int16_t Algorithm() const;
    std::int32_t CalculateBytes(ByteArray Bytes);
    /// CRC of the first MaxSize bytes of the file, read in 10,240-byte blocks, with the
    /// progress after each block. Empty when no block was read.
    std::optional<std::int32_t> CalculateFile(const std::filesystem::path& Filename,
                                              std::int64_t MaxSize, ProgressSink* ProgressBar);
    std::int32_t CalculateString(std::string_view Text);
    [[nodiscard]] std::int32_t Value() const;
    void Value(std::int32_t New_Value);
    void Clear();

    void setMessageSink(MessageSink* messages) { m_messages = messages; }

    static constexpr std::size_t blockSize = 10240;

private:
    void InitCRC16();
    void InitCRC32();

    bool m_crc32 = true;
    std::uint32_t m_crc16 = 0;
    std::uint32_t m_crc32Register = 0xFFFFFFFFu;
    bool m_crc16TableBuilt = false;
    bool m_crc32TableBuilt = false;
    MessageSink* m_messages = nullptr;
};

/// The message a failed file checksum shows.
Message crcFileErrorMessage(std::string_view filename);

namespace crc {

/// Runs bytes through the CRC-32 register (before the final complement), exactly as the
/// one-lookup-per-byte loop does, at memory speed: carry-less-multiply folding where the CPU
/// has it, slicing-by-8 otherwise, chosen once at run time.
std::uint32_t crc32Update(std::uint32_t reg, const std::uint8_t* data, std::size_t length);

/// The plain one-lookup-per-byte loop, kept as the reference.
std::uint32_t crc32ByteTable(std::uint32_t reg, const std::uint8_t* data, std::size_t length);

/// CRC-16/XMODEM register update (the register's low 16 bits).
std::uint32_t crc16Update(std::uint32_t reg, const std::uint8_t* data, std::size_t length);

/// The implementations crc32Update can choose from, for tests and benchmarks.
enum class Crc32Kernel { ByteTable, SliceBy8, Pclmul, Vpclmul512 };
bool crc32KernelSupported(Crc32Kernel kernel);
std::uint32_t crc32UpdateWith(Crc32Kernel kernel, std::uint32_t reg, const std::uint8_t* data,
                              std::size_t length);
Crc32Kernel crc32ActiveKernel();

} // namespace crc
} // namespace corvelle
