#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace torvi {

// True when the data starts with the PNG signature.
bool IsPng(const std::uint8_t* data, std::size_t size);

// Decodes a PNG file held in memory, interlaced or not: palette pictures as
// 1, 4 or 8 bits with their palette (2-bit ones widened to 4), grey as 8 bits
// with a grey palette, colour as 24 bits, colour or grey with alpha (an alpha
// channel, or a transparent colour of an RGB picture) as 32 bits. 16-bit
// samples are rounded to 8 bits; gamma and background chunks are not
// applied. Throws Error with libpng's message for a damaged file.
Bitmap DecodePng(const std::uint8_t* data, std::size_t size);

} // namespace torvi
