#include "video/AVIProc.h"

#include "Error.h"

#include <cstring>
#include <unordered_map>

namespace torvi {

namespace {

std::uint16_t ReadU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t ReadU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// Shifts behave as on the 32-bit processors the DIB layouts were made for:
// the count is taken modulo 32, so odd masks give odd colours but never
// undefined behaviour.
std::uint32_t Shr(std::uint32_t v, int count) {
    return v >> (static_cast<unsigned>(count) & 31u);
}
std::uint32_t Shl(std::uint32_t v, int count) {
    return v << (static_cast<unsigned>(count) & 31u);
}

struct DibHeader {
    std::int32_t Width = 0;
    std::int32_t Height = 0;
    int BitCount = 0;
    std::uint32_t Compression = 0;
    std::uint32_t ClrUsed = 0;
};

DibHeader ReadHeader(std::span<const std::uint8_t> dib) {
    if (dib.size() < DibHeaderSize) throw Error(BitmapNotValid);
    const BitmapInfoHeader header = BitmapInfoHeader::Read(dib.data());
    DibHeader h;
    h.Width = header.Width;
    h.Height = header.Height;
    h.BitCount = header.BitCount;
    h.Compression = header.Compression;
    h.ClrUsed = header.ClrUsed;
    return h;
}

std::uint64_t ColourTableLength(const DibHeader& h) {
    if (h.ClrUsed != 0) return h.ClrUsed;
    return std::uint64_t{1} << h.BitCount;
}

bool Converted(const DibHeader& h) {
    if (h.Compression >= 4) return false;
    switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
        return true;
    case 24:
        return h.Compression == BI_RGB;
    case 32:
        return h.Compression == BI_RGB || h.Compression == BI_BITFIELDS;
    default:
        return false;
    }
}

// The bytes of `region` from `offset` on, checked to hold `needed` bytes.
const std::uint8_t* Rows(std::span<const std::uint8_t> region, std::uint64_t offset,
                         std::uint64_t needed) {
    if (offset > region.size() || needed > region.size() - offset) throw Error(BitmapNotValid);
    return region.data() + offset;
}

void PutEntry(std::uint8_t* out, const std::uint8_t* table, std::uint64_t length, unsigned index) {
    if (index < length) {
        const std::uint8_t* entry = table + 4 * static_cast<std::size_t>(index);
        out[0] = entry[0];
        out[1] = entry[1];
        out[2] = entry[2];
    } else {
        out[0] = out[1] = out[2] = 0;
    }
}

} // namespace

int MaskBitCount(std::uint32_t mask) {
    if (mask == 0) return 0;
    int bit = 0;
    while (bit < 31 && ((mask >> bit) & 1u) == 0)
        ++bit;
    int count = 0;
    while (bit <= 31 && ((mask >> bit) & 1u) != 0) {
        ++count;
        ++bit;
    }
    return count;
}

