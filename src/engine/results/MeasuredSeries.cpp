#include "results/MeasuredSeries.h"

#include "Error.h"
#include "results/ResultTable.h"

namespace torvi {

long double MeasuredSeries::RowTime(std::size_t k, long double framesPerSecond) const {
    if (Times) return (*Times)[k];
    return FrameTime(static_cast<std::int64_t>(k) + 1, framesPerSecond);
}

long double MeasuredSeries::GraphTime(std::size_t k, long double framesPerSecond) const {
    if (Times) return (*Times)[k];
    return FrameTime(static_cast<std::int64_t>(k), framesPerSecond);
}

void MeasuredSeries::Check() const {
    if (Frames.UnwrappedSeries.size() != Size() || Frames.PeakVotes.size() != Size() ||
        Frames.HandPixels.size() != Size())
        throw Error("The result has not one value for every frame");
    if (Fine && !HasFine()) throw Error("The fine angle of the run is missing");
    if (Times && Times->size() != Size())
        throw Error("The result has not one time for every frame");
}

} // namespace torvi
