// How long one full-HD frame of each still-picture type takes to decode from
// memory: the cost a picture-sequence measurement pays per frame.
#include "Bitmap.h"
#include "formats/JpegReader.h"
#include "formats/PcxReader.h"
#include "formats/PngReader.h"
#include "formats/TgaReader.h"
#include "formats/TiffCodec.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <png.h>

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;

// A dial-like test frame: smooth shading with sharp edges, so run-length and
// LZW coding see both runs and noise.
torvi::Bitmap Frame() {
    torvi::Bitmap bitmap(Width, Height, torvi::PixelFormat::Pf24Bit);
    for (int y = 0; y < Height; ++y) {
        std::uint8_t* row = bitmap.ScanLine(y);
        for (int x = 0; x < Width; ++x) {
            const bool hand = (x - 960) * (x - 960) + (y - 540) * (y - 540) < 400 * 400 &&
                              std::abs((x - 960) - (y - 540)) < 6;
            row[3 * x] = static_cast<std::uint8_t>(hand ? 20 : 180 + (x * 7 + y) % 40);
            row[3 * x + 1] = static_cast<std::uint8_t>(hand ? 20 : 190 + (x + y * 3) % 30);
            row[3 * x + 2] = static_cast<std::uint8_t>(hand ? 30 : 200 + (x ^ y) % 20);
        }
    }
    return bitmap;
}

std::vector<std::uint8_t> Tga(const torvi::Bitmap& frame) {
    std::vector<std::uint8_t> file(18, 0);
    file[2] = 2;
    file[12] = Width & 0xFF;
    file[13] = Width >> 8;
    file[14] = Height & 0xFF;
    file[15] = Height >> 8;
    file[16] = 24;
    file[17] = 0x20;
    for (int y = 0; y < Height; ++y)
        file.insert(file.end(), frame.ScanLine(y), frame.ScanLine(y) + 3 * Width);
    return file;
}

std::vector<std::uint8_t> Pcx(const torvi::Bitmap& frame) {
    std::vector<std::uint8_t> file(128, 0);
    file[0] = 0x0A;
    file[1] = 5;
    file[2] = 1;
    file[3] = 8;
    file[8] = (Width - 1) & 0xFF;
    file[9] = (Width - 1) >> 8;
    file[10] = (Height - 1) & 0xFF;
    file[11] = (Height - 1) >> 8;
    file[65] = 3;
    file[66] = Width & 0xFF;
    file[67] = Width >> 8;
    for (int y = 0; y < Height; ++y) {
        for (int plane = 2; plane >= 0; --plane) {
            const std::uint8_t* row = frame.ScanLine(y);
            for (int x = 0; x < Width;) {
                int run = 1;
                while (x + run < Width && run < 63 &&
                       row[3 * (x + run) + plane] == row[3 * x + plane])
                    ++run;
                const std::uint8_t value = row[3 * x + plane];
                if (run > 1 || value >= 0xC0) file.push_back(static_cast<std::uint8_t>(0xC0 | run));
                file.push_back(value);
                x += run;
            }
        }
    }
    return file;
}

std::vector<std::uint8_t> Jpeg(const torvi::Bitmap& frame) {
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = Width;
    info.image_height = Height;
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(frame.ScanLine(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    std::vector<std::uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&info);
    std::free(buffer);
    return out;
}

std::vector<std::uint8_t> Png(const torvi::Bitmap& frame) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = Width;
    image.height = Height;
    image.format = PNG_FORMAT_BGR;
    png_alloc_size_t size = 0;
    const auto stride = static_cast<png_int_32>(frame.Stride());
    png_image_write_to_memory(&image, nullptr, &size, 0, frame.Bits(), stride, nullptr);
    std::vector<std::uint8_t> out(size);
    png_image_write_to_memory(&image, out.data(), &size, 0, frame.Bits(), stride, nullptr);
    out.resize(size);
    return out;
}

template <torvi::Bitmap (*Decode)(const std::uint8_t*, std::size_t)>
void Run(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    for (auto _ : state)
        benchmark::DoNotOptimize(Decode(file.data(), file.size()));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * Width * Height * 3);
    state.counters["file_kB"] = static_cast<double>(file.size()) / 1024.0;
}

void BM_DecodeTga(benchmark::State& state) {
    Run<torvi::DecodeTga>(state, Tga(Frame()));
}
void BM_DecodePcx(benchmark::State& state) {
    Run<torvi::DecodePcx>(state, Pcx(Frame()));
}
void BM_DecodeJpeg(benchmark::State& state) {
    Run<torvi::DecodeJpeg>(state, Jpeg(Frame()));
}
void BM_DecodePng(benchmark::State& state) {
    Run<torvi::DecodePng>(state, Png(Frame()));
}
void BM_DecodeTiffLzw(benchmark::State& state) {
    Run<torvi::DecodeTiff>(state, torvi::EncodeTiff(Frame()));
}

} // namespace

BENCHMARK(BM_DecodeTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePcx)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodePng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeTiffLzw)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
