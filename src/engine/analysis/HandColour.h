#pragma once

#include <cstdint>

namespace torvi {

// Whether the dial's hand is darker ("B", the default) or lighter ("W") than
// the dial behind it.
enum class HandColour { Dark, Light };

// The contrast rule that decides whether a pixel belongs to the hand.
// difference is reference grey minus frame grey (-255..255). A dark hand is
// darker than the reference by at least the threshold, a light hand brighter
// by at least the threshold; equality counts as hand. Returns 255 for hand,
// 0 otherwise.
inline std::uint8_t Kontrast(int difference, int threshold, HandColour hand) {
    const int v = hand == HandColour::Dark ? difference : -difference;
    return v >= threshold ? 255 : 0;
}

} // namespace torvi
