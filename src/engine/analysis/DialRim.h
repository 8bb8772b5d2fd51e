#pragma once

#include "Bitmap.h"
#include "MeasurementSettings.h"

#include <vector>

namespace torvi {

// The dial's rim as seen in the picture: an ellipse with its centre (picture
// pixels), its semi-axes (pixels) and the direction of its first axis
// (degrees clockwise from the picture's x axis, y down). A dial seen
// square-on has a circle; one seen at an angle an ellipse whose centre is
// not the pivot's image (perspective moves it towards the far side).
struct DialEllipse {
    double CentreX = 0;
    double CentreY = 0;
    double SemiAxisA = 0;
    double SemiAxisB = 0;
    double Angle = 0;

    bool Valid() const { return SemiAxisA > 0 && SemiAxisB > 0; }
};

// Where the dial's plane came from in a measurement: not corrected (no rim
// found, or the rim found is a circle), the rim found in the background
// picture, or the rim the user gave.
enum class RimSource { None, Found, Given };

// The rim found in the background picture: along rays from the clicked
// centre, the outermost strong edge between 0.7 and 1.8 radii (the face's
// edge, the rim's ring or the ring of ticks, all circles about the pivot),
// fitted with an ellipse and its outliers left out twice. Not Valid() when
// fewer than 60 % of the rays give a point or the points lie more than half
// a pixel (RMS) from the ellipse.
struct RimFit {
    DialEllipse Ellipse;
    int Points = 0;
    double Residual = 0; // RMS distance of the points kept, pixels
};
RimFit FindDialRim(const Bitmap& background, const MeasurementSettings& settings);

// The rim found in the background when it is clearly no circle (its axes
// differ by more than 1 %): the dial is seen askew, and directions taken in
// the picture are off those on the dial by up to degrees. Not Valid() when
// no rim is found or it is round, as a dial seen square-on is.
DialEllipse AskewRim(const Bitmap& background, const MeasurementSettings& settings);

// The ellipse through points the user marked on the rim (picture pixels),
// for a face whose rim the background does not show: at least five points
// spread around it. Not Valid() when they give no ellipse.
struct RimPoint {
    double X = 0;
    double Y = 0;
};
DialEllipse EllipseThrough(const std::vector<RimPoint>& points);

// How directions through the pivot in the picture turn into directions on
// the dial's plane, for a rim seen as `rim` and the pivot's image at
// (pivotX, pivotY) in picture pixels. The rim and its centre fix the
// perspective: the pivot's polar with respect to the rim is the vanishing
// line; sent to infinity it leaves the rim an ellipse about the pivot, and
// the affine map that makes it a circle takes directions onto the plane.
// Lines through the pivot keep the pivot's direction map along their whole
// length, so one 2 x 2 matrix serves every direction. The plane's "up" is
// the picture's up at the pivot, so a rim seen as a circle changes nothing.
class PlaneDirections {
public:
    PlaneDirections() = default;
    PlaneDirections(const DialEllipse& rim, double pivotX, double pivotY);

    // A direction in the picture (clockwise from up, degrees) on the plane.
    double OnPlane(double pictureDegrees) const;
    // The rim's minor over major axis once the perspective is undone (1 for
    // a circle, cos 30° for a dial 30° off square).
    double AxisRatio() const { return ratio_; }
    bool Identity() const { return identity_; }

private:
    double a_ = 1, b_ = 0, c_ = 0, d_ = 1; // the map, row by row
    double up_ = 0;                        // the picture's up on the plane
    double ratio_ = 1;
    bool identity_ = true;
};

} // namespace torvi
