// Value types shared by every part of the engine.
#pragma once

#include <cstdint>
#include <string>

namespace corvelle {

/// A catalogue record's ID: assigned by the store, positive, never 0.
using RecordId = std::int32_t;

/// A file's length in bytes. Always 64-bit: files over 2 GiB and 4 GiB are ordinary.
using FileSize = std::int64_t;

/// A checksum as the catalogue and the record files hold it: the CRC's 32 bits read as a
/// signed number (0 when checksums are off, -1 after a failed checksum).
using CrcValue = std::int32_t;

/// A checksum together with whether computing it failed. A failed checksum is stored as -1,
/// like the real value 0xFFFFFFFF, but never counts as equal to any other checksum.
struct Checksum {
    CrcValue value = 0;
    bool failed = false;

    friend bool operator==(const Checksum&, const Checksum&) = default;
};

/// A checksum's display form in both lists: "$" and exactly 8 upper-case hex digits.
std::string formatCrc(CrcValue crc);

/// Reinterpretations between the unsigned CRC register and its stored signed form.
constexpr CrcValue toCrcValue(std::uint32_t bits)
{
    return static_cast<CrcValue>(bits);
}
constexpr std::uint32_t toCrcBits(CrcValue value)
{
    return static_cast<std::uint32_t>(value);
}

} // namespace corvelle
