#include "PcxReader.h"

#include "Error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>
#include <vector>

namespace torvi {

namespace {

constexpr std::size_t HeaderSize = 128;
constexpr std::size_t PaletteSize = 769; // the 0x0C marker and 256 RGB triplets
constexpr const char* NotValid = "PCX image is not valid";
constexpr const char* Truncated = "PCX image is truncated";

// The colours of version 3 files, which carry no palette of their own.
constexpr std::array<std::uint32_t, 16> EgaColours = {
    0x000000, 0x0000AA, 0x00AA00, 0x00AAAA, 0xAA0000, 0xAA00AA, 0xAA5500, 0xAAAAAA,
    0x555555, 0x5555FF, 0x55FF55, 0x55FFFF, 0xFF5555, 0xFF55FF, 0xFFFF55, 0xFFFFFF};

unsigned U16(const std::uint8_t* p) {
    return p[0] | (static_cast<unsigned>(p[1]) << 8);
}

std::vector<PaletteEntry> RgbTriplets(const std::uint8_t* p, std::size_t count) {
    std::vector<PaletteEntry> palette(count);
    for (auto& entry : palette) {
        entry.Red = p[0];
        entry.Green = p[1];
        entry.Blue = p[2];
        p += 3;
    }
    return palette;
}

std::vector<PaletteEntry> SixteenColours(const std::uint8_t* header) {
    if (header[1] != 3) return RgbTriplets(header + 16, 16);
    std::vector<PaletteEntry> palette(16);
    for (std::size_t i = 0; i < 16; ++i) {
        palette[i].Red = static_cast<std::uint8_t>(EgaColours[i] >> 16);
        palette[i].Green = static_cast<std::uint8_t>(EgaColours[i] >> 8);
        palette[i].Blue = static_cast<std::uint8_t>(EgaColours[i]);
    }
    return palette;
}

// Expands the whole picture's plane rows and gives the number of input bytes
// used. The runs of some writers cross row ends, so the stream is expanded as
// one piece rather than row by row.
std::size_t Expand(const std::uint8_t* src, std::size_t srcSize, bool encoded, std::uint8_t* out,
                   std::size_t outSize) {
    if (!encoded) {
        if (srcSize < outSize) throw Error(Truncated);
        std::memcpy(out, src, outSize);
        return outSize;
    }
    std::size_t in = 0;
    std::size_t done = 0;
    while (done < outSize) {
        if (in >= srcSize) throw Error(Truncated);
        std::uint8_t value = src[in++];
        std::size_t count = 1;
        if ((value & 0xC0) == 0xC0) {
            if (in >= srcSize) throw Error(Truncated);
            count = value & 0x3Fu;
            value = src[in++];
        }
        count = std::min(count, outSize - done);
        std::memset(out + done, value, count);
        done += count;
    }
    return in;
}

// Clears the bits of the last byte that lie beyond the picture's width, so
// equal pictures have equal bytes.
void CopyPackedRow(std::uint8_t* dst, const std::uint8_t* src, int width, int bits) {
    const std::size_t usedBits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bits);
    const std::size_t bytes = (usedBits + 7) / 8;
    std::memcpy(dst, src, bytes);
    if (usedBits % 8 != 0) dst[bytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (usedBits % 8));
}

} // namespace

bool IsPcx(const std::uint8_t* data, std::size_t size) {
    if (size < HeaderSize || data[0] != 0x0A) return false;
    const std::uint8_t version = data[1];
    const std::uint8_t bits = data[3];
    return (version == 0 || (version >= 2 && version <= 5)) && data[2] <= 1 &&
           (bits == 1 || bits == 2 || bits == 4 || bits == 8) && data[65] >= 1 && data[65] <= 4;
}

