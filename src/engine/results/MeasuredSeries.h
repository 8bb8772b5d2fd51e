#pragma once

#include "analysis/RotationMeasurement.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace torvi {

// A measured series as the result table, the per-frame table and the graph
// show it: what the hand meter gave for every frame, which angle the table
// and the graph hold (whole degrees or the fine angle) and when each frame
// was taken (at the rate the user gives, or at the device's own times).
struct MeasuredSeries {
    RotationResult Frames;
    bool Fine = false;
    // Seconds since the first frame by the device's clock; none when the
    // frames follow each other at the rate of the frames-per-second field.
    std::optional<std::vector<long double>> Times;

    std::size_t Size() const { return Frames.AngleSeries.size(); }
    bool HasFine() const {
        return Frames.FineUnwrapped.size() == Size() && Frames.FineDirections.size() == Size();
    }
    // The turned angle of frame k (from 0) in degrees, whole or fine.
    double Turned(std::size_t k) const {
        return Fine ? Frames.FineUnwrapped[k] : static_cast<double>(Frames.UnwrappedSeries[k]);
    }
    // When frame k is shown in the tables' rows, which count from 1: its own
    // time, or (k + 1) / rate.
    long double RowTime(std::size_t k, long double framesPerSecond) const;
    // When frame k lies on the graph, which starts at 0: its own time, or k / rate.
    long double GraphTime(std::size_t k, long double framesPerSecond) const;

    // Throws Error when the series cannot be written: the fine angle asked
    // for and missing, or not one time for every frame.
    void Check() const;
};

} // namespace torvi
