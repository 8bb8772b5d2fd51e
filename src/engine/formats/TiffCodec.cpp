#include "TiffCodec.h"

#include "Error.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <mutex>
#include <string>

#include <tiffio.h>

namespace torvi {

namespace {

// One file's bytes and the first message libtiff gave about it.
struct TiffStream {
    const std::uint8_t* Data = nullptr;       // reading
    std::vector<std::uint8_t>* Out = nullptr; // writing
    std::uint64_t Size = 0;
    std::uint64_t Position = 0;
    std::string Message;
};

TiffStream& StreamOf(thandle_t handle) {
    return *static_cast<TiffStream*>(handle);
}

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t count) {
    TiffStream& s = StreamOf(handle);
    if (!s.Data || count <= 0 || s.Position >= s.Size) return 0;
    const std::uint64_t n =
        std::min<std::uint64_t>(static_cast<std::uint64_t>(count), s.Size - s.Position);
    std::memcpy(buffer, s.Data + s.Position, static_cast<std::size_t>(n));
    s.Position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t count) {
    TiffStream& s = StreamOf(handle);
    if (!s.Out || count < 0) return -1;
    const std::uint64_t end = s.Position + static_cast<std::uint64_t>(count);
    if (end > Bitmap::MaxBytes * 2) return -1;
    if (end > s.Out->size()) s.Out->resize(static_cast<std::size_t>(end));
    std::memcpy(s.Out->data() + s.Position, buffer, static_cast<std::size_t>(count));
    s.Position = end;
    s.Size = std::max<std::uint64_t>(s.Size, end);
    return count;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
    TiffStream& s = StreamOf(handle);
    std::uint64_t base = 0;
    if (whence == SEEK_CUR) base = s.Position;
    if (whence == SEEK_END) base = s.Size;
    const std::uint64_t target = base + offset;
    if (target < base) return static_cast<toff_t>(-1);
    s.Position = target;
    return target;
}

int CloseProc(thandle_t) {
    return 0;
}
toff_t SizeProc(thandle_t handle) {
    return StreamOf(handle).Size;
}

int MapProc(thandle_t handle, void** base, toff_t* size) {
    TiffStream& s = StreamOf(handle);
    if (!s.Data) return 0;
    // libtiff only reads through a mapping opened for reading.
    *base = const_cast<std::uint8_t*>(s.Data);
    *size = s.Size;
    return 1;
}

void UnmapProc(thandle_t, void*, toff_t) {}

int OnError(TIFF*, void* user, const char*, const char* format, va_list args) {
    auto* stream = static_cast<TiffStream*>(user);
    if (stream->Message.empty()) {
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        stream->Message = text;
    }
    return 1;
}

int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct CloseTiff {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, CloseTiff>;

struct FreeOptions {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

TiffHandle OpenStream(TiffStream& stream, const char* mode) {
    // Paths of libtiff that know no file still report to the process-wide
    // handlers, which would print to the terminal.
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
    });
    std::unique_ptr<TIFFOpenOptions, FreeOptions> options(TIFFOpenOptionsAlloc());
    if (!options) throw Error("TIFF image cannot be read: out of memory");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(),
                                        static_cast<tmsize_t>(PictureByteLimit::Current()));
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), OnError, &stream);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), OnWarning, &stream);
    return TiffHandle(TIFFClientOpenExt("picture", mode, &stream, ReadProc, WriteProc, SeekProc,
                                        CloseProc, SizeProc, MapProc, UnmapProc, options.get()));
}

Error TiffError(const TiffStream& stream, const char* fallback) {
    return Error(std::string("TIFF image is not valid: ") +
                 (stream.Message.empty() ? fallback : stream.Message));
}

