// Speed of the film reader on long films. bench/film-speed.sh makes the films
// (in TORVI_FILM_DIR, /tmp/torvi-films by default) and sets them beside
// `ffmpeg -f null`.
#include "Bitmap.h"
#include "FrameSource.h"
#include "video/FilmIndexer.h"
#include "video/FilmReader.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <string>

namespace {

std::string FilmPath(const char* name) {
    const char* folder = std::getenv("TORVI_FILM_DIR");
    return std::string(folder ? folder : "/tmp/torvi-films") + "/" + name;
}

const char* const Films[] = {"mjpeg-720p.avi", "mpeg4-720p.avi", "mpeg2-720p.mpg",
                             // One keyframe in 300 frames, and packed B-frames.
                             "mpeg4-onekey-240p.avi", "xvid-packed-480p.avi",
                             // H.264 with B-frames, GOP 50, as phones write it.
                             "h264-720p.mp4"};

// Resident memory in bytes, from /proc.
double ResidentBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * 4096.0;
}

void OpenFilm(benchmark::State& state) {
    const std::string path = FilmPath(Films[state.range(0)]);
    state.SetLabel(Films[state.range(0)]);
    for (auto _ : state) {
        try {
            auto film = torvi::FilmReader::Open(path);
            benchmark::DoNotOptimize(film->FrameCount());
        } catch (const std::exception& e) {
            state.SkipWithError(e.what());
            return;
        }
    }
}

// A second reader of a film already indexed, as a measurement run opens its
// own: the index is handed on, so only the file's header is read.
void OpenFromIndex(benchmark::State& state) {
    const std::string path = FilmPath(Films[state.range(0)]);
    state.SetLabel(Films[state.range(0)]);
    try {
        const auto index = torvi::IndexFilm(path);
        for (auto _ : state) {
            auto film = torvi::FilmReader::Open(path, index);
            benchmark::DoNotOptimize(film->FrameCount());
        }
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
    }
}

// Every frame in order through GetVideoFrame, the way the measurement reads
// a film, the opening included.
void ReadEveryFrame(benchmark::State& state) {
    const std::string path = FilmPath(Films[state.range(0)]);
    state.SetLabel(Films[state.range(0)]);
    double frames = 0;
    double memoryEarly = 0;
    double memoryLate = 0;
    for (auto _ : state) {
        torvi::FrameSource source;
        const int last = source.OpenVideo(path);
        if (last < 0) {
            state.SkipWithError(source.LastVideoError().c_str());
            return;
        }
        torvi::Bitmap frame;
        for (int i = 0; i <= last; ++i) {
            source.GetVideoFrame(i, frame);
            if (i == 100) memoryEarly = ResidentBytes();
        }
        memoryLate = ResidentBytes();
        frames = last + 1;
        source.CloseVideo();
    }
    state.counters["frames"] = frames;
    state.counters["fps"] =
        benchmark::Counter(frames, benchmark::Counter::kIsIterationInvariantRate);
    // Memory after frame 100 and after the last one: flat when equal.
    state.counters["rss_MB_at_100"] = memoryEarly / 1e6;
    state.counters["rss_MB_at_end"] = memoryLate / 1e6;
}

// The film the benchmark's argument names, opened; null (the benchmark
// skipped with the reason) when it cannot be.
std::unique_ptr<torvi::FilmReader> OpenBenchFilm(benchmark::State& state) {
    state.SetLabel(Films[state.range(0)]);
    try {
        return torvi::FilmReader::Open(FilmPath(Films[state.range(0)]));
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return nullptr;
    }
}

// One random frame per iteration, from an open film.
void RandomJump(benchmark::State& state) {
    const auto film = OpenBenchFilm(state);
    if (!film) return;
    std::mt19937 generator(7);
    std::uniform_int_distribution<int> pick(0, film->FrameCount() - 1);
    torvi::Bitmap frame;
    const auto before = film->Stats().DecodedFrames;
    for (auto _ : state)
        film->GetFrame(pick(generator), frame);
    state.counters["gop"] = film->LongestGop();
    state.counters["decoded_per_jump"] = static_cast<double>(film->Stats().DecodedFrames - before) /
                                         static_cast<double>(state.iterations());
}

// Decoding one longest GOP in order: the unit a random jump is measured in.
void DecodeOneGop(benchmark::State& state) {
    const auto film = OpenBenchFilm(state);
    if (!film) return;
    const int gop = film->LongestGop();
    torvi::Bitmap frame;
    for (auto _ : state) {
        state.PauseTiming();
        film->GetFrame(0, frame);
        state.ResumeTiming();
        for (int i = 1; i <= gop; ++i)
            film->GetFrame(i, frame);
    }
    state.counters["gop"] = gop;
}

// Every frame from the last to the first, as a user steps back.
void StepBackward(benchmark::State& state) {
    const auto film = OpenBenchFilm(state);
    if (!film) return;
    torvi::Bitmap frame;
    const auto before = film->Stats().DecodedFrames;
    for (auto _ : state)
        for (int i = film->FrameCount() - 1; i >= 0; --i)
            film->GetFrame(i, frame);
    state.counters["frames"] = film->FrameCount();
    state.counters["decoded"] = static_cast<double>(film->Stats().DecodedFrames - before) /
                                static_cast<double>(state.iterations());
}

} // namespace

BENCHMARK(OpenFilm)->DenseRange(0, 2)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(OpenFromIndex)->DenseRange(0, 2)->Arg(5)->Unit(benchmark::kMillisecond);
BENCHMARK(ReadEveryFrame)->DenseRange(0, 2)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(RandomJump)->DenseRange(0, 2)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(60);
BENCHMARK(DecodeOneGop)->DenseRange(0, 2)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(OpenFilm)->Arg(4)->Unit(benchmark::kMillisecond);
BENCHMARK(StepBackward)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