int DIBToBitmap(std::span<const std::uint8_t> dib, Bitmap& bitmap,
                std::span<const std::uint8_t> separateRows) {
    const DibHeader h = ReadHeader(dib);
    if (h.Width < 0) throw Error(BitmapNotValid);
    const bool topDown = h.Height < 0;
    const std::int64_t rowCount = topDown ? -static_cast<std::int64_t>(h.Height) : h.Height;
    const int width = h.Width;
    const PixelFormat format = h.BitCount == 1 ? PixelFormat::Pf1Bit : PixelFormat::Pf24Bit;
    CheckPictureSize(width, rowCount, static_cast<int>(format), BitmapNotValid);
    const int height = static_cast<int>(rowCount);
    const std::uint64_t stride =
        ((static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(h.BitCount) + 31) / 32) *
        4;
    const std::uint64_t rowBytes = stride * static_cast<std::uint64_t>(height);
    const bool separate = separateRows.data() != nullptr;
    const std::span<const std::uint8_t> rowsRegion = separate ? separateRows : dib;
    const std::uint64_t rowsStart = separate ? 0 : DibHeaderSize;

    // Everything the conversion will read is located and checked before the
    // bitmap is touched.
    const bool converted = Converted(h);
    const std::uint8_t* src = nullptr;
    const std::uint8_t* table = nullptr;
    std::uint64_t tableLength = 0;
    std::uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
    if (converted) {
        switch (h.BitCount) {
        case 24:
            src = Rows(rowsRegion, rowsStart, rowBytes);
            break;
        case 32:
            src = Rows(dib, DibHeaderSize + (h.Compression == BI_BITFIELDS ? 12 : 0), rowBytes);
            break;
        case 16:
            if (h.Compression == BI_BITFIELDS) {
                // The masks sit at the start of the pixel data, wherever that is.
                const std::uint8_t* m = Rows(rowsRegion, rowsStart, 12 + rowBytes);
                for (int i = 0; i < 3; ++i)
                    masks[i] = ReadU32(m + 4 * i);
                src = m + 12;
            } else {
                src = Rows(rowsRegion, rowsStart, rowBytes);
            }
            break;
        case 8:
        case 4:
            tableLength = ColourTableLength(h);
            table = Rows(dib, DibHeaderSize, 4 * tableLength);
            src = separate ? Rows(separateRows, 0, rowBytes)
                           : Rows(dib, DibHeaderSize + 4 * tableLength, rowBytes);
            break;
        case 1:
            src = separate ? Rows(separateRows, 0, rowBytes)
                           : Rows(dib, DibHeaderSize + 4 * ColourTableLength(h), rowBytes);
            break;
        }
    }

    // Made small before the format changes so no full-size picture is
    // converted between formats. A film read frame by frame hands in the
    // previous frame's bitmap: it is reused when every byte is overwritten.
    const bool reuse = converted && (h.BitCount == 24 || h.BitCount == 1) &&
                       bitmap.Format() == format && bitmap.Width() == width &&
                       bitmap.Height() == height;
    if (!reuse) {
        bitmap.Assign(1, 1, format);
        bitmap.Assign(width, height, format);
    }
    if (format == PixelFormat::Pf1Bit) bitmap.SetPalette({{0, 0, 0, 0}, {255, 255, 255, 0}});
    if (!converted) {
        bitmap.Fill(255);
        return h.BitCount;
    }

    for (int i = 0; i < height; ++i, src += stride) {
        std::uint8_t* out = bitmap.ScanLine(topDown ? i : height - 1 - i);
        switch (h.BitCount) {
        case 24:
        case 1:
            std::memcpy(out, src, stride);
            break;
        case 32:
            for (int x = 0; x < width; ++x, out += 3)
                std::memcpy(out, src + 4 * x, 3);
            break;
        case 16: {
            const int nR = MaskBitCount(masks[0]);
            const int nG = MaskBitCount(masks[1]);
            const int nB = MaskBitCount(masks[2]);
            const int shiftR = nB + nG - (8 - nR);
            const int shiftG = nB - (8 - nG);
            const int shiftB = 8 - nB;
            for (int x = 0; x < width; ++x, out += 3) {
                const std::uint32_t v = ReadU16(src + 2 * x);
                out[2] = static_cast<std::uint8_t>(Shr(v & masks[0], shiftR));
                out[1] = static_cast<std::uint8_t>(Shr(v & masks[1], shiftG));
                out[0] = static_cast<std::uint8_t>(Shl((v & 0xFFu) & (masks[2] & 0xFFu), shiftB));
            }
            break;
        }
        case 8:
            for (int x = 0; x < width; ++x, out += 3)
                PutEntry(out, table, tableLength, src[x]);
            break;
        case 4:
            for (int x = 0; x < width; ++x, out += 3) {
                const std::uint8_t b = src[x >> 1];
                PutEntry(out, table, tableLength, (x & 1) ? (b & 0x0Fu) : (b >> 4u));
            }
            break;
        }
    }
    return h.BitCount;
}

std::vector<PaletteEntry> DibColourTable(std::span<const std::uint8_t> dib) {
    const DibHeader h = ReadHeader(dib);
    std::vector<PaletteEntry> colours;
    if (h.BitCount > 8) return colours;
    const std::uint64_t present = (dib.size() - DibHeaderSize) / 4;
    const std::uint64_t length = std::min(ColourTableLength(h), present);
    colours.resize(static_cast<std::size_t>(length));
    for (std::size_t i = 0; i < colours.size(); ++i) {
        const std::uint8_t* e = dib.data() + DibHeaderSize + 4 * i;
        colours[i] = {e[0], e[1], e[2], e[3]};
    }
    return colours;
}

