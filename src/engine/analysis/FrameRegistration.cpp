#include "FrameRegistration.h"

#include "GreyValue.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace torvi {

namespace {

// Shifts smaller than this (pixels) and gains nearer 1 than this are none.
constexpr double LeastShift = 0.05;
constexpr double LeastGain = 0.004;
// A shake larger than this is not followed: the fit has lost the face.
constexpr double MostShift = 4.0;
// Points of the face: every pixel whose grey changes by at least this much
// per pixel (the printed marks and the rim), at most this many of them, and
// a sparse grid of the rest for the brightness.
constexpr double EdgeGradient = 20.0;
constexpr std::size_t MostEdgePoints = 1500;
constexpr std::size_t MostFlatPoints = 300;
// The points lie out to this many hand radii from the centre.
constexpr double ReachInRadii = 1.3;

int StoredGrey(const Bitmap& picture, int x, int y) {
    return picture.ScanLine(y)[3 * static_cast<std::size_t>(x)];
}

} // namespace

double BackgroundGrey(const Bitmap& background, double x, double y) {
    const int w = background.Width(), h = background.Height();
    x = std::clamp(x, 0.0, static_cast<double>(w - 1));
    y = std::clamp(y, 0.0, static_cast<double>(h - 1));
    const int x0 = std::min(static_cast<int>(x), w - 2 < 0 ? 0 : w - 2);
    const int y0 = std::min(static_cast<int>(y), h - 2 < 0 ? 0 : h - 2);
    const int x1 = std::min(x0 + 1, w - 1), y1 = std::min(y0 + 1, h - 1);
    const double fx = x - x0, fy = y - y0;
    const double top = (1 - fx) * StoredGrey(background, x0, y0) + fx * StoredGrey(background, x1, y0);
    const double bottom = (1 - fx) * StoredGrey(background, x0, y1) + fx * StoredGrey(background, x1, y1);
    return (1 - fy) * top + fy * bottom;
}

int FrameRegistration::Reach(const MeasurementSettings& settings) {
    return static_cast<int>(std::ceil(ReachInRadii * std::max(settings.HandRadius, 8)));
}

FrameRegistration::FrameRegistration(const Bitmap& background, const MeasurementSettings& settings)
    : background_(background) {
    const int w = background.Width(), h = background.Height();
    if (w < 8 || h < 8 || background.Format() != PixelFormat::Pf24Bit) return;
    const double radius = std::max(settings.HandRadius, 8);
    // The face from inside the hand's reach to beyond the rim: a dial's rim
    // lies a little beyond the hand's tip.
    const double inner = 0.15 * radius, outer = ReachInRadii * radius;
    const int x0 = std::max(2, static_cast<int>(settings.CentreX - outer));
    const int x1 = std::min(w - 3, static_cast<int>(settings.CentreX + outer));
    const int y0 = std::max(2, static_cast<int>(settings.CentreY - outer));
    const int y1 = std::min(h - 3, static_cast<int>(settings.CentreY + outer));
    std::vector<Point> edges, flat;
    const int grid = std::max(1, static_cast<int>(radius / 12));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - settings.CentreX, dy = y - settings.CentreY;
            const double r2 = dx * dx + dy * dy;
            if (r2 < inner * inner || r2 > outer * outer) continue;
            const auto gx = static_cast<float>(
                (StoredGrey(background, x + 1, y) - StoredGrey(background, x - 1, y)) / 2.0);
            const auto gy = static_cast<float>(
                (StoredGrey(background, x, y + 1) - StoredGrey(background, x, y - 1)) / 2.0);
            const Point p{x, y, static_cast<float>(StoredGrey(background, x, y))};
            if (std::hypot(gx, gy) >= EdgeGradient)
                edges.push_back(p);
            else if (x % grid == 0 && y % grid == 0)
                flat.push_back(p);
        }
    }
    const auto thin = [](std::vector<Point>& points, std::size_t most) {
        if (points.size() <= most) return;
        std::vector<Point> kept;
        kept.reserve(most);
        for (std::size_t i = 0; i < most; ++i)
            kept.push_back(points[i * points.size() / most]);
        points.swap(kept);
    };
    thin(edges, MostEdgePoints);
    thin(flat, MostFlatPoints);
    points_ = std::move(edges);
    points_.insert(points_.end(), flat.begin(), flat.end());
}

namespace {

// The background's grey at (x, y) between pixels and its slopes there, from
// the four pixels around the point (bilinear: the slopes are those of the
// cell's surface).
struct Sample {
    double Value, SlopeX, SlopeY;
};
Sample SampleAt(const Bitmap& background, double x, double y) {
    const int w = background.Width(), h = background.Height();
    x = std::clamp(x, 0.0, static_cast<double>(w - 1));
    y = std::clamp(y, 0.0, static_cast<double>(h - 1));
    const int x0 = std::min(static_cast<int>(x), w - 2), y0 = std::min(static_cast<int>(y), h - 2);
    const double fx = x - x0, fy = y - y0;
    const std::uint8_t* top = background.ScanLine(y0) + 3 * static_cast<std::size_t>(x0);
    const std::uint8_t* bottom = background.ScanLine(y0 + 1) + 3 * static_cast<std::size_t>(x0);
    const double b00 = top[0], b10 = top[3], b01 = bottom[0], b11 = bottom[3];
    return {(1 - fy) * ((1 - fx) * b00 + fx * b10) + fy * ((1 - fx) * b01 + fx * b11),
            (1 - fy) * (b10 - b00) + fy * (b11 - b01), (1 - fx) * (b01 - b00) + fx * (b11 - b10)};
}

} // namespace

