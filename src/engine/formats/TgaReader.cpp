#include "TgaReader.h"

#include "Error.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace torvi {

namespace {

constexpr std::size_t HeaderSize = 18;
constexpr const char* NotValid = "TGA image is not valid";
constexpr const char* Truncated = "TGA image is truncated";

unsigned U16(const std::uint8_t* p) {
    return p[0] | (static_cast<unsigned>(p[1]) << 8);
}

struct TgaHeader {
    unsigned IdLength = 0;
    unsigned MapType = 0;
    unsigned ImageType = 0;
    unsigned MapStart = 0;
    unsigned MapLength = 0;
    unsigned MapDepth = 0;
    int Width = 0;
    int Height = 0;
    unsigned Depth = 0;
    unsigned Descriptor = 0;

    bool Encoded() const { return ImageType >= 9; }
    unsigned BaseType() const { return ImageType & 7u; }
    std::size_t MapBytes() const {
        return MapType == 1 ? static_cast<std::size_t>(MapLength) * ((MapDepth + 7) / 8) : 0;
    }
};

TgaHeader ReadHeader(const std::uint8_t* p) {
    TgaHeader h;
    h.IdLength = p[0];
    h.MapType = p[1];
    h.ImageType = p[2];
    h.MapStart = U16(p + 3);
    h.MapLength = U16(p + 5);
    h.MapDepth = p[7];
    h.Width = static_cast<int>(U16(p + 12));
    h.Height = static_cast<int>(U16(p + 14));
    h.Depth = p[16];
    h.Descriptor = p[17];
    return h;
}

bool IsMapDepth(unsigned depth) {
    return depth == 15 || depth == 16 || depth == 24 || depth == 32;
}

// The fields that both the content test and the decoder insist on.
bool IsReadable(const TgaHeader& h, std::size_t size) {
    if (h.MapType > 1 || h.Width == 0 || h.Height == 0 || (h.Descriptor & 0xC0u) != 0) return false;
    if (h.MapType == 1 && (!IsMapDepth(h.MapDepth) || h.MapLength == 0)) return false;
    switch (h.ImageType) {
    case 1:
    case 9:
        if (h.MapType != 1 || h.Depth != 8) return false;
        break;
    case 2:
    case 10:
        if (!IsMapDepth(h.Depth)) return false;
        break;
    case 3:
    case 11:
        if (h.Depth != 8) return false;
        break;
    default:
        return false;
    }
    return HeaderSize + h.IdLength + h.MapBytes() <= size;
}

bool HasFooter(const std::uint8_t* data, std::size_t size) {
    static const char Signature[] = "TRUEVISION-XFILE.";
    return size >= HeaderSize + 26 && std::memcmp(data + size - 18, Signature, 18) == 0;
}

PaletteEntry MapEntry(const std::uint8_t* p, unsigned depth) {
    PaletteEntry e;
    if (depth <= 16) {
        const unsigned v = U16(p);
        auto scale = [](unsigned five) {
            return static_cast<std::uint8_t>((five * 255 + 15) / 31);
        };
        e.Red = scale((v >> 10) & 31u);
        e.Green = scale((v >> 5) & 31u);
        e.Blue = scale(v & 31u);
    } else {
        e.Blue = p[0];
        e.Green = p[1];
        e.Red = p[2];
    }
    return e;
}

// Expands the pixels in file order. Old writers let runs cross row ends, so
// the stream is one piece.
void ExpandPixels(const std::uint8_t* src, std::size_t srcSize, bool encoded,
                  std::size_t pixelBytes, std::uint8_t* out, std::size_t outSize) {
    if (!encoded) {
        if (srcSize < outSize) throw Error(Truncated);
        std::memcpy(out, src, outSize);
        return;
    }
    std::size_t in = 0;
    std::size_t done = 0;
    while (done < outSize) {
        if (in >= srcSize) throw Error(Truncated);
        const std::uint8_t packet = src[in++];
        const std::size_t bytes =
            std::min((static_cast<std::size_t>(packet & 0x7Fu) + 1) * pixelBytes, outSize - done);
        if (packet & 0x80u) {
            if (srcSize - in < pixelBytes) throw Error(Truncated);
            for (std::size_t i = 0; i < bytes; i += pixelBytes)
                std::memcpy(out + done + i, src + in, std::min(pixelBytes, bytes - i));
            in += pixelBytes;
        } else {
            if (srcSize - in < bytes) throw Error(Truncated);
            std::memcpy(out + done, src + in, bytes);
            in += bytes;
        }
        done += bytes;
    }
}

} // namespace