namespace {

// Index of the entry nearest to the colour (the first of equals); film
// frames almost always hit an entry exactly.
std::uint8_t NearestEntry(const std::vector<PaletteEntry>& palette, std::size_t used,
                          const std::uint8_t* bgr) {
    std::size_t best = 0;
    int bestDistance = -1;
    for (std::size_t i = 0; i < used; ++i) {
        const int db = bgr[0] - palette[i].Blue;
        const int dg = bgr[1] - palette[i].Green;
        const int dr = bgr[2] - palette[i].Red;
        const int d = db * db + dg * dg + dr * dr;
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
            if (d == 0) break;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void ToPaletteFormat(Bitmap& bitmap, int bits, const std::vector<PaletteEntry>& colours) {
    const std::size_t size = std::size_t{1} << bits;
    std::vector<PaletteEntry> palette(
        colours.begin(),
        colours.begin() + static_cast<std::ptrdiff_t>(std::min(size, colours.size())));
    if (palette.empty()) palette = GreyPalette(bits);
    const std::size_t used = palette.size();
    palette.resize(size);
    Bitmap out(bitmap.Width(), bitmap.Height(),
               bits == 4 ? PixelFormat::Pf4Bit : PixelFormat::Pf8Bit);
    std::unordered_map<std::uint32_t, std::uint8_t> cache;
    std::uint32_t lastColour = 0xFFFFFFFFu;
    std::uint8_t lastIndex = 0;
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* src = bitmap.ScanLine(y);
        std::uint8_t* dst = out.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, src += 3) {
            const std::uint32_t colour = src[0] | (src[1] << 8u) | (src[2] << 16u);
            if (colour != lastColour) {
                const auto [it, added] = cache.try_emplace(colour, std::uint8_t{0});
                if (added) it->second = NearestEntry(palette, used, src);
                lastColour = colour;
                lastIndex = it->second;
            }
            if (bits == 8) {
                dst[x] = lastIndex;
            } else if (x & 1) {
                dst[x >> 1] = static_cast<std::uint8_t>(dst[x >> 1] | lastIndex);
            } else {
                dst[x >> 1] = static_cast<std::uint8_t>(lastIndex << 4);
            }
        }
    }
    out.SetPalette(std::move(palette));
    bitmap = std::move(out);
}

void ToWordFormat(Bitmap& bitmap, bool sixBitGreen) {
    Bitmap out(bitmap.Width(), bitmap.Height(),
               sixBitGreen ? PixelFormat::Pf16Bit : PixelFormat::Pf15Bit);
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* src = bitmap.ScanLine(y);
        std::uint8_t* dst = out.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, src += 3, dst += 2) {
            const unsigned b = src[0] >> 3u;
            const unsigned v = sixBitGreen ? ((src[2] >> 3u) << 11u) | ((src[1] >> 2u) << 5u) | b
                                           : ((src[2] >> 3u) << 10u) | ((src[1] >> 3u) << 5u) | b;
            dst[0] = static_cast<std::uint8_t>(v);
            dst[1] = static_cast<std::uint8_t>(v >> 8u);
        }
    }
    bitmap = std::move(out);
}

} // namespace

void SetFrameDepth(Bitmap& bitmap, int depth, const std::vector<PaletteEntry>& colours) {
    if (depth == 1) {
        if (bitmap.Format() != PixelFormat::Pf1Bit) return;
        std::vector<PaletteEntry> palette = bitmap.Palette();
        for (std::size_t i = 0; i < palette.size() && i < colours.size(); ++i)
            palette[i] = colours[i];
        bitmap.SetPalette(std::move(palette));
        return;
    }
    if (bitmap.Format() != PixelFormat::Pf24Bit) return;
    switch (depth) {
    case 4:
    case 8:
        ToPaletteFormat(bitmap, depth, colours);
        break;
    case 15:
    case 16:
        ToWordFormat(bitmap, depth == 16);
        break;
    case 32: {
        Bitmap out(bitmap.Width(), bitmap.Height(), PixelFormat::Pf32Bit);
        for (int y = 0; y < bitmap.Height(); ++y) {
            const std::uint8_t* src = bitmap.ScanLine(y);
            std::uint8_t* dst = out.ScanLine(y);
            for (int x = 0; x < bitmap.Width(); ++x, src += 3, dst += 4)
                std::memcpy(dst, src, 3);
        }
        bitmap = std::move(out);
        break;
    }
    default:
        break;
    }
}

} // namespace torvi
