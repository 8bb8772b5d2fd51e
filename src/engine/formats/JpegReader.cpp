#include "JpegReader.h"

#include "Error.h"
#include "JpegErrors.h"

#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace torvi {

namespace {

// A progressive file may hold any number of scans, each going over the whole
// picture; real files have about ten, so this only stops a runaway file.
constexpr int MaxScans = 500;

struct JpegSource {
    jpeg_decompress_struct Info;
    JpegErrorManager Error;
    jpeg_progress_mgr Progress;
};

struct DestroyJpegSource {
    void operator()(JpegSource* source) const {
        jpeg_destroy_decompress(&source->Info);
        delete source;
    }
};

void WatchScans(j_common_ptr info) {
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > MaxScans) LeaveJpeg(info, "Too many scans");
}

// Huffman codes are at least one bit long, and every 8x8 block of a colour
// component in a scan starts with one; a file needs at least a scan of one
// component. So the data after the header holds at least this many bits, and
// a file with fewer is refused before its picture is allocated. (Arithmetic
// coding can describe a whole picture in a few bytes, so it gives no bound.)
std::size_t HuffmanBlocks(const jpeg_decompress_struct& info) {
    std::size_t fewest = SIZE_MAX;
    for (int c = 0; c < info.num_components; ++c) {
        const jpeg_component_info& component = info.comp_info[c];
        fewest = std::min(fewest, static_cast<std::size_t>(component.width_in_blocks) *
                                      component.height_in_blocks);
    }
    return info.num_components > 0 ? fewest : 0;
}

// The stages below hold setjmp; their locals are all trivial, and anything
// that could throw happens between them.
bool ReadHeader(JpegSource& source, const std::uint8_t* data, std::size_t size) {
    if (setjmp(source.Error.Jump)) return false;
    jpeg_create_decompress(&source.Info);
    source.Info.mem->max_memory_to_use = static_cast<long>(PictureByteLimit::Current());
    source.Progress.progress_monitor = WatchScans;
    source.Info.progress = &source.Progress;
    jpeg_mem_src(&source.Info, data, static_cast<unsigned long>(size));
    jpeg_read_header(&source.Info, TRUE);
    return true;
}

bool ReadPixels(JpegSource& source, Bitmap& bitmap, std::uint8_t* cmykRow) {
    if (setjmp(source.Error.Jump)) return false;
    jpeg_decompress_struct& info = source.Info;
    jpeg_start_decompress(&info);
    if (static_cast<int>(info.output_width) != bitmap.Width() ||
        static_cast<int>(info.output_height) != bitmap.Height()) {
        std::snprintf(source.Error.Message, sizeof source.Error.Message, "%s",
                      "Unexpected picture size");
        return false;
    }
    while (info.output_scanline < info.output_height) {
        const int y = static_cast<int>(info.output_scanline);
        JSAMPROW row = cmykRow ? cmykRow : bitmap.ScanLine(y);
        jpeg_read_scanlines(&info, &row, 1);
        if (!cmykRow) continue;
        // Adobe's files store the inks inverted (0 is full ink); without
        // its marker the samples are taken as plain ink amounts.
        const bool inverted = info.saw_Adobe_marker;
        std::uint8_t* out = bitmap.ScanLine(y);
        for (int x = 0; x < bitmap.Width(); ++x, out += 3) {
            const std::uint8_t* ink = cmykRow + 4 * x;
            const unsigned k = inverted ? ink[3] : 255u - ink[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned v = inverted ? ink[c] : 255u - ink[c];
                out[2 - c] = static_cast<std::uint8_t>((v * k + 127) / 255);
            }
        }
    }
    jpeg_finish_decompress(&info);
    return true;
}

} // namespace

bool IsJpeg(const std::uint8_t* data, std::size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

Bitmap DecodeJpeg(const std::uint8_t* data, std::size_t size) {
    if (size == 0) throw Error("JPEG image is not valid: the file is empty");
    std::unique_ptr<JpegSource, DestroyJpegSource> source(new JpegSource{});
    UseJpegErrorManager(source->Info, source->Error);
    auto fail = [&] {
        return Error(std::string("JPEG image is not valid: ") + source->Error.Message);
    };

    if (!ReadHeader(*source, data, size)) throw fail();
    jpeg_decompress_struct& info = source->Info;
    PixelFormat format = PixelFormat::Pf24Bit;
    std::vector<std::uint8_t> cmykRow;
    switch (info.jpeg_color_space) {
    case JCS_GRAYSCALE:
        info.out_color_space = JCS_GRAYSCALE;
        format = PixelFormat::Pf8Bit;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        info.out_color_space = JCS_CMYK;
        cmykRow.resize(4 * static_cast<std::size_t>(info.image_width));
        break;
    default:
        info.out_color_space = JCS_EXT_BGR;
        break;
    }
    CheckPictureSize(info.image_width, info.image_height, static_cast<int>(format),
                     "JPEG image is too large");
    if (!info.arith_code && HuffmanBlocks(info) / 8 > info.src->bytes_in_buffer)
        throw Error("JPEG image is not valid: Premature end of JPEG file");
    Bitmap bitmap(static_cast<int>(info.image_width), static_cast<int>(info.image_height), format);
    if (format == PixelFormat::Pf8Bit) bitmap.SetPalette(GreyPalette(8));
    if (!ReadPixels(*source, bitmap, cmykRow.empty() ? nullptr : cmykRow.data())) throw fail();
    return bitmap;
}

} // namespace torvi
