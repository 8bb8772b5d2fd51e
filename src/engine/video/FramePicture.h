#pragma once

#include "Bitmap.h"
#include "analysis/PixelSquare.h"
#include "av/AvHandles.h"
#include "video/DisplayOrientation.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvi {

// Turns decoded film frames into pictures in the frame's own depth: palette
// and grey frames as 8 bits with their colour table, 5-5-5 and 5-6-5 as
// 16 bits (5-6-5, green's low bit zero for 5-5-5), BGR as 24 bits, BGR with
// a fourth byte as 32 (the fourth byte zero), black-and-white as 1 bit with
// the film's two colours; every other layout (YUV above all) is converted to
// 24 bits. Pictures are turned as the film is shown (Orientation). Frames of
// 8-bit luma (Y'CbCr films) also give the picture the grey of their luma
// (Bitmap's LumaGrey), unless they are turned. Keeps one scaler context alive
// between frames.
class FramePicture {
public:
    FramePicture() = default;
    FramePicture(const FramePicture&) = delete;
    FramePicture& operator=(const FramePicture&) = delete;

    // Fills `picture` with the frame. A picture already of the frame's size
    // and format is overwritten without allocating. With a `square` and a
    // 24-bit picture of the frame's size, only the square need be right for
    // the measurement: a frame of luma then fills just the square's grey and
    // converts no colour; other YUV frames convert just the square's rows and
    // columns. The rest of the picture keeps what it had. Throws Error, with the picture
    // as it was, when the frame's size is absurd or it cannot be converted.
    void Fill(const AVFrame& frame, Bitmap& picture, const PixelSquare* square = nullptr);

    // How the pictures are turned for showing (the film's display matrix).
    DisplayOrientation Orientation;

private:
    // Fills `picture` with the frame as stored.
    void FillStored(const AVFrame& frame, Bitmap& picture, const PixelSquare* square);
    // Converts a frame that is not copied as it is to 24 bits (with a
    // `square` and a picture of the frame's `sameShape`, only the square
    // where the scaler allows).
    void FillPixels(const AVFrame& frame, Bitmap& picture, const PixelSquare* square,
                    bool sameShape);
    // Makes the scaler fit the frame's size and format; `split` spreads its
    // rows over the processors.
    void PrepareScaler(const AVFrame& frame, bool split = true);
    // Converts the square's rows and columns into the picture; false when it
    // cannot, and the whole frame is to be converted.
    bool FillSquare(const AVFrame& frame, const PixelSquare& square, Bitmap& picture);
    // Converts the frame to 24 bits into rows starting at `rows`, `rowStep`
    // bytes apart, `bytes` of storage in all.
    void Scale(const AVFrame& frame, std::uint8_t* rows, int rowStep, std::size_t bytes);

    av::Scaler scaler_;
    int scalerWidth_ = 0;
    int scalerHeight_ = 0;
    int scalerFormat_ = -1;
    bool scalerSplit_ = true;
    std::vector<std::uint8_t> scaled_;
    Bitmap stored_; // a turned film's frame before it is turned
};

} // namespace torvi
