#include "common/Types.h"

#include <ostream>

namespace corvelle {

std::string toString(RecordId id)
{
    return std::to_string(id.value());
}

std::ostream& operator<<(std::ostream& out, RecordId id)
{
    return out << id.value();
}

std::string toString(FileSize size)
{
    return std::to_string(size.bytes());
}

std::ostream& operator<<(std::ostream& out, FileSize size)
{
    return out << size.bytes();
}

std::string formatCrc(CrcValue crc)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::uint32_t bits = toCrcBits(crc);
    std::string text(9, '$');
    for (std::size_t i = 8; i >= 1; --i) {
        text[i] = digits[bits & 0xFu];
        bits >>= 4;
    }
    return text;
}

} // namespace corvelle
