#include "MeasurementChecks.h"

#include "measurement/Measurement.h"

#include "Error.h"

#include <algorithm>

namespace {

constexpr const char* SettingsToCheck = "check --centre, --radius, --hand and --contrast";

} // namespace

void CheckCentreInPicture(int centreX, int centreY, int width, int height) {
    if (centreX >= 0 && centreX < width && centreY >= 0 && centreY < height) return;
    throw torvi::Error("the centre " + std::to_string(centreX) + ':' + std::to_string(centreY) +
                       " lies outside the " + std::to_string(width) + " \u00d7 " +
                       std::to_string(height) + " picture");
}

std::string CheckHandPixels(const std::vector<std::uint32_t>& handPixels) {
    const auto empty = std::count(handPixels.begin(), handPixels.end(), 0u);
    if (empty == 0) return {};
    if (empty == static_cast<std::ptrdiff_t>(handPixels.size()))
        throw torvi::Error(std::string("no frame shows hand pixels; ") + SettingsToCheck);
    return std::to_string(empty) + " of " + std::to_string(handPixels.size()) +
           " frames show no hand pixels; " + SettingsToCheck;
}

void MarkAsAsked(torvi::Measurement& measurement, const CommandLine& options, int width,
                 int height) {
    CheckCentreInPicture(options.CentreX, options.CentreY, width, height);
    const int radius = options.Radius
                           ? *options.Radius
                           : torvi::RadiusOfClick(options.CentreX, options.CentreY,
                                                  options.Tip->first, options.Tip->second);
    measurement.Mark(options.CentreX, options.CentreY, radius);
    measurement.ChooseHand(options.LightHand ? torvi::HandColour::Light : torvi::HandColour::Dark);
}
