// make-dial-frames: renders the synthetic dial film frame by frame as raw
// RGB24 on standard output, for the ffmpeg tool to encode (scripts/make-samples.sh
// and bench/measure-vs-ffmpeg.sh), or lists the hand's angle in each frame.
//
// The hand starts at --start degrees and turns --turn degrees clockwise,
// slowly at first, fastest half-way and slowly again at the end (a
// half cosine), so the graph of a measurement is an S. Each frame is painted
// at a whole degree: those are the angles a measurement must find.

#include "DialPainter.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: make-dial-frames WIDTHxHEIGHT FRAMES [--start DEG] [--turn DEG] [--every K] "
    "[--angles]\n"
    "  writes FRAMES frames of the dial as raw RGB24 to standard output, e.g.\n"
    "  make-dial-frames 320x240 50 | ffmpeg -f rawvideo -pix_fmt rgb24 -s 320x240 -i - dial.avi\n"
    "  --start DEG  the hand's direction in the first frame, clockwise from up (default 300)\n"
    "  --turn DEG   how far it turns over the film, clockwise (default 150)\n"
    "  --every K    only every K-th frame: 1, K + 1, 2K + 1, ... (default 1)\n"
    "  --angles     list \"frame angle\" per written frame instead of the pixels\n";

bool ReadInt(const std::string& text, int low, int high, int& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && value >= low && value <= high;
}

// The hand's direction in frame `index` of `count`, a whole degree, 0..359.
int HandAngle(int index, int count, int start, int turn) {
    const double phase = count > 1 ? static_cast<double>(index) / (count - 1) : 0.0;
    const long turned = std::lround(turn * (1.0 - std::cos(std::numbers::pi * phase)) / 2.0);
    return static_cast<int>(((start + turned) % 360 + 360) % 360);
}

int Fail(const std::string& message) {
    std::fprintf(stderr, "make-dial-frames: %s\n%s", message.c_str(), Usage);
    return 2;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() < 2) return Fail("WIDTHxHEIGHT and FRAMES are needed");
    const auto cross = args[0].find('x');
    int width = 0, height = 0, frames = 0;
    if (cross == std::string::npos || !ReadInt(args[0].substr(0, cross), 32, 8192, width) ||
        !ReadInt(args[0].substr(cross + 1), 32, 8192, height))
        return Fail("the size is WIDTHxHEIGHT, each 32..8192");
    if (!ReadInt(args[1], 1, 1000000, frames)) return Fail("FRAMES lies in 1..1000000");
    int start = 300, turn = 150, every = 1;
    bool listAngles = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--angles") {
            listAngles = true;
        } else if (args[i] == "--start" && hasValue) {
            if (!ReadInt(args[++i], -3600, 3600, start)) return Fail("--start lies in -3600..3600");
        } else if (args[i] == "--turn" && hasValue) {
            if (!ReadInt(args[++i], -360000, 360000, turn))
                return Fail("--turn lies in -360000..360000");
        } else if (args[i] == "--every" && hasValue) {
            if (!ReadInt(args[++i], 1, 1000000, every)) return Fail("--every lies in 1..1000000");
        } else {
            return Fail("unknown or incomplete option " + args[i]);
        }
    }
    if (width < height) return Fail("the dial needs a picture at least as wide as it is high");

    if (listAngles) {
        for (int index = 0; index < frames; index += every)
            std::printf("%d %d\n", index / every + 1, HandAngle(index, frames, start, turn));
        return 0;
    }
    DialPainter painter(width, height);
    for (int index = 0; index < frames; index += every) {
        const std::vector<std::uint8_t>& pixels =
            painter.Paint(HandAngle(index, frames, start, turn));
        if (std::fwrite(pixels.data(), 1, pixels.size(), stdout) != pixels.size()) {
            std::fprintf(stderr, "make-dial-frames: cannot write the frames\n");
            return 1;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
