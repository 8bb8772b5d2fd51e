#pragma once

#include "results/MeasuredSeries.h"

#include <span>
#include <string>

namespace torvi {

// The per-frame table of torvi-measure --frames: frame, time, direction,
// unwrapped angle, votes of the peak, hand pixels and a flag where the hand
// moved more than 150 degrees since the frame before, the fine direction and
// unwrapped angle (empty where the run did not take them), the film's own
// time of the frame (text, empty where there is none), a flag where the
// contrast rule flooded the frame (far more hand pixels than a hand covers),
// and how far the fine direction can be trusted (the hand pixels' RMS
// distance from its axis in pixels, and the share of the pixels near the hand
// it used; empty without the fine angle); one line per frame of
// the series, at its row times (frames without times of their own at the
// rate). Throws Error as MeasuredSeries::Check says.
std::string FramesTableText(const MeasuredSeries& series, long double framesPerSecond,
                            std::span<const std::string> filmTimes = {});

// A number for the frames table and the live lines: the result file's
// rounding, with a point and no padding, whatever the locale.
std::string CsvNumber(long double value);

} // namespace torvi
