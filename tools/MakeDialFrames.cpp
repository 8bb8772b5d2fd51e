// make-dial-frames: renders the synthetic dial film frame by frame as raw
// RGB24 on standard output, for the ffmpeg tool to encode (scripts/make-samples.sh
// and bench/measure-vs-ffmpeg.sh), or lists the hand's angle in each frame.
//
// The hand starts at --start degrees and turns --turn degrees clockwise,
// slowly at first, fastest half-way and slowly again at the end (a
// half cosine), so the graph of a measurement is an S. Each frame is painted
// at a whole degree: those are the angles a measurement must find.
//
// For checking the fine angle, --motion wander paints the hand at angles
// between whole degrees: it turns clockwise, stops, turns back further than
// it came and stops again, so with a start near 12 o'clock it crosses 12
// o'clock both ways. The other options change the dial's looks (DialStyle).

#include "DialPainter.h"

#include <algorithm>
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
    "  --angles     list \"frame angle\" per written frame instead of the pixels\n"
    "  --motion wander  angles between whole degrees: turn, stop, turn back past the\n"
    "               start by half the turn, stop (--start and --turn take decimals)\n"
    "  --hand W     a tapered hand W pixels wide at the pivot (1..6)\n"
    "  --light      a light hand on a dark face\n"
    "  --detailed   a textured face with numerals under the hand's sweep\n"
    "  --noise N    up to N grey levels of noise either way in every frame (0..20)\n"
    "  --pivot X:Y  the pivot this many pixels (decimals) from the picture's centre\n"
    "  --seed S     the noise's seed\n"
    "lab footage (the angles listed are those on the dial's own plane):\n"
    "  --printed    a printed face: 100 divisions, numerals 0..90, small print\n"
    "  --hubcap     a cap over the pivot\n"
    "  --tail S     a counterweight tail, S of the hand's length (0..1)\n"
    "  --second S   a short second hand geared 1:12, S of the length (0..1)\n"
    "  --shadow PX  a soft shadow of the hands PX pixels aside (at 480 rows)\n"
    "  --glare      a bright reflection on the glass over part of the sweep\n"
    "  --tilt DEG   the camera turned DEG degrees about the horizontal (0..60)\n"
    "  --shake PX   the picture shifted up to PX pixels each way each frame (0..10)\n"
    "  --flicker P  the lamp's brightness beating P percent either way (0..50)\n"
    "  --exposure E the hand smeared over E of its turn between frames (0..1)\n";

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