bool IsTga(const std::uint8_t* data, std::size_t size) {
    if (size < HeaderSize) return false;
    if (HasFooter(data, size)) return true;
    const TgaHeader h = ReadHeader(data);
    // Writers leave the map fields zero when there is no map; demanding that
    // keeps the test from accepting stray bytes of other formats.
    if (h.MapType == 0 && (h.MapStart != 0 || h.MapLength != 0 || h.MapDepth != 0)) return false;
    if ((h.Descriptor & 0x0Fu) > 8) return false;
    return IsReadable(h, size);
}

Bitmap DecodeTga(const std::uint8_t* data, std::size_t size) {
    if (size < HeaderSize) throw Error(NotValid);
    const TgaHeader h = ReadHeader(data);
    if (!IsReadable(h, size)) throw Error(NotValid);

    PixelFormat format = PixelFormat::Pf8Bit;
    if (h.BaseType() == 2)
        format = h.Depth == 32   ? PixelFormat::Pf32Bit
                 : h.Depth == 24 ? PixelFormat::Pf24Bit
                                 : PixelFormat::Pf15Bit;
    CheckPictureSize(h.Width, h.Height, static_cast<int>(format), NotValid);

    const std::size_t pixelBytes = (h.Depth + 7) / 8;
    const std::size_t pixels =
        static_cast<std::size_t>(h.Width) * static_cast<std::size_t>(h.Height);
    const std::size_t mapOffset = HeaderSize + h.IdLength;
    const std::size_t pixelOffset = mapOffset + h.MapBytes();
    const std::size_t available = size - pixelOffset;
    // A run packet of at least two bytes gives at most 128 pixels.
    if (h.Encoded() ? pixels / 64 > available : pixels * pixelBytes > available)
        throw Error(Truncated);

    std::vector<PaletteEntry> palette;
    if (h.BaseType() == 1) {
        palette.resize(256);
        const std::size_t entryBytes = (h.MapDepth + 7) / 8;
        for (unsigned i = 0; i < h.MapLength && h.MapStart + i < 256; ++i)
            palette[h.MapStart + i] = MapEntry(data + mapOffset + i * entryBytes, h.MapDepth);
    } else if (h.BaseType() == 3) {
        palette = GreyPalette(8);
    }

    std::vector<std::uint8_t> raw(pixels * pixelBytes);
    ExpandPixels(data + pixelOffset, available, h.Encoded(), pixelBytes, raw.data(), raw.size());

    Bitmap bitmap(h.Width, h.Height, format);
    if (!palette.empty()) bitmap.SetPalette(std::move(palette));
    const bool topDown = (h.Descriptor & 0x20u) != 0;
    const bool rightToLeft = (h.Descriptor & 0x10u) != 0;
    const std::size_t rowBytes = static_cast<std::size_t>(h.Width) * pixelBytes;
    for (int row = 0; row < h.Height; ++row) {
        const std::uint8_t* src = raw.data() + static_cast<std::size_t>(row) * rowBytes;
        std::uint8_t* dst = bitmap.ScanLine(topDown ? row : h.Height - 1 - row);
        if (!rightToLeft) {
            std::memcpy(dst, src, rowBytes);
        } else {
            for (std::size_t x = 0; x < static_cast<std::size_t>(h.Width); ++x)
                std::memcpy(dst + x * pixelBytes,
                            src + (static_cast<std::size_t>(h.Width) - 1 - x) * pixelBytes,
                            pixelBytes);
        }
        if (format == PixelFormat::Pf15Bit) {
            // The top bit is the attribute (alpha) bit, not colour.
            for (std::size_t x = 0; x < static_cast<std::size_t>(h.Width); ++x)
                dst[2 * x + 1] &= 0x7F;
        }
    }
    return bitmap;
}

} // namespace torvi
