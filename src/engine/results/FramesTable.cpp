#include "results/FramesTable.h"

#include "results/ResultNumber.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace torvi {

std::string CsvNumber(long double value) {
    std::string text = FormatResultNumber(value, ".");
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

namespace {

// A fine angle: three decimals and a point, whatever the locale; no minus
// sign on a value that rounds to zero, and a direction that rounds to 360 is 0.
std::string FineNumber(double degrees, bool direction = false) {
    char text[64];
    double rounded = std::round(degrees * 1000.0) / 1000.0;
    if (direction && rounded >= 360.0) rounded = 0;
    const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded,
                                         std::chars_format::fixed, 3);
    return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

} // namespace

std::string FramesTableText(const MeasuredSeries& series, long double framesPerSecond,
                            std::span<const std::string> filmTimes) {
    series.Check();
    const RotationResult& result = series.Frames;
    std::string csv =
        "frame,time,direction,unwrapped,peak_votes,hand_pixels,large_step,fine_direction,"
        "fine_unwrapped,film_time,flooded,fine_residual,fine_share\n";
    // A run that did not take the fine angle leaves its two columns empty.
    const bool fine = series.HasFine();
    const bool quality = fine && result.FineQuality.size() == series.Size();
    for (std::size_t i = 0; i < series.Size(); ++i) {
        const long long step = i == 0
                                   ? 0
                                   : std::llabs(static_cast<long long>(result.UnwrappedSeries[i]) -
                                                result.UnwrappedSeries[i - 1]);
        csv += std::to_string(i + 1) + ',' + CsvNumber(series.RowTime(i, framesPerSecond)) + ',' +
               std::to_string(result.AngleSeries[i]) + ',' +
               std::to_string(result.UnwrappedSeries[i]) + ',' +
               std::to_string(result.PeakVotes[i]) + ',' + std::to_string(result.HandPixels[i]) +
               ',' + (step > 150 ? "1" : "0") + ',' +
               (fine ? FineNumber(result.FineDirections[i], true) : std::string()) + ',' +
               (fine ? FineNumber(result.FineUnwrapped[i]) : std::string()) + ',' +
               (i < filmTimes.size() ? filmTimes[i] : "") + ',' +
               (i < result.Flooded.size() && result.Flooded[i] ? "1" : "0") + ',' +
               (quality ? FineNumber(result.FineQuality[i].Residual) : std::string()) + ',' +
               (quality ? FineNumber(result.FineQuality[i].Share) : std::string()) + '\n';
    }
    return csv;
}

} // namespace torvi