bool ReadDouble(const std::string& text, double low, double high, double& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && value >= low && value <= high;
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
    double start = 300, turn = 150;
    int every = 1;
    bool listAngles = false, wander = false;
    double shake = 0, flicker = 0, exposure = 0;
    DialStyle style;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const bool hasValue = i + 1 < args.size();
        if (args[i] == "--angles") {
            listAngles = true;
        } else if (args[i] == "--start" && hasValue) {
            if (!ReadDouble(args[++i], -3600, 3600, start))
                return Fail("--start lies in -3600..3600");
        } else if (args[i] == "--turn" && hasValue) {
            if (!ReadDouble(args[++i], -360000, 360000, turn))
                return Fail("--turn lies in -360000..360000");
        } else if (args[i] == "--motion" && hasValue) {
            if (args[++i] != "wander") return Fail("--motion is wander");
            wander = true;
        } else if (args[i] == "--hand" && hasValue) {
            if (!ReadDouble(args[++i], 1, 6, style.HandWidth)) return Fail("--hand lies in 1..6");
        } else if (args[i] == "--light") {
            style.LightHand = true;
        } else if (args[i] == "--detailed") {
            style.Detailed = true;
        } else if (args[i] == "--noise" && hasValue) {
            if (!ReadInt(args[++i], 0, 20, style.Noise)) return Fail("--noise lies in 0..20");
        } else if (args[i] == "--pivot" && hasValue) {
            const std::string& pivot = args[++i];
            const auto colon = pivot.find(':');
            if (colon == std::string::npos ||
                !ReadDouble(pivot.substr(0, colon), -100, 100, style.PivotX) ||
                !ReadDouble(pivot.substr(colon + 1), -100, 100, style.PivotY))
                return Fail("--pivot is X:Y, each -100..100");
        } else if (args[i] == "--seed" && hasValue) {
            int seed = 0;
            if (!ReadInt(args[++i], 0, 1 << 30, seed)) return Fail("--seed lies in 0..2^30");
            style.Seed = static_cast<std::uint32_t>(seed);
        } else if (args[i] == "--printed") {
            style.Printed = true;
        } else if (args[i] == "--hubcap") {
            style.HubCap = true;
        } else if (args[i] == "--glare") {
            style.Glare = true;
        } else if (args[i] == "--tail" && hasValue) {
            if (!ReadDouble(args[++i], 0, 1, style.TailShare)) return Fail("--tail lies in 0..1");
        } else if (args[i] == "--second" && hasValue) {
            if (!ReadDouble(args[++i], 0, 1, style.SecondShare))
                return Fail("--second lies in 0..1");
        } else if (args[i] == "--shadow" && hasValue) {
            if (!ReadDouble(args[++i], 0, 20, style.Shadow)) return Fail("--shadow lies in 0..20");
        } else if (args[i] == "--tilt" && hasValue) {
            if (!ReadDouble(args[++i], 0, 60, style.Tilt)) return Fail("--tilt lies in 0..60");
        } else if (args[i] == "--shake" && hasValue) {
            if (!ReadDouble(args[++i], 0, 10, shake)) return Fail("--shake lies in 0..10");
        } else if (args[i] == "--flicker" && hasValue) {
            if (!ReadDouble(args[++i], 0, 50, flicker)) return Fail("--flicker lies in 0..50");
        } else if (args[i] == "--exposure" && hasValue) {
            if (!ReadDouble(args[++i], 0, 1, exposure)) return Fail("--exposure lies in 0..1");
        } else if (args[i] == "--every" && hasValue) {
            if (!ReadInt(args[++i], 1, 1000000, every)) return Fail("--every lies in 1..1000000");
        } else {
            return Fail("unknown or incomplete option " + args[i]);
        }
    }
    if (width < height) return Fail("the dial needs a picture at least as wide as it is high");
    if (!wander && (start != std::floor(start) || turn != std::floor(turn)))
        return Fail("--start and --turn take decimals only with --motion wander");
    const auto angleOf = [&](int index) {
        return wander ? WanderAngle(index, frames, start, turn)
                      : HandAngle(index, frames, static_cast<int>(start), static_cast<int>(turn));
    };

    if (listAngles) {
        for (int index = 0; index < frames; index += every) {
            if (wander)
                std::printf("%d %.4f\n", index / every + 1, angleOf(index));
            else
                std::printf("%d %d\n", index / every + 1, static_cast<int>(angleOf(index)));
        }
        return 0;
    }
    const bool footage = style.Printed || style.HubCap || style.Glare || style.TailShare > 0 ||
                         style.SecondShare > 0 || style.Shadow > 0 || style.Tilt > 0 || shake > 0 ||
                         flicker > 0 || exposure > 0;
    if (footage && !wander) return Fail("the looks of lab footage need --motion wander");
    DialPainter painter(width, height, style);
    std::uint32_t shakeState = style.Seed * 2654435761u + 1;
    const auto shaken = [&] {
        shakeState ^= shakeState << 13;
        shakeState ^= shakeState >> 17;
        shakeState ^= shakeState << 5;
        return shake * ((shakeState % 20001u) / 10000.0 - 1.0);
    };
    for (int index = 0; index < frames; index += every) {
        DialFrame shot;
        shot.Angle = angleOf(index);
        if (footage) {
            // The turn between the neighbouring frames, unwrapped.
            const double before = index > 0 ? angleOf(index - 1) : shot.Angle;
            const double after = index + 1 < frames ? angleOf(index + 1) : shot.Angle;
            const double between = std::remainder(after - before, 360.0) / 2;
            shot.Smear = exposure * between;
            shot.ShiftX = shaken();
            shot.ShiftY = shaken();
            shot.Gain = 1 + flicker / 100 * std::sin(index * 2.1);
        }
        const std::vector<std::uint8_t>& pixels =
            footage ? painter.Paint(shot) : painter.Paint(shot.Angle);
        if (std::fwrite(pixels.data(), 1, pixels.size(), stdout) != pixels.size()) {
            std::fprintf(stderr, "make-dial-frames: cannot write the frames\n");
            return 1;
        }
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}
