#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace torvi::test {

// A 24-bit picture of one grey value.
inline Bitmap GreyPicture(int width, int height, std::uint8_t grey) {
    Bitmap picture(width, height, PixelFormat::Pf24Bit);
    picture.Fill(grey);
    return picture;
}

inline void SetGrey(Bitmap& picture, int x, int y, std::uint8_t grey) {
    std::uint8_t* p = picture.ScanLine(y) + 3 * x;
    p[0] = p[1] = p[2] = grey;
}

inline std::uint8_t GreyAt(const Bitmap& picture, int x, int y) {
    return picture.ScanLine(y)[3 * x];
}

// Same size, format and pixels; the padding at the end of rows may differ.
inline bool SamePixels(const Bitmap& a, const Bitmap& b) {
    if (a.Width() != b.Width() || a.Height() != b.Height() || a.Format() != b.Format())
        return false;
    const std::size_t bytes = (static_cast<std::size_t>(a.Width()) * a.BitsPerPixel() + 7) / 8;
    for (int y = 0; y < a.Height(); ++y)
        if (std::memcmp(a.ScanLine(y), b.ScanLine(y), bytes) != 0) return false;
    return true;
}

} // namespace torvi::test
