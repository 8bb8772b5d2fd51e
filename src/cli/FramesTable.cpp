#include "FramesTable.h"

#include "results/ResultNumber.h"

#include <cstdlib>

std::string CsvNumber(long double value) {
    std::string text = torvi::FormatResultNumber(value, ".");
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

std::string FramesTableText(const torvi::RotationResult& result,
                            std::span<const long double> times,
                            std::span<const std::string> filmTimes) {
    std::string csv =
        "frame,time,direction,unwrapped,peak_votes,hand_pixels,large_step,film_time\n";
    for (std::size_t i = 0; i < result.AngleSeries.size() && i < times.size(); ++i) {
        const long long step = i == 0
                                   ? 0
                                   : std::llabs(static_cast<long long>(result.UnwrappedSeries[i]) -
                                                result.UnwrappedSeries[i - 1]);
        csv += std::to_string(i + 1) + ',' + CsvNumber(times[i]) + ',' +
               std::to_string(result.AngleSeries[i]) + ',' +
               std::to_string(result.UnwrappedSeries[i]) + ',' +
               std::to_string(result.PeakVotes[i]) + ',' + std::to_string(result.HandPixels[i]) +
               ',' + (step > 150 ? "1" : "0") + ',' + (i < filmTimes.size() ? filmTimes[i] : "") +
               '\n';
    }
    return csv;
}
