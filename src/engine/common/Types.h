// Value types shared by every part of the engine.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace corvelle {

/// A catalogue record's ID: assigned by the store, positive, never 0. Its 32-bit form is what
/// the store and the record files hold; everywhere else it is this type, so that an ID is
/// never mistaken for a row, a count or a group number.
class RecordId {
public:
    constexpr RecordId() noexcept = default;
    constexpr explicit RecordId(std::int32_t value) noexcept
        : m_value(value)
    {}

    [[nodiscard]] constexpr std::int32_t value() const noexcept { return m_value; }
    /// Whether this names a record: the default, 0, names none.
    constexpr explicit operator bool() const noexcept { return m_value != 0; }

    // Written out rather than a defaulted <=>: <compare> is more than Qt 6.4's moc can parse,
    // and the window's headers include this one.
    friend constexpr bool operator==(RecordId, RecordId) noexcept = default;
    friend constexpr bool operator<(RecordId a, RecordId b) noexcept
    {
        return a.m_value < b.m_value;
    }
    friend constexpr bool operator>(RecordId a, RecordId b) noexcept { return b < a; }
    friend constexpr bool operator<=(RecordId a, RecordId b) noexcept { return !(b < a); }
    friend constexpr bool operator>=(RecordId a, RecordId b) noexcept { return !(a < b); }

private:
    std::int32_t m_value = 0;
};

/// The ID in decimal, as the lists show it.
std::string toString(RecordId id);
std::ostream& operator<<(std::ostream& out, RecordId id);

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
