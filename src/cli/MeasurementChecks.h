#pragma once

#include "CommandLine.h"
#include "analysis/RotationMeasurement.h"

#include <cstdint>
#include <string>
#include <vector>

// Checks that tell a batch user when torvi-measure would measure nothing, a
// table of zeros that looks like a result: a centre off the picture, frames
// in which no pixel passed for the hand. Both throw torvi::Error with a
// message that the tool prints after its name (and the input's, with several).

// Refuses a centre outside a picture of width × height, before any frame is
// measured. A tip outside the picture is fine: it only gives the radius.
void CheckCentreInPicture(int centreX, int centreY, int width, int height);

// Looks at the hand pixels of each measured frame: throws when no frame has
// any (nothing was measured), returns a warning line when some frames have
// none, and an empty text when every frame has some.
std::string CheckHandPixels(const std::vector<std::uint32_t>& handPixels);

namespace torvi {
class Measurement;
}

// Marks the centre and the radius (or the tip) the options give and chooses
// the hand colour, as the clicks and "B" or "W" do in the windows, once
// CheckCentreInPicture has taken the centre for a picture of width × height.
void MarkAsAsked(torvi::Measurement& measurement, const CommandLine& options, int width,
                 int height);

// One line when the contrast rule flooded some frames (far more pixels
// passed for the hand than a hand covers, as when the lamp dims), whose
// directions then mean nothing; empty when none was.
std::string FloodWarning(const std::vector<bool>& flooded);

// Where the fine angle's dial plane came from, for a line of its own: the
// rim found in the picture or the one --rim gave; empty for a dial seen
// square-on (no correction) or without the fine angle.
std::string RimNote(const torvi::RotationResult& result);

// Whole degrees are taken in the picture: a line when the background shows
// the dial seen askew, so that the directions are off those on the dial;
// empty otherwise.
std::string AskewNote(const torvi::Bitmap& background, const torvi::MeasurementSettings& settings);

// The fine angle's rim from --rim's points (nothing when none was given).
torvi::DialEllipse RimOfPoints(const std::vector<std::pair<int, int>>& points);
