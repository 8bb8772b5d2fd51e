#pragma once

#include "analysis/PixelSquare.h"
#include "av/AvHandles.h"
#include "video/DisplayOrientation.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvi {

// Turns decoded film frames into packed DIBs in the decoder's natural depth:
// palette and grey frames as 8 bits with their colour table, 5-5-5 as 16-bit
// BI_RGB, 5-6-5 as 16-bit BI_BITFIELDS, BGR as 24, BGR with a fourth byte as
// 32, black-and-white as 1 bit; every other layout (YUV above all) is
// converted to 24 bits. Rows are always written bottom-up, whatever the
// frame's own line order. Keeps one scaler context alive between frames.
class FrameDibBuilder {
public:
    FrameDibBuilder() = default;
    FrameDibBuilder(const FrameDibBuilder&) = delete;
    FrameDibBuilder& operator=(const FrameDibBuilder&) = delete;

    // Throws Error when the frame's size is absurd or it cannot be converted.
    // With a `square` (of a DIB of the same size as before) only its pixels
    // need be right: YUV frames then convert just those rows and columns.
    void Build(const AVFrame& frame, std::vector<std::uint8_t>& dib,
               const PixelSquare* square = nullptr);

    // How the pictures are turned for showing (the film's display matrix).
    DisplayOrientation Orientation;

private:
    void BuildStored(const AVFrame& frame, std::vector<std::uint8_t>& dib,
                     const PixelSquare* square);
    // Makes the scaler fit the frame's size and format; `split` spreads its
    // rows over the processors.
    void PrepareScaler(const AVFrame& frame, bool split = true);
    // Converts the square's rows and columns into the DIB whose top row is
    // at `top`; false when it cannot, and the whole frame is to be converted.
    bool BuildSquare(const AVFrame& frame, const PixelSquare& square, std::uint8_t* top,
                     std::size_t stride);
    // Turns the DIB's pixels (8 bits a pixel or more) by Orientation.
    void Orient(std::vector<std::uint8_t>& dib, std::size_t pixelsAt, int bitCount);
    // Converts the frame to 24 bits into rows starting at `rows`, `rowStep`
    // bytes apart (negative for bottom-up), `bytes` of storage in all.
    void Scale(const AVFrame& frame, std::uint8_t* rows, int rowStep, std::size_t bytes);

    av::Scaler scaler_;
    int scalerWidth_ = 0;
    int scalerHeight_ = 0;
    int scalerFormat_ = -1;
    bool scalerSplit_ = true;
    std::vector<std::uint8_t> scaled_;
    std::vector<std::uint8_t> turned_;
};

} // namespace torvi
