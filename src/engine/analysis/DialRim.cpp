#include "DialRim.h"

#include "FrameRegistration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace torvi {

namespace {

constexpr double DegreesPerRadian = 180.0 / std::numbers::pi;

using Matrix3 = std::array<std::array<double, 3>, 3>;

Matrix3 Multiply(const Matrix3& p, const Matrix3& q) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                r[i][j] += p[i][k] * q[k][j];
    return r;
}

Matrix3 Transposed(const Matrix3& p) {
    Matrix3 r{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            r[i][j] = p[j][i];
    return r;
}

// The conic a x² + b x y + c y² + d x + e y + f = 0 of an ellipse, as a
// symmetric matrix, in pixels from the given origin.
Matrix3 ConicOf(const DialEllipse& e, double originX, double originY) {
    const double t = e.Angle / DegreesPerRadian;
    const double ct = std::cos(t), st = std::sin(t);
    const double ia = 1 / (e.SemiAxisA * e.SemiAxisA), ib = 1 / (e.SemiAxisB * e.SemiAxisB);
    const double a = ct * ct * ia + st * st * ib;
    const double b = 2 * ct * st * (ia - ib);
    const double c = st * st * ia + ct * ct * ib;
    const double x0 = e.CentreX - originX, y0 = e.CentreY - originY;
    const double d = -2 * a * x0 - b * y0;
    const double f = a * x0 * x0 + b * x0 * y0 + c * y0 * y0 - 1;
    const double g = -b * x0 - 2 * c * y0;
    return {{{a, b / 2, d / 2}, {b / 2, c, g / 2}, {d / 2, g / 2, f}}};
}

// The ellipse of the conic a x² + b x y + c y² + d x + e y = 1 (pixels from
// the origin); not Valid() when the conic is no ellipse.
DialEllipse EllipseOf(double a, double b, double c, double d, double e, double originX,
                      double originY) {
    DialEllipse ellipse;
    const double det = 4 * a * c - b * b;
    if (!(det > 0)) return ellipse;
    const double x0 = (b * e - 2 * c * d) / det, y0 = (b * d - 2 * a * e) / det;
    // At the centre the conic reads a u² + b u v + c v² = 1 - (value at centre).
    const double k = 1 + a * x0 * x0 + b * x0 * y0 + c * y0 * y0;
    if (!(k > 0)) return ellipse;
    const double mean = (a + c) / 2, spread = std::hypot((a - c) / 2, b / 2);
    const double small = mean - spread, large = mean + spread;
    if (!(small > 0)) return ellipse;
    ellipse.CentreX = originX + x0;
    ellipse.CentreY = originY + y0;
    ellipse.SemiAxisA = std::sqrt(k / small);
    ellipse.SemiAxisB = std::sqrt(k / large);
    ellipse.Angle = 0.5 * std::atan2(b, a - c) * DegreesPerRadian + 90.0;
    return ellipse;
}

// Solves the 5 x 5 system by Gaussian elimination with pivoting; false when
// it is singular.
bool Solve5(std::array<std::array<double, 6>, 5>& m, std::array<double, 5>& x) {
    for (int col = 0; col < 5; ++col) {
        int best = col;
        for (int row = col + 1; row < 5; ++row)
            if (std::abs(m[row][col]) > std::abs(m[best][col])) best = row;
        if (!(std::abs(m[best][col]) > 1e-12)) return false;
        std::swap(m[col], m[best]);
        for (int row = 0; row < 5; ++row) {
            if (row == col) continue;
            const double factor = m[row][col] / m[col][col];
            for (int k = col; k < 6; ++k)
                m[row][k] -= factor * m[col][k];
        }
    }
    for (int i = 0; i < 5; ++i)
        x[i] = m[i][5] / m[i][i];
    return true;
}

struct Point {
    double X, Y;
};

// Fits a x² + b x y + c y² + d x + e y = 1 to the points (scaled by 1 /
// scale) that `use` marks.
bool FitConic(const std::vector<Point>& points, const std::vector<char>& use, double scale,
              std::array<double, 5>& conic) {
    std::array<std::array<double, 6>, 5> m{};
    for (std::size_t i = 0; i < points.size(); ++i) {
        if (!use[i]) continue;
        const double x = points[i].X / scale, y = points[i].Y / scale;
        const std::array<double, 5> row{x * x, x * y, y * y, x, y};
        for (int r = 0; r < 5; ++r) {
            for (int c = 0; c < 5; ++c)
                m[r][c] += row[r] * row[c];
            m[r][5] += row[r];
        }
    }
    if (!Solve5(m, conic)) return false;
    conic[0] /= scale * scale;
    conic[1] /= scale * scale;
    conic[2] /= scale * scale;
    conic[3] /= scale;
    conic[4] /= scale;
    return true;
}

// Distance of a point from the conic, to first order: value over slope.
double ConicDistance(const std::array<double, 5>& q, const Point& p) {
    const double value =
        q[0] * p.X * p.X + q[1] * p.X * p.Y + q[2] * p.Y * p.Y + q[3] * p.X + q[4] * p.Y - 1;
    const double gx = 2 * q[0] * p.X + q[1] * p.Y + q[3];
    const double gy = q[1] * p.X + 2 * q[2] * p.Y + q[4];
    const double slope = std::hypot(gx, gy);
    return slope > 0 ? std::abs(value) / slope : 1e300;
}

} // namespace