struct TiffLayout {
    std::uint32_t Width = 0;
    std::uint32_t Height = 0;
    std::uint16_t Bits = 1;
    std::uint16_t Samples = 1;
    std::uint16_t Photometric = 0;
    std::uint16_t Planar = PLANARCONFIG_CONTIG;
    std::uint16_t SampleFormat = SAMPLEFORMAT_UINT;
    bool HasPhotometric = false;
    std::uint16_t ExtraSamples = 0;
};

unsigned SampleAt(const std::uint8_t* row, std::size_t index, int bits) {
    switch (bits) {
    case 8:
        return row[index];
    case 16: {
        std::uint16_t v;
        std::memcpy(&v, row + 2 * index, 2);
        return v;
    }
    default: {
        const std::size_t bit = index * static_cast<std::size_t>(bits);
        const unsigned shift = 8u - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
        return (row[bit / 8] >> shift) & ((1u << bits) - 1);
    }
    }
}

std::uint8_t ToByte(unsigned value, int bits) {
    if (bits == 8) return static_cast<std::uint8_t>(value);
    const unsigned top = (1u << bits) - 1;
    return static_cast<std::uint8_t>((value * 255 + top / 2) / top);
}

// Calls onRow(y, bytes) for every row of one sample plane, top to bottom,
// whether the file keeps its pixels in strips or in tiles.
template <class OnRow>
void ForEachRow(TIFF* tif, TiffStream& stream, const TiffLayout& layout, std::uint16_t plane,
                OnRow&& onRow) {
    const tmsize_t lineSize = TIFFScanlineSize(tif);
    if (lineSize <= 0) throw TiffError(stream, "bad row size");
    const std::size_t line = static_cast<std::size_t>(lineSize);
    if (!TIFFIsTiled(tif)) {
        std::vector<std::uint8_t> buffer(line);
        for (std::uint32_t y = 0; y < layout.Height; ++y) {
            if (TIFFReadScanline(tif, buffer.data(), y, plane) < 0)
                throw TiffError(stream, "cannot read a row");
            onRow(y, buffer.data());
        }
        return;
    }
    std::uint32_t tileWidth = 0, tileHeight = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
    const tmsize_t tileSize = TIFFTileSize(tif);
    const tmsize_t tileRowSize = TIFFTileRowSize(tif);
    if (tileWidth == 0 || tileHeight == 0 || tileSize <= 0 || tileRowSize <= 0 ||
        static_cast<std::size_t>(tileSize) > PictureByteLimit::Current() ||
        line * tileHeight > PictureByteLimit::Current())
        throw TiffError(stream, "bad tile size");
    const std::size_t tileRow = static_cast<std::size_t>(tileRowSize);
    const std::uint32_t bandRows = std::min(tileHeight, layout.Height);
    std::vector<std::uint8_t> tile(static_cast<std::size_t>(tileSize));
    std::vector<std::uint8_t> band(line * bandRows);
    for (std::uint32_t y0 = 0; y0 < layout.Height; y0 += tileHeight) {
        const std::uint32_t rows = std::min(tileHeight, layout.Height - y0);
        for (std::uint32_t x0 = 0, column = 0; x0 < layout.Width; x0 += tileWidth, ++column) {
            if (TIFFReadTile(tif, tile.data(), x0, y0, 0, plane) < 0)
                throw TiffError(stream, "cannot read a tile");
            const std::size_t offset = column * tileRow;
            if (offset >= line) break;
            const std::size_t count = std::min(tileRow, line - offset);
            for (std::uint32_t r = 0; r < rows && r * tileRow < tile.size(); ++r)
                std::memcpy(band.data() + r * line + offset, tile.data() + r * tileRow, count);
        }
        for (std::uint32_t r = 0; r < rows; ++r)
            onRow(y0 + r, band.data() + r * line);
    }
}

