#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace torvi {

// Uncompressed pixels in a Windows bitmap header.
inline constexpr std::uint32_t BI_RGB = 0;

// The header of a Windows device-independent bitmap (BITMAPINFOHEADER), the
// way a capture window is told which pictures its driver should deliver.
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
};

// Size in bytes of the header on the wire, and of the format block the
// capture dialog sends: the header and one colour entry that carries no
// meaning.
inline constexpr std::size_t BitmapInfoHeaderSize = 40;
inline constexpr std::size_t VideoFormatBlockSize = 44;

// Picture size of a capture device's frames, as the program receives and
// records them: 16-bit 5-5-5 pixels.
struct CaptureFormat {
    int Width = 320;
    int Height = 240;
    bool operator==(const CaptureFormat&) const = default;
};

// The header asking for uncompressed 16-bit pictures of the given size.
BitmapInfoHeader RgbVideoFormat(int width, int height);

// The header little-endian, followed by a zero colour entry.
std::array<std::uint8_t, VideoFormatBlockSize> VideoFormatBlock(const BitmapInfoHeader& header);

// Reads a format block as a capture driver receives it. Throws Error with the
// reason when the block is too short or asks for something the program's
// capture does not deliver (anything but uncompressed 16-bit pictures stored
// from the bottom, of an even width up to MaxCaptureDimension).
CaptureFormat ParseVideoFormat(const std::uint8_t* data, std::size_t length);

inline constexpr int MaxCaptureDimension = 4096;

} // namespace torvi
