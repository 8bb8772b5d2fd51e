#include "FrameLoader.h"

#include "Error.h"
#include "FrameSource.h"

#include <string>

namespace torvi {

namespace {

Error CannotReadFrame(int index) {
    return Error("Cannot read frame " + std::to_string(index + 1LL));
}

} // namespace

FrameLoader FrameSourceLoader(FrameSource& source, const FrameList& frames) {
    return [&source, &frames](int index) {
        if (index < 0 || static_cast<std::size_t>(index) >= frames.size())
            throw CannotReadFrame(index);
        Bitmap frame;
        source.LoadFrame(frames[static_cast<std::size_t>(index)], frame);
        return frame;
    };
}

Bitmap LoadAnalysisFrame(const FrameLoader& loadFrame, int index) {
    Bitmap frame = loadFrame(index);
    if (frame.Empty()) throw CannotReadFrame(index);
    return frame;
}

} // namespace torvi
