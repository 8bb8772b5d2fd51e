#include "HandFlood.h"

#include <algorithm>
#include <numbers>

namespace torvi {

namespace {

constexpr double AlwaysFlooded = 0.25; // of the disc
constexpr double MostHand = 0.08;      // of the disc, for a frame far above the others
constexpr double AboveMedian = 4.0;

} // namespace

std::vector<bool> FloodedFrames(const std::vector<std::uint32_t>& handPixels, int handRadius) {
    std::vector<bool> flooded(handPixels.size(), false);
    if (handPixels.empty() || handRadius <= 0) return flooded;
    const double radius = handRadius;
    const double disc = std::numbers::pi * (radius * radius + radius);
    std::vector<std::uint32_t> sorted = handPixels;
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<long>(sorted.size() / 2),
                     sorted.end());
    const double median = static_cast<double>(sorted[sorted.size() / 2]);
    const double raised = std::max(AboveMedian * median, MostHand * disc);
    for (std::size_t i = 0; i < handPixels.size(); ++i) {
        const auto count = static_cast<double>(handPixels[i]);
        flooded[i] = count > AlwaysFlooded * disc || count > raised;
    }
    return flooded;
}

} // namespace torvi
