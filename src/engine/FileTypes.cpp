#include "FileTypes.h"

#include <algorithm>

namespace torvi {

const std::array<OpenFilter, 10> OpenFilters = {{
    {"animation AVI (*.avi)", "*.avi", ".AVI"},
    {"animation MPEG (*.mpg, *.mpeg)", "*.mpg;*.mpeg", ".MPG"},
    {"images BMP (*.bmp)", "*.bmp", ".BMP"},
    {"images GIF (*.gif)", "*.gif", ".GIF"},
    {"images JPEG (*.jpg, *.jpeg)", "*.jpg;*.jpeg", ".JPG"},
    {"images TIFF (*.tif)", "*.tif", ".TIF"},
    {"images PCX (*.pcx)", "*.pcx", ".PCX"},
    {"images TARGA (*.tga)", "*.tga", ".TGA"},
    {"images PNG (*.png)", "*.png", ".PNG"},
    {"animation MP4, MOV, MKV (*.mp4, *.mov, *.mkv)", "*.mp4;*.mov;*.mkv", ".MP4"},
}};

const std::array<const char*, 14> PictureExtensions = {".AVI", ".MPG",  ".MPEG", ".BMP", ".GIF",
                                                       ".JPG", ".JPEG", ".TIF",  ".PCX", ".TGA",
                                                       ".PNG", ".MP4",  ".MOV",  ".MKV"};

std::string UpperExtension(std::string_view name) {
    const std::string bare = BareName(name);
    const auto dot = bare.rfind('.');
    if (dot == std::string::npos) return {};
    std::string ext = bare.substr(dot);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

std::string BareName(std::string_view path) {
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderOf(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos) return ".";
    if (slash == 0) return "/";
    return std::string(path.substr(0, slash));
}

bool IsAcceptedPictureName(std::string_view name) {
    const std::string ext = UpperExtension(name);
    return std::any_of(PictureExtensions.begin(), PictureExtensions.end(),
                       [&](const char* e) { return ext == e; });
}

bool IsFilmExt(std::string_view fileExt) {
    return fileExt == ".AVI" || fileExt == ".MPG" || fileExt == ".MP4";
}

std::string FileExtForName(std::string_view name) {
    const std::string ext = UpperExtension(name);
    if (ext == ".MPEG") return ".MPG";
    if (ext == ".JPEG") return ".JPG";
    if (ext == ".MOV" || ext == ".MKV") return ".MP4";
    for (const OpenFilter& f : OpenFilters)
        if (ext == f.FileExt) return ext;
    return {};
}

} // namespace torvi