Bitmap DecodePcx(const std::uint8_t* data, std::size_t size) {
    if (!IsPcx(data, size)) throw Error(NotValid);
    const int bits = data[3];
    const int planes = data[65];
    const std::size_t bytesPerLine = U16(data + 66);
    const long long xMin = U16(data + 4), yMin = U16(data + 6);
    const long long xMax = U16(data + 8), yMax = U16(data + 10);
    if (xMax < xMin || yMax < yMin) throw Error(NotValid);
    const int width = static_cast<int>(xMax - xMin + 1);
    const int height = static_cast<int>(yMax - yMin + 1);

    PixelFormat format;
    if (bits == 1 && planes == 1)
        format = PixelFormat::Pf1Bit;
    else if ((bits == 1 && planes == 4) || (bits == 4 && planes == 1))
        format = PixelFormat::Pf4Bit;
    else if (bits == 8 && planes == 1)
        format = PixelFormat::Pf8Bit;
    else if (bits == 8 && planes == 3)
        format = PixelFormat::Pf24Bit;
    else if (bits == 8 && planes == 4)
        format = PixelFormat::Pf32Bit;
    else
        throw Error("PCX image has an unsupported layout (" + std::to_string(bits) + " bits in " +
                    std::to_string(planes) + " planes)");
    if (bytesPerLine * 8 < static_cast<std::size_t>(width) * static_cast<std::size_t>(bits))
        throw Error(NotValid);
    CheckPictureSize(width, height, static_cast<int>(format), NotValid);

    // An 8-bit picture keeps its palette after the pixels, behind a 0x0C byte;
    // without one the picture is taken as grey.
    std::size_t pixelEnd = size;
    std::vector<PaletteEntry> palette;
    if (format == PixelFormat::Pf8Bit) {
        if (size >= HeaderSize + PaletteSize && data[size - PaletteSize] == 0x0C) {
            pixelEnd = size - PaletteSize;
            palette = RgbTriplets(data + pixelEnd + 1, 256);
        } else {
            palette = GreyPalette(8);
        }
    } else if (format == PixelFormat::Pf4Bit) {
        palette = SixteenColours(data);
    } else if (format == PixelFormat::Pf1Bit) {
        palette = GreyPalette(1);
    }

    // Each byte of run-length data gives at most 63 bytes, so a picture
    // larger than that is truncated, and found so before any allocation.
    const bool encoded = data[2] == 1;
    const std::size_t available = pixelEnd - HeaderSize;
    const std::size_t lineBytes = bytesPerLine * static_cast<std::size_t>(planes);
    const std::size_t total = lineBytes * static_cast<std::size_t>(height);
    if (total / (encoded ? 63 : 1) > available) throw Error(Truncated);
    std::vector<std::uint8_t> lines(total);
    const std::size_t used = Expand(data + HeaderSize, available, encoded, lines.data(), total);
    // A palette marker right after the pixels of a file without a whole
    // palette at its end means the palette was cut off.
    if (format == PixelFormat::Pf8Bit && pixelEnd == size && used < available &&
        data[HeaderSize + used] == 0x0C)
        throw Error(Truncated);

    Bitmap bitmap(width, height, format);
    if (!palette.empty()) bitmap.SetPalette(std::move(palette));
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* line = lines.data() + static_cast<std::size_t>(y) * lineBytes;
        std::uint8_t* dst = bitmap.ScanLine(y);
        if (planes == 1) {
            CopyPackedRow(dst, line, width, bits);
        } else if (bits == 1) {
            for (int x = 0; x < width; ++x) {
                const std::size_t byte = static_cast<std::size_t>(x) >> 3;
                const int shift = 7 - (x & 7);
                unsigned index = 0;
                for (int p = 0; p < 4; ++p)
                    index |=
                        ((line[static_cast<std::size_t>(p) * bytesPerLine + byte] >> shift) & 1u)
                        << p;
                dst[x >> 1] |= static_cast<std::uint8_t>((x & 1) ? index : index << 4);
            }
        } else {
            const std::size_t step = static_cast<std::size_t>(planes);
            for (std::size_t x = 0; x < static_cast<std::size_t>(width); ++x) {
                dst[x * step] = line[2 * bytesPerLine + x];
                dst[x * step + 1] = line[bytesPerLine + x];
                dst[x * step + 2] = line[x];
                if (planes == 4) dst[x * step + 3] = line[3 * bytesPerLine + x];
            }
        }
    }
    return bitmap;
}

} // namespace torvi
