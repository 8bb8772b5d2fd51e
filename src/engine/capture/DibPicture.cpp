#include "capture/DibPicture.h"

#include "Error.h"

#include <cstring>

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

} // namespace torvi
