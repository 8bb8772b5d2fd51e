#pragma once

#include "Bitmap.h"

#include <array>
#include <cstdint>

namespace torvi {

// The grey value of a 24-bit pixel: 0.299 red + 0.587 green + 0.114 blue in
// 80-bit extended arithmetic (products added red, green, blue), rounded ties
// to even. Ties are real: pure blue 250 gives exactly 28.5, hence 28.
// This is the defining formula; GreyTable gives the same value faster.
std::uint8_t ExactGreyValue(std::uint8_t blue, std::uint8_t green, std::uint8_t red);

// Fast grey values, identical to ExactGreyValue for every colour.
//
// 299 R + 587 G + 114 B is the exact sum times 1000. Unless its last three
// digits are 500, the exact sum is at least 0.001 away from a rounding tie,
// far beyond the few units in the last place the extended arithmetic can be
// off, so integer rounding of the sum gives the same byte. For a tie the
// extended result may fall either side of the half; since 114 B = c mod 1000
// has at most one solution B in 0..255 for given red and green, one bit per
// (red, green) pair records which way ExactGreyValue rounds that colour.
// The one instance is built on first use and never changes (thread-safe).
class GreyTable {
public:
    static const GreyTable& Instance();

    std::uint8_t Value(std::uint8_t blue, std::uint8_t green, std::uint8_t red) const {
        const std::uint32_t sum = 299u * red + 587u * green + 114u * blue;
        const std::uint32_t whole = sum / 1000u;
        const std::uint32_t rest = sum - whole * 1000u;
        std::uint32_t up = rest > 500u ? 1u : 0u;
        if (rest == 500u) up = TieRoundsUp(green, red) ? 1u : 0u;
        return static_cast<std::uint8_t>(whole + up);
    }
    // The grey value of a pixel given by its blue, green, red bytes.
    std::uint8_t Value(const std::uint8_t* bgr) const { return Value(bgr[0], bgr[1], bgr[2]); }

    // The grey values of `count` consecutive 24-bit pixels (blue, green, red
    // bytes) into out[0 .. count - 1]: the same values as Value, computed
    // many pixels at a time.
    void Row(const std::uint8_t* bgr, int count, std::uint8_t* out) const;

private:
    GreyTable();
    bool TieRoundsUp(std::uint8_t green, std::uint8_t red) const {
        const std::uint32_t pair = (static_cast<std::uint32_t>(red) << 8) | green;
        return ((tieRoundsUp_[pair >> 6] >> (pair & 63u)) & 1u) != 0;
    }

    std::array<std::uint64_t, 65536 / 64> tieRoundsUp_{};
};

// The measurement's grey values of `count` pixels of row y of a 24-bit
// picture, from column x, into out[0 .. count - 1]: the grey of the frame's
// luma where the picture carries it (a film decoded from luma and chroma),
// otherwise GreyTable's value of each 24-bit pixel. The calibration, the
// masking picture and the votes all read grey here, so that what the masking
// window shows is what is measured.
void GreyRow(const Bitmap& picture, int y, int x, int count, std::uint8_t* out);
// The measurement's grey value of one pixel (x, y), as GreyRow gives it.
inline std::uint8_t GreyAt(const Bitmap& picture, int x, int y) {
    if (picture.HasLumaGrey()) return picture.LumaGreyLine(y)[x];
    return GreyTable::Instance().Value(picture.ScanLine(y) + 3 * static_cast<std::size_t>(x));
}
// The same grey values, without a copy where the picture carries them: a
// pointer into its grey plane, or else `buffer` (count bytes) filled.
const std::uint8_t* GreyRowOf(const Bitmap& picture, int y, int x, int count,
                              std::uint8_t* buffer);

} // namespace torvi
