#pragma once

#include "Error.h"
#include "HandColour.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace torvi {

// What the user marked and chose for one measurement: the dial centre (pixel
// column and row), the hand's radius in pixels, the contrast threshold
// (0..255) and the hand colour. The masking picture and the measurement
// read the same settings.
struct MeasurementSettings {
    // The radius is kept as an unsigned 16-bit number by the window.
    static constexpr int MaxHandRadius = 65535;

    int CentreX = 0;
    int CentreY = 0;
    int HandRadius = 0;
    int ContrastThreshold = 60;
    HandColour Hand = HandColour::Dark;
    // Also measure the fine angle (FineAngle.h): the measurement then gives
    // fine series beside the whole-degree ones, which stay as they are.
    bool Fine = false;
};

// Refuses a radius outside 0..MaxHandRadius, which no marking can produce
// and which would overflow the distance arithmetic.
inline void CheckSettings(const MeasurementSettings& settings) {
    if (settings.HandRadius < 0 || settings.HandRadius > MeasurementSettings::MaxHandRadius)
        throw Error("The hand's radius must lie between 0 and 65535 pixels");
}

// The hand's radius from the click on the dial centre and the click on the
// tip: the distance rounded to the nearest pixel (the root of an integer is
// never half-way between two integers, so no tie arises). A radius beyond the
// 16-bit range, possible only in absurdly large pictures, is held at its top.
inline int RadiusOfClick(int centreX, int centreY, int tipX, int tipY) {
    const std::int64_t dx = std::int64_t{tipX} - centreX;
    const std::int64_t dy = std::int64_t{tipY} - centreY;
    const long double root = std::sqrt(static_cast<long double>(dx * dx + dy * dy));
    return static_cast<int>(
        std::min<long double>(std::nearbyint(root), MeasurementSettings::MaxHandRadius));
}

} // namespace torvi
