#pragma once

namespace torvi {

// The square of pixels around the dial centre that the masking window shows
// and the measurement examines: the centre plus and minus the radius in both
// directions, cut to the picture. X0, Y0 is its top-left pixel in the
// picture; Width and Height are 0 when nothing of it lies in the picture.
struct PixelSquare {
    int X0 = 0;
    int Y0 = 0;
    int Width = 0;
    int Height = 0;

    bool Empty() const { return Width <= 0 || Height <= 0; }
    bool operator==(const PixelSquare&) const = default;
};

// The square for a picture of width x height. Rows run from
// max(centreY - radius, 0) to min(centreY + radius, height - 1), columns
// likewise. A centre far outside the picture or a negative radius gives an
// empty square rather than an overflow.
inline PixelSquare ClippedSquare(int centreX, int centreY, int radius, int width, int height) {
    if (radius < 0 || width <= 0 || height <= 0) return {};
    const long long left = centreX - static_cast<long long>(radius);
    const long long right = centreX + static_cast<long long>(radius);
    const long long top = centreY - static_cast<long long>(radius);
    const long long bottom = centreY + static_cast<long long>(radius);
    const long long x0 = left > 0 ? left : 0;
    const long long x1 = right < width - 1 ? right : width - 1;
    const long long y0 = top > 0 ? top : 0;
    const long long y1 = bottom < height - 1 ? bottom : height - 1;
    if (x0 > x1 || y0 > y1) return {};
    return {static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(x1 - x0 + 1),
            static_cast<int>(y1 - y0 + 1)};
}

} // namespace torvi
