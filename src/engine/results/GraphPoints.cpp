#include "GraphPoints.h"

#include "Error.h"
#include "ResultTable.h"

#include <cmath>

namespace torvi {

namespace {

template <class Angle>
std::vector<GraphPoint> Points(std::span<const Angle> unwrapped, std::string_view framesPerSecond,
                               std::string_view ticksPerTurn, std::string_view separator) {
    const ResultScale scale = CheckResultScale(framesPerSecond, ticksPerTurn, separator);
    std::vector<GraphPoint> points;
    points.reserve(unwrapped.size());
    for (std::size_t k = 0; k < unwrapped.size(); ++k) {
        const GraphPoint point{
            static_cast<double>(FrameTime(static_cast<std::int64_t>(k), scale.FramesPerSecond)),
            static_cast<double>(AngleInTicks(unwrapped[k], scale.TicksPerTurn))};
        if (!std::isfinite(point.X) || !std::isfinite(point.Y)) throw Error(ValuesNotValid);
        points.push_back(point);
    }
    return points;
}

} // namespace

std::vector<GraphPoint> GraphPoints(std::span<const std::int32_t> unwrapped,
                                    std::string_view framesPerSecond, std::string_view ticksPerTurn,
                                    std::string_view separator) {
    return Points(unwrapped, framesPerSecond, ticksPerTurn, separator);
}

std::vector<GraphPoint> FineGraphPoints(std::span<const double> unwrapped,
                                        std::string_view framesPerSecond,
                                        std::string_view ticksPerTurn, std::string_view separator) {
    return Points(unwrapped, framesPerSecond, ticksPerTurn, separator);
}

} // namespace torvi
