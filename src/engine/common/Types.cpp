#include "common/Types.h"

namespace corvelle {

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
