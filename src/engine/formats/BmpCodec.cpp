#include "formats/BmpCodec.h"

#include "BitmapInfoHeader.h"
#include "Error.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace torvi {

namespace {

constexpr std::size_t FileHeaderSize = 14;
constexpr std::uint32_t CoreHeaderSize = 12; // OS/2 1.x and Windows BITMAPCOREHEADER
constexpr std::uint32_t InfoHeaderSize = 40; // BITMAPINFOHEADER

[[noreturn]] void NotValid() {
    throw Error(BitmapNotValid);
}

// Bytes that hold the pixels of one row, without the padding.
std::size_t RowBytes(int width, int bits) {
    return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bits) + 7) / 8;
}

// Little-endian fields of a file held in memory; every read is checked
// against the end of the data, so a short or lying header ends in a clean
// error instead of a read past the buffer.
class ByteReader {
public:
    ByteReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    bool Has(std::size_t pos, std::size_t count) const {
        return pos <= size_ && count <= size_ - pos;
    }
    void Need(std::size_t pos, std::size_t count) const {
        if (!Has(pos, count)) NotValid();
    }
    std::uint8_t U8(std::size_t pos) const {
        Need(pos, 1);
        return data_[pos];
    }
    std::uint16_t U16(std::size_t pos) const {
        Need(pos, 2);
        return static_cast<std::uint16_t>(data_[pos] | (data_[pos + 1] << 8));
    }
    std::uint32_t U32(std::size_t pos) const {
        Need(pos, 4);
        return static_cast<std::uint32_t>(data_[pos]) |
               (static_cast<std::uint32_t>(data_[pos + 1]) << 8) |
               (static_cast<std::uint32_t>(data_[pos + 2]) << 16) |
               (static_cast<std::uint32_t>(data_[pos + 3]) << 24);
    }
    std::int32_t I32(std::size_t pos) const { return static_cast<std::int32_t>(U32(pos)); }
    const std::uint8_t* At(std::size_t pos) const { return data_ + pos; }
    std::size_t Size() const { return size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// What the headers say about the pixels, after checking.
struct BmpLayout {
    long long Width = 0;
    long long Height = 0;
    bool TopDown = false;
    int Bits = 0;
    std::uint32_t Compression = BI_RGB;
    std::uint32_t ImageSize = 0;
    std::uint32_t ColoursUsed = 0;
    std::array<std::uint32_t, 4> Masks{}; // red, green, blue, alpha
    std::size_t PaletteStart = 0;
    std::size_t PaletteEntrySize = 4;
    std::size_t PixelStart = 0;
    bool Converted = false; // pixels go through the masks rather than being copied
};

BmpLayout ReadHeaders(const ByteReader& in) {
    in.Need(0, FileHeaderSize + 4);
    if (in.U8(0) != 'B' || in.U8(1) != 'M') NotValid();
    BmpLayout layout;
    // bfSize is ignored: writers get it wrong too often, and the data present
    // is what counts.
    layout.PixelStart = in.U32(10);
    const std::uint32_t headerSize = in.U32(14);
    const std::size_t h = FileHeaderSize;
    unsigned planes = 0;
    if (headerSize == CoreHeaderSize) {
        in.Need(h, CoreHeaderSize);
        layout.Width = in.U16(h + 4);
        layout.Height = in.U16(h + 6);
        planes = in.U16(h + 8);
        layout.Bits = in.U16(h + 10);
        layout.PaletteEntrySize = 3;
    } else if (headerSize == 16 || headerSize == 40 || headerSize == 52 || headerSize == 56 ||
               headerSize == 64 || headerSize == 108 || headerSize == 124) {
        // 16 and 64 are OS/2 2.x headers (64 in full, 16 cut after the bit
        // count); their first fields match the Windows information header.
        in.Need(h, headerSize);
        layout.Width = in.I32(h + 4);
        layout.Height = in.I32(h + 8);
        planes = in.U16(h + 12);
        layout.Bits = in.U16(h + 14);
        if (headerSize >= InfoHeaderSize) {
            layout.Compression = in.U32(h + 16);
            layout.ImageSize = in.U32(h + 20);
            layout.ColoursUsed = in.U32(h + 32);
        }
        // In an OS/2 header compression 3 is Huffman 1D and 4 is 24-bit RLE,
        // neither of which this reader decodes.
        if (headerSize == 64 && layout.Compression > BI_RLE4) NotValid();
        const std::size_t masksAt = h + InfoHeaderSize;
        std::size_t maskCount = 0;
        if (headerSize >= 52 && headerSize != 64) {
            maskCount = headerSize >= 56 ? 4 : 3;
        } else if (headerSize == InfoHeaderSize) {
            // The plain information header has its masks after it.
            if (layout.Compression == BI_BITFIELDS) maskCount = 3;
            if (layout.Compression == BI_ALPHABITFIELDS) maskCount = 4;
            layout.PaletteStart = masksAt + 4 * maskCount;
        }
        for (std::size_t i = 0; i < maskCount; ++i)
            layout.Masks[i] = in.U32(masksAt + 4 * i);
    } else {
        NotValid();
    }
    layout.PaletteStart = std::max(layout.PaletteStart, h + headerSize);

    if (planes != 1 || layout.Width <= 0 || layout.Height == 0) NotValid();
    if (layout.Height < 0) {
        layout.TopDown = true;
        layout.Height = -layout.Height;
    }
    // Pixels cannot start inside the headers, nor beyond the end of the file.
    if (layout.PixelStart < layout.PaletteStart || layout.PixelStart > in.Size()) NotValid();
    return layout;
}

// A mask of the bit-field layouts: where the channel sits and how wide it is.
// Narrow channels are stretched to the full byte range (a 1-bit channel gives
// 0 or 255, not 0 or 128); wide ones keep their top eight bits.
class Channel {
public:
    explicit Channel(std::uint32_t mask) : mask_(mask) {
        if (mask == 0) return;
        shift_ = std::countr_zero(mask);
        width_ = std::popcount(mask);
        if (width_ < 8) {
            const std::uint32_t max = (1u << width_) - 1;
            for (std::uint32_t v = 0; v <= max; ++v)
                stretched_[v] = static_cast<std::uint8_t>((v * 255 + max / 2) / max);
        }
    }
    bool Contiguous() const {
        const std::uint32_t bits = mask_ >> shift_;
        return (bits & (bits + 1)) == 0;
    }
    std::uint8_t Value(std::uint32_t pixel) const {
        const std::uint32_t v = (pixel & mask_) >> shift_;
        return width_ >= 8 ? static_cast<std::uint8_t>(v >> (width_ - 8)) : stretched_[v];
    }

private:
    std::uint32_t mask_ = 0;
    int shift_ = 0;
    int width_ = 0;
    std::array<std::uint8_t, 128> stretched_{}; // by channel value, for widths below 8
};

constexpr std::array<std::uint32_t, 4> Masks555{0x7C00, 0x03E0, 0x001F, 0};
constexpr std::array<std::uint32_t, 4> Masks565{0xF800, 0x07E0, 0x001F, 0};
constexpr std::array<std::uint32_t, 4> Masks888{0xFF0000, 0xFF00, 0xFF, 0};

// Checks the bit-field masks and picks the picture's pixel format. Layouts
// that Bitmap holds as they are keep their bytes; any other becomes 24 bits,
// or 32 bits when it has an alpha channel.
PixelFormat FormatOf(BmpLayout& layout) {
    const std::uint32_t c = layout.Compression;
    switch (layout.Bits) {
    case 1:
        if (c == BI_RGB) return PixelFormat::Pf1Bit;
        break;
    case 2: // widened to 4-bit indices with the same palette
    case 4:
        if (c == BI_RGB || (c == BI_RLE4 && layout.Bits == 4 && !layout.TopDown))
            return PixelFormat::Pf4Bit;
        break;
    case 8:
        if (c == BI_RGB || (c == BI_RLE8 && !layout.TopDown)) return PixelFormat::Pf8Bit;
        break;
    case 24:
        if (c == BI_RGB) return PixelFormat::Pf24Bit;
        break;
    case 16:
    case 32: {
        if (c == BI_RGB) {
            layout.Masks = layout.Bits == 16 ? Masks555 : Masks888;
        } else if (c != BI_BITFIELDS && c != BI_ALPHABITFIELDS) {
            break;
        }
        const auto& m = layout.Masks;
        std::uint32_t seen = 0;
        for (const std::uint32_t mask : m) {
            const Channel channel(mask);
            if ((mask & seen) != 0 || !channel.Contiguous()) NotValid();
            seen |= mask;
        }
        if ((m[0] | m[1] | m[2]) == 0) NotValid();
        if (layout.Bits == 16) {
            if (seen > 0xFFFF) NotValid();
            if (m == Masks555) return PixelFormat::Pf15Bit;
            if (m == Masks565) return PixelFormat::Pf16Bit;
        } else if (m[0] == Masks888[0] && m[1] == Masks888[1] && m[2] == Masks888[2] &&
                   (m[3] == 0 || m[3] == 0xFF000000u)) {
            return PixelFormat::Pf32Bit;
        }
        layout.Converted = true;
        return m[3] != 0 ? PixelFormat::Pf32Bit : PixelFormat::Pf24Bit;
    }
    default:
        break;
    }
    NotValid();
}

void ReadPalette(const ByteReader& in, const BmpLayout& layout, Bitmap& picture) {
    std::size_t count = std::size_t{1} << layout.Bits;
    if (layout.ColoursUsed != 0) count = std::min<std::size_t>(count, layout.ColoursUsed);
    // Old OS/2 files give no colour count: a palette shorter than the bit
    // depth shows only in where the pixels start.
    count = std::min(count, (layout.PixelStart - layout.PaletteStart) / layout.PaletteEntrySize);
    in.Need(layout.PaletteStart, count * layout.PaletteEntrySize);
    std::vector<PaletteEntry> palette(std::size_t{1} << picture.BitsPerPixel());
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = in.At(layout.PaletteStart + i * layout.PaletteEntrySize);
        palette[i] = {p[0], p[1], p[2], 0};
    }
    picture.SetPalette(std::move(palette));
}

void PutIndex(Bitmap& picture, long long x, int y, unsigned index) {
    std::uint8_t* row = picture.ScanLine(y);
    if (picture.Format() == PixelFormat::Pf8Bit) {
        row[x] = static_cast<std::uint8_t>(index);
    } else {
        std::uint8_t& byte = row[x >> 1];
        byte = (x & 1) ? static_cast<std::uint8_t>((byte & 0xF0) | index)
                       : static_cast<std::uint8_t>((byte & 0x0F) | (index << 4));
    }
}

// Decodes RLE8 or RLE4 data. Pixels the data never sets (skipped by a delta
// or an early end of line, or missing because the file is cut short) keep
// palette index 0. Data that ends without the end-of-bitmap mark keeps what
// it decoded; data that leads outside the picture is refused, since nothing
// after that point can be placed soundly. An RLE4 run may cover the unused
// half of the last byte of an odd-width row; that pixel is dropped.
void DecodeRle(const std::uint8_t* data, std::size_t size, Bitmap& picture) {
    const bool rle4 = picture.Format() == PixelFormat::Pf4Bit;
    const long long width = picture.Width();
    const long long height = picture.Height();
    const long long rowEnd = rle4 ? width + (width & 1) : width;
    long long x = 0;
    long long y = 0; // rows counted from the bottom, as stored
    auto put = [&](long long px, unsigned index) {
        if (px < width) PutIndex(picture, px, static_cast<int>(height - 1 - y), index);
    };
    auto nibble = [](unsigned byte, unsigned i) { return (i & 1) ? byte & 0x0Fu : byte >> 4; };
    std::size_t p = 0;
    while (p + 2 <= size) {
        const unsigned count = data[p];
        const unsigned value = data[p + 1];
        p += 2;
        if (count > 0) {
            if (y >= height || x + count > rowEnd) NotValid();
            if (rle4) {
                for (unsigned i = 0; i < count; ++i)
                    put(x + i, nibble(value, i));
            } else {
                std::memset(picture.ScanLine(static_cast<int>(height - 1 - y)) + x,
                            static_cast<int>(value), count);
            }
            x += count;
        } else if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            if (p + 2 > size) return;
            x += data[p];
            y += data[p + 1];
            p += 2;
            if (x > width || y >= height) NotValid();
        } else {
            if (y >= height || x + value > rowEnd) NotValid();
            const std::size_t bytes = rle4 ? (value + 1) / 2 : value;
            const std::size_t present = std::min(bytes, size - p);
            const unsigned pixels =
                std::min<unsigned>(value, static_cast<unsigned>(rle4 ? 2 * present : present));
            for (unsigned i = 0; i < pixels; ++i)
                put(x + i, rle4 ? nibble(data[p + i / 2], i) : data[p + i]);
            if (present < bytes) return;
            x += value;
            p += std::min(size - p, bytes + (bytes & 1)); // absolute runs end on a word
        }
    }
}

