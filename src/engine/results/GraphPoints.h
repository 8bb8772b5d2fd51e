#pragma once

#include "results/MeasuredSeries.h"
#include "results/ResultTable.h"

#include <cstddef>
#include <string_view>
#include <vector>

namespace torvi {

// One point of the rotation graph: time in seconds, angle in ticks.
struct GraphPoint {
    double X = 0;
    double Y = 0;
    bool operator==(const GraphPoint&) const = default;
};

// The points of the rotation graph, one per frame of the series: frame k
// (from 0) at its graph time (k / rate for a series without times of its
// own) with the value ticks × angle / 360, whole degrees or fine as the
// series holds, both computed in extended precision and handed on as
// doubles. The field texts are converted as typed (no defaults).
// Throws Error(ValuesNotValid) when the rate is empty, does not convert or is
// 0, when the tick count does not convert, or when a point lies beyond the
// range of a double; Error as MeasuredSeries::Check says.
std::vector<GraphPoint> GraphPoints(const MeasuredSeries& series, std::string_view framesPerSecond,
                                    std::string_view ticksPerTurn, std::string_view separator);

// The points of the frames whose graph time lies in [fromSeconds,
// toSeconds] (times grow with the frames), about maxPoints at most: where
// there are more, each stretch gives its lowest and its highest value in
// their order, so that no swing of the hand is lost. A running live
// measurement draws its graph from these.
std::vector<GraphPoint> ThinnedGraphPoints(const MeasuredSeries& series, double fromSeconds,
                                           double toSeconds, std::size_t maxPoints,
                                           const ResultScale& scale);

} // namespace torvi
