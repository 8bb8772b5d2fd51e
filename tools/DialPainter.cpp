#include "DialPainter.h"

#include "Error.h"

#include <algorithm>
#include <cstdio>
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
    if (style_.Detailed || style_.Printed) PaintDetails();
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
    // Sixty ticks outside the hand's reach, every fifth one longer and wider;
    // a printed face has a hundred, every tenth one longer.
    const int ticks = style_.Printed ? 100 : 60;
    for (int tick = 0; tick < ticks; ++tick) {
        const bool major = tick % (style_.Printed ? 10 : 5) == 0;
        const double angle = tick * (360.0 / ticks) * std::numbers::pi / 180.0;
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
    if (style_.Printed) {
        PaintPrint();
        return;
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

// Calls visit(x, y, share) for every pixel of the box around a tapered hand
// from (cx, cy) towards `degrees`, `length` long, `base` and `tip` its half
// widths, with a tail of `tail` behind the pivot: share is the part of the
// pixel inside the hand (0 .. 1), a one-pixel ramp across each edge and
// across the flat ends, symmetric about the axis.
template <typename Visit>
void DialPainter::VisitHand(double cx, double cy, double degrees, double length, double tail,
                            double base, double tip, Visit visit) const {
    const double angle = degrees * std::numbers::pi / 180.0;
    const double ux = std::sin(angle), uy = -std::cos(angle);
    const double margin = base + 3;
    const double tipX = cx + ux * length, tipY = cy + uy * length;
    const double tailX = cx - ux * tail, tailY = cy - uy * tail;
    const int x0 = std::max(0, static_cast<int>(std::min(tailX, tipX) - margin));
    const int x1 = std::min(width_ - 1, static_cast<int>(std::max(tailX, tipX) + margin));
    const int y0 = std::max(0, static_cast<int>(std::min(tailY, tipY) - margin));
    const int y1 = std::min(height_ - 1, static_cast<int>(std::max(tailY, tipY) + margin));
    for (int y = y0; y <= y1; ++y) {
        for (int x = x0; x <= x1; ++x) {
            const double dx = x - cx, dy = y - cy;
            const double along = dx * ux + dy * uy;
            const double across = std::abs(dx * uy - dy * ux);
            const double half = along <= 0        ? base
                                : along >= length ? tip
                                                  : base + (tip - base) * along / length;
            visit(x, y,
                  std::clamp(half + 0.5 - across, 0.0, 1.0) *
                      std::clamp(length + 0.5 - along, 0.0, 1.0) *
                      std::clamp(tail + base + 0.5 + along, 0.0, 1.0));
        }
    }
}

void DialPainter::PaintTaperedHand(double degrees) {
    const Colour colour = style_.LightHand ? Cream : Ink;
    VisitHand(PivotX(), PivotY(), degrees, handLength_, 0, style_.HandWidth / 2,
              std::max(0.5, style_.HandWidth / 6), [&](int x, int y, double share) {
                  Blend(&frame_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                 static_cast<std::size_t>(x)) *
                                3],
                        colour, share);
              });
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

// The printed face's numerals 0 to 90 at every tenth division, and two lines
// of small print (a maker's number and a range) above and below the pivot,
// all under the hand's sweep.
void DialPainter::PaintPrint() {
    const double cx = PivotX(), cy = PivotY();
    const Colour marks = style_.LightHand ? Chalk : Ink;
    const double glyph = height_ / 16.0;
    const double stroke = std::max(0.6, height_ / 320.0);
    for (int division = 0; division < 100; division += 10) {
        const double angle = division * 3.6 * std::numbers::pi / 180.0;
        PaintNumber(face_, width_, height_, division, cx + std::sin(angle) * height_ * 0.36,
                    cy - std::cos(angle) * height_ * 0.36, glyph, stroke, marks);
    }
    const double small = height_ / 30.0;
    PaintNumber(face_, width_, height_, 4711250, cx, cy - height_ * 0.17, small, stroke * 0.8,
                marks);
    PaintNumber(face_, width_, height_, 1600, cx, cy + height_ * 0.2, small * 1.3, stroke, marks);
}

void DialPainter::PlaneToPicture(double u, double v, double& x, double& y) const {
    const double tilt = style_.Tilt * std::numbers::pi / 180.0;
    const double focal = 2.0 * height_;
    const double depth = focal + v * std::sin(tilt);
    x = PivotX() + focal * u / depth;
    y = PivotY() + focal * v * std::cos(tilt) / depth;
}

// Adds the share of each pixel a tapered hand covers (clipped at 1), the hand
// at `degrees` from the pivot moved by the offset, with a tail behind it of
// the hand's width at the pivot.
void DialPainter::AddCoverage(std::vector<float>& cover, double degrees, double length, double tail,
                              double base, double tip, double offsetX, double offsetY,
                              float share) const {
    VisitHand(PivotX() + offsetX, PivotY() + offsetY, degrees, length, tail, base, tip,
              [&](int x, int y, double inside) {
                  if (inside <= 0) return;
                  float& c =
                      cover[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                            static_cast<std::size_t>(x)];
                  c = std::min(1.0f, c + share * static_cast<float>(inside));
              });
}

namespace {

// A box blur of the given radius along rows and then columns.
void BoxBlur(std::vector<float>& image, int width, int height, int radius) {
    std::vector<float> line(static_cast<std::size_t>(std::max(width, height)));
    const auto pass = [&](int count, int length, std::size_t stride, std::size_t step) {
        for (int k = 0; k < count; ++k) {
            float* start = image.data() + static_cast<std::size_t>(k) * step;
            for (int i = 0; i < length; ++i)
                line[static_cast<std::size_t>(i)] = start[static_cast<std::size_t>(i) * stride];
            for (int i = 0; i < length; ++i) {
                float sum = 0;
                for (int j = -radius; j <= radius; ++j)
                    sum += line[static_cast<std::size_t>(std::clamp(i + j, 0, length - 1))];
                start[static_cast<std::size_t>(i) * stride] =
                    sum / static_cast<float>(2 * radius + 1);
            }
        }
    };
    pass(height, width, 1, static_cast<std::size_t>(width));
    pass(width, height, static_cast<std::size_t>(width), 1);
}


} // namespace

const std::vector<std::uint8_t>& DialPainter::Paint(const DialFrame& shot) {
    const std::size_t pixels = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
    const double scale = height_ / 480.0;
    const double length = handLength_;
    const double base = style_.HandWidth > 0 ? style_.HandWidth / 2 : handHalfWidth_;
    const double tip = style_.HandWidth > 0 ? std::max(0.5, style_.HandWidth / 6) : base;
    const double secondBase = 4.5 * scale;
    // The exposure as sub-frames half a degree apart at most.
    const int steps = std::clamp(static_cast<int>(std::ceil(std::abs(shot.Smear) / 0.5)), 1, 64);
    std::vector<float> hand(pixels, 0.0f), shadow(pixels, 0.0f);
    const auto share = static_cast<float>(1.0 / steps);
    for (int k = 0; k < steps; ++k) {
        const double angle =
            steps > 1 ? shot.Angle + shot.Smear * ((k + 0.5) / steps - 0.5) : shot.Angle;
        std::vector<float> one(pixels, 0.0f);
        AddCoverage(one, angle, length, style_.TailShare * length, base, tip, 0, 0, 1.0f);
        if (style_.SecondShare > 0)
            AddCoverage(one, style_.SecondStart + angle / 12.0, style_.SecondShare * length, 0,
                        secondBase, secondBase / 3, 0, 0, 1.0f);
        for (std::size_t i = 0; i < pixels; ++i)
            hand[i] += share * one[i];
    }
    if (style_.Shadow > 0) {
        for (int k = 0; k < steps; ++k) {
            const double angle =
                steps > 1 ? shot.Angle + shot.Smear * ((k + 0.5) / steps - 0.5) : shot.Angle;
            const double sx = style_.Shadow * scale * 0.87, sy = style_.Shadow * scale * 0.5;
            std::vector<float> one(pixels, 0.0f);
            AddCoverage(one, angle, length, style_.TailShare * length, base, tip, sx, sy, 1.0f);
            if (style_.SecondShare > 0)
                AddCoverage(one, style_.SecondStart + angle / 12.0, style_.SecondShare * length, 0,
                            secondBase, secondBase / 3, sx, sy, 1.0f);
            for (std::size_t i = 0; i < pixels; ++i)
                shadow[i] += share * one[i];
        }
        BoxBlur(shadow, width_, height_, std::max(1, static_cast<int>(std::lround(1.5 * scale))));
    }

    // The dial's plane in floating point: face, shadow, hands, cap, glare.
    const Colour handColour = style_.LightHand ? Cream : Ink;
    const double cx = PivotX(), cy = PivotY();
    const double capRadius = 0.06 * length;
    std::vector<float> plane(pixels * 3);
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const std::size_t at = static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                                   static_cast<std::size_t>(x);
            const double h = hand[at], s = 0.45 * shadow[at];
            const double r = std::hypot(x - cx, y - cy);
            const double cap = style_.HubCap ? std::clamp(capRadius + 0.5 - r, 0.0, 1.0) : 0.0;
            double glare = 0;
            if (style_.Glare) {
                const double gx = x - (cx + 0.5 * length), gy = y - (cy - 0.45 * length);
                const double d2 = (gx * gx + gy * gy * 2.5) / (0.2 * length * 0.2 * length);
                glare = 0.55 * std::exp(-d2);
            }
            const double channels[3] = {handColour.R, handColour.G, handColour.B};
            for (int c = 0; c < 3; ++c) {
                double v = face_[at * 3 + static_cast<std::size_t>(c)] * (1 - s);
                v += (channels[c] - v) * h;
                v += (70.0 - v) * cap;
                v += (255.0 - v) * glare;
                plane[at * 3 + static_cast<std::size_t>(c)] = static_cast<float>(v);
            }
        }
    }

    // The lens: a slight blur, so that a picture shifted between pixels is
    // the same picture, as a camera gives it, not one blurred by the shift.
    {
        std::vector<float> copy = plane;
        const std::size_t row = static_cast<std::size_t>(width_) * 3;
        for (int y = 0; y < height_; ++y)
            for (int x = 1; x + 1 < width_; ++x)
                for (std::size_t c = 0; c < 3; ++c) {
                    const std::size_t at =
                        static_cast<std::size_t>(y) * row + static_cast<std::size_t>(x) * 3 + c;
                    plane[at] = 0.25f * copy[at - 3] + 0.5f * copy[at] + 0.25f * copy[at + 3];
                }
        copy = plane;
        for (int y = 1; y + 1 < height_; ++y)
            for (std::size_t at = static_cast<std::size_t>(y) * row;
                 at < (static_cast<std::size_t>(y) + 1) * row; ++at)
                plane[at] = 0.25f * copy[at - row] + 0.5f * copy[at] + 0.25f * copy[at + row];
    }

    // The camera: each picture pixel looks at a point of the plane (the
    // tilt's inverse, then the shake), sampled bilinearly; slate beyond.
    const double tilt = style_.Tilt * std::numbers::pi / 180.0;
    const double focal = 2.0 * height_;
    frame_.assign(pixels * 3, 0);
    std::uint32_t& state = noiseState_;
    for (int y = 0; y < height_; ++y) {
        for (int x = 0; x < width_; ++x) {
            const double a = x - shot.ShiftX - cx, b = y - shot.ShiftY - cy;
            const double v = b * focal / (focal * std::cos(tilt) - b * std::sin(tilt));
            const double u = a * (focal + v * std::sin(tilt)) / focal;
            const double px = cx + u, py = cy + v;
            double colour[3] = {Slate.R, Slate.G, Slate.B};
            const int ix = static_cast<int>(std::floor(px)), iy = static_cast<int>(std::floor(py));
            if (ix >= 0 && iy >= 0 && ix + 1 < width_ && iy + 1 < height_) {
                const double fx = px - ix, fy = py - iy;
                const std::size_t at =
                    (static_cast<std::size_t>(iy) * static_cast<std::size_t>(width_) +
                     static_cast<std::size_t>(ix)) *
                    3;
                const std::size_t down = static_cast<std::size_t>(width_) * 3;
                for (std::size_t c = 0; c < 3; ++c)
                    colour[c] =
                        (1 - fy) * ((1 - fx) * plane[at + c] + fx * plane[at + 3 + c]) +
                        fy * ((1 - fx) * plane[at + down + c] + fx * plane[at + down + 3 + c]);
            }
            int noise = 0;
            if (style_.Noise > 0) {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                noise = static_cast<int>(state % static_cast<std::uint32_t>(2 * style_.Noise + 1)) -
                        style_.Noise;
            }
            std::uint8_t* out =
                &frame_[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                         static_cast<std::size_t>(x)) *
                        3];
            for (std::size_t c = 0; c < 3; ++c)
                out[c] = Clamped(colour[c] * shot.Gain + noise);
        }
    }
    return frame_;
}

