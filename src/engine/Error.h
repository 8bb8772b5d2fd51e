#pragma once

#include <stdexcept>
#include <string>
#include <utility>

namespace torvi {

// What went wrong, for code that must decide what to do about an error; the
// message is for the user and is never compared.
enum class ErrorKind {
    General,         // anything no caller treats apart
    CannotOpen,      // a file that cannot be opened or read
    SizesNotEqual,   // a frame of another size than the reference picture
    FrameUnreadable, // "Cannot read frame N"
    NoVideoCodec,    // a film that cannot be decoded
    TooFewFrames,    // a measurement of fewer than three frames
    Cancelled,       // the user ended a long run
};

// The one error type of the engine. Its message is written for the user and
// is shown as it is by the window or printed by the command-line tool; the
// detail carries a library's own reason (an FFmpeg error text), empty when
// there is none.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
    Error(ErrorKind kind, const std::string& message, std::string detail = {})
        : std::runtime_error(message), kind_(kind), detail_(std::move(detail)) {}

    ErrorKind Kind() const { return kind_; }
    const std::string& Detail() const { return detail_; }

private:
    ErrorKind kind_ = ErrorKind::General;
    std::string detail_;
};

// "Cannot open file %s" with the file's name.
Error CannotOpenFile(const std::string& path);

// The message for an unreadable BMP file.
inline constexpr const char* BitmapNotValid = "Bitmap image is not valid";

// The analysis needs every frame the size of the reference picture.
inline constexpr const char* PicturesNotEqual = "Size of pictures are not equal";

} // namespace torvi
