#pragma once

#include <cstdint>
#include <vector>

namespace torvi {

// Which frames the contrast rule flooded: frames whose hand pixels are far
// more than a hand can cover, so that their direction means nothing (a lamp
// that dimmed below the calibration's brightest frame turns the whole face
// into "hand" at a low threshold). A frame is flooded when its count exceeds
// a quarter of the disc the votes come from (pi R², R the hand's radius), or
// both four times the median count of all frames and 8 % of the disc: a
// hand, even a wide one smeared over 20°, covers less. For both modes;
// handPixels are the counts the votes give per frame.
std::vector<bool> FloodedFrames(const std::vector<std::uint32_t>& handPixels, int handRadius);

} // namespace torvi
