#pragma once

#include "analysis/PixelSquare.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace torvi {

// Whether a frame's luma spans 0..255 (JPEG's own range) or the studio
// range 16..235.
enum class LumaRange { Full, Limited };

// The measurement's grey value of a luma sample: full-range luma as it is,
// limited-range luma taken from 16..235 to 0..255, rounded to the nearest
// (the exact value is never a half) and clipped.
std::uint8_t GreyOfLuma(std::uint8_t luma, LumaRange range);
// GreyOfLuma of count luma samples into out[0 .. count - 1], many at a time.
void GreyOfLumaRow(const std::uint8_t* luma, int count, LumaRange range, std::uint8_t* out);

// What MjpegSquareDecoder made of a frame: decoded, or why it left the frame
// to FFmpeg.
enum class MjpegSquareOutcome {
    Decoded,
    Progressive,    // a progressive JPEG
    Arithmetic,     // arithmetic coding
    Sampling,       // chroma sampled finer than luma, 4:1:1, or each chroma otherwise
    NotYCbCr,       // grey, RGB, CMYK or 12-bit samples
    SpecialComment, // a comment by which FFmpeg shows the frame otherwise (AVID, upside-down)
    OtherSize,      // not the film's size (one field of an interlaced frame, say)
    BrokenData,     // libjpeg's error, damaged data in the square, or a frame cut short
};

// Decodes only what the measurement reads of a Motion JPEG frame: the luma
// of one square, from the rows and columns of MCUs that cover it (libjpeg
// still reads the Huffman codes of the rows above, but transforms nothing
// outside the square, and stops after its last row). Every frame of such a
// film is a baseline JPEG of its own; a frame it cannot take is refused with
// the reason, and the caller decodes that frame with FFmpeg instead.
//
// The luma agrees with FFmpeg's decoding of the same frame to within one
// step at some pixels (the two decoders' inverse transforms round
// differently), and the range is read as FFmpeg's decoder reads it: limited
// when the frame carries the comment "CS=ITU601" (written by FFmpeg's
// encoder for yuv420p and yuv422p), full otherwise.
//
// One decoder serves one thread; it keeps libjpeg's state from frame to frame.
class MjpegSquareDecoder {
public:
    MjpegSquareDecoder();
    ~MjpegSquareDecoder();
    MjpegSquareDecoder(const MjpegSquareDecoder&) = delete;
    MjpegSquareDecoder& operator=(const MjpegSquareDecoder&) = delete;

    // Decodes the frame in data[0 .. size - 1], which must be width x height,
    // and writes the grey value (GreyOfLuma) of each pixel of `square` to
    // grey: row r of the square at grey + r * stride, square.Width bytes.
    // Only when it returns Decoded does grey hold the square. A square that
    // does not lie within width x height is an error of the caller (Error).
    MjpegSquareOutcome Decode(const std::uint8_t* data, std::size_t size, int width, int height,
                              const PixelSquare& square, std::uint8_t* grey, std::ptrdiff_t stride);

    // The luma range of the last frame decoded.
    LumaRange Range() const { return range_; }
    // libjpeg's message for the last BrokenData, or what was missing.
    const std::string& Message() const { return message_; }

private:
    struct State;
    std::unique_ptr<State> state_;
    LumaRange range_ = LumaRange::Full;
    std::string message_;
};

} // namespace torvi
