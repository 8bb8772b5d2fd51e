#pragma once

#include "Bitmap.h"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <vector>

namespace torvi::test {

// What a recorded AVI film holds, read with FFmpeg directly and by the
// bytes of its stream format header.
struct FilmFacts {
    int Width = 0;
    int Height = 0;
    int BitsPerSample = 0;
    std::uint32_t CodecTag = 0xFFFFFFFF;
    std::string PixelFormat;
    int RateNum = 0;
    int RateDen = 0;
    std::int32_t HeaderHeight = 0; // biHeight as stored in the file
    std::vector<Bitmap> Frames;    // decoded in order, 15-bit, rows from the top
};

// Reads the whole film; fails the calling test (and returns what it has)
// when FFmpeg cannot open it.
FilmFacts ProbeFilm(const std::string& path);

// Frame `index` fetched by seeking, as a reader jumping through the film does.
Bitmap SeekFrame(const std::string& path, int index);

inline std::uint16_t Pixel15(const Bitmap& bitmap, int x, int y) {
    const std::uint8_t* p = bitmap.ScanLine(y) + 2 * x;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// Waits for a condition of a running device, up to a generous limit so a
// loaded machine does not fail the test. Returns the condition's last value.
template <typename Condition> bool WaitFor(Condition condition, int seconds = 30) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit) return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

// Makes every file of this process stop growing at `bytes`, as a full disk
// does; writes past it fail with an error instead of a signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*previous_)(int) = nullptr;
};

} // namespace torvi::test
