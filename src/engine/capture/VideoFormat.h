#pragma once

#include "BitmapInfoHeader.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace torvi {

// Size in bytes of the header on the wire, and of the format block the
// capture dialog sends: the header and one colour entry that carries no
// meaning.
inline constexpr std::size_t BitmapInfoHeaderSize = DibHeaderSize;
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
