#pragma once

#include "Bitmap.h"
#include "Error.h"
#include "analysis/PixelSquare.h"
#include "video/FilmIndex.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace torvi {

// Called now and then while a film is indexed: work done and work in all
// (bytes of the file). Return false to abandon the opening.
using OpenProgress = std::function<bool(std::int64_t done, std::int64_t total)>;

// Thrown by FilmReader::Open when the progress callback abandoned the opening.
class OpenAbandoned : public Error {
public:
    OpenAbandoned() : Error("Opening abandoned") {}
};

// A frame rate as the film states it, frames per Denominator seconds; 0/0
// when it states none.
struct StatedFrameRate {
    int Numerator = 0;
    int Denominator = 0;
};

// An open film that delivers any of its frames exactly, in any order: frame N
// is always the N-th picture a decode from the film's start would show.
// One reader serves one film; it is not shared between threads.
class FilmReader {
public:
    // Work the reader has done since it was opened (indexing included);
    // tests and benchmarks use it to see that sequential reading never seeks,
    // jumps stay short and AVI films open without decoding.
    struct Statistics {
        std::int64_t Seeks = 0;
        std::int64_t DecodedFrames = 0;
        std::int64_t Reopens = 0;
    };

    virtual ~FilmReader() = default;

    // Opens and indexes the film (IndexFilm, then the reader). Throws Error
    // with the reason when the file cannot be read as a film, has no video
    // stream or no decoder for it, and OpenAbandoned when the progress
    // callback returns false. The statistics count the indexing's decoding.
    static std::unique_ptr<FilmReader> Open(const std::string& path,
                                            const OpenProgress& progress = {});
    // Opens the film `index` was made of, without reading it again: only
    // the file's header is read. Throws Error when the file cannot be opened,
    // has changed since it was indexed or has no decoder.
    static std::unique_ptr<FilmReader> Open(const std::string& path,
                                            std::shared_ptr<const FilmIndex> index);

    // The film's index, for more readers of the same film.
    virtual std::shared_ptr<const FilmIndex> Index() const = 0;

    // Frames in presentation order.
    virtual int FrameCount() const = 0;
    // The frame count the film's own header states (an AVI's stream header),
    // or -1 when it states none. It may differ from FrameCount: a truncated
    // film announces more frames than it holds.
    virtual std::int64_t HeaderFrameCount() const = 0;
    // Frames between two keyframes at most (1 for films of keyframes only).
    virtual int LongestGop() const = 0;
    virtual Statistics Stats() const = 0;
    // When frame `index` is shown, in seconds from the film's first frame, as
    // the film's own timestamps say (variable-rate phone films included);
    // negative when the film does not tell.
    virtual double FrameTime(int index) const = 0;

    // The film's nominal frame rate (a phone film's steady rate, not the
    // average of its varying frame times), 0/0 when the film states none.
    virtual StatedFrameRate NominalRate() const { return {}; }

    // Why the last frame that could not be delivered could not: FFmpeg's own
    // reason where it gave one. Empty when it did not say.
    virtual std::string LastFailure() const = 0;

    // Fills the bitmap with frame `index` in the depth the decoder delivers it
    // (palette frames keep the film's own colours), turned as the film is
    // shown. A bitmap already of the frame's size and format is overwritten
    // without allocating. Returns false, leaving the bitmap as it was, when
    // the frame cannot be delivered.
    // With a `square` only what the measurement reads of it is guaranteed
    // (GreyRow: the grey of its luma for a film of luma and chroma, its
    // pixels otherwise): a frame of the bitmap's own size and depth then
    // overwrites just that, and a film of luma and chroma gives a bitmap of
    // another shape grey alone (Bitmap::AssignGreyOnly). Reading a Motion
    // JPEG film on in order with a square smaller than the frame decodes the
    // squares alone, on two threads (MjpegSquarePass).
    virtual bool GetFrame(int index, Bitmap& bitmap, const PixelSquare* square = nullptr) = 0;
};

} // namespace torvi
