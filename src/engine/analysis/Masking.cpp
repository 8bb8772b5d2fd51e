#include "Masking.h"

#include "Error.h"
#include "FrameLoader.h"
#include "GreyValue.h"

#include <vector>

namespace torvi {

Bitmap MaskingPicture(const Bitmap& frame, const Bitmap& reference,
                      const MeasurementSettings& settings) {
    CheckSettings(settings);
    if (frame.Width() != reference.Width() || frame.Height() != reference.Height() ||
        reference.Format() != PixelFormat::Pf24Bit)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    if (frame.Format() != PixelFormat::Pf24Bit)
        return MaskingPicture(frame.ToBgr24(), reference, settings);

    const PixelSquare square = MaskingSquare(settings, frame.Width(), frame.Height());
    Bitmap out;
    if (square.Empty()) return out;
    out.Assign(square.Width, square.Height, PixelFormat::Pf24Bit);

    std::vector<std::uint8_t> grey(static_cast<std::size_t>(square.Width));
    const long long radius = settings.HandRadius;
    const long long limit = radius * radius;
    for (int row = 0; row < square.Height; ++row) {
        const int y = square.Y0 + row;
        const long long dy = static_cast<long long>(y) - settings.CentreY;
        GreyRow(frame, y, square.X0, square.Width, grey.data());
        const std::uint8_t* ref = reference.ScanLine(y) + 3 * static_cast<std::size_t>(square.X0);
        std::uint8_t* dst = out.ScanLine(row);
        for (int col = 0; col < square.Width; ++col, ref += 3, dst += 3) {
            const long long dx = static_cast<long long>(square.X0 + col) - settings.CentreX;
            if (dx * dx + dy * dy > limit) continue; // Assign left it black
            const int g = grey[static_cast<std::size_t>(col)];
            for (int k = 0; k < 3; ++k)
                dst[k] = Kontrast(ref[k] - g, settings.ContrastThreshold, settings.Hand);
        }
    }
    return out;
}

} // namespace torvi
