#pragma once

#include <array>
#include <string>
#include <string_view>

namespace torvi {

// One entry of the open dialog's type list: its text, its name patterns and
// the upper-case extension (FileExt) that selects the decoder.
struct OpenFilter {
    const char* Text;
    const char* Patterns; // separated by ';'
    const char* FileExt;
};

// The type list of the open dialog, in its order (the dialog's index is 1-based).
// The last entry gathers the container films of phones and modern cameras.
extern const std::array<OpenFilter, 10> OpenFilters;

// Every extension the open dialog accepts, whatever type is selected.
extern const std::array<const char*, 14> PictureExtensions;

// The text from the last point of the name (after its last folder separator),
// point included, ASCII letters in upper case; empty when there is no point.
std::string UpperExtension(std::string_view name);

// The name without its folder part: the text after the last '/'.
std::string BareName(std::string_view path);
// The folder part of a path, without the trailing '/'; "." for a bare name.
std::string FolderOf(std::string_view path);

// True when the open dialog accepts this file name.
bool IsAcceptedPictureName(std::string_view name);

// True for the FileExt values of films.
bool IsFilmExt(std::string_view fileExt);

// FileExt for a file's own extension, as if the filter of that type had been
// chosen (".MPEG" gives ".MPG", ".JPEG" ".JPG", ".MOV" ".MP4"); empty for an
// unknown type.
std::string FileExtForName(std::string_view name);

} // namespace torvi
