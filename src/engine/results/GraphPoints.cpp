#include "GraphPoints.h"

#include "Error.h"

#include <algorithm>
#include <cmath>

namespace torvi {

namespace {

GraphPoint PointOf(const MeasuredSeries& series, std::size_t k, const ResultScale& scale) {
    return {static_cast<double>(series.GraphTime(k, scale.FramesPerSecond)),
            static_cast<double>(AngleInTicks(series.Turned(k), scale.TicksPerTurn))};
}

} // namespace

std::vector<GraphPoint> GraphPoints(const MeasuredSeries& series, std::string_view framesPerSecond,
                                    std::string_view ticksPerTurn, std::string_view separator) {
    const ResultScale scale = CheckResultScale(framesPerSecond, ticksPerTurn, separator);
    series.Check();
    std::vector<GraphPoint> points;
    points.reserve(series.Size());
    for (std::size_t k = 0; k < series.Size(); ++k) {
        const GraphPoint point = PointOf(series, k, scale);
        if (!std::isfinite(point.X) || !std::isfinite(point.Y)) throw Error(ValuesNotValid);
        points.push_back(point);
    }
    return points;
}

std::vector<GraphPoint> ThinnedGraphPoints(const MeasuredSeries& series, double fromSeconds,
                                           double toSeconds, std::size_t maxPoints,
                                           const ResultScale& scale) {
    const std::size_t size = series.Size();
    auto time = [&](std::size_t k) {
        return static_cast<double>(series.GraphTime(k, scale.FramesPerSecond));
    };
    // Times only grow, so the stretch is found by halving.
    std::size_t first = 0, last = size;
    {
        std::size_t low = 0, high = size;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (time(mid) < fromSeconds)
                low = mid + 1;
            else
                high = mid;
        }
        first = low;
        high = size;
        while (low < high) {
            const std::size_t mid = low + (high - low) / 2;
            if (!(toSeconds < time(mid)))
                low = mid + 1;
            else
                high = mid;
        }
        last = low;
    }
    const std::size_t count = last - first;
    std::vector<GraphPoint> points;
    if (count <= maxPoints || maxPoints < 2) {
        points.reserve(count);
        for (std::size_t k = first; k < last; ++k)
            points.push_back(PointOf(series, k, scale));
        return points;
    }
    const std::size_t stretches = maxPoints / 2;
    points.reserve(2 * stretches);
    for (std::size_t s = 0; s < stretches; ++s) {
        const std::size_t begin = first + s * count / stretches;
        const std::size_t end = first + (s + 1) * count / stretches;
        if (begin == end) continue;
        std::size_t low = begin, high = begin;
        for (std::size_t k = begin + 1; k < end; ++k) {
            if (series.Turned(k) < series.Turned(low)) low = k;
            if (series.Turned(k) >= series.Turned(high)) high = k;
        }
        if (low == high) {
            points.push_back(PointOf(series, low, scale));
        } else {
            points.push_back(PointOf(series, std::min(low, high), scale));
            points.push_back(PointOf(series, std::max(low, high), scale));
        }
    }
    return points;
}

} // namespace torvi
