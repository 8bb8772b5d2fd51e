#include "RegisteredBackground.h"

#include "Calibration.h"
#include "Error.h"
#include "GreyValue.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace torvi {

void RegisteredBackground::Fold(const Bitmap& sample) {
    if (sample.Format() != PixelFormat::Pf24Bit) {
        Fold(sample.ToBgr24());
        return;
    }
    if (!registration_) {
        FoldCalibrationFrame(picture_, sample, true, settings_.Hand);
        anchor_ = picture_;
        registration_ = std::make_unique<FrameRegistration>(anchor_, settings_);
        return;
    }
    if (sample.Width() != picture_.Width() || sample.Height() != picture_.Height())
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    const Registration at = registration_->Register(sample);
    if (at.Still()) {
        FoldCalibrationFrame(picture_, sample, false, settings_.Hand);
        return;
    }
    const int w = sample.Width(), h = sample.Height();
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    for (int y = 0; y < h; ++y)
        GreyRow(sample, y, 0, w,
                grey.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(w));
    const bool dark = settings_.Hand == HandColour::Dark;
    // The sample's pixel (x + shift) shows the background's pixel x.
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = picture_.ScanLine(y);
        const double sy = std::clamp(y + at.ShiftY, 0.0, h - 1.0);
        const int y0 = std::min(static_cast<int>(sy), std::max(h - 2, 0));
        const int y1 = std::min(y0 + 1, h - 1);
        const double fy = sy - y0;
        for (int x = 0; x < w; ++x) {
            const double sx = std::clamp(x + at.ShiftX, 0.0, w - 1.0);
            const int x0 = std::min(static_cast<int>(sx), std::max(w - 2, 0));
            const int x1 = std::min(x0 + 1, w - 1);
            const double fx = sx - x0;
            const auto g = [&](int px, int py) {
                return static_cast<double>(
                    grey[static_cast<std::size_t>(py) * static_cast<std::size_t>(w) +
                         static_cast<std::size_t>(px)]);
            };
            const double v = ((1 - fy) * ((1 - fx) * g(x0, y0) + fx * g(x1, y0)) +
                              fy * ((1 - fx) * g(x0, y1) + fx * g(x1, y1))) /
                             at.Gain;
            const auto value = static_cast<std::uint8_t>(std::clamp(std::lround(v), 0L, 255L));
            std::uint8_t& kept = row[3 * static_cast<std::size_t>(x)];
            const std::uint8_t folded = dark ? std::max(kept, value) : std::min(kept, value);
            row[3 * static_cast<std::size_t>(x)] = row[3 * static_cast<std::size_t>(x) + 1] =
                row[3 * static_cast<std::size_t>(x) + 2] = folded;
        }
    }
}

} // namespace torvi
