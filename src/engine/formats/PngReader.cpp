#include "PngReader.h"

#include "Error.h"
#include "MemoryReader.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <png.h>

namespace torvi {

namespace {

// libpng's callbacks never throw: png_error leaves through the longjmp of
// the stage that called libpng, and the message waits here.
struct PngState {
    MemoryReader Reader{};
    char Message[200] = {};
};

void ReadBytes(png_structp png, png_bytep out, png_size_t length) {
    auto* state = static_cast<PngState*>(png_get_io_ptr(png));
    MemoryReader& reader = state->Reader;
    if (reader.Remaining() < length) png_error(png, "the file is truncated");
    reader.Read(out, length);
}

void OnError(png_structp png, png_const_charp message) {
    auto* state = static_cast<PngState*>(png_get_error_ptr(png));
    std::strncpy(state->Message, message, sizeof state->Message - 1);
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

struct PngReadHandle {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
};

struct DestroyPngRead {
    void operator()(PngReadHandle* handle) const {
        png_destroy_read_struct(&handle->Png, handle->Info ? &handle->Info : nullptr, nullptr);
        delete handle;
    }
};

// The ancillary chunks of variable length that do not change the pixels,
// each name followed by a zero as libpng wants them.
constexpr png_byte UnusedChunks[] = "eXIf\0hIST\0iCCP\0iTXt\0oFFs\0pCAL\0pHYs\0"
                                    "sCAL\0sPLT\0tEXt\0tIME\0zTXt";

// Walks the chunk headers up to IEND: a chunk that declares more bytes than
// the file has left is refused at once, before libpng allocates for it.
bool ChunksFit(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 8;
    while (at < size) {
        if (size - at < 12) return false;
        const std::size_t length = png_get_uint_32(data + at);
        if (length > size - at - 12) return false;
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
        at += 12 + length;
    }
    return false;
}

// What the transformations below make of the file's rows.
struct PngLayout {
    PixelFormat Format = PixelFormat::Pf24Bit;
    bool WidenTwoBit = false; // 2-bit palette rows come as one byte per pixel
    int FileBitsPerPixel = 0;
};

// The stages below hold setjmp; their locals are all trivial, and anything
// that could throw happens between them.
bool ReadInfo(PngReadHandle& handle, PngState& state, PngLayout& layout) {
    png_structp png = handle.Png;
    png_infop info = handle.Info;
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_read_fn(png, &state, ReadBytes);
    png_set_user_limits(png, Bitmap::MaxDimension, Bitmap::MaxDimension);
    // Text, profiles, suggested palettes, Exif and private chunks change
    // nothing in the pixels: libpng passes over them without allocating, and
    // no chunk it does keep can ask for more memory than the file holds.
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, UnusedChunks,
                                static_cast<int>(sizeof UnusedChunks / 5));
    png_set_chunk_cache_max(png, 1);
    png_set_chunk_malloc_max(png, state.Reader.Size + 1);
    png_read_info(png, info);

    const int colourType = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    layout.FileBitsPerPixel = depth * png_get_channels(png, info);
    png_set_scale_16(png);
    switch (colourType) {
    case PNG_COLOR_TYPE_PALETTE:
        layout.Format = depth == 1   ? PixelFormat::Pf1Bit
                        : depth == 8 ? PixelFormat::Pf8Bit
                                     : PixelFormat::Pf4Bit;
        if (depth == 2) {
            layout.WidenTwoBit = true;
            png_set_packing(png);
        }
        break;
    case PNG_COLOR_TYPE_GRAY:
        layout.Format = PixelFormat::Pf8Bit;
        png_set_expand_gray_1_2_4_to_8(png);
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        layout.Format = PixelFormat::Pf32Bit;
        png_set_gray_to_rgb(png);
        png_set_bgr(png);
        break;
    case PNG_COLOR_TYPE_RGB:
        layout.Format = PixelFormat::Pf24Bit;
        if (png_get_valid(png, info, PNG_INFO_tRNS)) {
            layout.Format = PixelFormat::Pf32Bit;
            png_set_tRNS_to_alpha(png);
        }
        png_set_bgr(png);
        break;
    default:
        layout.Format = PixelFormat::Pf32Bit;
        png_set_bgr(png);
        break;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadRows(PngReadHandle& handle, png_bytep* rows) {
    if (setjmp(png_jmpbuf(handle.Png))) return false;
    png_read_image(handle.Png, rows);
    png_read_end(handle.Png, nullptr);
    return true;
}

bool ReadPalette(PngReadHandle& handle, png_colorp& colours, int& count) {
    if (setjmp(png_jmpbuf(handle.Png))) return false;
    count = 0;
    if (!png_get_PLTE(handle.Png, handle.Info, &colours, &count)) count = 0;
    return true;
}

} // namespace

bool IsPng(const std::uint8_t* data, std::size_t size) {
    return size >= 8 && png_sig_cmp(data, 0, 8) == 0;
}

Bitmap DecodePng(const std::uint8_t* data, std::size_t size) {
    if (IsPng(data, size) && !ChunksFit(data, size))
        throw Error("PNG image is not valid: the file is truncated");
    PngState state;
    state.Reader = {data, size, 0};
    std::unique_ptr<PngReadHandle, DestroyPngRead> handle(new PngReadHandle);
    handle->Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state, OnError, OnWarning);
    if (!handle->Png) throw Error("PNG image cannot be read: out of memory");
    handle->Info = png_create_info_struct(handle->Png);
    if (!handle->Info) throw Error("PNG image cannot be read: out of memory");
    auto fail = [&] { return Error(std::string("PNG image is not valid: ") + state.Message); };

    PngLayout layout;
    if (!ReadInfo(*handle, state, layout)) throw fail();
    const png_uint_32 width = png_get_image_width(handle->Png, handle->Info);
    const png_uint_32 height = png_get_image_height(handle->Png, handle->Info);
    const std::size_t rowBytes = png_get_rowbytes(handle->Png, handle->Info);
    CheckPictureSize(width, height, static_cast<int>(layout.Format), "PNG image is too large");
    // Deflate shrinks data at most about 1032 times, so a file too small for
    // its declared picture is found before the picture is allocated.
    const std::size_t fileBits = static_cast<std::size_t>(width) * height *
                                 static_cast<std::size_t>(layout.FileBitsPerPixel);
    if (fileBits / 8 / 1032 > size) throw Error("PNG image is not valid: the file is truncated");
    if (layout.WidenTwoBit && rowBytes * height > PictureByteLimit::Current())
        throw Error("PNG image is too large");
    Bitmap bitmap(static_cast<int>(width), static_cast<int>(height), layout.Format);
    if (!layout.WidenTwoBit && rowBytes > bitmap.Stride())
        throw Error("PNG image is not valid: unexpected row size");

    if (layout.Format == PixelFormat::Pf8Bit &&
        png_get_color_type(handle->Png, handle->Info) != PNG_COLOR_TYPE_PALETTE) {
        bitmap.SetPalette(GreyPalette(8));
    } else if (layout.Format <= PixelFormat::Pf8Bit) {
        png_colorp colours = nullptr;
        int count = 0;
        if (!ReadPalette(*handle, colours, count)) throw fail();
        std::vector<PaletteEntry> palette(std::size_t{1} << bitmap.BitsPerPixel());
        for (std::size_t i = 0; i < palette.size() && i < static_cast<std::size_t>(count); ++i)
            palette[i] = {colours[i].blue, colours[i].green, colours[i].red, 0};
        bitmap.SetPalette(std::move(palette));
    }

    // Rows go straight into the picture unless 2-bit pixels need widening.
    std::vector<std::uint8_t> widened;
    if (layout.WidenTwoBit) widened.resize(rowBytes * height);
    std::vector<png_bytep> rows(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = layout.WidenTwoBit ? widened.data() + y * rowBytes
                                     : bitmap.ScanLine(static_cast<int>(y));
    if (!ReadRows(*handle, rows.data())) throw fail();

    if (layout.WidenTwoBit) {
        for (png_uint_32 y = 0; y < height; ++y) {
            std::uint8_t* dst = bitmap.ScanLine(static_cast<int>(y));
            for (png_uint_32 x = 0; x < width; ++x)
                dst[x / 2] |= static_cast<std::uint8_t>((x & 1) ? rows[y][x] : rows[y][x] << 4);
        }
    }
    return bitmap;
}

} // namespace torvi
