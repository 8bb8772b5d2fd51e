#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace torvi::test {

// A reference picture read from a binary PGM (P5), PPM (P6) or PAM (P7) file:
// 8-bit samples, rows from the top, red, green, blue and alpha per pixel
// (alpha 255 where the file has none).
struct ReferencePicture {
    int Width = 0;
    int Height = 0;
    bool HasAlpha = false;
    std::vector<std::uint8_t> Rgba;

    const std::uint8_t* Pixel(int x, int y) const {
        return Rgba.data() + 4 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(Width) +
                                  static_cast<std::size_t>(x));
    }
};

ReferencePicture ReadReference(const std::string& path);

// Compares a decoded picture with its reference, channel by channel, allowing
// the given difference; `colourMask` is applied to the reference first (0xF8
// for pictures of five bits per channel). Gives an empty text on success,
// else where and how they differ.
std::string CompareWithReference(const Bitmap& bitmap, const ReferencePicture& reference,
                                 int tolerance = 0, std::uint8_t colourMask = 0xFF,
                                 bool compareAlpha = false);

std::vector<std::uint8_t> ReadBytes(const std::string& path);

// A JPEG that libjpeg writes of `samples` (rows from the top, `components`
// samples a pixel in the colour space `input`), with its defaults changed by
// `configure`: what camera and scanner software writes, and the variants no
// tool at hand writes.
std::vector<std::uint8_t>
EncodeJpeg(const std::vector<std::uint8_t>& samples, int width, int height, int components,
           J_COLOR_SPACE input, const std::function<void(jpeg_compress_struct&)>& configure = {});

} // namespace torvi::test