void CopyPackedRow(std::uint8_t* dst, const std::uint8_t* src, std::uint32_t width, int bits) {
    const std::size_t usedBits = static_cast<std::size_t>(width) * static_cast<std::size_t>(bits);
    const std::size_t bytes = (usedBits + 7) / 8;
    std::memcpy(dst, src, bytes);
    if (usedBits % 8 != 0) dst[bytes - 1] &= static_cast<std::uint8_t>(0xFF00u >> (usedBits % 8));
}

Bitmap ReadPalette(TIFF* tif, TiffStream& stream, const TiffLayout& layout) {
    std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
    if (!TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue))
        throw TiffError(stream, "the colour map is missing");
    const int bits = layout.Bits;
    const PixelFormat format = bits == 1   ? PixelFormat::Pf1Bit
                               : bits == 8 ? PixelFormat::Pf8Bit
                                           : PixelFormat::Pf4Bit;
    Bitmap bitmap(static_cast<int>(layout.Width), static_cast<int>(layout.Height), format);
    std::vector<PaletteEntry> palette(std::size_t{1} << bitmap.BitsPerPixel());
    for (std::size_t i = 0; i < (std::size_t{1} << bits); ++i)
        palette[i] = {static_cast<std::uint8_t>(blue[i] >> 8),
                      static_cast<std::uint8_t>(green[i] >> 8),
                      static_cast<std::uint8_t>(red[i] >> 8), 0};
    bitmap.SetPalette(std::move(palette));
    ForEachRow(tif, stream, layout, 0, [&](std::uint32_t y, const std::uint8_t* row) {
        std::uint8_t* dst = bitmap.ScanLine(static_cast<int>(y));
        if (bits != 2) {
            CopyPackedRow(dst, row, layout.Width, bits);
            return;
        }
        for (std::uint32_t x = 0; x < layout.Width; ++x) {
            const unsigned v = SampleAt(row, x, 2);
            dst[x / 2] |= static_cast<std::uint8_t>((x & 1) ? v : v << 4);
        }
    });
    return bitmap;
}

// Grey and RGB pictures with or without alpha, read sample by sample so the
// colours come out as the file stores them (libtiff's RGBA reader would
// multiply them by an unassociated alpha).
Bitmap ReadSamples(TIFF* tif, TiffStream& stream, const TiffLayout& layout) {
    const bool grey = layout.Photometric <= PHOTOMETRIC_MINISBLACK;
    const bool inverted = layout.Photometric == PHOTOMETRIC_MINISWHITE;
    const int colourSamples = grey ? 1 : 3;
    const bool alpha = layout.Samples > colourSamples && layout.ExtraSamples > 0;
    const int used = colourSamples + (alpha ? 1 : 0);
    const int bits = layout.Bits;
    const int width = static_cast<int>(layout.Width);
    const int height = static_cast<int>(layout.Height);

    if (grey && !alpha && bits == 1) {
        Bitmap bitmap(width, height, PixelFormat::Pf1Bit);
        const PaletteEntry black{0, 0, 0, 0}, white{255, 255, 255, 0};
        bitmap.SetPalette(inverted ? std::vector<PaletteEntry>{white, black}
                                   : std::vector<PaletteEntry>{black, white});
        ForEachRow(tif, stream, layout, 0, [&](std::uint32_t y, const std::uint8_t* row) {
            CopyPackedRow(bitmap.ScanLine(static_cast<int>(y)), row, layout.Width, 1);
        });
        return bitmap;
    }

    const PixelFormat format = alpha  ? PixelFormat::Pf32Bit
                               : grey ? PixelFormat::Pf8Bit
                                      : PixelFormat::Pf24Bit;
    Bitmap bitmap(width, height, format);
    if (format == PixelFormat::Pf8Bit) bitmap.SetPalette(GreyPalette(8));
    const int outBytes = bitmap.BitsPerPixel() / 8;
    // Where sample s of a pixel goes: grey fills blue, green and red; colour
    // samples come red first; alpha is the fourth byte.
    auto put = [&](std::uint8_t* pixel, int s, unsigned value) {
        std::uint8_t v = ToByte(value, bits);
        if (s < colourSamples && inverted) v = static_cast<std::uint8_t>(255 - v);
        if (s == colourSamples) {
            pixel[3] = v;
        } else if (grey) {
            pixel[0] = v;
            if (outBytes > 1) pixel[1] = pixel[2] = v;
        } else {
            pixel[2 - s] = v;
        }
    };
    const bool separate = layout.Planar == PLANARCONFIG_SEPARATE && layout.Samples > 1;
    const int passes = separate ? used : 1;
    for (int pass = 0; pass < passes; ++pass) {
        ForEachRow(
            tif, stream, layout, static_cast<std::uint16_t>(pass),
            [&](std::uint32_t y, const std::uint8_t* row) {
                std::uint8_t* dst = bitmap.ScanLine(static_cast<int>(y));
                for (std::size_t x = 0; x < layout.Width; ++x) {
                    std::uint8_t* pixel = dst + x * static_cast<std::size_t>(outBytes);
                    if (separate) {
                        put(pixel, pass, SampleAt(row, x, bits));
                        continue;
                    }
                    for (int s = 0; s < used; ++s)
                        put(pixel, s,
                            SampleAt(row, x * layout.Samples + static_cast<std::size_t>(s), bits));
                }
            });
    }
    return bitmap;
}

