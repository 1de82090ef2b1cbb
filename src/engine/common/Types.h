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

/// A file's length in bytes. Always 64-bit: files over 2 GiB and 4 GiB are ordinary. Made
/// from any length, but never turned back into a number without saying which form: bytes(),
/// or low32() where the export record keeps only the low 32 bits.
class FileSize {
public:
    constexpr FileSize() noexcept = default;
    constexpr FileSize(std::int64_t bytes) noexcept // NOLINT: lengths and literals are sizes
        : m_bytes(bytes)
    {}

    [[nodiscard]] constexpr std::int64_t bytes() const noexcept { return m_bytes; }
    [[nodiscard]] constexpr std::int32_t low32() const noexcept
    {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(m_bytes & 0xFFFFFFFF));
    }

    friend constexpr bool operator==(FileSize, FileSize) noexcept = default;
    friend constexpr bool operator<(FileSize a, FileSize b) noexcept
    {
        return a.m_bytes < b.m_bytes;
    }
    friend constexpr bool operator>(FileSize a, FileSize b) noexcept { return b < a; }
    friend constexpr bool operator<=(FileSize a, FileSize b) noexcept { return !(b < a); }
    friend constexpr bool operator>=(FileSize a, FileSize b) noexcept { return !(a < b); }

private:
    std::int64_t m_bytes = 0;
};

/// The size in decimal bytes, as the lists show it.
std::string toString(FileSize size);
std::ostream& operator<<(std::ostream& out, FileSize size);

/// A checksum as the catalogue and the record files hold it: the CRC's 32 bits read as a
/// signed number (0 when checksums are off, -1 after a failed checksum). Made from that signed
/// form, and turned back into a number only as stored() or as the register's bits().
class CrcValue {
public:
    constexpr CrcValue() noexcept = default;
    constexpr CrcValue(std::int32_t stored) noexcept // NOLINT: the stored form is the value
        : m_stored(stored)
    {}

    [[nodiscard]] constexpr std::int32_t stored() const noexcept { return m_stored; }
    [[nodiscard]] constexpr std::uint32_t bits() const noexcept
    {
        return static_cast<std::uint32_t>(m_stored);
    }

    friend constexpr bool operator==(CrcValue, CrcValue) noexcept = default;

private:
    std::int32_t m_stored = 0;
};

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
    return CrcValue(static_cast<std::int32_t>(bits));
}
constexpr std::uint32_t toCrcBits(CrcValue value)
{
    return value.bits();
}

} // namespace corvelle
