#pragma once

#include "AngleUnwrapper.h"
#include "Bitmap.h"
#include "DirectionTable.h"
#include "FineAngle.h"
#include "MeasurementSettings.h"
#include "RotationMeasurement.h"

#include <cstdint>
#include <optional>

namespace torvi {

// One frame as the hand meter measured it.
struct MeasuredFrame {
    std::uint16_t Direction = 0; // 0..359 clockwise from up
    std::int64_t Unwrapped = 0;  // turned whole degrees since the first frame
    std::uint16_t PeakVotes = 0;
    std::uint32_t HandPixels = 0;
};

// The measurement of the hand, frame by frame, for a film run and a live run
// alike: the direction table built once, each frame's votes, its peak and
// (with the settings' Fine) its fine-angle moments, and the turn so far. The
// reference picture must outlive the meter and keep its pixels meanwhile.
// Not thread-safe: one thread feeds it.
class HandMeter {
public:
    // Throws Error for settings CheckSettings refuses. The fine angle takes
    // the setup's background (which must outlive the meter too) when given,
    // else the reference, and its rim when valid.
    HandMeter(const MeasurementSettings& settings, const Bitmap& reference,
              const FineAngleSetup& fine = {});

    // Measures a frame of the reference's size, in any pixel format (it is
    // turned into 24 bits in place). Throws Error(SizesNotEqual) for a frame
    // of another size.
    MeasuredFrame Measure(Bitmap& frame);

    int FrameCount() const { return static_cast<int>(result_.AngleSeries.size()); }
    const MeasurementSettings& Settings() const { return settings_; }

    // Everything measured so far, the fine series included with the settings'
    // Fine (its pivot comes from all frames, so it is worked out here).
    // Throws Error when the turn does not fit 32 bits.
    RotationResult Result() const;

private:
    MeasurementSettings settings_;
    const Bitmap& reference_;
    DirectionTable table_;
    VoteCounter votes_;
    std::optional<FineAngleMeasurement> fine_; // with the settings' Fine only
    AngleUnwrapper unwrapper_;
    RotationResult result_;
    std::vector<std::int64_t> unwrapped_;
};

} // namespace torvi
