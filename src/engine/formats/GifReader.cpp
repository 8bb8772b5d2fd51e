#include "GifReader.h"

#include "Error.h"
#include "MemoryReader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gif_lib.h>

namespace torvi {

namespace {

int ReadBytes(GifFileType* gif, GifByteType* out, int length) {
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    return static_cast<int>(reader->Read(out, static_cast<std::size_t>(std::max(length, 0))));
}

struct CloseGif {
    void operator()(GifFileType* gif) const {
        int ignored = 0;
        DGifCloseFile(gif, &ignored);
    }
};
using GifHandle = std::unique_ptr<GifFileType, CloseGif>;

Error GifError(int code) {
    const char* text = GifErrorString(code);
    return Error(std::string("GIF image is not valid: ") + (text ? text : "unknown error"));
}

void Check(const GifHandle& gif, int result) {
    if (result == GIF_ERROR) throw GifError(gif->Error);
}

std::vector<PaletteEntry> ToPalette(const ColorMapObject* map) {
    std::vector<PaletteEntry> palette(256);
    for (int i = 0; i < std::min(map->ColorCount, 256); ++i)
        palette[static_cast<std::size_t>(i)] = {map->Colors[i].Blue, map->Colors[i].Green,
                                                map->Colors[i].Red, 0};
    return palette;
}

// The index of the palette colour nearest to the given one.
std::uint8_t NearestIndex(const std::vector<PaletteEntry>& palette, int count,
                          const PaletteEntry& colour) {
    int best = 0;
    int bestDistance = 1 << 30;
    for (int i = 0; i < count; ++i) {
        const PaletteEntry& e = palette[static_cast<std::size_t>(i)];
        const int dr = e.Red - colour.Red, dg = e.Green - colour.Green, db = e.Blue - colour.Blue;
        const int distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return static_cast<std::uint8_t>(best);
}

void SkipExtension(const GifHandle& gif) {
    int code = 0;
    GifByteType* block = nullptr;
    Check(gif, DGifGetExtension(gif.get(), &code, &block));
    while (block != nullptr)
        Check(gif, DGifGetExtensionNext(gif.get(), &block));
}

} // namespace

bool IsGif(const std::uint8_t* data, std::size_t size) {
    return size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

Bitmap DecodeGif(const std::uint8_t* data, std::size_t size) {
    MemoryReader reader{data, size, 0};
    int openError = 0;
    GifHandle gif(DGifOpen(&reader, ReadBytes, &openError));
    if (!gif) throw GifError(openError);

    for (;;) {
        GifRecordType record = UNDEFINED_RECORD_TYPE;
        Check(gif, DGifGetRecordType(gif.get(), &record));
        if (record == TERMINATE_RECORD_TYPE) return Bitmap();
        if (record == EXTENSION_RECORD_TYPE) {
            SkipExtension(gif);
            continue;
        }
        if (record == IMAGE_DESC_RECORD_TYPE) break;
        throw GifError(D_GIF_ERR_WRONG_RECORD);
    }
    Check(gif, DGifGetImageDesc(gif.get()));

    const GifImageDesc& image = gif->Image;
    if (image.Width <= 0 || image.Height <= 0 || image.Left < 0 || image.Top < 0)
        throw Error("GIF image is not valid: bad image size");
    // Some writers leave the screen size zero; the image then sets it.
    const int screenWidth = gif->SWidth > 0 ? gif->SWidth : image.Left + image.Width;
    const int screenHeight = gif->SHeight > 0 ? gif->SHeight : image.Top + image.Height;
    CheckPictureSize(screenWidth, screenHeight, 8, "GIF image is too large");
    // An LZW code takes at least two bits and gives at most 4096 pixels, so
    // an image larger than that allows for the rest of the file is cut
    // short, and found so before the picture is allocated. (The screen
    // around the image is background and needs no data.)
    const auto imagePixels = static_cast<std::size_t>(image.Width) * image.Height;
    if (imagePixels / (4096 * 4) > reader.Remaining()) throw GifError(D_GIF_ERR_EOF_TOO_SOON);

    const ColorMapObject* map = image.ColorMap ? image.ColorMap : gif->SColorMap;
    std::vector<PaletteEntry> palette = map ? ToPalette(map) : GreyPalette(8);
    const int colourCount = map ? std::min(map->ColorCount, 256) : 256;

    // The background colour is an index into the global table; with a local
    // table it is looked up there by colour, added when missing and there is
    // room, else replaced by the nearest colour.
    std::uint8_t background = 0;
    const bool coversScreen = image.Left == 0 && image.Top == 0 && image.Width >= screenWidth &&
                              image.Height >= screenHeight;
    if (!coversScreen && gif->SColorMap && gif->SBackGroundColor < gif->SColorMap->ColorCount) {
        const GifColorType& c = gif->SColorMap->Colors[gif->SBackGroundColor];
        const PaletteEntry colour{c.Blue, c.Green, c.Red, 0};
        if (map == gif->SColorMap) {
            background = static_cast<std::uint8_t>(gif->SBackGroundColor);
        } else {
            const auto used = palette.begin() + colourCount;
            const auto found = std::find(palette.begin(), used, colour);
            if (found != used) {
                background = static_cast<std::uint8_t>(found - palette.begin());
            } else if (colourCount < 256) {
                palette[static_cast<std::size_t>(colourCount)] = colour;
                background = static_cast<std::uint8_t>(colourCount);
            } else {
                background = NearestIndex(palette, colourCount, colour);
            }
        }
    }

    Bitmap bitmap(screenWidth, screenHeight, PixelFormat::Pf8Bit);
    bitmap.SetPalette(std::move(palette));
    bitmap.Fill(background);

    std::vector<GifPixelType> line(static_cast<std::size_t>(image.Width));
    const int visibleWidth = std::max(0, std::min(image.Width, screenWidth - image.Left));
    auto readRow = [&](int row) {
        Check(gif, DGifGetLine(gif.get(), line.data(), image.Width));
        const int y = image.Top + row;
        if (y < screenHeight && visibleWidth > 0)
            std::memcpy(bitmap.ScanLine(y) + image.Left, line.data(),
                        static_cast<std::size_t>(visibleWidth));
    };
    if (image.Interlace) {
        static constexpr int Start[] = {0, 4, 2, 1};
        static constexpr int Step[] = {8, 8, 4, 2};
        for (int pass = 0; pass < 4; ++pass)
            for (int row = Start[pass]; row < image.Height; row += Step[pass])
                readRow(row);
    } else {
        for (int row = 0; row < image.Height; ++row)
            readRow(row);
    }
    return bitmap;
}

} // namespace torvi
