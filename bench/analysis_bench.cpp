// Speed of the per-frame work of the rotation analysis, on pictures already
// in memory: the measurement of one frame and the calibration fold of one
// frame. Loading and decoding are measured elsewhere.

#include "Bitmap.h"
#include "analysis/Calibration.h"
#include "analysis/DirectionTable.h"
#include "analysis/FineAngle.h"
#include "analysis/RotationMeasurement.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstdint>

using namespace torvi;

namespace {

// A 24-bit dial picture with a noisy, coloured face and a dark hand of a few
// pixels' width, so that the classification sees realistic contrasts.
Bitmap DialFrame(int width, int height, double angle, std::uint32_t seed) {
    Bitmap picture(width, height, PixelFormat::Pf24Bit);
    const double cx = width / 2;
    const double cy = height / 2;
    const double rad = angle * 3.14159265358979323846 / 180.0;
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = picture.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 3) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28);
            const double dx = x - cx;
            const double dy = y - cy;
            const double along = dx * std::sin(rad) - dy * std::cos(rad);
            const double across = std::fabs(dx * std::cos(rad) + dy * std::sin(rad));
            const bool hand = along >= 0 && along <= 290 && across <= 3;
            const int base = hand ? 40 : 180 + ((x / 8 + y / 8) % 2) * 30;
            p[0] = static_cast<std::uint8_t>(base + noise);
            p[1] = static_cast<std::uint8_t>(base + noise / 2);
            p[2] = static_cast<std::uint8_t>(base - noise);
        }
    }
    return picture;
}

MeasurementSettings BenchSettings() {
    MeasurementSettings settings;
    settings.CentreX = 640;
    settings.CentreY = 360;
    settings.HandRadius = 300;
    settings.ContrastThreshold = 60;
    return settings;
}

Bitmap BenchReference() {
    Bitmap reference;
    for (int i = 0; i < 4; ++i)
        FoldCalibrationFrame(reference,
                             DialFrame(1280, 720, 90.0 * i, 7u + static_cast<std::uint32_t>(i)),
                             i == 0, HandColour::Dark);
    return reference;
}

// One 24-bit frame analysed with R = 300 (a 601 x 601 square): votes and peak.
void AnalyseOneFrame(benchmark::State& state) {
    const MeasurementSettings settings = BenchSettings();
    const Bitmap reference = BenchReference();
    const Bitmap frame = DialFrame(1280, 720, 33.0, 99u);
    const DirectionTable table(settings, reference.Width(), reference.Height());
    const VoteCounter counter(reference, table, settings.ContrastThreshold, settings.Hand);
    for (auto _ : state) {
        const FrameVotes votes = counter.Count(frame);
        benchmark::DoNotOptimize(PeakBin(votes.Histogram));
    }
    state.SetItemsProcessed(state.iterations() * 601 * 601);
}
BENCHMARK(AnalyseOneFrame)->Unit(benchmark::kMicrosecond);

// The same frame with the fine angle's part too: the moments of the hand's
// band. The two side by side give what fine mode adds to a frame.
void AnalyseOneFrameFine(benchmark::State& state) {
    MeasurementSettings settings = BenchSettings();
    settings.Fine = true;
    const Bitmap reference = BenchReference();
    const Bitmap frame = DialFrame(1280, 720, 33.0, 99u);
    const DirectionTable table(settings, reference.Width(), reference.Height());
    const VoteCounter counter(reference, table, settings.ContrastThreshold, settings.Hand);
    for (auto _ : state) {
        const FrameVotes votes = counter.Count(frame);
        const int angle = AngleOfPeak(PeakBin(votes.Histogram));
        benchmark::DoNotOptimize(MeasureHandMoments(frame, reference, settings, angle));
    }
    state.SetItemsProcessed(state.iterations() * 601 * 601);
}
BENCHMARK(AnalyseOneFrameFine)->Unit(benchmark::kMicrosecond);

// The calibration fold of one 1280 x 720 frame into the reference.
void FoldOneFrame(benchmark::State& state) {
    Bitmap reference = BenchReference();
    const Bitmap frame = DialFrame(1280, 720, 200.0, 5u);
    for (auto _ : state) {
        FoldCalibrationFrame(reference, frame, false, HandColour::Dark);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * 1280 * 720);
}
BENCHMARK(FoldOneFrame)->Unit(benchmark::kMicrosecond);

// Once per run: the direction of every pixel of the 601 x 601 square.
void BuildDirectionTable(benchmark::State& state) {
    const MeasurementSettings settings = BenchSettings();
    for (auto _ : state) {
        const DirectionTable table(settings, 1280, 720);
        benchmark::DoNotOptimize(table.Row(0));
    }
}
BENCHMARK(BuildDirectionTable)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
