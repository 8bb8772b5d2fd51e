#include "video/DisplayOrientation.h"

extern "C" {
#include <libavutil/display.h>
}

#include <cmath>

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

} // namespace torvi
