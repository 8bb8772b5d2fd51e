#include "FrameLoader.h"

#include "Error.h"
#include "FrameSource.h"

#include <string>

namespace torvi {

namespace {

Error CannotReadFrame(int index, const std::string& reason = {}) {
    return Error(ErrorKind::FrameUnreadable, "Cannot read frame " + std::to_string(index + 1LL),
                 reason);
}

} // namespace

FrameLoader FrameSourceLoader(FrameSource& source, const FrameList& frames) {
    return [&source, &frames](int index, Bitmap& frame) {
        if (index < 0 || static_cast<std::size_t>(index) >= frames.size())
            throw CannotReadFrame(index);
        if (!source.LoadFrame(frames[static_cast<std::size_t>(index)], frame)) {
            // A film's reason travels with the error, so the user sees why.
            const std::string reason = source.LastFrameFailure();
            if (!reason.empty()) throw CannotReadFrame(index, reason);
            frame = Bitmap();
        }
    };
}

void LoadAnalysisFrame(const FrameLoader& loadFrame, int index, Bitmap& frame) {
    loadFrame(index, frame);
    if (frame.Empty()) throw CannotReadFrame(index);
}

} // namespace torvi
