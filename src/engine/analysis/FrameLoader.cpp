#include "FrameLoader.h"

#include "Error.h"

#include <string>

namespace torvi {

Error CannotReadFrame(int index, const std::string& reason) {
    return Error(ErrorKind::FrameUnreadable, "Cannot read frame " + std::to_string(index + 1LL),
                 reason);
}

void LoadAnalysisFrame(const FrameLoader& loadFrame, int index, Bitmap& frame) {
    loadFrame(index, frame);
    if (frame.Empty()) throw CannotReadFrame(index);
}

} // namespace torvi
