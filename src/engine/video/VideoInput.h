#pragma once

#include "Error.h"
#include "av/AvHandles.h"
#include "video/DisplayOrientation.h"

#include <string>

namespace torvi {

// How an input is to be opened: a film file (no device format), or a capture
// device or test source through its FFmpeg input format.
struct InputRequest {
    const AVInputFormat* Device = nullptr;
    // A capture device's picture size, "WIDTHxHEIGHT"; empty for its own.
    std::string VideoSize;
    // Lets a blocking read be broken off (a capture device being closed).
    AVIOInterruptCB Interrupt{nullptr, nullptr};
    // Reads return EAGAIN instead of waiting for a camera's next picture.
    bool NonBlocking = false;
};

// Error `text`, with FFmpeg's reason for `code` (its last logged error, else
// the code's text) in brackets where there is one.
Error FilmError(const std::string& text, int code);

// One FFmpeg input, opened the same way for films, capture devices and films
// played as a camera, with the video stream its pictures are read from. The
// stream's set-up, its decoder and the turn its pictures are shown with come
// from here for every one of them.
class VideoInput {
public:
    // Where opening stopped, so that each caller words its own message.
    enum class Stage { Opened, Open, Probe, NoStream };

    // Opens `url` and chooses its video stream: `stream` when it is 0 or
    // more (a film reopened with its index), else the first video stream that
    // is not a cover picture. A file's streams are probed first. The other
    // streams are skipped by the demuxer. Returns Stage::Opened, or the stage
    // that failed with FFmpeg's error code in `code`.
    Stage Open(const std::string& url, const InputRequest& request, int stream, int& code);
    // Opens a film file as Open does, and throws Error for a failure, worded
    // as the film readers say it: "Cannot open file ...", "The film cannot be
    // read", or `noStream` when the file has no video stream (any stream
    // given), each with FFmpeg's reason where there is one.
    void OpenFilm(const std::string& path, int stream, const std::string& noStream);

    AVFormatContext* Format() const { return format_.get(); }
    int StreamIndex() const { return stream_; }
    const AVStream& Stream() const { return *format_->streams[stream_]; }
    void Close() { format_.reset(); }

    // Opens a decoder for the stream with `threads` frame threads. Returns 0,
    // or FFmpeg's error code (AVERROR_DECODER_NOT_FOUND when it has no
    // decoder for the codec).
    int OpenDecoder(int threads, av::CodecContext& decoder) const;

    // Frame threads for reading a film in order: one per processor.
    static int InOrderThreads();

    // How the stream's pictures are turned for showing, as players show them
    // (the display matrix of a phone film).
    DisplayOrientation Orientation() const;

private:
    av::InputContext format_;
    int stream_ = -1;
};

} // namespace torvi
