#pragma once

#include "Bitmap.h"
#include "MeasurementSettings.h"

#include <vector>

namespace torvi {

// How a frame lies against the background picture of the dial: the picture
// shifted by the camera (pixels, x right, y down: the frame's pixel (x, y)
// shows what the background shows at (x - ShiftX, y - ShiftY)) and its
// brightness against it (the frame's grey is Gain times the background's),
// with the RMS of the grey levels the model leaves unexplained on the face.
struct Registration {
    double ShiftX = 0;
    double ShiftY = 0;
    double Gain = 1;
    double Residual = 0;

    bool Still() const { return ShiftX == 0 && ShiftY == 0 && Gain == 1; }
};

// Registers frames to a background picture (a 24-bit grey picture as the
// calibration builds it) from the face around the clicked centre: its
// printed marks and rim for the shift, the whole face for the gain. Pixels
// the model does not explain (the hand, wherever it is) are left out after
// the first pass. Shifts under 0.05 pixel and gains within 0.4 % of 1 are
// taken as none, so that a still camera under a steady lamp is measured
// exactly as without registration. The background must outlive it.
class FrameRegistration {
public:
    FrameRegistration(const Bitmap& background, const MeasurementSettings& settings);

    // The registration of a 24-bit frame of the background's size.
    Registration Register(const Bitmap& frame) const;

    // How far from the centre, in pixels, the registration reads a frame:
    // 1.3 hand radii, from inside the hand's reach to beyond the rim.
    static int Reach(const MeasurementSettings& settings);

private:
    struct Point {
        int X, Y;
        float Value;
    };
    const Bitmap& background_;
    std::vector<Point> points_;
};

// The background's grey at a point between pixels (bilinear); the nearest
// edge pixel outside the picture.
double BackgroundGrey(const Bitmap& background, double x, double y);

} // namespace torvi
