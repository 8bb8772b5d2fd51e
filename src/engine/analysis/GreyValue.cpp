#include "GreyValue.h"

#include "Rounding.h"

namespace torvi {

std::uint8_t ExactGreyValue(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    const long double sum = static_cast<long double>(red) * 0.299L +
                            static_cast<long double>(green) * 0.587L +
                            static_cast<long double>(blue) * 0.114L;
    return static_cast<std::uint8_t>(RoundHalfEven(sum));
}

const GreyTable& GreyTable::Instance() {
    static const GreyTable table;
    return table;
}

GreyTable::GreyTable() {
    // 57 * 193 = 11001, so 193 is the inverse of 57 modulo 500: from
    // 114 B = c (mod 1000) with c even follows B = 193 * c / 2 (mod 500).
    for (std::uint32_t red = 0; red < 256; ++red) {
        for (std::uint32_t green = 0; green < 256; ++green) {
            const std::uint32_t partial = (299u * red + 587u * green) % 1000u;
            const std::uint32_t needed = (1500u - partial) % 1000u;
            if (needed % 2u != 0u) continue;
            const std::uint32_t blue = (193u * (needed / 2u)) % 500u;
            if (blue > 255u) continue;
            const std::uint32_t whole = (299u * red + 587u * green + 114u * blue) / 1000u;
            const std::uint8_t exact =
                ExactGreyValue(static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
                               static_cast<std::uint8_t>(red));
            if (exact == whole + 1u) {
                const std::uint32_t pair = (red << 8) | green;
                tieRoundsUp_[pair >> 6] |= std::uint64_t{1} << (pair & 63u);
            }
        }
    }
}

} // namespace torvi
