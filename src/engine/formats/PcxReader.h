#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace torvi {

// True when the leading bytes look like a ZSoft Paintbrush (PCX) header.
bool IsPcx(const std::uint8_t* data, std::size_t size);

// Decodes a PCX file held in memory (versions 0 to 5, raw or run-length
// encoded): 1 bit in one plane, 4 bits in one or four planes, 8 bits with the
// 256-colour palette at the end, and 24 or 32 bits in three or four planes.
// Throws Error for anything it cannot read soundly, a truncated file included.
Bitmap DecodePcx(const std::uint8_t* data, std::size_t size);

} // namespace torvi