void DecodeRows(const ByteReader& in, const BmpLayout& layout, Bitmap& picture) {
    const int width = picture.Width();
    const int height = picture.Height();
    const std::size_t stride = RowStride(width, layout.Bits);
    const std::size_t rowBytes = RowBytes(width, layout.Bits);
    const PixelFormat format = picture.Format();
    const bool asStored = !layout.Converted && layout.Bits != 2;
    const Channel red(layout.Masks[0]), green(layout.Masks[1]), blue(layout.Masks[2]),
        alpha(layout.Masks[3]);
    const int outBytes = format == PixelFormat::Pf32Bit ? 4 : 3;
    const int unusedBits = static_cast<int>(
        rowBytes * 8 - static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.Bits));

    for (int row = 0; row < height; ++row) {
        const std::uint8_t* src = in.At(layout.PixelStart + static_cast<std::size_t>(row) * stride);
        std::uint8_t* dst = picture.ScanLine(layout.TopDown ? row : height - 1 - row);
        if (asStored) {
            std::memcpy(dst, src, rowBytes);
            // Bits past the last pixel of a 1- or 4-bit row are whatever the
            // writer left there; clear them so equal pictures compare equal.
            if (unusedBits > 0) dst[rowBytes - 1] &= static_cast<std::uint8_t>(0xFF << unusedBits);
        } else if (layout.Bits == 2) {
            for (int x = 0; x < width; ++x)
                PutIndex(picture, x, layout.TopDown ? row : height - 1 - row,
                         (src[x >> 2] >> (6 - 2 * (x & 3))) & 3u);
        } else {
            const int inBytes = layout.Bits / 8;
            for (int x = 0; x < width; ++x, src += inBytes, dst += outBytes) {
                std::uint32_t v = src[0] | (static_cast<std::uint32_t>(src[1]) << 8);
                if (inBytes == 4)
                    v |= (static_cast<std::uint32_t>(src[2]) << 16) |
                         (static_cast<std::uint32_t>(src[3]) << 24);
                dst[0] = blue.Value(v);
                dst[1] = green.Value(v);
                dst[2] = red.Value(v);
                if (outBytes == 4) dst[3] = alpha.Value(v);
            }
        }
    }
}

