#pragma once

#include "results/MeasuredSeries.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace torvi::test {

// A whole-degree series of these turns as a measurement gives it (the
// directions, votes and hand pixels filled in), with its frames' own times
// when given.
inline MeasuredSeries WholeSeries(const std::vector<std::int32_t>& turned,
                                  std::optional<std::vector<long double>> times = std::nullopt) {
    MeasuredSeries series;
    for (const std::int32_t t : turned) {
        series.Frames.AngleSeries.push_back(static_cast<std::uint16_t>(((t % 360) + 360) % 360));
        series.Frames.PeakVotes.push_back(1);
        series.Frames.HandPixels.push_back(1);
    }
    series.Frames.UnwrappedSeries = turned;
    series.Times = std::move(times);
    return series;
}

// A fresh empty folder under the system's temporary folder, removed when the
// object goes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    std::string File(const std::string& name) const { return (path_ / name).string(); }
    // Creates a file with the given bytes.
    void Write(const std::string& name, const std::string& bytes = {}) const;

private:
    std::filesystem::path path_;
};

inline std::string DataFile(const std::string& relative) {
    return std::string(TORVI_TEST_DATA) + "/" + relative;
}
inline std::string ConformanceFile(const std::string& relative) {
    return std::string(TORVI_CONFORMANCE) + "/" + relative;
}
// The shared conformance suites live outside the repository; a clone without
// them skips the tests that read them.
inline bool HaveBmpSuite() {
    return std::filesystem::is_directory(ConformanceFile("bmpsuite/g"));
}

} // namespace torvi::test