RimFit FindDialRim(const Bitmap& background, const MeasurementSettings& settings) {
    RimFit fit;
    const int w = background.Width(), h = background.Height();
    const double radius = settings.HandRadius;
    if (w < 8 || h < 8 || radius < 8 || background.Format() != PixelFormat::Pf24Bit) return fit;
    constexpr int Rays = 360;
    const double cx = settings.CentreX, cy = settings.CentreY;
    std::vector<Point> points;
    std::vector<double> profile;
    for (int ray = 0; ray < Rays; ++ray) {
        const double t = ray * 2 * std::numbers::pi / Rays;
        const double ux = std::cos(t), uy = std::sin(t);
        profile.clear();
        const double from = 0.7 * radius, step = 0.5;
        for (double r = from;; r += step) {
            const double x = cx + r * ux, y = cy + r * uy;
            if (r > 1.8 * radius || x < 1 || y < 1 || x > w - 2 || y > h - 2) break;
            profile.push_back(BackgroundGrey(background, x, y));
        }
        if (profile.size() < 8) continue;
        // The slope along the ray, and its strongest and outermost strong
        // peak: the face's edge is the last strong edge before the slate.
        std::vector<double> slope(profile.size(), 0.0);
        double most = 0;
        for (std::size_t i = 1; i + 1 < profile.size(); ++i) {
            slope[i] = std::abs(profile[i + 1] - profile[i - 1]);
            most = std::max(most, slope[i]);
        }
        if (most < 20) continue; // 20 grey levels per pixel
        for (std::size_t i = slope.size() - 2; i >= 1; --i) {
            if (slope[i] >= 0.4 * most && slope[i] >= slope[i - 1] && slope[i] >= slope[i + 1]) {
                const double left = slope[i - 1], middle = slope[i], right = slope[i + 1];
                const double curve = left - 2 * middle + right;
                const double shift = curve < 0 ? 0.5 * (left - right) / curve : 0.0;
                const double r =
                    from + (static_cast<double>(i) + std::clamp(shift, -0.5, 0.5)) * step;
                points.push_back({r * ux, r * uy});
                break;
            }
        }
    }
    if (points.size() < static_cast<std::size_t>(0.6 * Rays)) return fit;
    std::vector<char> use(points.size(), 1);
    std::array<double, 5> conic{};
    if (!FitConic(points, use, radius, conic)) return fit;
    for (int pass = 0; pass < 3; ++pass) {
        std::vector<double> distances(points.size());
        for (std::size_t i = 0; i < points.size(); ++i)
            distances[i] = ConicDistance(conic, points[i]);
        std::vector<double> sorted = distances;
        std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                         sorted.end());
        const double limit = std::max(0.2, 4.0 * sorted[sorted.size() / 2]);
        for (std::size_t i = 0; i < points.size(); ++i)
            use[i] = distances[i] <= limit;
        if (!FitConic(points, use, radius, conic)) return fit;
    }
    double squares = 0;
    int kept = 0;
    for (std::size_t i = 0; i < points.size(); ++i)
        if (use[i]) {
            const double d = ConicDistance(conic, points[i]);
            squares += d * d;
            ++kept;
        }
    fit.Points = kept;
    fit.Residual = kept ? std::sqrt(squares / kept) : 0;
    if (kept < static_cast<int>(0.6 * Rays) || fit.Residual > 0.5) return fit;
    const DialEllipse ellipse = EllipseOf(conic[0], conic[1], conic[2], conic[3], conic[4], cx, cy);
    // A rim that does not hold the centre, or far from the hand's reach, is
    // something else.
    if (!ellipse.Valid() || ellipse.SemiAxisB < 0.5 * radius || ellipse.SemiAxisA > 2 * radius ||
        std::hypot(ellipse.CentreX - cx, ellipse.CentreY - cy) > ellipse.SemiAxisB)
        return fit;
    fit.Ellipse = ellipse;
    return fit;
}

