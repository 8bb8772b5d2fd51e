#pragma once

#include "Bitmap.h"

#include <cstdint>

namespace torvi {

// How a film's pictures are turned to be shown as players show them: a film
// from a phone held upright is stored on its side with a display matrix that
// says so. Output pixel (x, y), from the top, comes from input pixel (sx, sy):
// (y, x) when Transpose, else (x, y); then sx counted from the right when
// FlipX and sy from the bottom when FlipY (in the input's own size).
struct DisplayOrientation {
    bool Transpose = false;
    bool FlipX = false;
    bool FlipY = false;

    bool IsIdentity() const { return !Transpose && !FlipX && !FlipY; }
    bool operator==(const DisplayOrientation&) const = default;

    // From a stream's 3x3 display matrix (FFmpeg's 16.16 fixed-point layout),
    // read the way the ffmpeg tool turns pictures: quarter turns, with
    // mirroring. Other angles, and no matrix, leave pictures as stored.
    static DisplayOrientation FromDisplayMatrix(const std::int32_t* matrix);

    // The size a picture of `width` x `height` is shown at.
    int ShownWidth(int width, int height) const { return Transpose ? height : width; }
    int ShownHeight(int width, int height) const { return Transpose ? width : height; }

    // Fills `out` with `in` turned for showing, in the same pixel format and
    // palette; `out` keeps its memory when it already has the shown size.
    // Pictures of fewer than 8 bits a pixel (which come from capture cards,
    // never turned) are copied as they are.
    void Turn(const Bitmap& in, Bitmap& out) const;
};

} // namespace torvi