std::uint32_t PixelAt(const Bitmap& bitmap, int x, int y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    const int bits = bitmap.BitsPerPixel();
    if (bits < 8) return SampleAt(row, static_cast<std::size_t>(x), bits);
    const std::size_t bytes = static_cast<std::size_t>(bits + 7) / 8;
    std::uint32_t value = 0;
    std::memcpy(&value, row + static_cast<std::size_t>(x) * bytes, bytes);
    return value;
}

void SetPixel(Bitmap& bitmap, int x, int y, std::uint32_t value) {
    std::uint8_t* row = bitmap.ScanLine(y);
    const int bits = bitmap.BitsPerPixel();
    if (bits < 8) {
        const std::size_t bit = static_cast<std::size_t>(x) * static_cast<std::size_t>(bits);
        const unsigned shift = 8u - static_cast<unsigned>(bits) - static_cast<unsigned>(bit % 8);
        const unsigned mask = ((1u << bits) - 1) << shift;
        row[bit / 8] =
            static_cast<std::uint8_t>((row[bit / 8] & ~mask) | ((value << shift) & mask));
        return;
    }
    const std::size_t bytes = static_cast<std::size_t>(bits + 7) / 8;
    std::memcpy(row + static_cast<std::size_t>(x) * bytes, &value, bytes);
}

// Turns a picture read in the file's stored order the way its orientation tag
// says it is meant to be seen: rows and columns flipped (2 to 4) or swapped
// (5 to 8). A turned camera must not reverse a measured rotation.
Bitmap Orient(Bitmap stored, std::uint16_t orientation) {
    if (orientation <= ORIENTATION_TOPLEFT || orientation > ORIENTATION_LEFTBOT) return stored;
    const bool swap = orientation >= ORIENTATION_LEFTTOP;
    const int width = swap ? stored.Height() : stored.Width();
    const int height = swap ? stored.Width() : stored.Height();
    Bitmap shown(width, height, stored.Format());
    shown.SetPalette(stored.Palette());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int row = y, column = x;
            switch (orientation) {
            case ORIENTATION_TOPRIGHT:
                column = width - 1 - x;
                break;
            case ORIENTATION_BOTRIGHT:
                column = width - 1 - x;
                row = height - 1 - y;
                break;
            case ORIENTATION_BOTLEFT:
                row = height - 1 - y;
                break;
            case ORIENTATION_LEFTTOP:
                row = x;
                column = y;
                break;
            case ORIENTATION_RIGHTTOP:
                row = width - 1 - x;
                column = y;
                break;
            case ORIENTATION_RIGHTBOT:
                row = width - 1 - x;
                column = height - 1 - y;
                break;
            default:
                row = x;
                column = height - 1 - y;
                break; // ORIENTATION_LEFTBOT
            }
            SetPixel(shown, x, y, PixelAt(stored, column, row));
        }
    }
    return shown;
}

