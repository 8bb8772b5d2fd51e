#pragma once

#include "Bitmap.h"
#include "DirectionTable.h"
#include "FineAngle.h"
#include "FrameLoader.h"
#include "MeasurementSettings.h"

#include <array>
#include <cstdint>
#include <vector>

namespace torvi {

// Votes of one frame, one counter per whole degree. A counter stops at 65535
// instead of wrapping, so a huge radius cannot turn the strongest direction
// into a weak one.
using VoteHistogram = std::array<std::uint16_t, 360>;

// What one frame gave: its histogram and the number of votes cast, that is
// the pixels classified as hand within the hand's reach
// (dx² + dy² <= R² + R), the centre pixel excluded. That count is not capped.
struct FrameVotes {
    VoteHistogram Histogram{};
    std::uint32_t HandPixels = 0;
};

// Counts the votes of frames against one 24-bit reference. A pixel is hand
// when Kontrast of the reference's third byte minus the frame's grey says so,
// that is sign * (reference - grey) >= threshold with sign +1 for a dark hand
// and -1 for a light one; which greys those are is worked out once per
// pixel, as a range, when the counter is made. The table must have been built
// for the reference's size and the settings' centre and radius, and must
// outlive the counter; the reference is only read while the counter is made.
class VoteCounter {
public:
    VoteCounter(const Bitmap& reference, const DirectionTable& table, int contrastThreshold,
                HandColour hand);

    // The votes of a frame (any pixel format) of the reference's size.
    // Throws Error(SizesNotEqual) for a frame of another size.
    FrameVotes Count(const Bitmap& frame) const;

private:
    const DirectionTable& table_;
    int width_ = 0;
    int height_ = 0;
    // Per pixel of the table's square: the lowest and highest grey that is
    // hand there (lowest 1, highest 0 where none is, as beyond reach).
    std::vector<std::uint8_t> lowest_;
    std::vector<std::uint8_t> highest_;
};

// One frame's votes by a counter made for it (see VoteCounter).
FrameVotes CountVotes(const Bitmap& frame, const Bitmap& reference, const DirectionTable& table,
                      int contrastThreshold, HandColour hand);

// The most voted bin; ties go to the lowest bin, no votes at all gives 0.
int PeakBin(const VoteHistogram& histogram);

// The hand's direction clockwise from straight up, 0..359, for a peak bin.
inline int AngleOfPeak(int peak) {
    const int angle = 180 - peak;
    return angle < 0 ? angle + 360 : angle;
}

// The continuous turn from per-frame directions (0..359): a step of more
// than 180 degrees between neighbours is taken as crossing 12 o'clock, and
// the series is re-based so that it starts at 0. A step of exactly 180 is
// taken as it is. Throws Error when the turn would not fit 32 bits.
std::vector<std::int32_t> UnwrapAngles(const std::vector<std::uint16_t>& angles);

// The outcome of a measurement, one element per frame in the series.
struct RotationResult {
    VoteHistogram AngleHistogram{};            // the last frame's votes
    std::vector<std::uint16_t> AngleSeries;    // direction, 0..359 clockwise from up
    std::vector<std::int32_t> UnwrappedSeries; // turned degrees since frame 0
    std::vector<std::uint16_t> PeakVotes;      // votes in the winning bin
    std::vector<std::uint32_t> HandPixels;     // votes cast (see FrameVotes)
    std::vector<bool> Flooded; // far more hand pixels than a hand covers (HandFlood.h)
    // With MeasurementSettings::Fine only, empty otherwise (FineAngle.h):
    std::vector<double> FineDirections; // 0 <= d < 360, clockwise from up
    std::vector<double> FineUnwrapped;  // turned degrees since frame 0
    double FinePivotX = 0;              // the pivot found, picture coordinates
    double FinePivotY = 0;
    std::vector<FrameQuality> FineQuality; // how far each fine direction can be trusted
    RimSource FineRim = RimSource::None;   // where the dial's plane came from
    DialEllipse FineRimEllipse;            // the rim found or given
};

// What the fine angle takes beside the calibration's reference: a background
// folded from registered samples (RegisteredBackground), for a camera that
// moves, and the dial's rim the user marked. Both optional.
struct FineAngleSetup {
    const Bitmap* Background = nullptr;
    DialEllipse Rim;
};

// Measures the hand's direction in each of frameCount frames against the
// reference picture of the calibration, then unwraps the directions.
// Frames are loaded one at a time and dropped before the next; the
// direction table is built once. progress is called after every frame.
// A frame whose size differs from the reference ends the run with Error
// "Size of pictures are not equal", an empty one with "Cannot read frame N";
// loader and progress errors end it too.
// Nothing is returned then, so no partial series can pass for a result.
// With settings.Fine the fine angle is measured too.
RotationResult MeasureHandRotation(int frameCount, const FrameLoader& loadFrame,
                                   const Bitmap& reference, const MeasurementSettings& settings,
                                   const FrameProgress& progress = {},
                                   const FineAngleSetup& fine = {});

} // namespace torvi
