#pragma once

#include "Bitmap.h"
#include "FrameLoader.h"
#include "HandColour.h"

#include <vector>

namespace torvi {

// The frames a calibration samples, spread evenly over the measurement:
// 0, step, 2 step, ... up to frameCount - 1, with step = (frameCount - 1) div 10
// and at least 1. Every frame of a measurement of up to 20 frames, 11 to 15
// frames of a longer one. Empty for frameCount < 1.
std::vector<int> CalibrationSamples(int frameCount);

// Folds one frame (any pixel format) into the reference picture, a 24-bit
// picture whose three bytes per pixel hold one grey value.
// The first sample replaces the reference by the frame's grey picture. Later
// samples must have the reference's width and height (Error "Size of
// pictures are not equal" otherwise, the reference untouched); each pixel
// then keeps the brighter grey for a dark hand, the darker for a light hand.
void FoldCalibrationFrame(Bitmap& reference, const Bitmap& frame, bool firstSample,
                          HandColour hand);

// Builds the reference picture of the dial without its hand from the sample
// frames of a measurement of frameCount frames: loads each sample with
// loadFrame, folds it in, and calls progress with its index. The caller owns
// the reference; it is emptied first. On the first sample of another size
// than frame 0 the run stops with Error "Size of pictures are not equal" and
// the reference keeps what the earlier samples built. An error from the
// loader or from progress, or an empty frame (Error "Cannot read frame N"),
// ends the run the same way.
// Throws Error when frameCount < 1.
//
// With a `second` loader (another reader of the same film) the samples after
// the first are handed out in order to whichever loader is free, the second
// folding on a thread of its own, and the two pictures are folded together
// at the end: a film's sample costs a jump of its own, and two jumps decode
// at once. The reference is the same byte for byte (the brightest or
// darkest grey of the samples in any order); progress is called on the
// caller's thread only, for the caller's samples and at last for the last.
// On an error the one of the earliest sample is thrown.
void BuildReferenceImage(int frameCount, const FrameLoader& loadFrame, HandColour hand,
                         Bitmap& reference, const FrameProgress& progress = {},
                         const FrameLoader& second = {});

} // namespace torvi
