#include "MeasurementChecks.h"

#include "measurement/Measurement.h"

#include "Error.h"

#include <algorithm>
#include <cstdio>

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

std::string FloodWarning(const std::vector<bool>& flooded) {
    const auto count = std::count(flooded.begin(), flooded.end(), true);
    if (count == 0) return {};
    return std::to_string(count) + " of " + std::to_string(flooded.size()) +
           " frames are flooded: far more pixels passed for the hand than a hand covers, so "
           "their directions mean nothing; raise --contrast, or use --fine, which follows the "
           "lamp; the flooded column of --frames shows which";
}

std::string RimNote(const torvi::RotationResult& result) {
    if (result.FineDirections.empty()) return {};
    const torvi::DialEllipse& rim = result.FineRimEllipse;
    char size[64];
    std::snprintf(size, sizeof size, "%.0f x %.0f pixels", 2 * rim.SemiAxisA, 2 * rim.SemiAxisB);
    switch (result.FineRim) {
    case torvi::RimSource::Found:
        return std::string("the fine angle is taken on the dial's plane, from the rim found in "
                           "the picture (") +
               size + ")";
    case torvi::RimSource::Given:
        return std::string("the fine angle is taken on the dial's plane, from the rim --rim "
                           "gave (") +
               size + ")";
    case torvi::RimSource::None:
        break;
    }
    return {};
}

std::string AskewNote(const torvi::Bitmap& background, const torvi::MeasurementSettings& settings) {
    const torvi::DialEllipse rim = torvi::AskewRim(background, settings);
    if (!rim.Valid()) return {};
    char size[64];
    std::snprintf(size, sizeof size, "%.0f x %.0f pixels", 2 * rim.SemiAxisA, 2 * rim.SemiAxisB);
    return std::string("the dial is seen askew (its rim ") + size +
           "): whole degrees are the directions in the picture, off those on the dial by up "
           "to degrees; --fine measures on the dial's plane";
}

torvi::DialEllipse RimOfPoints(const std::vector<std::pair<int, int>>& points) {
    if (points.empty()) return {};
    std::vector<torvi::RimPoint> rim;
    for (const auto& [x, y] : points)
        rim.push_back({static_cast<double>(x), static_cast<double>(y)});
    const torvi::DialEllipse ellipse = torvi::EllipseThrough(rim);
    if (!ellipse.Valid()) throw torvi::Error("the points of --rim lie on no ellipse");
    return ellipse;
}
