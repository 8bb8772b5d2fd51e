#pragma once

#include <stdexcept>
#include <string>

namespace torvi {

// The one error type of the engine. Its message is written for the user and
// is shown as it is by the window or printed by the command-line tool.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// "Cannot open file %s" with the file's name.
Error CannotOpenFile(const std::string& path);

// The message for an unreadable BMP file.
inline constexpr const char* BitmapNotValid = "Bitmap image is not valid";

// The analysis needs every frame the size of the reference picture.
inline constexpr const char* PicturesNotEqual = "Size of pictures are not equal";

} // namespace torvi
