#pragma once

#include "Bitmap.h"

#include <memory>
#include <string>

namespace torvi {

// Frames per second as a fraction (30000/1001 for NTSC cameras).
struct FrameRate {
    int Num = 25;
    int Den = 1;
};

// Writes a film of uncompressed 16-bit 5-5-5 frames (BI_RGB, rows stored from
// the bottom) into an AVI file, one frame after the other at a fixed rate.
// The film is written into a temporary file beside the target and replaces
// the target only when Finish completes it, so a failed recording never
// leaves a half-written film and never destroys an earlier file of that name.
// Not shared between threads without a lock.
class AviRecorder {
public:
    // Creates the file and writes its header. Throws Error ("Cannot create
    // file ...") with the reason.
    AviRecorder(const std::string& path, int width, int height, FrameRate rate);
    // Abandons an unfinished film: its temporary file is removed.
    ~AviRecorder();
    AviRecorder(const AviRecorder&) = delete;
    AviRecorder& operator=(const AviRecorder&) = delete;

    // Appends a frame (15-bit, rows from the top, of the recorder's size).
    // Throws Error ("Cannot write file ...") when the file cannot take it;
    // the recorder is then abandoned and takes no more frames.
    void WriteFrame(const Bitmap& frame);

    // Writes the index and puts the film in place of the target. Throws Error
    // with the reason when that fails; nothing is left behind then.
    void Finish();

    int FramesWritten() const { return frames_; }
    const std::string& Path() const { return path_; }

private:
    void Abandon();
    [[noreturn]] void Fail(int code);

    struct Output;
    std::unique_ptr<Output> out_;
    std::string path_;
    std::string tempPath_;
    int width_;
    int height_;
    int frames_ = 0;
};

} // namespace torvi
