#include "BitmapImage.h"

#include <cstring>

namespace torvi::gui {

QImage ToQImage(const torvi::Bitmap& bitmap) {
    if (bitmap.Empty()) return {};
    const torvi::Bitmap bgr = bitmap.ToBgr24();
    QImage image(bgr.Width(), bgr.Height(), QImage::Format_BGR888);
    const auto rowBytes = static_cast<std::size_t>(bgr.Width()) * 3;
    for (int y = 0; y < bgr.Height(); ++y)
        std::memcpy(image.scanLine(y), bgr.ScanLine(y), rowBytes);
    return image;
}

torvi::Bitmap FromQImage(const QImage& image) {
    const QImage bgr = image.convertToFormat(QImage::Format_BGR888);
    torvi::Bitmap bitmap(bgr.width(), bgr.height(), torvi::PixelFormat::Pf24Bit);
    const auto rowBytes = static_cast<std::size_t>(bgr.width()) * 3;
    for (int y = 0; y < bgr.height(); ++y)
        std::memcpy(bitmap.ScanLine(y), bgr.constScanLine(y), rowBytes);
    return bitmap;
}

} // namespace torvi::gui
