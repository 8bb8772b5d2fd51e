#include "video/DisplayOrientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <cmath>
#include <cstring>

namespace torvi {

DisplayOrientation DisplayOrientation::FromDisplayMatrix(const std::int32_t* matrix) {
    DisplayOrientation o;
    if (!matrix) return o;
    double theta = -av_display_rotation_get(matrix);
    if (std::isnan(theta)) return o;
    theta -= 360.0 * std::floor(theta / 360.0 + 0.9 / 360.0);
    const auto near = [&](double angle) { return std::fabs(theta - angle) < 1.0; };
    if (near(90)) {
        // Turned clockwise, or mirrored across the diagonal.
        o.Transpose = true;
        o.FlipY = matrix[3] <= 0;
    } else if (near(180)) {
        o.FlipX = matrix[0] < 0;
        o.FlipY = matrix[4] < 0;
    } else if (near(270)) {
        o.Transpose = true;
        o.FlipX = true;
        o.FlipY = matrix[3] < 0;
    } else if (near(0) || near(360)) {
        o.FlipY = matrix[4] < 0;
    }
    return o;
}

void DisplayOrientation::Turn(const Bitmap& in, Bitmap& out) const {
    if (in.BitsPerPixel() < 8) {
        out = in;
        return;
    }
    const int inWidth = in.Width();
    const int inHeight = in.Height();
    const int outWidth = ShownWidth(inWidth, inHeight);
    const int outHeight = ShownHeight(inWidth, inHeight);
    if (out.Width() != outWidth || out.Height() != outHeight || out.Format() != in.Format())
        out.Assign(outWidth, outHeight, in.Format());
    out.SetPalette(in.Palette());
    const std::size_t pixel = (static_cast<std::size_t>(in.BitsPerPixel()) + 7) / 8;
    for (int y = 0; y < outHeight; ++y) {
        std::uint8_t* dst = out.ScanLine(y);
        for (int x = 0; x < outWidth; ++x) {
            int sx = Transpose ? y : x;
            int sy = Transpose ? x : y;
            if (FlipX) sx = inWidth - 1 - sx;
            if (FlipY) sy = inHeight - 1 - sy;
            std::memcpy(dst + pixel * static_cast<std::size_t>(x),
                        in.ScanLine(sy) + pixel * static_cast<std::size_t>(sx), pixel);
        }
    }
}

} // namespace torvi
