#pragma once

#include "Bitmap.h"
#include "analysis/PixelSquare.h"
#include "video/FilmIndex.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace torvi {

// The measurement pass over a Motion JPEG film: the grey of one square of
// each frame, decoded in order by MjpegSquareDecoder on two threads ahead of
// the caller (every frame of such a film stands alone, so both processors
// decode at once). Each frame's bytes are read straight from the file where
// the film's index says they lie. At most Ahead frames wait decoded, so the
// pass holds Ahead squares of grey whatever the film's length.
//
// A frame the square decoder cannot take is handed back refused, for the
// caller to decode with FFmpeg: a damaged frame alone, or the whole film when
// its kind of JPEG is one the square decoder does not read.
//
// Made, asked and destroyed by one thread; its own threads end with it.
class MjpegSquarePass {
public:
    static constexpr int Ahead = 6;
    static constexpr int Workers = 2;

    enum class Outcome {
        Decoded,      // the square's grey is in the picture
        FrameRefused, // decode this frame with FFmpeg, and go on with the pass
        FilmRefused,  // decode this frame and the rest with FFmpeg
    };

    // Starts decoding the frames from `first` on, of a film of width x height
    // pictures; `square` must lie within them. Throws std::system_error when
    // its threads cannot start.
    MjpegSquarePass(const std::string& path, std::shared_ptr<const FilmIndex> index, int width,
                    int height, const PixelSquare& square, int first);
    ~MjpegSquarePass();
    MjpegSquarePass(const MjpegSquarePass&) = delete;
    MjpegSquarePass& operator=(const MjpegSquarePass&) = delete;

    // The frame Take delivers next.
    int Next() const { return next_; }
    const PixelSquare& Square() const { return square_; }

    // Waits for frame Next() and, when it was decoded, writes its square's
    // grey into the picture's grey plane (a 24-bit picture of the film's
    // size); otherwise leaves the picture as it was. Next() moves on either way.
    Outcome Take(Bitmap& picture);

private:
    struct Slot {
        int Frame = -1;
        bool Done = false;
        Outcome Result = Outcome::FrameRefused;
        std::vector<std::uint8_t> Grey; // the square's rows, Width bytes each
    };

    void Work();
    // Ends and joins the threads.
    void Stop();

    std::string path_;
    std::shared_ptr<const FilmIndex> index_;
    int width_;
    int height_;
    PixelSquare square_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_; // frame f waits in slots_[f % Ahead]
    int next_;                // the frame the caller takes next
    int claimed_;             // the frame a worker decodes next
    bool stop_ = false;
    std::vector<std::thread> workers_; // declared last: they start once all else is set
};

} // namespace torvi
