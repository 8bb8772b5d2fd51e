#include "video/FilmReader.h"

#include "video/AVIProc.h"
#include "video/FfmpegFilmReader.h"

#include <utility>

namespace torvi {

std::unique_ptr<FilmReader> FilmReader::Open(const std::string& path,
                                             const OpenProgress& progress) {
    return std::make_unique<FfmpegFilmReader>(path, progress);
}

bool FilmReader::GetFrame(int index, Bitmap& bitmap) {
    if (!GetFrameDib(index, dib_)) return false;
    const int depth = DIBToBitmap(dib_, scratch_);
    SetFrameDepth(scratch_, depth, DibColourTable(dib_));
    // The caller's old picture becomes the next frame's scratch space, so a
    // film read frame by frame does not allocate a picture per frame.
    std::swap(bitmap, scratch_);
    return true;
}

} // namespace torvi