struct EndRgbaImage {
    void operator()(TIFFRGBAImage* image) const { TIFFRGBAImageEnd(image); }
};

Bitmap ReadThroughRgba(TIFF* tif, TiffStream& stream, const TiffLayout& layout) {
    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif, message)) {
        if (stream.Message.empty()) stream.Message = message;
        throw TiffError(stream, "unsupported picture");
    }
    TIFFRGBAImage image{};
    // Stop at the first damaged strip or tile rather than go on with a
    // partial picture.
    if (!TIFFRGBAImageBegin(&image, tif, 1, message)) {
        if (stream.Message.empty()) stream.Message = message;
        throw TiffError(stream, "unsupported picture");
    }
    std::unique_ptr<TIFFRGBAImage, EndRgbaImage> guard(&image);
    // The rows come in their stored order and are turned afterwards like
    // those of the other paths.
    image.req_orientation = image.orientation;
    CheckPictureSize(layout.Width, layout.Height, 32, "TIFF image is too large");
    const std::size_t pixels = static_cast<std::size_t>(layout.Width) * layout.Height;
    std::vector<std::uint32_t> raster(pixels);
    if (!TIFFRGBAImageGet(&image, raster.data(), layout.Width, layout.Height))
        throw TiffError(stream, "cannot read the picture");

    const bool alpha = image.alpha != 0;
    Bitmap bitmap(static_cast<int>(layout.Width), static_cast<int>(layout.Height),
                  alpha ? PixelFormat::Pf32Bit : PixelFormat::Pf24Bit);
    const std::size_t step = alpha ? 4 : 3;
    for (std::uint32_t y = 0; y < layout.Height; ++y) {
        const std::uint32_t* src = raster.data() + static_cast<std::size_t>(y) * layout.Width;
        std::uint8_t* dst = bitmap.ScanLine(static_cast<int>(y));
        for (std::uint32_t x = 0; x < layout.Width; ++x, dst += step) {
            dst[0] = static_cast<std::uint8_t>(TIFFGetB(src[x]));
            dst[1] = static_cast<std::uint8_t>(TIFFGetG(src[x]));
            dst[2] = static_cast<std::uint8_t>(TIFFGetR(src[x]));
            if (alpha) dst[3] = static_cast<std::uint8_t>(TIFFGetA(src[x]));
        }
    }
    return bitmap;
}

std::uint64_t FieldAt(const std::uint8_t* p, int bytes, bool bigEndian) {
    std::uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) {
        const std::uint64_t b = p[i];
        v |= bigEndian ? b << (8 * (bytes - 1 - i)) : b << (8 * i);
    }
    return v;
}

// Bytes of one value of a tag's type; 0 for a type libtiff passes over.
std::uint64_t TypeSize(std::uint64_t type) {
    switch (type) {
    case 1:
    case 2:
    case 6:
    case 7:
        return 1;
    case 3:
    case 8:
        return 2;
    case 4:
    case 9:
    case 11:
    case 13:
        return 4;
    case 5:
    case 10:
    case 12:
    case 16:
    case 17:
    case 18:
        return 8;
    default:
        return 0;
    }
}

