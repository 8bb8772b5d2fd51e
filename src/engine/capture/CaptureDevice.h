#pragma once

#include "Bitmap.h"
#include "capture/AviRecorder.h"
#include "capture/CaptureSource.h"
#include "capture/FrameReceiver.h"
#include "capture/VideoFormat.h"

#include <cstdint>
#include <memory>
#include <string>

namespace torvi {

// An open capture device. A worker thread of its own grabs the device's
// pictures, converts each to a 15-bit picture of the requested size and keeps
// the newest for the preview; while a recording runs it also appends each to
// the film. All routines are called from one thread (the window's); they
// return at once, apart from Close and StopRecording, which wait for at most
// one frame and the completion of the film.
class CaptureDevice {
public:
    // Opens the source, asking it for pictures of the format's size (a camera
    // that cannot deliver that size delivers its own, which is scaled), and
    // starts grabbing. A format of 0 x 0 takes the source's own size. Every
    // picture also goes to `receiver` when one is given; it must outlive the
    // device. Throws Error with the reason when the device cannot be opened
    // or delivers no video.
    static std::unique_ptr<CaptureDevice> Open(const CaptureSource& source,
                                               const CaptureFormat& format,
                                               FrameReceiver* receiver = nullptr);
    // Closes the device; an unfinished film is completed, as by Close, and a
    // failure to do so is swallowed.
    ~CaptureDevice();

    const CaptureFormat& Format() const;
    // The device's frame rate, which is also the rate of its films.
    FrameRate Rate() const;

    // Copies the newest picture into `frame` when it is newer than the one
    // numbered `serial`, and updates `serial`. Returns false when there is
    // no newer picture.
    bool LatestFrame(Bitmap& frame, std::uint64_t& serial) const;

    // Starts recording the following pictures into a new AVI film. Throws
    // Error when the file cannot be created or a recording is already
    // running, or when the device has stopped delivering pictures.
    void StartRecording(const std::string& path);
    // Ends the recording and completes the film. Throws Error with the reason
    // when the recording failed on the way or the film cannot be completed;
    // does nothing when no recording runs.
    void StopRecording();
    bool Recording() const;

    // Why a recording ended on its own (the disk is full, the camera was
    // unplugged), once: the next call returns an empty text.
    std::string TakeRecordingFailure();
    // Why the device stopped delivering pictures; empty while it runs.
    std::string DeviceFailure() const;

    // Stops grabbing and completes an unfinished film. Throws Error as
    // StopRecording does.
    void Close();

    struct State;

private:
    explicit CaptureDevice(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
};

} // namespace torvi
