#pragma once

#include "Bitmap.h"
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

// The fine angle's part of a measurement: fed every frame after its votes
// were counted, it keeps only each frame's moments, and gives the series at
// the end. The reference must outlive it.
class FineAngleMeasurement {
public:
    FineAngleMeasurement(const MeasurementSettings& settings, const Bitmap& reference)
        : settings_(settings), reference_(reference) {}

    // One 24-bit frame and its whole-degree direction (0..359).
    void AddFrame(const Bitmap& frame, int coarseAngle);

    struct Series {
        std::vector<double> Directions; // 0 <= d < 360, clockwise from up
        std::vector<double> Unwrapped;  // turned degrees since frame 0
        PixelOffset Pivot;              // from the clicked centre
    };
    Series Finish() const;

private:
    MeasurementSettings settings_;
    const Bitmap& reference_;
    std::vector<HandMoments> moments_;
    std::vector<double> coarse_;
};

} // namespace torvi
