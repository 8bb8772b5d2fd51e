#include "FineAngle.h"

#include "AngleUnwrapper.h"
#include "Error.h"
#include "FrameLoader.h"
#include "GreyValue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

namespace torvi {

namespace {

constexpr double DegreesPerRadian = 180.0 / std::numbers::pi;

// Half width of the first, wide band at the centre: a click up to 3 pixels
// beside the pivot, half of a 6-pixel hand, its anti-aliased edge and some
// room. The band widens along the hand by the half degree of the whole
// degrees and by the turn a misplaced click gives the whole-degree direction,
// at most about 3 pixels over two thirds of the radius: 8 / R per pixel.
constexpr double WideBandHalfWidth = 8.0;
constexpr double WideBandSlope = 0.013;
constexpr double WideBandClickShift = 8.0;
// The narrow bands reach the fitted edge of the hand and one and a half
// pixels beyond, the anti-aliased edge and the blur of a lossy film; never
// less than 2.5 and never more than 12.
constexpr double NarrowBandMargin = 1.5;
constexpr double NarrowBandLeast = 2.5;
constexpr double NarrowBandMost = 12.0;
// A free axis counts towards the pivot only when its pixels lie at least
// this many times longer than wide (squared: moments are squares).
constexpr double CleanElongation = 25.0;

// A unit vector pointing at `degrees` clockwise from up (x right, y down).
PixelOffset Direction(double degrees) {
    const double radians = degrees / DegreesPerRadian;
    return {std::sin(radians), -std::cos(radians)};
}

// The angle of a direction vector, clockwise from up, 0 <= angle < 360.
double AngleOf(double x, double y) {
    double angle = std::atan2(x, -y) * DegreesPerRadian;
    if (angle < 0) angle += 360.0;
    return angle >= 360.0 ? 0.0 : angle;
}

// Of the two directions of a line at `angle`, the one nearer nearAngle.
double TowardsNear(double angle, double nearAngle) {
    double difference = std::fmod(angle - nearAngle + 540.0, 360.0) - 180.0;
    if (std::abs(difference) > 90.0) angle += 180.0;
    if (angle >= 360.0) angle -= 360.0;
    return angle;
}

// Second moments of `m` about the point p.
struct Central {
    double XX, XY, YY;
};
Central MomentsAbout(const HandMoments& m, PixelOffset p) {
    return {m.XX - 2 * p.X * m.X + p.X * p.X * m.Weight,
            m.XY - p.X * m.Y - p.Y * m.X + p.X * p.Y * m.Weight,
            m.YY - 2 * p.Y * m.Y + p.Y * p.Y * m.Weight};
}

// The direction of the larger principal axis of the moments, 0 <= angle < 180
// by atan2's range; the caller picks the side.
double PrincipalAngle(const Central& c) {
    const double phi = 0.5 * std::atan2(2 * c.XY, c.XX - c.YY);
    return AngleOf(std::cos(phi), std::sin(phi));
}

// A pixel of the wide band: its offset from the clicked centre, its weight
// and whether the contrast rule marks it as hand.
struct BandPixel {
    float X, Y, Weight;
    bool Marked;
};

// Visits the rows of the convex polygon (offsets from the centre, corners in
// order) in the picture: visit(y, dy, first, last) with the columns first..
// last inside it, in the picture and within reach of the centre
// (dx² + dy² <= R² + R, as the votes).
template <class Visit>
void ForEachRowInside(const std::array<PixelOffset, 4>& corners,
                      const MeasurementSettings& settings, int width, int height, Visit visit) {
    const long long radius = settings.HandRadius;
    const long long reach = radius * radius + radius;
    double low = corners[0].Y, high = corners[0].Y;
    for (const PixelOffset& c : corners) {
        low = std::min(low, c.Y);
        high = std::max(high, c.Y);
    }
    const long long centreX = settings.CentreX, centreY = settings.CentreY;
    const long long firstRow =
        std::max({static_cast<long long>(std::ceil(low)) + centreY, centreY - radius, 0LL});
    const long long lastRow = std::min({static_cast<long long>(std::floor(high)) + centreY,
                                        centreY + radius, static_cast<long long>(height) - 1});
    for (long long y = firstRow; y <= lastRow; ++y) {
        const long long dy = y - centreY;
        const double oy = static_cast<double>(dy);
        double left = 1e300, right = -1e300;
        for (std::size_t k = 0; k < corners.size(); ++k) {
            const PixelOffset a = corners[k], b = corners[(k + 1) % corners.size()];
            if ((oy < a.Y && oy < b.Y) || (oy > a.Y && oy > b.Y)) continue;
            if (a.Y == b.Y) {
                left = std::min({left, a.X, b.X});
                right = std::max({right, a.X, b.X});
            } else {
                const double x = a.X + (oy - a.Y) * (b.X - a.X) / (b.Y - a.Y);
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
        if (left > right) continue;
        const long long room = reach - dy * dy;
        if (room < 0) continue;
        const double across = std::sqrt(static_cast<double>(room));
        const long long first =
            std::max({static_cast<long long>(std::ceil(std::max(left, -across))) + centreX, 0LL});
        const long long last =
            std::min(static_cast<long long>(std::floor(std::min(right, across))) + centreX,
                     static_cast<long long>(width) - 1);
        // The root may land a hair beyond an exact square.
        long long from = first, to = last;
        while (from <= to && (from - centreX) * (from - centreX) + dy * dy > reach)
            ++from;
        while (to >= from && (to - centreX) * (to - centreX) + dy * dy > reach)
            --to;
        if (from <= to)
            visit(static_cast<int>(y), dy, static_cast<int>(from), static_cast<int>(to));
    }
}

void Add(HandMoments& m, double x, double y, double w) {
    m.Weight += w;
    m.X += w * x;
    m.Y += w * y;
    m.XX += w * x * x;
    m.XY += w * x * y;
    m.YY += w * y * y;
}

// The moments of the band's pixels within halfWidth of the line through
// `centre` at `angle` (only those the contrast rule marks, if asked), and
// their weighted mean distance from the line.
struct Band {
    HandMoments Moments;
    double MeanAcross = 0;
};
Band NarrowBand(const std::vector<BandPixel>& pixels, PixelOffset centre, double angle,
                double halfWidth, bool markedOnly) {
    const PixelOffset along = Direction(angle);
    Band band;
    double sum = 0;
    for (const BandPixel& p : pixels) {
        if (markedOnly && !p.Marked) continue;
        const double across = std::abs((p.X - centre.X) * along.Y - (p.Y - centre.Y) * along.X);
        if (across > halfWidth) continue;
        Add(band.Moments, p.X, p.Y, p.Weight);
        sum += p.Weight * across;
    }
    if (band.Moments.Weight > 0) band.MeanAcross = sum / band.Moments.Weight;
    return band;
}

} // namespace

HandAxis FreeHandAxis(const HandMoments& moments, double nearAngle) {
    HandAxis axis;
    if (moments.Empty()) {
        axis.Angle = nearAngle;
        return axis;
    }
    axis.Centre = {moments.X / moments.Weight, moments.Y / moments.Weight};
    const Central c = MomentsAbout(moments, axis.Centre);
    axis.Angle = TowardsNear(PrincipalAngle(c), nearAngle);
    const double half = 0.5 * (c.XX + c.YY);
    const double root = std::sqrt(0.25 * (c.XX - c.YY) * (c.XX - c.YY) + c.XY * c.XY);
    axis.Elongation = half - root > 0 ? (half + root) / (half - root) : 1e300;
    return axis;
}

double AxisAngleThrough(const HandMoments& moments, PixelOffset pivot, double nearAngle) {
    if (moments.Empty()) return nearAngle;
    return TowardsNear(PrincipalAngle(MomentsAbout(moments, pivot)), nearAngle);
}

HandMoments MeasureHandMoments(const Bitmap& frame, const Bitmap& reference,
                               const MeasurementSettings& settings, double coarseAngle) {
    CheckSettings(settings);
    if (frame.Width() != reference.Width() || frame.Height() != reference.Height() ||
        frame.Format() != PixelFormat::Pf24Bit || reference.Format() != PixelFormat::Pf24Bit)
        throw Error(PicturesNotEqual);
    const double radius = settings.HandRadius;
    const double innermost = 0.1 * radius;
    const int threshold = settings.ContrastThreshold;
    const int floor = std::max(threshold, 0) / 4;
    const int sign = settings.Hand == HandColour::Dark ? 1 : -1;

    const PixelOffset along = Direction(coarseAngle);
    const PixelOffset across{-along.Y, along.X};
    const double tip = radius + 1;
    const double tipHalf =
        WideBandHalfWidth + (WideBandSlope + WideBandClickShift / std::max(radius, 1.0)) * tip;
    const std::array<PixelOffset, 4> corners{
        PixelOffset{WideBandHalfWidth * across.X, WideBandHalfWidth * across.Y},
        PixelOffset{tip * along.X + tipHalf * across.X, tip * along.Y + tipHalf * across.Y},
        PixelOffset{tip * along.X - tipHalf * across.X, tip * along.Y - tipHalf * across.Y},
        PixelOffset{-WideBandHalfWidth * across.X, -WideBandHalfWidth * across.Y}};

    std::vector<std::uint8_t> grey;
    std::vector<BandPixel> pixels;
    pixels.reserve(static_cast<std::size_t>(8 * (radius + 1)));
    HandMoments wide;
    const long long centreX = settings.CentreX;
    // The centre pixel itself never counts, as it never votes.
    const double innermost2 = std::max(innermost * innermost, 1.0);
    ForEachRowInside(
        corners, settings, frame.Width(), frame.Height(),
        [&](int y, long long dy, int first, int last) {
            const auto n = static_cast<std::size_t>(last - first + 1);
            if (grey.size() < n) grey.resize(n);
            GreyRow(frame, y, first, static_cast<int>(n), grey.data());
            const std::uint8_t* ref =
                reference.ScanLine(y) + 3 * static_cast<std::size_t>(first) + 2;
            const auto oy = static_cast<double>(dy);
            for (std::size_t i = 0; i < n; ++i) {
                const int contrast = sign * (ref[3 * i] - grey[i]);
                if (contrast <= floor) continue;
                const auto dx = static_cast<double>(first + static_cast<long long>(i) - centreX);
                if (dx * dx + oy * oy < innermost2) continue;
                const auto weight = static_cast<float>(contrast - floor);
                const bool marked = contrast >= threshold;
                pixels.push_back({static_cast<float>(dx), static_cast<float>(oy), weight, marked});
                if (marked) Add(wide, dx, oy, weight);
            }
        });
    if (wide.Weight <= 0) return {};

    // A narrow band around the axis found so far, as wide as the pixels
    // found so far lie from it (four times the mean distance, the width of an
    // even hand) and a margin for the edges; narrowed four times, so that
    // stray pixels that widened one band fall out of the next.
    const HandAxis first = FreeHandAxis(wide, coarseAngle);
    Band band = NarrowBand(pixels, first.Centre, first.Angle, 1e300, true);
    double halfWidth = NarrowBandMost;
    for (int pass = 0; pass < 4; ++pass) {
        const HandAxis axis = FreeHandAxis(band.Moments, coarseAngle);
        halfWidth = std::clamp(4 * band.MeanAcross + NarrowBandMargin, NarrowBandLeast, halfWidth);
        Band narrow = NarrowBand(pixels, axis.Centre, axis.Angle, halfWidth, false);
        if (narrow.Moments.Weight <= 0) break;
        band = narrow;
    }
    return band.Moments;
}

PixelOffset EstimatePivot(const std::vector<HandMoments>& frames,
                          const std::vector<double>& coarseAngles,
                          const MeasurementSettings& settings) {
    struct Line {
        PixelOffset Normal;
        double Offset; // Normal · point on the line
    };
    std::vector<Line> lines;
    for (std::size_t i = 0; i < frames.size() && i < coarseAngles.size(); ++i) {
        if (frames[i].Empty()) continue;
        const HandAxis axis = FreeHandAxis(frames[i], coarseAngles[i]);
        if (axis.Elongation < CleanElongation) continue;
        const PixelOffset along = Direction(axis.Angle);
        const PixelOffset normal{-along.Y, along.X};
        lines.push_back({normal, normal.X * axis.Centre.X + normal.Y * axis.Centre.Y});
    }
    if (lines.empty()) return {};

    // Least squares of the distances to the lines, plus a small pull to the
    // clicked centre: sum (n · p - d)² + lambda |p|².
    auto solve = [&](const std::vector<char>& use) {
        double count = 0;
        for (char u : use)
            count += u;
        const double lambda = 0.001 * std::max(count, 1.0);
        double a = lambda, b = 0, c = lambda, rx = 0, ry = 0;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (!use[i]) continue;
            const Line& l = lines[i];
            a += l.Normal.X * l.Normal.X;
            b += l.Normal.X * l.Normal.Y;
            c += l.Normal.Y * l.Normal.Y;
            rx += l.Normal.X * l.Offset;
            ry += l.Normal.Y * l.Offset;
        }
        const double det = a * c - b * b;
        return PixelOffset{(c * rx - b * ry) / det, (a * ry - b * rx) / det};
    };
    std::vector<char> use(lines.size(), 1);
    PixelOffset pivot = solve(use);
    // Frames whose axis misses the common point by far (a stray blob in
    // the band, a hand cut by the picture's edge) are left out.
    for (int pass = 0; pass < 2; ++pass) {
        std::vector<double> misses(lines.size());
        for (std::size_t i = 0; i < lines.size(); ++i)
            misses[i] = std::abs(lines[i].Normal.X * pivot.X + lines[i].Normal.Y * pivot.Y -
                                 lines[i].Offset);
        std::vector<double> sorted = misses;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                         sorted.end());
        const double limit = std::max(0.75, 4 * sorted[sorted.size() / 2]);
        for (std::size_t i = 0; i < lines.size(); ++i)
            use[i] = misses[i] <= limit;
        pivot = solve(use);
    }
    const double most = std::max(6.0, settings.HandRadius / 20.0);
    const double distance = std::hypot(pivot.X, pivot.Y);
    if (!(distance <= most)) {
        if (!std::isfinite(distance)) return {};
        pivot.X *= most / distance;
        pivot.Y *= most / distance;
    }
    return pivot;
}

std::vector<double> UnwrapFineAngles(const std::vector<double>& directions) {
    std::vector<double> unwrapped;
    unwrapped.reserve(directions.size());
    AngleUnwrapper unwrapper;
    for (const double direction : directions)
        unwrapped.push_back(unwrapper.Next(direction));
    return unwrapped;
}

void FineAngleMeasurement::AddFrame(const Bitmap& frame, int coarseAngle) {
    moments_.push_back(MeasureHandMoments(frame, reference_, settings_, coarseAngle));
    coarse_.push_back(coarseAngle);
}

FineAngleMeasurement::Series FineAngleMeasurement::Finish() const {
    Series series;
    series.Pivot = EstimatePivot(moments_, coarse_, settings_);
    series.Directions.reserve(moments_.size());
    for (std::size_t i = 0; i < moments_.size(); ++i)
        series.Directions.push_back(AxisAngleThrough(moments_[i], series.Pivot, coarse_[i]));
    series.Unwrapped = UnwrapFineAngles(series.Directions);
    return series;
}

} // namespace torvi
