#include "DialPainter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

struct Colour {
    double R, G, B;
};

constexpr Colour Slate{62, 72, 86};
constexpr Colour Cream{242, 238, 224};
constexpr Colour Ink{28, 30, 36};

// Share of a pixel covered by a stroke of the given half width whose centre
// line is `distance` away: a one-pixel ramp gives smooth edges that stay
// symmetric about the line.
double Coverage(double distance, double halfWidth) {
    return std::clamp(halfWidth + 0.5 - distance, 0.0, 1.0);
}

// Distance of point (px, py) from the segment (ax, ay)-(bx, by).
double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
    const double vx = bx - ax, vy = by - ay;
    const double length2 = vx * vx + vy * vy;
    double t = length2 > 0 ? ((px - ax) * vx + (py - ay) * vy) / length2 : 0.0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (ax + t * vx), py - (ay + t * vy));
}

void Blend(std::uint8_t* pixel, Colour colour, double share) {
    if (share <= 0) return;
    const auto mix = [share](std::uint8_t from, double to) {
        return static_cast<std::uint8_t>(std::lround(from + (to - from) * share));
    };
    pixel[0] = mix(pixel[0], colour.R);
    pixel[1] = mix(pixel[1], colour.G);
    pixel[2] = mix(pixel[2], colour.B);
}

} // namespace

DialPainter::DialPainter(int width, int height)
    : width_(width), height_(height),
      handLength_(static_cast<int>(std::lround(height * 5.0 / 12.0))),
      handHalfWidth_(std::max(1.5, height / 160.0)),
      face_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    PaintFace();
}

void DialPainter::PaintFace() {
    const double cx = CentreX(), cy = CentreY();
    const double faceRadius = height_ * 0.46;
    const double rimHalfWidth = std::max(1.0, height_ / 240.0);
    const double hubRadius = std::max(3.0, height_ / 40.0);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            std::uint8_t* pixel =
                &face_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                        static_cast<std::size_t>(x)) *
                       3];
            pixel[0] = static_cast<std::uint8_t>(Slate.R);
            pixel[1] = static_cast<std::uint8_t>(Slate.G);
            pixel[2] = static_cast<std::uint8_t>(Slate.B);
            const double r = std::hypot(x - cx, y - cy);
            Blend(pixel, Cream, std::clamp(faceRadius + 0.5 - r, 0.0, 1.0));
            Blend(pixel, Ink, Coverage(std::abs(r - faceRadius), rimHalfWidth));
            Blend(pixel, Ink, std::clamp(hubRadius + 0.5 - r, 0.0, 1.0));
        }
    }
    // Sixty ticks outside the hand's reach, every fifth one longer and wider.
    for (int tick = 0; tick < 60; ++tick) {
        const bool major = tick % 5 == 0;
        const double angle = tick * 6.0 * std::numbers::pi / 180.0;
        const double sx = std::sin(angle), sy = -std::cos(angle);
        const double inner = height_ * (major ? 0.425 : 0.44), outer = height_ * 0.452;
        const double halfWidth =
            major ? std::max(1.0, height_ / 200.0) : std::max(0.5, height_ / 500.0);
        const double ax = cx + sx * inner, ay = cy + sy * inner;
        const double bx = cx + sx * outer, by = cy + sy * outer;
        const int x0 = std::max(0, static_cast<int>(std::min(ax, bx) - halfWidth) - 2);
        const int x1 = std::min(width_ - 1, static_cast<int>(std::max(ax, bx) + halfWidth) + 2);
        const int y0 = std::max(0, static_cast<int>(std::min(ay, by) - halfWidth) - 2);
        const int y1 = std::min(height_ - 1, static_cast<int>(std::max(ay, by) + halfWidth) + 2);
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                Blend(&face_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                              static_cast<std::size_t>(x)) *
                             3],
                      Ink, Coverage(SegmentDistance(x, y, ax, ay, bx, by), halfWidth));
    }
}

const std::vector<std::uint8_t>& DialPainter::Paint(double degrees) {
    frame_ = face_;
    const double cx = CentreX(), cy = CentreY();
    const double angle = degrees * std::numbers::pi / 180.0;
    const double tipX = cx + std::sin(angle) * handLength_;
    const double tipY = cy - std::cos(angle) * handLength_;
    const double margin = handHalfWidth_ + 2;
    const int x0 = std::max(0, static_cast<int>(std::min(cx, tipX) - margin));
    const int x1 = std::min(width_ - 1, static_cast<int>(std::max(cx, tipX) + margin));
    const int y0 = std::max(0, static_cast<int>(std::min(cy, tipY) - margin));
    const int y1 = std::min(height_ - 1, static_cast<int>(std::max(cy, tipY) + margin));
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            Blend(&frame_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                           static_cast<std::size_t>(x)) *
                          3],
                  Ink, Coverage(SegmentDistance(x, y, cx, cy, tipX, tipY), handHalfWidth_));
    return frame_;
}
