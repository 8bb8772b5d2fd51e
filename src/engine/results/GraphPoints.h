#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace torvi {

// One point of the rotation graph: time in seconds, angle in ticks.
struct GraphPoint {
    double X = 0;
    double Y = 0;
    bool operator==(const GraphPoint&) const = default;
};

// The points of the rotation graph, one per entry of the unwrapped series:
// frame k (from 0) at time k / rate with the value ticks × angle / 360, both
// computed in extended precision and handed on as doubles. The first frame
// lies at time 0. The field texts are converted as typed (no defaults).
// Throws Error(ValuesNotValid) when the rate is empty, does not convert or is
// 0, when the tick count does not convert, or when a point lies beyond the
// range of a double.
std::vector<GraphPoint> GraphPoints(std::span<const std::int32_t> unwrapped,
                                    std::string_view framesPerSecond, std::string_view ticksPerTurn,
                                    std::string_view separator);
// The same with fine angles, in degrees with fractions.
std::vector<GraphPoint> FineGraphPoints(std::span<const double> unwrapped,
                                        std::string_view framesPerSecond,
                                        std::string_view ticksPerTurn, std::string_view separator);

} // namespace torvi