torvi::Bitmap PaintedPicture(const std::vector<std::uint8_t>& rgb, int width, int height) {
    torvi::Bitmap picture(width, height, torvi::PixelFormat::Pf24Bit);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = picture.ScanLine(y);
        const std::uint8_t* from =
            rgb.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width) * 3;
        for (int x = 0; x < width; ++x) {
            row[3 * x] = from[3 * x + 2];
            row[3 * x + 1] = from[3 * x + 1];
            row[3 * x + 2] = from[3 * x];
        }
    }
    return picture;
}

namespace {

double Smooth(double phase) {
    return (1.0 - std::cos(std::numbers::pi * std::clamp(phase, 0.0, 1.0))) / 2.0;
}

} // namespace

double WanderAngle(double index, int count, double start, double turn) {
    const double phase = count > 1 ? index / (count - 1) : 0.0;
    const double turned =
        phase < 0.5 ? turn * Smooth(phase / 0.4) : turn - 1.5 * turn * Smooth((phase - 0.5) / 0.4);
    const double angle = std::fmod(start + turned, 360.0);
    return angle < 0 ? angle + 360.0 : angle;
}

void EncodeWithFfmpeg(const std::vector<std::vector<std::uint8_t>>& frames, int width, int height,
                      const std::string& options, const std::string& path) {
    const std::string command = "ffmpeg -v error -y -f rawvideo -pix_fmt rgb24 -s " +
                                std::to_string(width) + "x" + std::to_string(height) +
                                " -r 25 -i - " + options + " " + path;
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) throw torvi::Error("cannot run ffmpeg");
    for (const auto& frame : frames)
        std::fwrite(frame.data(), 1, frame.size(), pipe);
    if (pclose(pipe) != 0) throw torvi::Error("ffmpeg failed");
}
