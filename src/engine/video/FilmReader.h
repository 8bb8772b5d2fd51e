#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace torvi {

// Called now and then while a film is indexed: work done and work in all
// (in the reader's own units). Return false to abandon the opening.
using OpenProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// An open film that delivers any of its frames exactly, in any order.
// One reader serves one film; it is not shared between threads.
class FilmReader {
public:
    virtual ~FilmReader() = default;

    // Opens and indexes the film. Throws Error with the reason when it has
    // no video stream or no decoder for it.
    static std::unique_ptr<FilmReader> Open(const std::string& path,
                                            const OpenProgress& progress = {});

    // Frames in presentation order.
    virtual int FrameCount() const = 0;

    // Fills the bitmap with frame `index` in the depth the decoder delivers
    // it. Returns false, leaving the bitmap as it was, when the frame cannot
    // be delivered.
    virtual bool GetFrame(int index, Bitmap& bitmap) = 0;
};

} // namespace torvi
