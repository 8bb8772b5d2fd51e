#include "PictureFormats.h"

#include "Error.h"
#include "FileTypes.h"
#include "formats/BmpCodec.h"
#include "formats/GifReader.h"
#include "formats/JpegReader.h"
#include "formats/PcxReader.h"
#include "formats/PngReader.h"
#include "formats/TgaReader.h"
#include "formats/TiffCodec.h"

#include <array>
#include <string>

namespace torvi {

namespace {

bool IsBmp(const std::uint8_t* data, std::size_t size) {
    return size >= 2 && data[0] == 'B' && data[1] == 'M';
}

const std::array<PictureFormat, 7> Registry = {{
    {"BMP", ".BMP;.DIB", IsBmp, DecodeBmp},
    {"GIF", ".GIF", IsGif, DecodeGif},
    {"JPEG", ".JPG;.JPEG;.JPE;.JFIF", IsJpeg, DecodeJpeg},
    {"PNG", ".PNG", IsPng, DecodePng},
    {"TIFF", ".TIF;.TIFF", IsTiff, DecodeTiff},
    {"PCX", ".PCX", IsPcx, DecodePcx},
    {"TGA", ".TGA;.VDA;.ICB;.VST", IsTga, DecodeTga},
}};

bool ListsExtension(std::string_view list, std::string_view ext) {
    while (!list.empty()) {
        const std::size_t end = list.find(';');
        if (list.substr(0, end) == ext) return true;
        if (end == std::string_view::npos) break;
        list.remove_prefix(end + 1);
    }
    return false;
}

} // namespace

std::span<const PictureFormat> PictureFormats() {
    return Registry;
}

const PictureFormat* FormatForContent(const std::uint8_t* data, std::size_t size) {
    for (const PictureFormat& format : Registry)
        if (format.Recognises(data, size)) return &format;
    return nullptr;
}

const PictureFormat& FormatForExtension(std::string_view fileName) {
    const std::string ext = UpperExtension(BareName(fileName));
    if (!ext.empty())
        for (const PictureFormat& format : Registry)
            if (ListsExtension(format.Extensions, ext)) return format;
    throw UnknownPictureExtension(fileName);
}

Error UnknownPictureExtension(std::string_view fileName) {
    // The extension in upper case, as the program names file types everywhere.
    const std::string ext = UpperExtension(fileName);
    return Error("Unknown picture file extension (." + (ext.empty() ? ext : ext.substr(1)) + ")");
}

Bitmap DecodeRegisteredPicture(const std::uint8_t* data, std::size_t size,
                               std::string_view fileName) {
    if (const PictureFormat* format = FormatForContent(data, size))
        return format->Decode(data, size);
    return FormatForExtension(fileName).Decode(data, size);
}

} // namespace torvi
