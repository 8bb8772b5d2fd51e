#include "capture/CaptureSource.h"

#include <algorithm>
#include <charconv>
#include <fcntl.h>
#include <filesystem>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace torvi {

namespace {

// The number N of a "videoN" device name, or -1.
int VideoNodeNumber(const std::string& name) {
    const std::string prefix = "video";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return -1;
    int number = -1;
    const char* first = name.data() + prefix.size();
    const char* last = name.data() + name.size();
    const auto [end, ec] = std::from_chars(first, last, number);
    return ec == std::errc() && end == last ? number : -1;
}

bool CapturesPictures(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    v4l2_capability caps{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &caps) == 0;
    ::close(fd);
    if (!ok) return false;
    const std::uint32_t own =
        (caps.capabilities & V4L2_CAP_DEVICE_CAPS) != 0 ? caps.device_caps : caps.capabilities;
    return (own & V4L2_CAP_VIDEO_CAPTURE) != 0;
}

} // namespace

CaptureSource CaptureSource::VideoDevice(std::string path) {
    return {Kind::VideoDevice, std::move(path)};
}

CaptureSource CaptureSource::Synthetic(int width, int height, int framesPerSecond,
                                       const std::string& filters) {
    std::string graph = "testsrc=size=" + std::to_string(width) + "x" + std::to_string(height) +
                        ":rate=" + std::to_string(framesPerSecond);
    if (!filters.empty()) graph += "," + filters;
    // Without pacing the test source delivers frames as fast as it can draw them.
    graph += ",realtime";
    return {Kind::Synthetic, graph};
}

CaptureSource CaptureSource::PlayedFilm(std::string path) {
    return {Kind::PlayedFilm, std::move(path)};
}

CaptureSource CaptureSource::Named(const std::string& name) {
    const std::string prefix = PlayPrefix;
    if (name.compare(0, prefix.size(), prefix) == 0) return PlayedFilm(name.substr(prefix.size()));
    return VideoDevice(name);
}

std::vector<CaptureSource> CaptureDrivers() {
    std::vector<std::pair<int, std::string>> nodes;
    std::error_code ec;
    for (std::filesystem::directory_iterator it("/dev", ec), end; !ec && it != end;
         it.increment(ec)) {
        const int number = VideoNodeNumber(it->path().filename().string());
        if (number >= 0) nodes.emplace_back(number, it->path().string());
    }
    std::sort(nodes.begin(), nodes.end());
    std::vector<CaptureSource> drivers;
    for (const auto& node : nodes)
        if (CapturesPictures(node.second))
            drivers.push_back(CaptureSource::VideoDevice(node.second));
    return drivers;
}

} // namespace torvi
