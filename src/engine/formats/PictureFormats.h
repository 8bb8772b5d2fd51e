#pragma once

#include "Bitmap.h"
#include "Error.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace torvi {

// One still-picture format of the registry: its name, the upper-case
// extensions it is registered for (points included, separated by ';'), a
// content test on the file's bytes and a decoder from memory.
struct PictureFormat {
    const char* Name;
    const char* Extensions;
    bool (*Recognises)(const std::uint8_t* data, std::size_t size);
    Bitmap (*Decode)(const std::uint8_t* data, std::size_t size);
};

// The registered formats in the order their content tests are asked: those
// with a signature first, TGA (which has none) last.
std::span<const PictureFormat> PictureFormats();

// The first format whose content test accepts the data; nullptr when none does.
const PictureFormat* FormatForContent(const std::uint8_t* data, std::size_t size);

// The format registered for the extension of a file name (any letter case).
// Throws "Unknown picture file extension (.%s)" when there is none.
const PictureFormat& FormatForExtension(std::string_view fileName);

// "Unknown picture file extension (.%s)" with the name's extension in upper case.
Error UnknownPictureExtension(std::string_view fileName);

// Decodes by content first and by the name's extension when no content test
// accepts the data: the registry's whole lookup, for files held in memory.
Bitmap DecodeRegisteredPicture(const std::uint8_t* data, std::size_t size,
                               std::string_view fileName);

} // namespace torvi
