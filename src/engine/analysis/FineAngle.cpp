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
// A rim found whose minor axis is within this share of its major one, once
// the perspective is undone, is a dial seen square-on (3.6° off square at
// most, where no direction moves by more than 0.06°): left uncorrected.
constexpr double SquareOnRatio = 0.998;
// A frame's direction comes from the hand's pixels beyond half the radius
// when they carry at least this share of its weight.
constexpr double OuterShare = 0.1;
constexpr float SoftShare = 0.4f;
constexpr double ShadowLean = 0.07;
// A seed spread this far either way (degrees) is a hand smeared by its turn.
constexpr double SmearedSpread = 3.0;
// The least mean contrast (grey levels) along the seed's rays that is a hand.
constexpr double SeedContrast = 2.0;

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

// The band the narrowing ends with: its pixels' moments, and the line and
// half width that hold them.
struct Narrowed {
    HandMoments Moments;
    PixelOffset Centre;
    double Angle = 0;
    double HalfWidth = 0;

    bool Holds(const BandPixel& p) const {
        const PixelOffset along = Direction(Angle);
        return std::abs((p.X - Centre.X) * along.Y - (p.Y - Centre.Y) * along.X) <= HalfWidth;
    }
};

// A narrow band around the axis found so far, as wide as the pixels found so
// far lie from it (four times the mean distance, the width of an even hand)
// and a margin for the edges; narrowed four times, so that stray pixels that
// widened one band fall out of the next. The first axis is that of `wide`,
// the marked pixels (all weighted pixels when none is marked: a hand smeared
// by its motion may stay below the threshold everywhere).
Narrowed NarrowDown(const std::vector<BandPixel>& pixels, HandMoments wide, double seed,
                    bool anyMarked, double widest = NarrowBandMost) {
    Narrowed result;
    if (!anyMarked)
        for (const BandPixel& p : pixels)
            Add(wide, p.X, p.Y, p.Weight);
    if (wide.Weight <= 0) return result;
    const HandAxis first = FreeHandAxis(wide, seed);
    Band band = NarrowBand(pixels, first.Centre, first.Angle, 1e300, anyMarked);
    double halfWidth = widest;
    result.Centre = first.Centre;
    result.Angle = first.Angle;
    result.HalfWidth = 1e300;
    for (int pass = 0; pass < 4; ++pass) {
        const HandAxis axis = FreeHandAxis(band.Moments, seed);
        halfWidth = std::clamp(4 * band.MeanAcross + NarrowBandMargin, NarrowBandLeast, halfWidth);
        Band narrow = NarrowBand(pixels, axis.Centre, axis.Angle, halfWidth, false);
        if (narrow.Moments.Weight <= 0) break;
        band = narrow;
        result.Centre = axis.Centre;
        result.Angle = axis.Angle;
        result.HalfWidth = halfWidth;
    }
    result.Moments = band.Moments;
    return result;
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
    return MeasureFineFrame(frame, reference, settings, coarseAngle, 0, {}).All;
}

