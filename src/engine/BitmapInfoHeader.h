#pragma once

#include <cstddef>
#include <cstdint>

namespace torvi {

// Compression values of a Windows bitmap header.
inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_RLE8 = 1;
inline constexpr std::uint32_t BI_RLE4 = 2;
inline constexpr std::uint32_t BI_BITFIELDS = 3;
inline constexpr std::uint32_t BI_ALPHABITFIELDS = 6;

// Size of the BITMAPINFOHEADER on the wire; in a packed DIB the colour table
// or the three BI_BITFIELDS masks always start here.
inline constexpr std::size_t DibHeaderSize = 40;

// The header of a Windows device-independent bitmap (BITMAPINFOHEADER): the
// one place that knows its little-endian layout, for film frames, capture
// formats and packed DIBs alike.
struct BitmapInfoHeader {
    std::uint32_t Size = 40;
    std::int32_t Width = 0;
    std::int32_t Height = 0; // positive: rows stored from the bottom
    std::uint16_t Planes = 1;
    std::uint16_t BitCount = 16;
    std::uint32_t Compression = BI_RGB;
    std::uint32_t SizeImage = 0;
    std::int32_t XPelsPerMeter = 0;
    std::int32_t YPelsPerMeter = 0;
    std::uint32_t ClrUsed = 0;
    std::uint32_t ClrImportant = 0;

    bool operator==(const BitmapInfoHeader&) const = default;

    // Reads the DibHeaderSize bytes at `data`; the caller checks they are there.
    static BitmapInfoHeader Read(const std::uint8_t* data);
    // Writes the header's DibHeaderSize bytes to `out`.
    void Write(std::uint8_t* out) const;
};

} // namespace torvi
