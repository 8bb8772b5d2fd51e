#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace torvi {

// True when the data starts with a JPEG start-of-image marker.
bool IsJpeg(const std::uint8_t* data, std::size_t size);

// Decodes a JPEG file held in memory with libjpeg's default settings, at full
// size: grey pictures as 8 bits with a grey palette, colour (YCbCr, RGB, CMYK
// and YCCK) as 24 bits. Throws Error with libjpeg's message for a file it
// cannot read, and for a truncated file or damaged compressed data, which
// libjpeg would otherwise pad with grey.
Bitmap DecodeJpeg(const std::uint8_t* data, std::size_t size);

} // namespace torvi
