#pragma once

#include "Bitmap.h"
#include "BitmapInfoHeader.h"

#include <cstdint>
#include <span>
#include <vector>

namespace torvi {

// Conversion of packed Windows DIBs (a 40-byte BITMAPINFOHEADER, then the
// colour table or the three BI_BITFIELDS masks, then the pixel rows) into
// Bitmaps. The film reader hands every frame through here.

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

// The colour table of a DIB of 8 bits or fewer (biClrUsed entries, or
// 2^biBitCount when biClrUsed is 0), clipped to the bytes present. Empty for
// deeper DIBs.
std::vector<PaletteEntry> DibColourTable(std::span<const std::uint8_t> dib);

// Gives a frame converted by DIBToBitmap the pixel format of the film's own
// depth: 1 bit keeps the film's two colours, 4 and 8 bits take the film's own
// colour table (each pixel the nearest entry), 15 and 16 bits pack 5-5-5 and
// 5-6-5 (exact, since the converter leaves the low bits zero), 32 bits add a
// zero fourth byte. Other depths leave the bitmap as it is.
void SetFrameDepth(Bitmap& bitmap, int depth, const std::vector<PaletteEntry>& colours);

} // namespace torvi
