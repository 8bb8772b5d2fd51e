#include "PictureFiles.h"

#include "Error.h"
#include "FileIO.h"
#include "FileTypes.h"
#include "formats/BmpCodec.h"
#include "formats/GifReader.h"
#include "formats/JpegReader.h"
#include "formats/PictureFormats.h"
#include "formats/TiffCodec.h"

namespace torvi {

Bitmap LoadPictureFile(const std::string& path, const std::string& fileExt) {
    if (fileExt == ".BMP") {
        const auto data = ReadWholeFile(path);
        return DecodeBmp(data.data(), data.size());
    }
    if (fileExt == ".GIF") {
        const auto data = ReadWholeFile(path);
        return DecodeGif(data.data(), data.size());
    }
    if (fileExt == ".JPG") {
        const auto data = ReadWholeFile(path);
        return DecodeJpeg(data.data(), data.size());
    }
    if (fileExt == ".TIF" || fileExt == ".PCX" || fileExt == ".TGA" || fileExt == ".PNG") {
        const auto data = ReadWholeFile(path);
        return DecodeRegisteredPicture(data.data(), data.size(), path);
    }
    throw UnknownPictureExtension(path);
}

Bitmap LoadAnyPicture(const std::string& path) {
    const auto data = ReadWholeFile(path);
    return DecodeRegisteredPicture(data.data(), data.size(), path);
}

void SavePicture(const std::string& path, const Bitmap& bitmap) {
    const std::string ext = UpperExtension(path);
    if (ext == ".BMP") {
        const auto bytes = EncodeBmp(bitmap);
        WriteFileAtomically(path, bytes.data(), bytes.size());
        return;
    }
    if (ext == ".TIF" || ext == ".TIFF") {
        const auto bytes = EncodeTiff(bitmap);
        WriteFileAtomically(path, bytes.data(), bytes.size());
        return;
    }
    throw UnknownPictureExtension(path);
}

} // namespace torvi
