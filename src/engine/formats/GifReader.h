#pragma once

#include "Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace torvi {

// True when the data starts with a GIF87a or GIF89a signature.
bool IsGif(const std::uint8_t* data, std::size_t size);

// Decodes the first image of a GIF file held in memory onto an 8-bit picture
// of the file's logical screen, with the image's colour table as palette.
// Screen pixels the image does not cover take the screen's background
// colour. A file without any image gives an empty Bitmap. Throws Error with
// giflib's message for a damaged file.
Bitmap DecodeGif(const std::uint8_t* data, std::size_t size);

} // namespace torvi
