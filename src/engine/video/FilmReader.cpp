#include "video/FilmReader.h"

#include "video/AVIProc.h"
#include "video/FfmpegFilmReader.h"
#include "video/FilmIndexer.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace torvi {

namespace {

// A 24-bit frame the size of the picture already in the bitmap overwrites
// its pixels without allocating, and DIBToBitmap checks everything before it
// writes, so such a frame can go straight into the caller's bitmap.
bool FillsInPlace(const std::vector<std::uint8_t>& dib, const Bitmap& bitmap) {
    if (dib.size() < DibHeaderSize) return false;
    const BitmapInfoHeader h = BitmapInfoHeader::Read(dib.data());
    return h.BitCount == 24 && h.Compression == BI_RGB && bitmap.Format() == PixelFormat::Pf24Bit &&
           h.Width == bitmap.Width() && std::llabs(std::int64_t{h.Height}) == bitmap.Height();
}

} // namespace

std::unique_ptr<FilmReader> FilmReader::Open(const std::string& path,
                                             const OpenProgress& progress) {
    return std::make_unique<FfmpegFilmReader>(path, IndexFilm(path, progress), true);
}

std::unique_ptr<FilmReader> FilmReader::Open(const std::string& path,
                                             std::shared_ptr<const FilmIndex> index) {
    return std::make_unique<FfmpegFilmReader>(path, std::move(index));
}

bool FilmReader::GetFrame(int index, Bitmap& bitmap, const PixelSquare* square) {
    if (!GetFrameDib(index, dib_, square)) return false;
    if (square && !square->Empty() && FillsInPlace(dib_, bitmap) &&
        square->X0 + square->Width <= bitmap.Width() &&
        square->Y0 + square->Height <= bitmap.Height()) {
        // Only the square is copied; the rest of the picture keeps the
        // pixels of an earlier frame, which nobody reads.
        const BitmapInfoHeader h = BitmapInfoHeader::Read(dib_.data());
        const std::size_t stride = RowStride(h.Width, 24);
        const std::size_t pixels = dib_.size() - stride * static_cast<std::size_t>(h.Height);
        for (int y = square->Y0; y < square->Y0 + square->Height; ++y) {
            const int dibRow = h.Height > 0 ? h.Height - 1 - y : y;
            const std::uint8_t* src = dib_.data() + pixels +
                                      stride * static_cast<std::size_t>(dibRow) +
                                      3 * static_cast<std::size_t>(square->X0);
            std::memcpy(bitmap.ScanLine(y) + 3 * static_cast<std::size_t>(square->X0), src,
                        3 * static_cast<std::size_t>(square->Width));
        }
        return true;
    }
    if (FillsInPlace(dib_, bitmap)) {
        // The same picture memory every frame stays in the processor's cache;
        // alternating with a scratch picture costs a cold copy per frame.
        DIBToBitmap(dib_, bitmap);
        return true;
    }
    const int depth = DIBToBitmap(dib_, scratch_);
    SetFrameDepth(scratch_, depth, DibColourTable(dib_));
    // The caller's old picture becomes the next frame's scratch space, so a
    // film read frame by frame does not allocate a picture per frame.
    std::swap(bitmap, scratch_);
    return true;
}

} // namespace torvi
