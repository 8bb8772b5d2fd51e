#include "PictureFiles.h"

#include "Error.h"
#include "FileIO.h"
#include "FileTypes.h"
#include "formats/BmpCodec.h"

namespace torvi {

namespace {

Error UnknownExtension(const std::string& path) {
    const std::string ext = UpperExtension(path);
    return Error("Unknown picture file extension (" + (ext.empty() ? std::string(".") : ext) + ")");
}

} // namespace

Bitmap LoadPictureFile(const std::string& path, const std::string& fileExt) {
    if (fileExt == ".BMP") {
        const auto data = ReadWholeFile(path);
        return DecodeBmp(data.data(), data.size());
    }
    throw UnknownExtension(path);
}

Bitmap LoadAnyPicture(const std::string& path) {
    return LoadPictureFile(path, FileExtForName(path));
}

void SavePicture(const std::string& path, const Bitmap& bitmap) {
    const std::string ext = UpperExtension(path);
    if (ext == ".BMP") {
        const auto bytes = EncodeBmp(bitmap);
        WriteFileAtomically(path, bytes.data(), bytes.size());
        return;
    }
    throw UnknownExtension(path);
}

} // namespace torvi
