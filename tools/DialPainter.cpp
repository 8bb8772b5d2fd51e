#include "DialPainter.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

namespace {

struct Colour {
    double R, G, B;
};

constexpr Colour Slate{62, 72, 86};
constexpr Colour Cream{242, 238, 224};
constexpr Colour Ink{28, 30, 36};
// The light hand's dial: a dark face, pale marks and a cream hand.
constexpr Colour Night{36, 40, 50};
constexpr Colour Chalk{196, 200, 206};

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

std::uint8_t Clamped(double value) {
    return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L));
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

// Paints an anti-aliased stroke from (ax, ay) to (bx, by) with round ends.
void Stroke(std::vector<std::uint8_t>& picture, int width, int height, double ax, double ay,
            double bx, double by, double halfWidth, Colour colour) {
    const int x0 = std::max(0, static_cast<int>(std::min(ax, bx) - halfWidth) - 2);
    const int x1 = std::min(width - 1, static_cast<int>(std::max(ax, bx) + halfWidth) + 2);
    const int y0 = std::max(0, static_cast<int>(std::min(ay, by) - halfWidth) - 2);
    const int y1 = std::min(height - 1, static_cast<int>(std::max(ay, by) + halfWidth) + 2);
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x)
            Blend(&picture[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x)) *
                           3],
                  colour, Coverage(SegmentDistance(x, y, ax, ay, bx, by), halfWidth));
}

// The segments of a seven-segment digit, bit 0 the top one, then clockwise,
// bit 6 the middle one.
constexpr int DigitSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

// Paints `number` in seven-segment digits of the given height centred on (x, y).
void PaintNumber(std::vector<std::uint8_t>& picture, int width, int height, int number, double x,
                 double y, double glyph, double halfWidth, Colour colour) {
    const std::string digits = std::to_string(number);
    const double w = glyph / 2, h = glyph, pitch = glyph * 0.75;
    double left = x - (pitch * static_cast<double>(digits.size() - 1) + w) / 2;
    const double top = y - h / 2;
    // Ends of the seven segments in a box of w x h.
    const double ends[7][4] = {{0, 0, w, 0},        {w, 0, w, h / 2}, {w, h / 2, w, h},
                               {0, h, w, h},        {0, h / 2, 0, h}, {0, 0, 0, h / 2},
                               {0, h / 2, w, h / 2}};
    for (const char digit : digits) {
        const int segments = DigitSegments[digit - '0'];
        for (int k = 0; k < 7; ++k)
            if (segments & (1 << k))
                Stroke(picture, width, height, left + ends[k][0], top + ends[k][1],
                       left + ends[k][2], top + ends[k][3], halfWidth, colour);
        left += pitch;
    }
}

} // namespace

DialPainter::DialPainter(int width, int height, const DialStyle& style)
    : width_(width), height_(height), style_(style),
      handLength_(static_cast<int>(std::lround(height * 5.0 / 12.0))),
      handHalfWidth_(std::max(1.5, height / 160.0)), noiseState_(style.Seed | 1u),
      face_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    PaintFace();
    if (style_.Detailed) PaintDetails();
}

void DialPainter::PaintFace() {
    const double cx = PivotX(), cy = PivotY();
    const Colour face = style_.LightHand ? Night : Cream;
    const Colour marks = style_.LightHand ? Chalk : Ink;
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
            Blend(pixel, face, std::clamp(faceRadius + 0.5 - r, 0.0, 1.0));
            Blend(pixel, marks, Coverage(std::abs(r - faceRadius), rimHalfWidth));
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
        Stroke(face_, width_, height_, ax, ay, bx, by, halfWidth, marks);
    }
}

