// Speed of writing result tables: the exact number format is the costly part
// of an export, and a long measurement has one line per frame.
#include "results/NumberText.h"
#include "results/ResultNumber.h"
#include "results/ResultTable.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

using namespace torvi;

static void FormatTypicalTime(benchmark::State& state) {
    std::int64_t row = 1;
    std::string out;
    for (auto _ : state) {
        out.clear();
        AppendResultNumber(out, static_cast<long double>(row++ % 100000) / 29.97L, ".");
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(FormatTypicalTime);

static void FormatLargestValue(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(FormatResultNumber(std::numeric_limits<long double>::max(), "."));
}
BENCHMARK(FormatLargestValue);

static void FormatSmallestValue(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(
            FormatResultNumber(std::numeric_limits<long double>::denorm_min(), "."));
}
BENCHMARK(FormatSmallestValue);

// A whole file for a measurement of state.range(0) frames.
static void ResultFile(benchmark::State& state) {
    MeasuredSeries series;
    for (std::int64_t k = 0; k < state.range(0); ++k) {
        series.Frames.UnwrappedSeries.push_back(static_cast<std::int32_t>(k * 7 % 100000) - 5000);
        series.Frames.AngleSeries.push_back(0);
        series.Frames.PeakVotes.push_back(0);
        series.Frames.HandPixels.push_back(0);
    }
    const ResultFields fields{"Sample 1", "29.97", "360"};
    for (auto _ : state)
        benchmark::DoNotOptimize(ResultFileBytes(fields, series, "."));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(ResultFile)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

// Pasting a megabyte of text into a numeric field.
static void FilterLargePaste(benchmark::State& state) {
    std::string paste;
    for (int i = 0; i < 100000; ++i)
        paste += "12,3.4 x5";
    for (auto _ : state)
        benchmark::DoNotOptimize(FilterNumberText(paste, ","));
}
BENCHMARK(FilterLargePaste)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