void Put16(std::vector<std::uint8_t>& out, std::size_t pos, std::uint32_t value) {
    out[pos] = static_cast<std::uint8_t>(value);
    out[pos + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(std::vector<std::uint8_t>& out, std::size_t pos, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out[pos + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

} // namespace

Bitmap DecodeBmp(const std::uint8_t* data, std::size_t size) {
    const ByteReader in(data, size);
    BmpLayout layout = ReadHeaders(in);
    const PixelFormat format = FormatOf(layout);
    CheckPictureSize(layout.Width, layout.Height, static_cast<int>(format), BitmapNotValid);

    const bool rle = layout.Compression == BI_RLE8 || layout.Compression == BI_RLE4;
    std::size_t rleSize = size - layout.PixelStart;
    if (rle) {
        if (layout.ImageSize != 0) rleSize = std::min<std::size_t>(rleSize, layout.ImageSize);
        if (rleSize < 2) NotValid();
    } else {
        // The last row's padding may be missing; its pixels may not.
        const int width = static_cast<int>(layout.Width);
        in.Need(layout.PixelStart,
                RowStride(width, layout.Bits) * static_cast<std::size_t>(layout.Height - 1) +
                    RowBytes(width, layout.Bits));
    }

    Bitmap picture(static_cast<int>(layout.Width), static_cast<int>(layout.Height), format);
    if (layout.Bits <= 8) ReadPalette(in, layout, picture);
    if (rle)
        DecodeRle(in.At(layout.PixelStart), rleSize, picture);
    else
        DecodeRows(in, layout, picture);
    return picture;
}

std::vector<std::uint8_t> EncodeBmp(const Bitmap& bitmap) {
    if (bitmap.Empty()) throw Error("An empty picture cannot be saved as a bitmap file");
    const int width = bitmap.Width();
    const int height = bitmap.Height();
    const PixelFormat format = bitmap.Format();
    // 15-bit pixels are 16-bit words in the file as in memory.
    const int fileBits = format == PixelFormat::Pf15Bit ? 16 : bitmap.BitsPerPixel();
    const std::size_t colours = fileBits <= 8 ? std::size_t{1} << fileBits : 0;
    const std::size_t masks = format == PixelFormat::Pf16Bit ? 12 : 0;
    const std::size_t stride = RowStride(width, fileBits);
    const std::size_t rowBytes = RowBytes(width, fileBits);
    const std::size_t pixelStart = FileHeaderSize + InfoHeaderSize + masks + 4 * colours;
    const std::size_t imageSize = stride * static_cast<std::size_t>(height);
    const std::size_t fileSize = pixelStart + imageSize;

    std::vector<std::uint8_t> out(fileSize, 0);
    out[0] = 'B';
    out[1] = 'M';
    Put32(out, 2, static_cast<std::uint32_t>(fileSize));
    Put32(out, 10, static_cast<std::uint32_t>(pixelStart));
    const std::size_t h = FileHeaderSize;
    Put32(out, h, InfoHeaderSize);
    Put32(out, h + 4, static_cast<std::uint32_t>(width));
    Put32(out, h + 8, static_cast<std::uint32_t>(height));
    Put16(out, h + 12, 1);
    Put16(out, h + 14, static_cast<std::uint32_t>(fileBits));
    Put32(out, h + 16, masks != 0 ? BI_BITFIELDS : BI_RGB);
    Put32(out, h + 20, static_cast<std::uint32_t>(imageSize));
    if (masks != 0) {
        for (std::size_t i = 0; i < 3; ++i)
            Put32(out, h + InfoHeaderSize + 4 * i, Masks565[i]);
    }
    const auto& palette = bitmap.Palette();
    for (std::size_t i = 0; i < colours && i < palette.size(); ++i) {
        std::uint8_t* entry = out.data() + h + InfoHeaderSize + masks + 4 * i;
        entry[0] = palette[i].Blue;
        entry[1] = palette[i].Green;
        entry[2] = palette[i].Red;
    }
    // Row padding is written as zeros, whatever the picture holds there.
    for (int y = 0; y < height; ++y)
        std::memcpy(out.data() + pixelStart + static_cast<std::size_t>(height - 1 - y) * stride,
                    bitmap.ScanLine(y), rowBytes);
    return out;
}

} // namespace torvi
