#pragma once

#include "Bitmap.h"
#include "FrameList.h"
#include "analysis/FrameLoader.h"
#include "video/FilmReader.h"

#include <memory>
#include <optional>
#include <string>

namespace torvi {

// Delivers the frames of the open measurement: decodes a picture reference
// found in the measurement's folder, or fetches a numbered frame from the
// open film. Holds at most one film open at a time.
class FrameSource {
public:
    // Upper-case extension with its point, as chosen when the measurement was
    // opened; it selects the decoder.
    std::string FileExt;
    // Folder in which bare picture names are resolved.
    std::string Folder;
    // When set, film frames need be right only within this square (the
    // measurement pass; the whole frame for the calibration): the reader
    // delivers just its grey (FilmReader::GetFrame), and the rest of the
    // caller's picture keeps what it had.
    std::optional<PixelSquare> Square;

    // Fills the bitmap with the frame the reference names. A picture name with
    // a folder part is used as it is. For a film a frame that cannot be
    // delivered leaves the bitmap as it was and gives false. Decoder errors
    // propagate.
    bool LoadFrame(const std::string& reference, Bitmap& bitmap);

    // Opens a film and returns the index of its last frame, or -1 when it
    // cannot be used (LastVideoError then says why) or the progress callback
    // abandoned the opening (LastOpenAbandoned). The index pass of a long film
    // calls `progress` now and then with bytes read and the file's size.
    int OpenVideo(const std::string& path, const OpenProgress& progress = {});
    // Opens the film `index` was made of without indexing it again (a
    // second reader of a film open elsewhere); with no index, as above.
    int OpenVideo(const std::string& path, std::shared_ptr<const FilmIndex> index);
    // Replaces the bitmap by frame `index` of the open film; does nothing and
    // gives false when no film is open or the frame cannot be delivered.
    bool GetVideoFrame(int index, Bitmap& bitmap);
    // Closes the open film; does nothing when none is open.
    void CloseVideo();
    bool VideoOpen() const { return film_ != nullptr; }
    const std::string& LastVideoError() const { return lastVideoError_; }
    // Why the last film frame that could not be read could not (FFmpeg's
    // reason), or empty.
    std::string LastFrameFailure() const { return film_ ? film_->LastFailure() : std::string(); }
    bool LastOpenAbandoned() const { return lastOpenAbandoned_; }
    // The open film's reader, for its frame count as stated by the film's
    // header and its statistics; null when no film is open.
    const FilmReader* Film() const { return film_.get(); }
    // The open film's index, to open the same film again elsewhere; null
    // when no film is open.
    std::shared_ptr<const FilmIndex> Index() const { return film_ ? film_->Index() : nullptr; }

private:
    template <typename Opening> int Open(const Opening& open);

    std::unique_ptr<FilmReader> film_;
    std::string lastVideoError_;
    bool lastOpenAbandoned_ = false;
};

// A loader that delivers frames of the list through the frame source (films
// and picture sequences alike), as the window and the command-line tool
// use it. Both must outlive the loader. An index outside the list gives
// Error "Cannot read frame N".
FrameLoader FrameSourceLoader(FrameSource& source, const FrameList& frames);

} // namespace torvi
