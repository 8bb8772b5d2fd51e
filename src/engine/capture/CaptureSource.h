#pragma once

#include <string>
#include <vector>

namespace torvi {

// Where a capture device's pictures come from: a Video4Linux2 camera, or
// FFmpeg's synthetic test picture for machines without one.
struct CaptureSource {
    enum class Kind { VideoDevice, Synthetic };

    Kind Type = Kind::VideoDevice;
    // The device file ("/dev/video0"), or the filter graph of a synthetic
    // source.
    std::string Name;

    static CaptureSource VideoDevice(std::string path);
    // FFmpeg's moving test picture of the given size and rate, paced to the
    // clock like a camera. `filters` (FFmpeg filter syntax, may be empty) are
    // applied to it first, so that a test can mark the picture.
    static CaptureSource Synthetic(int width = 320, int height = 240, int framesPerSecond = 25,
                                   const std::string& filters = {});
};

// The capture devices of this computer in the order of their numbers
// (/dev/video0 first). Device nodes that deliver no pictures, such as the
// metadata nodes of webcams, are left out.
std::vector<CaptureSource> CaptureDrivers();

} // namespace torvi
