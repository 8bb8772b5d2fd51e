#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvi {

// Decodes a Windows or OS/2 bitmap file held in memory into its own pixel
// format and palette. Throws Error("Bitmap image is not valid") for anything
// it cannot read soundly.
Bitmap DecodeBmp(const std::uint8_t* data, std::size_t size);

// Encodes a picture as a BMP file in its own pixel format: file header,
// 40-byte info header (with bit-field masks for 16 bits), colour table for
// 8 bits or fewer, rows bottom-up.
std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap);

} // namespace torvi
