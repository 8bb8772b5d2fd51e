#pragma once

#include <string>
#include <vector>

namespace torvi {

// Where a capture device's pictures come from: a Video4Linux2 camera,
// FFmpeg's synthetic test picture for machines without one, or a film played
// as if it were a camera.
struct CaptureSource {
    enum class Kind { VideoDevice, Synthetic, PlayedFilm };

    Kind Type = Kind::VideoDevice;
    // The device file ("/dev/video0"), the filter graph of a synthetic
    // source, or the played film's path.
    std::string Name;

    // The prefix that names a played film where a device is named:
    // "play:PATH".
    static constexpr const char* PlayPrefix = "play:";

    static CaptureSource VideoDevice(std::string path);
    // FFmpeg's moving test picture of the given size and rate, paced to the
    // clock like a camera. `filters` (FFmpeg filter syntax, may be empty) are
    // applied to it first, so that a test can mark the picture.
    static CaptureSource Synthetic(int width = 320, int height = 240, int framesPerSecond = 25,
                                   const std::string& filters = {});
    // A film played once from start to end, paced to the clock at its own
    // rate, each picture timed by the film's timestamps.
    static CaptureSource PlayedFilm(std::string path);
    // The source a user names: "play:PATH" for a played film, anything else
    // a device file.
    static CaptureSource Named(const std::string& name);
};

// The capture devices of this computer in the order of their numbers
// (/dev/video0 first). Device nodes that deliver no pictures, such as the
// metadata nodes of webcams, are left out.
std::vector<CaptureSource> CaptureDrivers();

} // namespace torvi
