#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace torvi {

// True when the file holds a Truevision TGA picture: a TGA 2.0 footer, or a
// header whose every field is one a TGA writer produces. TGA has no magic
// number, so the test is strict to keep it from claiming other files.
bool IsTga(const std::uint8_t* data, std::size_t size);

// Decodes a TGA file held in memory: colour-mapped, true-colour and grey
// pictures, raw or run-length encoded, at 8, 15, 16, 24 or 32 bits, in any of
// the four origins. Throws Error for anything it cannot read soundly.
Bitmap DecodeTga(const std::uint8_t* data, std::size_t size);

} // namespace torvi