// The reason the first directory does not fit in the file, or nullptr when
// it does: the directory itself and the data of each of its tags must lie
// within the file. libtiff would otherwise allocate what a tag's count
// declares before it finds the data missing.
const char* DirectoryOverrun(const std::uint8_t* data, std::size_t size) {
    if (size < 8 || !IsTiff(data, size)) return nullptr; // libtiff says what is wrong
    const bool big = data[0] == 'M';
    const bool bigTiff = FieldAt(data + 2, 2, big) == 43;
    const int countBytes = bigTiff ? 8 : 2;
    const int fieldBytes = bigTiff ? 8 : 4;
    const std::uint64_t entryBytes = bigTiff ? 20 : 12;
    if (bigTiff && size < 16) return "the file is truncated";
    const std::uint64_t dir = FieldAt(data + (bigTiff ? 8 : 4), fieldBytes, big);
    if (dir > size || size - dir < static_cast<std::uint64_t>(countBytes))
        return "the first directory lies beyond the end of the file";
    const std::uint64_t count = FieldAt(data + dir, countBytes, big);
    if (count > (size - dir - static_cast<std::uint64_t>(countBytes)) / entryBytes)
        return "the first directory lies beyond the end of the file";
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* entry =
            data + dir + static_cast<std::uint64_t>(countBytes) + i * entryBytes;
        const std::uint64_t typeSize = TypeSize(FieldAt(entry + 2, 2, big));
        const std::uint64_t values = FieldAt(entry + 4, fieldBytes, big);
        if (typeSize == 0 || values <= static_cast<std::uint64_t>(fieldBytes) / typeSize) continue;
        const std::uint64_t offset = FieldAt(entry + 4 + fieldBytes, fieldBytes, big);
        if (values > size / typeSize || offset > size - values * typeSize)
            return "a tag's data lies beyond the end of the file";
    }
    return nullptr;
}

// The most one byte of the file's pixel data can expand to under the
// picture's compression: a raw byte stays one, a PackBits pair gives at most
// 128 bytes and deflate shrinks data at most about 1032 times. LZW, fax and
// JPEG data give no useful bound (0): the picture cap and the frame size the
// measurement expects bound those.
std::uint64_t MostExpansion(TIFF* tif) {
    std::uint16_t compression = COMPRESSION_NONE;
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    switch (compression) {
    case COMPRESSION_NONE:
        return 1;
    case COMPRESSION_PACKBITS:
        return 64;
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE:
        return 1032;
    default:
        return 0;
    }
}

// Bytes of pixel data the picture takes as stored, all planes together.
std::uint64_t StoredBytes(TIFF* tif, const TiffLayout& layout) {
    const std::uint64_t plane = TIFFVStripSize64(tif, layout.Height);
    return layout.Planar == PLANARCONFIG_SEPARATE ? plane * layout.Samples : plane;
}

} // namespace

bool IsTiff(const std::uint8_t* data, std::size_t size) {
    if (size < 4) return false;
    const bool little =
        data[0] == 'I' && data[1] == 'I' && data[3] == 0 && (data[2] == 42 || data[2] == 43);
    const bool big =
        data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
    return little || big;
}

Bitmap DecodeTiff(const std::uint8_t* data, std::size_t size) {
    if (const char* overrun = DirectoryOverrun(data, size))
        throw Error(std::string("TIFF image is not valid: ") + overrun);
    TiffStream stream;
    stream.Data = data;
    stream.Size = size;
    TiffHandle tif = OpenStream(stream, "r");
    if (!tif) throw TiffError(stream, "cannot open the file");

    TiffLayout layout;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &layout.Width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &layout.Height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &layout.Bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &layout.Samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &layout.Planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &layout.SampleFormat);
    layout.HasPhotometric = TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &layout.Photometric) != 0;
    std::uint16_t* extraKinds = nullptr;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_EXTRASAMPLES, &layout.ExtraSamples, &extraKinds);
    if (layout.Width == 0 || layout.Height == 0) throw TiffError(stream, "the picture is empty");
    CheckPictureSize(layout.Width, layout.Height, 8, "TIFF image is too large");
    const std::uint64_t expansion = MostExpansion(tif.get());
    if (expansion != 0 && StoredBytes(tif.get(), layout) / expansion > size)
        throw Error("TIFF image is not valid: the file is truncated");

    const std::uint16_t bits = layout.Bits;
    const bool unsignedSamples = layout.SampleFormat == SAMPLEFORMAT_UINT;
    const bool paletteDepth = bits == 1 || bits == 2 || bits == 4 || bits == 8;
    std::uint16_t orientation = ORIENTATION_TOPLEFT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
    if (layout.HasPhotometric && unsignedSamples) {
        if (layout.Photometric == PHOTOMETRIC_PALETTE && layout.Samples == 1 && paletteDepth)
            return Orient(ReadPalette(tif.get(), stream, layout), orientation);
        if (layout.Photometric <= PHOTOMETRIC_MINISBLACK && (paletteDepth || bits == 16))
            return Orient(ReadSamples(tif.get(), stream, layout), orientation);
        if (layout.Photometric == PHOTOMETRIC_RGB && layout.Samples >= 3 &&
            (bits == 8 || bits == 16))
            return Orient(ReadSamples(tif.get(), stream, layout), orientation);
    }
    return Orient(ReadThroughRgba(tif.get(), stream, layout), orientation);
}