// A grain that does not move, a faint sheen across the face, and the hours
// in digits where the hand sweeps over them.
void DialPainter::PaintDetails() {
    const double cx = PivotX(), cy = PivotY();
    const double faceRadius = height_ * 0.46;
    const double hubRadius = std::max(3.0, height_ / 40.0);
    std::uint32_t grain = 2463534242u;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            grain ^= grain << 13;
            grain ^= grain >> 17;
            grain ^= grain << 5;
            const double r = std::hypot(x - cx, y - cy);
            if (r > faceRadius - 3 || r < hubRadius + 2) continue;
            const double sheen = 7 * std::sin(x * 0.043 + y * 0.029) * std::cos(y * 0.051);
            const double shade = sheen + static_cast<double>(grain % 7) - 3.0;
            std::uint8_t* pixel =
                &face_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                        static_cast<std::size_t>(x)) *
                       3];
            for (int k = 0; k < 3; ++k)
                pixel[k] = Clamped(pixel[k] + shade);
        }
    }
    const Colour marks = style_.LightHand ? Chalk : Ink;
    const double glyph = height_ / 14.0;
    for (int hour = 1; hour <= 12; ++hour) {
        const double angle = hour * 30.0 * std::numbers::pi / 180.0;
        PaintNumber(face_, width_, height_, hour, cx + std::sin(angle) * height_ * 0.33,
                    cy - std::cos(angle) * height_ * 0.33, glyph, std::max(0.6, height_ / 320.0),
                    marks);
    }
}

void DialPainter::PaintTaperedHand(double degrees) {
    const double cx = PivotX(), cy = PivotY();
    const double angle = degrees * std::numbers::pi / 180.0;
    const double ux = std::sin(angle), uy = -std::cos(angle);
    const double length = handLength_;
    const double base = style_.HandWidth / 2;
    const double tip = std::max(0.5, style_.HandWidth / 6);
    const Colour colour = style_.LightHand ? Cream : Ink;
    const double margin = base + 3;
    const double tipX = cx + ux * length, tipY = cy + uy * length;
    const int x0 = std::max(0, static_cast<int>(std::min(cx, tipX) - margin));
    const int x1 = std::min(width_ - 1, static_cast<int>(std::max(cx, tipX) + margin));
    const int y0 = std::max(0, static_cast<int>(std::min(cy, tipY) - margin));
    const int y1 = std::min(height_ - 1, static_cast<int>(std::max(cy, tipY) + margin));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - cx, dy = y - cy;
            const double along = dx * ux + dy * uy;
            const double across = std::abs(dx * uy - dy * ux);
            const double half = along <= 0        ? base
                                : along >= length ? tip
                                                  : base + (tip - base) * along / length;
            // The share of the pixel inside the hand: a one-pixel ramp across
            // each edge and across the flat ends, symmetric about the axis.
            const double share = std::clamp(half + 0.5 - across, 0.0, 1.0) *
                                 std::clamp(length + 0.5 - along, 0.0, 1.0) *
                                 std::clamp(base + 0.5 + along, 0.0, 1.0);
            Blend(&frame_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                           static_cast<std::size_t>(x)) *
                          3],
                  colour, share);
        }
    }
}

void DialPainter::AddNoise() {
    const int spread = 2 * style_.Noise + 1;
    for (std::size_t at = 0; at < frame_.size(); at += 3) {
        noiseState_ ^= noiseState_ << 13;
        noiseState_ ^= noiseState_ >> 17;
        noiseState_ ^= noiseState_ << 5;
        const int noise =
            static_cast<int>(noiseState_ % static_cast<std::uint32_t>(spread)) - style_.Noise;
        for (std::size_t k = 0; k < 3; ++k)
            frame_[at + k] = Clamped(frame_[at + k] + noise);
    }
}

const std::vector<std::uint8_t>& DialPainter::Paint(double degrees) {
    frame_ = face_;
    if (style_.HandWidth > 0) {
        PaintTaperedHand(degrees);
        if (style_.Noise > 0) AddNoise();
        return frame_;
    }
    const double cx = PivotX(), cy = PivotY();
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
                  style_.LightHand ? Cream : Ink,
                  Coverage(SegmentDistance(x, y, cx, cy, tipX, tipY), handHalfWidth_));
    if (style_.Noise > 0) AddNoise();
    return frame_;
}