FineFrame MeasureFineFrame(const Bitmap& frame, const Bitmap& background,
                           const MeasurementSettings& settings, double seed, double spread,
                           const Registration& registration) {
    CheckSettings(settings);
    if (frame.Width() != background.Width() || frame.Height() != background.Height() ||
        frame.Format() != PixelFormat::Pf24Bit || background.Format() != PixelFormat::Pf24Bit)
        throw Error(PicturesNotEqual);
    FineFrame result;
    result.Seed = seed;
    result.Shift = registration;
    const double radius = settings.HandRadius;
    const double innermost = 0.1 * radius;
    const int threshold = settings.ContrastThreshold;
    const int floor = std::max(threshold, 0) / 4;
    const int sign = settings.Hand == HandColour::Dark ? 1 : -1;

    const PixelOffset along = Direction(seed);
    const PixelOffset across{-along.Y, along.X};
    const double tip = radius + 1;
    // A smeared hand fills a sector: the band opens by its spread.
    const double smear = std::tan(std::min(spread, 45.0) / DegreesPerRadian);
    const double tipHalf = WideBandHalfWidth +
                           (WideBandSlope + WideBandClickShift / std::max(radius, 1.0)) * tip +
                           smear * tip;
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
    const bool still = registration.Still();
    // The centre pixel itself never counts, as it never votes.
    const double innermost2 = std::max(innermost * innermost, 1.0);
    ForEachRowInside(
        corners, settings, frame.Width(), frame.Height(),
        [&](int y, long long dy, int first, int last) {
            const auto n = static_cast<std::size_t>(last - first + 1);
            if (grey.size() < n) grey.resize(n);
            GreyRow(frame, y, first, static_cast<int>(n), grey.data());
            const std::uint8_t* ref =
                background.ScanLine(y) + 3 * static_cast<std::size_t>(first) + 2;
            const auto oy = static_cast<double>(dy);
            for (std::size_t i = 0; i < n; ++i) {
                const auto x = first + static_cast<long long>(i);
                const auto dx = static_cast<double>(x - centreX);
                double contrast;
                if (still) {
                    const int c = sign * (ref[3 * i] - grey[i]);
                    if (c <= floor) continue;
                    contrast = c;
                } else {
                    contrast = sign * (registration.Gain * BackgroundGrey(background,
                                                                          static_cast<double>(x) -
                                                                              registration.ShiftX,
                                                                          y - registration.ShiftY) -
                                       grey[i]);
                    if (contrast <= floor) continue;
                }
                if (dx * dx + oy * oy < innermost2) continue;
                const auto weight = static_cast<float>(contrast - floor);
                const bool marked = contrast >= threshold;
                // Where the pixel lies on the background, which holds the pivot still.
                const double bx = dx - registration.ShiftX, by = oy - registration.ShiftY;
                pixels.push_back({static_cast<float>(bx), static_cast<float>(by), weight, marked});
                if (marked) {
                    Add(wide, bx, by, weight);
                    ++result.Marked;
                }
            }
        });
    Narrowed all = NarrowDown(pixels, wide, seed, result.Marked > 0);
    // A shadow is softer than the hand and lies on one side of it: when the
    // band's faint pixels (under SoftShare of the hand's own contrast, its
    // marked pixels' 90th percentile) move the band's centre aside by more
    // than ShadowLean pixels, everything that faint weighs nothing. A clean
    // hand's faint pixels are its two edges, which nearly balance (a hand
    // along the pixel grid has them on one side only, but few).
    if (result.Marked >= 8 && spread == 0) {
        std::vector<float> weights;
        for (const BandPixel& p : pixels)
            if (p.Marked) weights.push_back(p.Weight);
        const auto at =
            weights.begin() + static_cast<long>(0.9 * static_cast<double>(weights.size()));
        std::nth_element(weights.begin(), at, weights.end());
        const float soft = SoftShare * *at;
        const PixelOffset axis = Direction(all.Angle);
        double faint = 0, lean = 0;
        for (const BandPixel& p : pixels) {
            if (p.Weight >= soft || !all.Holds(p)) continue;
            faint += p.Weight;
            lean += p.Weight * ((p.X - all.Centre.X) * axis.Y - (p.Y - all.Centre.Y) * axis.X);
        }
        if (std::abs(lean) > ShadowLean * all.Moments.Weight) {
            std::vector<BandPixel> kept;
            wide = {};
            for (BandPixel p : pixels) {
                p.Weight -= soft;
                if (p.Weight <= 0) continue;
                kept.push_back(p);
                if (p.Marked) Add(wide, p.X, p.Y, p.Weight);
            }
            pixels.swap(kept);
            all = NarrowDown(pixels, wide, seed, result.Marked > 0);
        }
    }
    result.All = all.Moments;
    for (const BandPixel& p : pixels)
        if (p.Marked && all.Holds(p)) ++result.Used;
    // The hand beyond half the radius, where a short second hand does not
    // reach: the whole hand's band there, narrowed again on its own pixels
    // (a second hand beside the big one may have drawn the whole band
    // aside), never wider than the whole band.
    const double outerFrom2 = 0.25 * radius * radius;
    std::vector<BandPixel> outer;
    for (const BandPixel& p : pixels)
        if (static_cast<double>(p.X) * p.X + static_cast<double>(p.Y) * p.Y >= outerFrom2 &&
            all.Holds(p))
            outer.push_back(p);
    result.Outer = NarrowDown(outer, {}, seed, false, all.HalfWidth).Moments;
    return result;
}

