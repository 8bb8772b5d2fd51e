#include "FrameLoader.h"

#include "Error.h"

#include <string>

namespace torvi {

Bitmap LoadAnalysisFrame(const FrameLoader& loadFrame, int index) {
    Bitmap frame = loadFrame(index);
    if (frame.Empty()) throw Error("Cannot read frame " + std::to_string(index + 1LL));
    return frame;
}

} // namespace torvi
