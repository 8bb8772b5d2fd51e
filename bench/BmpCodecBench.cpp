// Reading and writing full-HD BMP frames, the size a picture sequence from a
// laboratory camera usually has.
#include "Bitmap.h"
#include "formats/BmpCodec.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <random>
#include <vector>

using namespace torvi;

namespace {

constexpr int Width = 1920;
constexpr int Height = 1080;

Bitmap NoisyPicture(PixelFormat format) {
    Bitmap picture(Width, Height, format);
    std::mt19937 random(1);
    for (std::size_t i = 0; i < picture.ByteSize(); ++i)
        picture.Bits()[i] = static_cast<std::uint8_t>(random());
    return picture;
}

// An 8-bit RLE file of runs of 60 pixels, as a dial on a plain background
// compresses.
std::vector<std::uint8_t> Rle8File() {
    std::vector<std::uint8_t> file = EncodeBmp(Bitmap(Width, Height, PixelFormat::Pf8Bit));
    const std::size_t pixelStart = file[10] | (file[11] << 8);
    file.resize(pixelStart);
    file[30] = 1; // BI_RLE8
    for (int y = 0; y < Height; ++y) {
        for (int x = 0; x < Width; x += 60) {
            file.push_back(60);
            file.push_back(static_cast<std::uint8_t>(x + y));
        }
        file.push_back(0);
        file.push_back(0);
    }
    file.push_back(0);
    file.push_back(1);
    return file;
}

void Decode(benchmark::State& state, const std::vector<std::uint8_t>& file) {
    for (auto _ : state) {
        Bitmap picture = DecodeBmp(file.data(), file.size());
        benchmark::DoNotOptimize(picture.Bits());
    }
    state.counters["pixels"] =
        benchmark::Counter(double{Width} * Height, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Decode8(benchmark::State& state) {
    Decode(state, EncodeBmp(NoisyPicture(PixelFormat::Pf8Bit)));
}
void BM_Decode24(benchmark::State& state) {
    Decode(state, EncodeBmp(NoisyPicture(PixelFormat::Pf24Bit)));
}
void BM_Decode32(benchmark::State& state) {
    Decode(state, EncodeBmp(NoisyPicture(PixelFormat::Pf32Bit)));
}
void BM_DecodeRle8(benchmark::State& state) {
    Decode(state, Rle8File());
}

// 5-6-5 in blue-green-red order: every pixel goes through the masks.
void BM_DecodeBitFields16(benchmark::State& state) {
    std::vector<std::uint8_t> file = EncodeBmp(NoisyPicture(PixelFormat::Pf16Bit));
    std::swap(file[54], file[62]);
    std::swap(file[55], file[63]);
    Decode(state, file);
}

void BM_Encode24(benchmark::State& state) {
    const Bitmap picture = NoisyPicture(PixelFormat::Pf24Bit);
    for (auto _ : state) {
        std::vector<std::uint8_t> file = EncodeBmp(picture);
        benchmark::DoNotOptimize(file.data());
    }
    state.counters["pixels"] =
        benchmark::Counter(double{Width} * Height, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(BM_Decode8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode32)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRle8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeBitFields16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Encode24)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