HandSeed FindHandSeed(const Bitmap& frame, const Bitmap& background,
                      const MeasurementSettings& settings, const Registration& registration) {
    HandSeed seed;
    const double radius = settings.HandRadius;
    if (radius < 8) return seed;
    const int w = frame.Width(), h = frame.Height();
    const int sign = settings.Hand == HandColour::Dark ? 1 : -1;
    const bool still = registration.Still();
    constexpr int Bins = 360;
    std::array<double, Bins> profile{};
    const double step = std::max(1.0, radius / 40.0);
    const double samples = std::floor(0.45 * radius / step) + 1;
    for (int bin = 0; bin < Bins; ++bin) {
        const PixelOffset d = Direction(bin);
        double sum = 0;
        for (double r = 0.5 * radius; r <= 0.95 * radius; r += step) {
            const int x = static_cast<int>(std::lround(settings.CentreX + r * d.X));
            const int y = static_cast<int>(std::lround(settings.CentreY + r * d.Y));
            if (x < 0 || y < 0 || x >= w || y >= h) continue;
            const int g = GreyAt(frame, x, y);
            const double b =
                still ? background.ScanLine(y)[3 * static_cast<std::size_t>(x)]
                      : registration.Gain * BackgroundGrey(background, x - registration.ShiftX,
                                                           y - registration.ShiftY);
            sum += sign * (b - g);
        }
        profile[static_cast<std::size_t>(bin)] = sum;
    }
    // The strongest direction over three bins, then the centre of the
    // contrast around it down to a quarter of its height.
    std::size_t best = 0;
    double most = 0;
    for (std::size_t bin = 0; bin < Bins; ++bin) {
        const double three =
            profile[(bin + Bins - 1) % Bins] + profile[bin] + profile[(bin + 1) % Bins];
        if (three > most) {
            most = three;
            best = bin;
        }
    }
    // Along the strongest direction the hand must stand out of the noise: a
    // mean contrast of at least SeedContrast over the three bins' rays (a
    // 3-pixel hand smeared over 22° at R = 300 gives 6 to 11 grey levels,
    // the noise's mean over a ray a fraction of one). A hand that leaves the
    // picture there gives nothing to follow.
    if (!(most >= 3 * SeedContrast * samples)) return seed;
    const double peak = profile[best];
    const double low = 0.25 * std::max(peak, most / 3);
    int left = 0, right = 0;
    while (left < 60 && profile[(best + Bins - static_cast<std::size_t>(left) - 1) % Bins] >= low)
        ++left;
    while (right < 60 && profile[(best + static_cast<std::size_t>(right) + 1) % Bins] >= low)
        ++right;
    double sum = 0, moment = 0;
    for (int k = -left; k <= right; ++k) {
        const double v = profile[(best + Bins + static_cast<std::size_t>(k + Bins)) % Bins];
        sum += v;
        moment += v * k;
    }
    double angle = static_cast<double>(best) + (sum > 0 ? moment / sum : 0.0);
    angle = std::fmod(angle + 360.0, 360.0);
    seed.Angle = angle >= 360.0 ? 0.0 : angle;
    seed.Spread = 0.5 * (left + right + 1);
    seed.Valid = true;
    return seed;
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

FineAngleMeasurement::FineAngleMeasurement(const MeasurementSettings& settings,
                                           const Bitmap& background)
    : settings_(settings), background_(background), registration_(background, settings) {}

void FineAngleMeasurement::AddFrame(const Bitmap& frame, int coarseAngle) {
    if (frame.Width() != background_.Width() || frame.Height() != background_.Height() ||
        frame.Format() != PixelFormat::Pf24Bit || background_.Format() != PixelFormat::Pf24Bit)
        throw Error(PicturesNotEqual);
    const Registration at = registration_.Register(frame);
    const HandSeed seed = FindHandSeed(frame, background_, settings_, at);
    // The whole-degree direction where the hand's own contrast says nothing.
    double spread = 0, angle = coarseAngle;
    if (seed.Valid) {
        angle = seed.Angle;
        // Up to two degrees either way is the hand's own width.
        spread = seed.Spread > 2 ? seed.Spread : 0;
    }
    frames_.push_back(MeasureFineFrame(frame, background_, settings_, angle, spread, at));
    frames_.back().Spread = spread;
}

FineAngleMeasurement::Series FineAngleMeasurement::Finish() const {
    Series series;
    // Each frame's hand: its outer half where that shows (a short second
    // hand, a hub or a tail near the pivot cannot pull it), else all of it.
    std::vector<HandMoments> hands;
    std::vector<double> seeds;
    hands.reserve(frames_.size());
    for (const FineFrame& f : frames_) {
        hands.push_back(f.Outer.Weight >= OuterShare * f.All.Weight ? f.Outer : f.All);
        seeds.push_back(f.Seed);
    }
    series.Pivot = EstimatePivot(hands, seeds, settings_);
    const PixelOffset pivot = series.Pivot;
    // The dial's plane: the rim given, or the rim found unless it is a circle.
    DialEllipse rim = givenRim_;
    series.Rim = RimSource::Given;
    if (!rim.Valid()) {
        rim = FindDialRim(background_, settings_).Ellipse;
        series.Rim = rim.Valid() ? RimSource::Found : RimSource::None;
    }
    PlaneDirections plane;
    if (rim.Valid()) {
        plane = PlaneDirections(rim, settings_.CentreX + pivot.X, settings_.CentreY + pivot.Y);
        if (series.Rim == RimSource::Found && plane.AxisRatio() > SquareOnRatio) {
            plane = PlaneDirections();
            series.Rim = RimSource::None;
        }
    }
    if (series.Rim != RimSource::None) series.RimEllipse = rim;

    series.Directions.reserve(frames_.size());
    series.Quality.reserve(frames_.size());
    for (std::size_t i = 0; i < frames_.size(); ++i) {
        const FineFrame& f = frames_[i];
        const HandMoments& hand = hands[i];
        double picture = hand.Empty() ? f.Seed : AxisAngleThrough(hand, pivot, f.Seed);
        // A hand smeared over more than a few degrees: the centre of its
        // contrast over the directions, seen from the pivot instead of the
        // click (the seed's rays reach from half the radius to 0.95 of it,
        // where the mean of 1 / r is ln(0.95 / 0.5) / (0.45 R)).
        if (f.Spread >= SmearedSpread) {
            const PixelOffset normal{std::cos(f.Seed / DegreesPerRadian),
                                     std::sin(f.Seed / DegreesPerRadian)};
            const double meanInverse = std::log(0.95 / 0.5) / (0.45 * settings_.HandRadius);
            picture =
                f.Seed - (pivot.X * normal.X + pivot.Y * normal.Y) * meanInverse * DegreesPerRadian;
            picture = std::fmod(picture + 360.0, 360.0);
        }
        series.Directions.push_back(plane.OnPlane(picture));
        FrameQuality q;
        if (!hand.Empty()) {
            const Central c = MomentsAbout(hand, pivot);
            const PixelOffset along = Direction(picture);
            const double across =
                c.XX * along.Y * along.Y - 2 * c.XY * along.X * along.Y + c.YY * along.X * along.X;
            q.Residual = std::sqrt(std::max(across, 0.0) / hand.Weight);
        }
        q.Share = f.Marked > 0 ? static_cast<double>(f.Used) / f.Marked : 0.0;
        q.ShiftX = f.Shift.ShiftX;
        q.ShiftY = f.Shift.ShiftY;
        q.Gain = f.Shift.Gain;
        series.Quality.push_back(q);
    }
    series.Unwrapped = UnwrapFineAngles(series.Directions);
    return series;
}

} // namespace torvi
