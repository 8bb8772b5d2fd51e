#pragma once

#include "Bitmap.h"
#include "FrameRegistration.h"
#include "MeasurementSettings.h"

#include <memory>

namespace torvi {

// The dial without its hand for the fine angle, when the camera shakes or
// the lamp flickers: the calibration's samples, each registered to the
// first one (shift and brightness, FrameRegistration) and moved back onto
// it before it is folded in as the calibration folds (the brighter grey for
// a dark hand, the darker for a light one). The calibration's own reference
// folds the samples where they lie, so a shaking camera wears its printed
// marks away there; here they stay in place. With a still camera and a
// steady lamp the picture is the calibration's reference to the byte.
//
// Fed the same samples as the calibration, in its order; Picture() is the
// background to give FineAngleMeasurement, valid until the next Fold.
class RegisteredBackground {
public:
    explicit RegisteredBackground(const MeasurementSettings& settings) : settings_(settings) {}

    // One calibration sample in any pixel format; every sample must have the
    // first one's size (Error "Size of pictures are not equal" otherwise).
    void Fold(const Bitmap& sample);

    const Bitmap& Picture() const { return picture_; }

private:
    MeasurementSettings settings_;
    Bitmap anchor_;
    Bitmap picture_;
    std::unique_ptr<FrameRegistration> registration_;
};

} // namespace torvi