DialEllipse EllipseThrough(const std::vector<RimPoint>& marked) {
    if (marked.size() < 5) return {};
    double cx = 0, cy = 0;
    for (const RimPoint& p : marked) {
        cx += p.X;
        cy += p.Y;
    }
    cx /= static_cast<double>(marked.size());
    cy /= static_cast<double>(marked.size());
    // About the points' mean, which lies inside the rim, the conic takes
    // the form a x² + b x y + c y² + d x + e y = 1.
    std::vector<Point> points;
    double scale = 0;
    for (const RimPoint& p : marked) {
        points.push_back({p.X - cx, p.Y - cy});
        scale = std::max(scale, std::hypot(p.X - cx, p.Y - cy));
    }
    if (!(scale > 0)) return {};
    std::array<double, 5> conic{};
    if (!FitConic(points, std::vector<char>(points.size(), 1), scale, conic)) return {};
    return EllipseOf(conic[0], conic[1], conic[2], conic[3], conic[4], cx, cy);
}

PlaneDirections::PlaneDirections(const DialEllipse& rim, double pivotX, double pivotY) {
    if (!rim.Valid()) return;
    // The rim as a conic about the pivot, scaled to its size for the sums.
    const double scale = std::sqrt(rim.SemiAxisA * rim.SemiAxisB);
    DialEllipse scaled = rim;
    scaled.CentreX = (rim.CentreX - pivotX) / scale;
    scaled.CentreY = (rim.CentreY - pivotY) / scale;
    scaled.SemiAxisA /= scale;
    scaled.SemiAxisB /= scale;
    const Matrix3 conic = ConicOf(scaled, 0, 0);
    // The pivot's polar l = C (0, 0, 1); the map (x, y, 1) -> (x, y, l · x / l3)
    // sends it to infinity and keeps every direction through the pivot.
    const double l3 = conic[2][2];
    if (!(std::abs(l3) > 1e-12)) return;
    const double l1 = conic[0][2] / l3, l2 = conic[1][2] / l3;
    const Matrix3 inverse{{{1, 0, 0}, {0, 1, 0}, {-l1, -l2, 1}}};
    const Matrix3 rectified = Multiply(Transposed(inverse), Multiply(conic, inverse));
    double m00 = rectified[0][0], m01 = rectified[0][1], m11 = rectified[1][1];
    if (m00 + m11 < 0) {
        m00 = -m00;
        m01 = -m01;
        m11 = -m11;
    }
    const double det = m00 * m11 - m01 * m01;
    if (!(det > 0)) return;
    // The symmetric root of the ellipse's matrix makes it a circle.
    const double root = std::sqrt(det);
    const double norm = std::sqrt(m00 + m11 + 2 * root);
    a_ = (m00 + root) / norm;
    b_ = m01 / norm;
    c_ = m01 / norm;
    d_ = (m11 + root) / norm;
    const double mean = (m00 + m11) / 2, spread = std::hypot((m00 - m11) / 2, m01);
    ratio_ = std::sqrt((mean - spread) / (mean + spread));
    identity_ = false;
    up_ = 0;
    up_ = OnPlane(0);
}

double PlaneDirections::OnPlane(double pictureDegrees) const {
    if (identity_) return pictureDegrees;
    const double t = pictureDegrees / DegreesPerRadian;
    const double x = std::sin(t), y = -std::cos(t);
    const double px = a_ * x + b_ * y, py = c_ * x + d_ * y;
    double angle = std::atan2(px, -py) * DegreesPerRadian - up_;
    angle = std::fmod(angle + 720.0, 360.0);
    return angle >= 360.0 ? 0.0 : angle;
}

DialEllipse AskewRim(const Bitmap& background, const MeasurementSettings& settings) {
    const DialEllipse rim = FindDialRim(background, settings).Ellipse;
    if (!rim.Valid()) return {};
    const double ratio =
        std::min(rim.SemiAxisA, rim.SemiAxisB) / std::max(rim.SemiAxisA, rim.SemiAxisB);
    return ratio < 0.99 ? rim : DialEllipse{};
}

} // namespace torvi