Registration FrameRegistration::Register(const Bitmap& frame) const {
    Registration none;
    if (points_.size() < 50 || frame.Width() != background_.Width() ||
        frame.Height() != background_.Height() || frame.Format() != PixelFormat::Pf24Bit)
        return none;
    const std::size_t count = points_.size();
    std::vector<float> seen(count);
    double seenSum = 0, backgroundSum = 0;
    for (std::size_t i = 0; i < count; ++i) {
        seen[i] = GreyAt(frame, points_[i].X, points_[i].Y);
        seenSum += seen[i];
        backgroundSum += points_[i].Value;
    }
    double gain = backgroundSum > 0 ? std::clamp(seenSum / backgroundSum, 0.25, 4.0) : 1.0;
    const int w = background_.Width(), h = background_.Height();
    // The squared differences at a whole-pixel shift, each held at 30 grey
    // levels (for the hand), over every fourth point.
    const auto mismatch = [&](int ix, int iy) {
        double sum = 0;
        for (std::size_t i = 0; i < count; i += 4) {
            const int x = std::clamp(points_[i].X - ix, 0, w - 1);
            const int y = std::clamp(points_[i].Y - iy, 0, h - 1);
            const double r = seen[i] - gain * StoredGrey(background_, x, y);
            sum += std::min(r * r, 900.0);
        }
        return sum;
    };
    // A first guess to the whole pixel, as the marks are too thin for the
    // slopes to reach a shake of more than a pixel; a still camera stops at
    // the first look.
    double sx = 0, sy = 0;
    const double still = mismatch(0, 0);
    bool moved = false;
    for (const auto& [ix, iy] :
         {std::pair{1, 0}, std::pair{-1, 0}, std::pair{0, 1}, std::pair{0, -1}})
        moved = moved || mismatch(ix, iy) < still;
    if (moved) {
        double least = still;
        for (int iy = -3; iy <= 3; ++iy)
            for (int ix = -3; ix <= 3; ++ix) {
                if (ix == 0 && iy == 0) continue;
                const double sum = mismatch(ix, iy);
                if (sum < least) {
                    least = sum;
                    sx = ix;
                    sy = iy;
                }
            }
    }
    // Then Gauss-Newton on frame = gain * background(x - shift); a little
    // damping keeps the shift put on a face without marks. The hand and
    // whatever else the model does not explain are left out after each pass.
    std::vector<char> use(count, 1);
    std::vector<float> misses(count);
    for (int pass = 0; pass < 6; ++pass) {
        std::array<double, 6> n{}; // the normal matrix, upper triangle
        std::array<double, 3> rhs{};
        for (std::size_t i = 0; i < count; ++i) {
            const Point& p = points_[i];
            const Sample b = SampleAt(background_, p.X - sx, p.Y - sy);
            const double r = seen[i] - gain * b.Value;
            misses[i] = static_cast<float>(std::abs(r));
            if (!use[i]) continue;
            const double j0 = b.Value, j1 = -gain * b.SlopeX, j2 = -gain * b.SlopeY;
            n[0] += j0 * j0;
            n[1] += j0 * j1;
            n[2] += j0 * j2;
            n[3] += j1 * j1;
            n[4] += j1 * j2;
            n[5] += j2 * j2;
            rhs[0] += j0 * r;
            rhs[1] += j1 * r;
            rhs[2] += j2 * r;
        }
        const double damping = 1.0 + 1e-6 * (n[3] + n[5]);
        const double a = n[0], b = n[1], c = n[2], d = n[3] + damping, e = n[4], f = n[5] + damping;
        // Cramer's rule on the symmetric 3 x 3 system.
        const double det = a * (d * f - e * e) - b * (b * f - e * c) + c * (b * e - d * c);
        if (!(std::abs(det) > 0)) break;
        const double s0 = rhs[0], s1 = rhs[1], s2 = rhs[2];
        const double dg =
            (s0 * (d * f - e * e) - b * (s1 * f - e * s2) + c * (s1 * e - d * s2)) / det;
        const double dx =
            (a * (s1 * f - e * s2) - s0 * (b * f - e * c) + c * (b * s2 - s1 * c)) / det;
        const double dy =
            (a * (d * s2 - s1 * e) - b * (b * s2 - s1 * c) + s0 * (b * e - d * c)) / det;
        if (!std::isfinite(dg) || !std::isfinite(dx) || !std::isfinite(dy)) break;
        gain = std::clamp(gain + dg, 0.25, 4.0);
        sx = std::clamp(sx + dx, -MostShift, MostShift);
        sy = std::clamp(sy + dy, -MostShift, MostShift);
        std::vector<float> sorted = misses;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(count / 2),
                         sorted.end());
        const double limit = std::max(6.0, 4.0 * sorted[count / 2]);
        for (std::size_t i = 0; i < count; ++i)
            use[i] = misses[i] <= limit;
        if (pass >= 1 && std::hypot(dx, dy) < 0.002 && std::abs(dg) < 1e-4) break;
    }
    double squares = 0;
    long counted = 0;
    for (std::size_t i = 0; i < count; ++i)
        if (use[i]) {
            squares += static_cast<double>(misses[i]) * misses[i];
            ++counted;
        }
    Registration result;
    result.Residual = counted ? std::sqrt(squares / static_cast<double>(counted)) : 0;
    if (std::hypot(sx, sy) >= LeastShift) {
        result.ShiftX = sx;
        result.ShiftY = sy;
    }
    if (std::abs(gain - 1) >= LeastGain) result.Gain = gain;
    return result;
}

} // namespace torvi
