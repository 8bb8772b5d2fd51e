#pragma once

#include <cmath>

namespace torvi {

// Rounds to the nearest integer, ties to the even one, in 80-bit extended
// arithmetic. Grey values, distances and angles all convert this way so that
// two runs on any machine give the same integers. Spelled out rather than
// left to nearbyint so that a rounding mode left behind by a library cannot
// change the result.
inline long double RoundHalfEven(long double value) {
    const long double lower = std::floor(value);
    const long double fraction = value - lower;
    if (fraction > 0.5L) return lower + 1.0L;
    if (fraction < 0.5L) return lower;
    return std::fmod(lower, 2.0L) == 0.0L ? lower : lower + 1.0L;
}

} // namespace torvi
