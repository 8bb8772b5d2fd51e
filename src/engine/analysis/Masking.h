#pragma once

#include "Bitmap.h"
#include "MeasurementSettings.h"
#include "PixelSquare.h"

namespace torvi {

// The square the masking window shows for a frame of width x height: the
// window's picture has exactly this square's size.
inline PixelSquare MaskingSquare(const MeasurementSettings& settings, int width, int height) {
    return ClippedSquare(settings.CentreX, settings.CentreY, settings.HandRadius, width, height);
}

// The masking window's picture for one frame (any pixel format): a 24-bit
// picture of the clipped square around the centre, its top-left pixel the
// square's top-left pixel. Inside the circle dx² + dy² <= R² each byte is
// Kontrast(reference byte - frame grey), so hand pixels come out white and
// the rest black; outside the circle it is black. The frame must have the
// reference's size (Error "Size of pictures are not equal" otherwise); the
// reference is the 24-bit calibration picture.
Bitmap MaskingPicture(const Bitmap& frame, const Bitmap& reference,
                      const MeasurementSettings& settings);

} // namespace torvi
