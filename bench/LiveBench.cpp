// Per-frame cost of a live measurement at 1280 x 720: a 15-bit picture as a
// capture device delivers it is handed over, and the time runs until the
// analysis thread has dealt with it (folded it into the background, or
// measured it, or measured and recorded it). At 30 frames per second a frame
// may take 33 ms; the analysis runs on one thread.

#include "Bitmap.h"
#include "live/LiveMeasurement.h"

#include <atomic>
#include <benchmark/benchmark.h>
#include <cmath>
#include <filesystem>
#include <thread>

using namespace torvi;

namespace {

// A dial with a dark hand at `angle` degrees, 15-bit, on a noisy checked face.
Bitmap DialFrame15(double angle, std::uint32_t seed) {
    const int width = 1280, height = 720;
    Bitmap picture(width, height, PixelFormat::Pf15Bit);
    const double rad = angle * 3.14159265358979323846 / 180.0;
    std::uint32_t state = seed;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = picture.ScanLine(y);
        for (int x = 0; x < width; ++x, p += 2) {
            state = state * 1664525u + 1013904223u;
            const int noise = static_cast<int>(state >> 28);
            const double dx = x - 640.0, dy = y - 360.0;
            const double along = dx * std::sin(rad) - dy * std::cos(rad);
            const double across = std::fabs(dx * std::cos(rad) + dy * std::sin(rad));
            const bool hand = along >= 0 && along <= 290 && across <= 3;
            const int grey = (hand ? 40 : 180 + ((x / 8 + y / 8) % 2) * 30) + noise;
            const unsigned v = static_cast<unsigned>(grey) >> 3u;
            const unsigned word = (v << 10) | (v << 5) | v;
            p[0] = static_cast<std::uint8_t>(word & 0xFFu);
            p[1] = static_cast<std::uint8_t>(word >> 8);
        }
    }
    return picture;
}

enum class Work { Learn, Measure, MeasureAndRecord };

void BM_LiveFrame(benchmark::State& state) {
    const auto work = static_cast<Work>(state.range(0));
    MeasurementSettings settings;
    settings.CentreX = 640;
    settings.CentreY = 360;
    settings.HandRadius = 300;
    std::atomic<int> measured{0};
    LiveMeasurement live(settings, [&](const LiveFrame&) { ++measured; });
    std::vector<Bitmap> frames;
    for (int i = 0; i < 8; ++i)
        frames.push_back(DialFrame15(45.0 * i, 7u + static_cast<std::uint32_t>(i)));
    // The background from a turn of the hand, then the pictures to time.
    for (const Bitmap& frame : frames) {
        const int before = live.LearnedFrames();
        live.ReceiveFrame(frame, 0);
        while (live.LearnedFrames() == before)
            std::this_thread::yield();
    }
    const std::string film =
        (std::filesystem::temp_directory_path() / "torvi-live-bench.avi").string();
    if (work == Work::MeasureAndRecord) live.RecordTo(film, 1280, 720, FrameRate{30, 1});
    if (work != Work::Learn) live.StartMeasuring();
    std::int64_t time = 0;
    std::size_t next = 0;
    for (auto _ : state) {
        const int before = work == Work::Learn ? live.LearnedFrames() : measured.load();
        live.ReceiveFrame(frames[next++ % frames.size()], time += 33333);
        if (work == Work::Learn) {
            while (live.LearnedFrames() == before)
                std::this_thread::yield();
        } else {
            while (measured.load() == before)
                std::this_thread::yield();
        }
    }
    live.Finish();
    std::filesystem::remove(film);
    state.counters["dropped"] = live.DroppedFrames();
}

} // namespace

BENCHMARK(BM_LiveFrame)
    ->ArgName("learn0_measure1_record2")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
