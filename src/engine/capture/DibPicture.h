#pragma once

#include "Bitmap.h"
#include "BitmapInfoHeader.h"

#include <cstdint>
#include <span>

namespace torvi {

// Conversion of packed Windows DIBs (a 40-byte BITMAPINFOHEADER, then the
// colour table or the three BI_BITFIELDS masks, then the pixel rows) into
// Bitmaps, as capture drivers hand their pictures over.

// The number of consecutive set bits of the mask, counted upward from its
// lowest set bit (from bit 31 when none of bits 0 to 30 is set). 0 for 0.
int MaskBitCount(std::uint32_t mask);

// Fills the bitmap from the packed DIB and returns its biBitCount.
// The bitmap becomes 1 bit (black 0, white 1, whatever the DIB's own table
// says) for 1-bit DIBs and 24 bits for every other depth. When separateRows
// is not empty its bytes are the pixel rows instead of those after the header
// (32-bit DIBs always use the rows after the header). Layouts it does not
// convert (compression 4 or more, 24 bits not BI_RGB, 32 bits neither BI_RGB
// nor BI_BITFIELDS, depths other than 1, 4, 8, 16, 24, 32) leave the sized
// bitmap white. A negative biHeight is read as rows stored from the top.
// Throws Error when the header or the rows it announces do not fit the bytes
// given, or the size is absurd; the bitmap is untouched then.
int DIBToBitmap(std::span<const std::uint8_t> dib, Bitmap& bitmap,
                std::span<const std::uint8_t> separateRows = {});

} // namespace torvi
