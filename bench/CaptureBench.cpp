// How much headroom the capture has over a camera's 25 to 60 frames per
// second: appending a 320 x 240 frame to a film, and turning it into the
// 24-bit picture the live display draws.
#include "Bitmap.h"
#include "capture/AviRecorder.h"

#include <benchmark/benchmark.h>
#include <filesystem>
#include <unistd.h>

namespace {

torvi::Bitmap Frame() {
    torvi::Bitmap frame(320, 240, torvi::PixelFormat::Pf15Bit);
    for (std::size_t i = 0; i < frame.ByteSize(); ++i)
        frame.Bits()[i] = static_cast<std::uint8_t>(i * 7);
    return frame;
}

void RecordFrame(benchmark::State& state) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("torvi-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    const torvi::Bitmap frame = Frame();
    {
        torvi::AviRecorder recorder((folder / "bench.avi").string(), 320, 240, {25, 1});
        for (auto _ : state)
            recorder.WriteFrame(frame);
        recorder.Finish();
    }
    std::filesystem::remove_all(folder);
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(frame.ByteSize()));
}
// A bounded count keeps the film to about 75 MB.
BENCHMARK(RecordFrame)->Iterations(500)->Unit(benchmark::kMicrosecond);

void PreviewConversion(benchmark::State& state) {
    const torvi::Bitmap frame = Frame();
    for (auto _ : state)
        benchmark::DoNotOptimize(frame.ToBgr24());
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PreviewConversion)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
