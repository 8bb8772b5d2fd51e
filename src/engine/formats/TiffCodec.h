#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvi {

// True when the data starts with a little- or big-endian TIFF (or BigTIFF)
// header.
bool IsTiff(const std::uint8_t* data, std::size_t size);

// Decodes the first picture of a TIFF file held in memory with libtiff, in
// strips or tiles and any compression libtiff reads. Palette pictures come as
// 1, 4 or 8 bits with their palette; grey as 1 bit (bilevel) or 8 bits with a
// grey palette; RGB as 24 bits; grey or colour with alpha as 32 bits; CMYK,
// YCbCr and the other colour models through libtiff's RGBA reader as 24 or 32
// bits. Samples of 16 bits are rounded to 8. libtiff's messages never reach
// the terminal: an error is thrown as Error with libtiff's text.
Bitmap DecodeTiff(const std::uint8_t* data, std::size_t size);

// Encodes a picture as an LZW-compressed TIFF file: 1, 4 and 8 bits as
// palette pictures, 24 bits as RGB, 32 bits as RGB with the fourth byte as
// unassociated alpha, and 15 and 16 bits as RGB at 8 bits per channel
// (TIFF has no 5-bit layout). Throws Error when libtiff refuses.
std::vector<std::uint8_t> EncodeTiff(const Bitmap& bitmap);

} // namespace torvi