std::vector<std::uint8_t> EncodeTiff(const Bitmap& bitmap) {
    if (bitmap.Empty()) throw Error("Cannot write an empty picture as TIFF");
    std::vector<std::uint8_t> bytes;
    TiffStream stream;
    stream.Out = &bytes;
    TiffHandle tif = OpenStream(stream, "w");
    if (!tif) throw Error("Cannot write TIFF file: " + stream.Message);

    const int bits = bitmap.BitsPerPixel();
    const bool palette = bits <= 8;
    const bool alpha = bitmap.Format() == PixelFormat::Pf32Bit;
    const std::uint16_t samples = palette ? 1 : alpha ? 4 : 3;
    TIFF* t = tif.get();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(bitmap.Width()));
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(bitmap.Height()));
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(palette ? bits : 8));
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, samples);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, palette ? PHOTOMETRIC_PALETTE : PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (alpha) {
        const std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    if (palette) {
        const std::size_t count = std::size_t{1} << bits;
        std::vector<std::uint16_t> red(count), green(count), blue(count);
        const auto& entries = bitmap.Palette();
        for (std::size_t i = 0; i < count && i < entries.size(); ++i) {
            red[i] = static_cast<std::uint16_t>(entries[i].Red * 257);
            green[i] = static_cast<std::uint16_t>(entries[i].Green * 257);
            blue[i] = static_cast<std::uint16_t>(entries[i].Blue * 257);
        }
        TIFFSetField(t, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }

    const Bitmap* source = &bitmap;
    Bitmap widened;
    if (bitmap.Format() == PixelFormat::Pf15Bit || bitmap.Format() == PixelFormat::Pf16Bit) {
        widened = bitmap.ToBgr24();
        source = &widened;
    }
    const std::size_t rowBytes =
        palette
            ? (static_cast<std::size_t>(bitmap.Width()) * static_cast<std::size_t>(bits) + 7) / 8
            : static_cast<std::size_t>(bitmap.Width()) * samples;
    std::vector<std::uint8_t> row(rowBytes);
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::uint8_t* src = source->ScanLine(y);
        if (palette) {
            std::memcpy(row.data(), src, rowBytes);
        } else {
            for (std::size_t x = 0; x < static_cast<std::size_t>(bitmap.Width()); ++x) {
                const std::uint8_t* p = src + x * samples;
                std::uint8_t* q = row.data() + x * samples;
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
                if (alpha) q[3] = p[3];
            }
        }
        if (TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0) < 0)
            throw Error("Cannot write TIFF file: " + stream.Message);
    }
    TIFF* raw = tif.release();
    TIFFClose(raw);
    if (!stream.Message.empty()) throw Error("Cannot write TIFF file: " + stream.Message);
    return bytes;
}

} // namespace torvi
