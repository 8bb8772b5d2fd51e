#pragma once

#include "Bitmap.h"
#include "Error.h" // PicturesNotEqual
#include "FrameList.h"

#include <functional>
#include <string>

namespace torvi {

// Puts frame `index` (0 .. count - 1) of the open measurement into `frame`,
// as a picture in any pixel format (FrameSourceLoader makes one from the
// measurement's frame source). On entry `frame` holds the frame delivered before, or nothing: a
// loader may reuse its memory, so that a long film is read without a new
// picture per frame. A frame that cannot be delivered leaves `frame` empty.
// Errors it throws end the analysis and reach the caller unchanged.
using FrameLoader = std::function<void(int index, Bitmap& frame)>;

// Called after each frame the analysis has dealt with, with that frame's
// index. The window moves its progress bar here and, during calibration,
// lets pending window events run. An exception thrown here ends the analysis.
using FrameProgress = std::function<void(int index)>;

// Error "Cannot read frame N" for frame `index` (N counted from 1 as the
// user sees frames), with the reason where one is known.
Error CannotReadFrame(int index, const std::string& reason = {});

// Frame `index` from the loader into `frame`, refused with Error "Cannot read
// frame N" (N counted from 1 as the user sees frames) when the loader
// delivers an empty picture, as a film does for a frame it cannot decode: an
// empty frame would otherwise pass for a frame without a hand.
void LoadAnalysisFrame(const FrameLoader& loadFrame, int index, Bitmap& frame);

} // namespace torvi
