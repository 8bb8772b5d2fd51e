#pragma once

#include "Bitmap.h"
#include "DialRim.h"
#include "FrameRegistration.h"
#include "MeasurementSettings.h"

#include <vector>

namespace torvi {

// Fine angle: the hand's direction to hundredths of a degree, and right even
// when the centre was clicked a few pixels beside the pivot.
//
// The whole-degree direction is the strongest of 360 bins of directions seen
// from the clicked centre: it is off by up to half a degree by its bins, and
// by offset / distance for every pixel when the click misses the pivot. The
// fine angle looks at the hand itself instead. In each frame the pixels of a
// band along the hand are weighted by how much darker (lighter for a light
// hand) than the dial they are, so that the half-covered pixels of the hand's
// edges count by how much of them the hand covers; their weighted moments
// give the hand's own axis, a line with a free offset. The pivot is the point
// nearest to the axes of all frames, since every one passes through it. Each
// frame's direction is then the axis of its pixels through that pivot, which
// uses the pivot as one more point of the line and so holds even where only a
// stub of the hand is in the picture.

// A point as offsets in pixels from the clicked centre (x right, y down).
struct PixelOffset {
    double X = 0;
    double Y = 0;
};

// The weighted moments of one frame's hand pixels, their positions taken as
// offsets from the clicked centre: total weight and the sums of w x, w y,
// w x², w x y, w y². All zero when the frame shows no hand.
struct HandMoments {
    double Weight = 0;
    double X = 0;
    double Y = 0;
    double XX = 0;
    double XY = 0;
    double YY = 0;

    bool Empty() const { return Weight <= 0; }
};

// The hand's pixels of one 24-bit frame against the 24-bit reference: first
// the pixels the contrast rule marks within a wide band around the
// whole-degree direction (coarseAngle, clockwise from up), which allows for a
// misplaced centre; then a narrowing band around the axis fitted so far,
// with every pixel weighted by its contrast beyond a quarter of the
// threshold. Only pixels within the hand's reach of the clicked centre count,
// and none within a tenth of the radius, where a hub or a misplaced centre
// spoils the directions. The frame must have the reference's size.
HandMoments MeasureHandMoments(const Bitmap& frame, const Bitmap& reference,
                               const MeasurementSettings& settings, double coarseAngle);

// The axis of the moments with a free offset: its angle (clockwise from up,
// 0 <= angle < 360, pointing to the side of nearAngle), the pixels' weighted
// centre, and how much longer than wide the pixels lie (the ratio of the
// moments' larger to smaller principal value, large for a clean hand).
struct HandAxis {
    double Angle = 0;
    PixelOffset Centre;
    double Elongation = 0;
};
HandAxis FreeHandAxis(const HandMoments& moments, double nearAngle);

// The axis of the moments forced through `pivot`, clockwise from up,
// 0 <= angle < 360, pointing to the side of nearAngle; nearAngle itself when
// there are no moments.
double AxisAngleThrough(const HandMoments& moments, PixelOffset pivot, double nearAngle);

// The point nearest, in the least-squares sense, to the free axes of all
// frames that show a clean hand, with axes far from the first estimate left
// out. Drawn slightly towards the clicked centre so that axes that are all
// nearly parallel (a hand that hardly turned) still give a point; held within
// a few pixels of the click (max(6, R / 20)). The clicked centre (0, 0) when
// no frame helps.
PixelOffset EstimatePivot(const std::vector<HandMoments>& frames,
                          const std::vector<double>& coarseAngles,
                          const MeasurementSettings& settings);

// The continuous turn from fine directions, as UnwrapAngles does it for whole
// degrees: a step of more than 180 degrees between neighbours crosses 12
// o'clock, and the series starts at 0.
std::vector<double> UnwrapFineAngles(const std::vector<double>& directions);

// The hand's direction found from its own pixels: the direction from the
// clicked centre that the most contrast lies along, between half and 0.95
// of the radius (beyond a short second hand and a tail), to the centre of
// that contrast over the directions, and how far either side it is spread
// (the smear of a hand that turned during the exposure). Valid is false in a
// frame without such contrast.
struct HandSeed {
    double Angle = 0;
    double Spread = 0;
    bool Valid = false;
};
HandSeed FindHandSeed(const Bitmap& frame, const Bitmap& background,
                      const MeasurementSettings& settings, const Registration& registration);

// What one frame gives the fine angle: the weighted moments of the hand's
// pixels (all of them, and those beyond half the radius from the clicked
// centre, where a short second hand does not reach), the direction they were
// looked for in, how many pixels the contrast rule marked in the wide band
// and how many of those the final band kept, and the frame's registration.
struct FineFrame {
    HandMoments All;
    HandMoments Outer;
    double Seed = 0;
    double Spread = 0; // the seed's spread, degrees either way (0: a sharp hand)
    int Marked = 0;
    int Used = 0;
    Registration Shift;
};

// MeasureHandMoments for a frame registered to the background (the
// background read at the shifted point and scaled by the gain), with the
// wide band around `seed` widened for a hand smeared `spread` degrees either
// way. With a still registration and no spread, All is MeasureHandMoments'.
FineFrame MeasureFineFrame(const Bitmap& frame, const Bitmap& background,
                           const MeasurementSettings& settings, double seed, double spread,
                           const Registration& registration);

// How far one frame's direction can be trusted: the RMS distance of the
// hand's weighted pixels from the axis through the pivot (pixels; about a
// third of the hand's width for a clean hand, more for a smear or a stray
// blob), the share of the pixels the contrast rule marked near the hand that
// the axis used (low when much beside the hand looked like it), and the
// frame's shift and gain against the background.
struct FrameQuality {
    double Residual = 0;
    double Share = 0;
    double ShiftX = 0;
    double ShiftY = 0;
    double Gain = 1;
};

// The fine angle's part of a measurement, for films and live runs alike:
// fed every frame after its votes were counted, it keeps only each frame's
// moments (a few dozen numbers), and gives the series at the end.
//
// The background is the dial without its hand: the calibration's reference,
// or better a RegisteredBackground folded from the same samples, which keeps
// the printed marks in place when the camera shakes. Each frame is
// registered to it (shift and gain) before the contrast rule; the hand is
// looked for along its own contrast, not only the whole-degree direction.
// The dial's plane comes from the rim found in the background (used when it
// is no circle) or from the rim given with SetRim. The background must
// outlive the measurement.
class FineAngleMeasurement {
public:
    FineAngleMeasurement(const MeasurementSettings& settings, const Bitmap& background);

    // The dial's rim as the user marked it: directions are then taken on the
    // plane it gives, whatever the background shows. Before Finish.
    void SetRim(const DialEllipse& rim) { givenRim_ = rim; }

    // One 24-bit frame and its whole-degree direction (0..359).
    void AddFrame(const Bitmap& frame, int coarseAngle);

    struct Series {
        std::vector<double> Directions; // 0 <= d < 360, clockwise from up, on the dial's plane
        std::vector<double> Unwrapped;  // turned degrees since frame 0
        PixelOffset Pivot;              // from the clicked centre, in the picture
        std::vector<FrameQuality> Quality;
        RimSource Rim = RimSource::None; // where the dial's plane came from
        DialEllipse RimEllipse;          // the rim found or given (not Valid() for None)
    };
    Series Finish() const;

private:
    MeasurementSettings settings_;
    const Bitmap& background_;
    FrameRegistration registration_;
    DialEllipse givenRim_;
    std::vector<FineFrame> frames_;
};

} // namespace torvi
