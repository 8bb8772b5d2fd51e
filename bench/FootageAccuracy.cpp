// How close fine mode and whole degrees come to the painted angle on dials
// painted like lab footage: a printed face of 100 divisions with numerals
// and print under the sweep, a hub cap, a tapered hand, noise, and one
// condition at a time (a tilted camera, shake, motion blur, a second hand, a
// shadow, a tail, glare, flicker, a phone's H.264 film, a light hand). Each
// condition is painted at three sizes and in both hand colours, with the
// centre clicked on the pivot and 2-3 pixels beside it, measured the way a
// measurement does it (reference, votes, fine angle), and its RMS and worst
// error printed per click, against the angle on the dial's own plane.
//
//   FootageAccuracy [FRAMES] [--mjpeg] [--plain] [--only NAME] [--cases]
//
// The fine angle reads a RegisteredBackground folded from the calibration's
// samples, or with --plain the calibration's reference itself.
// --mjpeg encodes every film as Motion JPEG with the ffmpeg tool (as lab
// cameras give them); the phone condition is always H.264 with B-frames.

#include "FileTypes.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "analysis/Calibration.h"
#include "analysis/DirectionTable.h"
#include "analysis/FineAngle.h"
#include "analysis/HandFlood.h"
#include "analysis/RegisteredBackground.h"
#include "analysis/RotationMeasurement.h"

#include "DialPainter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <numbers>
#include <string>
#include <time.h>
#include <utility>
#include <vector>

using namespace torvi;

namespace {

struct Condition {
    std::string Name;
    std::function<void(DialStyle&)> Looks;
    double Shake = 0;    // pixels either way
    double Flicker = 0;  // share either way
    double Exposure = 0; // share of the turn between frames smeared
    double Turn = 61.3;  // degrees turned clockwise before turning back 1.5 times as far
    double Fastest = 0;  // if set, the turn that makes the hand this fast (degrees/frame)
    int Contrast = 60;
    std::string Codec; // "" lossless, or the film's codec
    int Noise = 2;
};

struct Variant {
    int Width, Height;
    double Hand;
    bool Light;
};

struct Click {
    const char* Name;
    double PivotX, PivotY;
    int X, Y;
};

struct Errors {
    double Squares = 0, Worst = 0;
    long Count = 0;
    void Add(double e) {
        Squares += e * e;
        Worst = std::max(Worst, std::abs(e));
        ++Count;
    }
    void Add(const Errors& o) {
        Squares += o.Squares;
        Worst = std::max(Worst, o.Worst);
        Count += o.Count;
    }
    double Rms() const { return Count ? std::sqrt(Squares / static_cast<double>(Count)) : 0; }
};

// Processor time of this thread, seconds: the machine may be busy.
double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

double Difference(double a, double b) {
    return std::fmod(a - b + 540.0 * 3, 360.0) - 180.0;
}

std::string EncodeFilm(const std::string& codec, int width, int height,
                       const std::vector<std::vector<std::uint8_t>>& frames) {
    const bool h264 = codec == "h264";
    const std::string path = std::string("/tmp/torvi-footage-accuracy.") + (h264 ? "mp4" : "avi");
    const std::string options = h264 ? "-c:v libx264 -crf 20 -bf 3 -pix_fmt yuv420p"
                                     : "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p";
    EncodeWithFfmpeg(frames, width, height, options, path);
    return path;
}

// Across 12 o'clock clockwise speeding up and slowing down, a stop, back
// across it 1.5 times as far, a stop.
double Motion(double index, int count, double turn) {
    return WanderAngle(index, count, 330.37, turn);
}

struct CaseResult {
    Errors Whole, Fine;
    double FineSeconds = 0;
    long MostHandPixels = 0;
    long Flooded = 0;
};

CaseResult RunCase(Condition condition, const Variant& variant, const Click& click, int count,
                   bool mjpeg, bool registered, unsigned seed) {
    // The way back is the fastest: 1.5 turns over 40 % of the film, at most
    // pi / 2 times the mean speed.
    if (condition.Fastest > 0)
        condition.Turn = condition.Fastest * 0.4 * (count - 1) / (1.5 * std::numbers::pi / 2);
    DialStyle style;
    style.HandWidth = variant.Hand;
    style.LightHand = variant.Light;
    style.Printed = true;
    style.HubCap = true;
    style.Noise = condition.Noise;
    style.PivotX = click.PivotX;
    style.PivotY = click.PivotY;
    style.Seed = seed;
    if (condition.Looks) condition.Looks(style);
    DialPainter painter(variant.Width, variant.Height, style);

    std::uint32_t state = seed * 2654435761u + 7;
    const auto random = [&] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return (state % 20001u) / 10000.0 - 1.0;
    };
    std::vector<double> painted;
    std::vector<std::pair<double, double>> shifts;
    std::vector<std::vector<std::uint8_t>> rgb;
    for (int i = 0; i < count; ++i) {
        DialFrame shot;
        shot.Angle = Motion(i, count, condition.Turn);
        const double between =
            std::remainder(Motion(std::min(i + 1.0, count - 1.0), count, condition.Turn) -
                               Motion(std::max(i - 1.0, 0.0), count, condition.Turn),
                           360.0) /
            2;
        shot.Smear = condition.Exposure * between;
        shot.ShiftX = condition.Shake * random();
        shot.ShiftY = condition.Shake * random();
        shot.Gain = 1 + condition.Flicker * random();
        painted.push_back(shot.Angle);
        shifts.emplace_back(shot.ShiftX, shot.ShiftY);
        rgb.push_back(painter.Paint(shot));
    }
    // The user clicks the pivot as seen and the hand's tip in the first frame.
    double pivotX = 0, pivotY = 0, tipX = 0, tipY = 0;
    painter.PlaneToPicture(0, 0, pivotX, pivotY);
    const double first = painted[0] * std::numbers::pi / 180.0;
    painter.PlaneToPicture(std::sin(first) * painter.HandLength(),
                           -std::cos(first) * painter.HandLength(), tipX, tipY);
    MeasurementSettings settings;
    settings.CentreX = painter.CentreX() + click.X;
    settings.CentreY = painter.CentreY() + click.Y;
    settings.HandRadius = static_cast<int>(std::lround(std::hypot(tipX - pivotX, tipY - pivotY)));
    settings.Hand = variant.Light ? HandColour::Light : HandColour::Dark;
    settings.ContrastThreshold = condition.Contrast;
    settings.Fine = true;

    FrameSource source;
    FrameList films;
    FrameLoader loader;
    std::vector<Bitmap> pictures;
    const std::string codec = condition.Codec.empty() && mjpeg ? "mjpeg" : condition.Codec;
    if (codec.empty()) {
        for (const auto& frame : rgb)
            pictures.push_back(PaintedPicture(frame, variant.Width, variant.Height));
        loader = [&](int index, Bitmap& frame) {
            frame = pictures[static_cast<std::size_t>(index)];
        };
    } else {
        const std::string path = EncodeFilm(codec, variant.Width, variant.Height, rgb);
        source.FileExt = FileExtForName(path);
        source.Folder = FolderOf(path);
        const int last = source.OpenVideo(path);
        if (last + 1 != count) throw Error("the film lost frames");
        films = FilmFrameList(last);
        loader = FrameSourceLoader(source, films);
    }
    // The calibration, and beside it the background the fine angle reads.
    Bitmap reference, sample;
    RegisteredBackground background(settings);
    bool firstSample = true;
    for (const int index : CalibrationSamples(count)) {
        loader(index, sample);
        FoldCalibrationFrame(reference, sample, firstSample, settings.Hand);
        if (registered) background.Fold(sample);
        firstSample = false;
    }
    const DirectionTable table(settings, reference.Width(), reference.Height());
    const VoteCounter counter(reference, table, settings.ContrastThreshold, settings.Hand);
    FineAngleMeasurement fine(settings, registered ? background.Picture() : reference);
    CaseResult result;
    std::vector<int> whole;
    std::vector<std::uint32_t> handPixels;
    Bitmap frame;
    double seconds = 0;
    for (int i = 0; i < count; ++i) {
        loader(i, frame);
        frame.ConvertTo24();
        const FrameVotes votes = counter.Count(frame);
        whole.push_back(AngleOfPeak(PeakBin(votes.Histogram)));
        result.MostHandPixels = std::max<long>(result.MostHandPixels, votes.HandPixels);
        handPixels.push_back(votes.HandPixels);
        const double start = ThreadSeconds();
        fine.AddFrame(frame, whole.back());
        seconds += ThreadSeconds() - start;
    }
    const double start = ThreadSeconds();
    const FineAngleMeasurement::Series series = fine.Finish();
    seconds += ThreadSeconds() - start;
    result.FineSeconds = seconds;
    for (const bool flooded : FloodedFrames(handPixels, settings.HandRadius))
        result.Flooded += flooded ? 1 : 0;
    const bool debug = std::getenv("FOOTAGE_DEBUG") != nullptr;
    for (int i = 0; debug && i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        std::printf("    frame %2d painted %8.3f shifted %+.2f%+.2f whole %3d fine %8.3f\n", i,
                    painted[at], shifts[at].first, shifts[at].second, whole[at],
                    series.Directions[at]);
    }
    for (int i = 0; i < count; ++i) {
        const auto at = static_cast<std::size_t>(i);
        result.Whole.Add(Difference(whole[at], painted[at]));
        result.Fine.Add(Difference(series.Directions[at], painted[at]));
    }
    return result;
}

} // namespace

int main(int argc, char* argv[]) {
    int frames = 40;
    bool mjpeg = false, listCases = false, registered = true;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--mjpeg") == 0)
            mjpeg = true;
        else if (std::strcmp(argv[i], "--plain") == 0)
            registered = false;
        else if (std::strcmp(argv[i], "--cases") == 0)
            listCases = true;
        else if (std::strcmp(argv[i], "--only") == 0 && i + 1 < argc)
            only = argv[++i];
        else
            frames = std::max(8, std::atoi(argv[i]));
    }
    const auto make = [](const char* name, const std::function<void(Condition&)>& change) {
        Condition c;
        c.Name = name;
        change(c);
        return c;
    };
    const std::vector<Condition> conditions{
        make("clean", [](Condition&) {}),
        make("tilt 30", [](Condition& c) { c.Looks = [](DialStyle& s) { s.Tilt = 30; }; }),
        make("shake 1.5 px", [](Condition& c) { c.Shake = 1.5; }),
        make("blur 22/frame",
             [](Condition& c) {
                 c.Exposure = 1.0;
                 c.Fastest = 22;
             }),
        make("second hand",
             [](Condition& c) {
                 c.Looks = [](DialStyle& s) {
                     s.SecondShare = 0.4;
                     s.SecondStart = 345;
                 };
             }),
        make("shadow 4 px", [](Condition& c) { c.Looks = [](DialStyle& s) { s.Shadow = 4; }; }),
        make("tail 28 %", [](Condition& c) { c.Looks = [](DialStyle& s) { s.TailShare = 0.28; }; }),
        make("glare", [](Condition& c) { c.Looks = [](DialStyle& s) { s.Glare = true; }; }),
        make("flicker 8 %", [](Condition& c) { c.Flicker = 0.08; }),
        make("flicker 8 %, contrast 35",
             [](Condition& c) {
                 c.Flicker = 0.08;
                 c.Contrast = 35;
             }),
        make("phone H.264",
             [](Condition& c) {
                 c.Codec = "h264";
                 c.Noise = 6;
             }),
    };
    const std::vector<Variant> variants{
        {320, 240, 2, false}, {640, 480, 4.5, false}, {1280, 720, 3, false}, {640, 480, 4.5, true}};
    const std::vector<Click> clicks{{"exact", 0, 0, 0, 0},
                                    {"2-3 px off", 0.37, -0.21, 3, 0},
                                    {"2-3 px off", -0.4, -0.1, 2, -2}};
    std::printf("%-26s %-10s %6s  %15s  %15s  %9s %8s %7s\n", "condition", "centre", "frames",
                "whole RMS/worst", "fine RMS/worst", "fine ms/f", "most px", "flooded");
    unsigned seed = 1;
    for (const Condition& condition : conditions) {
        if (!only.empty() && condition.Name.find(only) == std::string::npos) continue;
        std::map<std::string, CaseResult> groups;
        std::vector<std::string> order;
        double seconds = 0;
        long measured = 0;
        for (const Variant& variant : variants) {
            for (const Click& click : clicks) {
                const CaseResult r =
                    RunCase(condition, variant, click, frames, mjpeg, registered, seed++);
                if (listCases)
                    std::printf("  %-24s %4dx%-4d hand %.1f %s click %+d%+d: whole %.3f/%.2f "
                                "fine %.3f/%.3f\n",
                                condition.Name.c_str(), variant.Width, variant.Height, variant.Hand,
                                variant.Light ? "light" : "dark", click.X, click.Y, r.Whole.Rms(),
                                r.Whole.Worst, r.Fine.Rms(), r.Fine.Worst);
                if (!groups.count(click.Name)) order.push_back(click.Name);
                CaseResult& g = groups[click.Name];
                g.Whole.Add(r.Whole);
                g.Fine.Add(r.Fine);
                g.MostHandPixels = std::max(g.MostHandPixels, r.MostHandPixels);
                g.Flooded += r.Flooded;
                seconds += r.FineSeconds;
                measured += frames;
            }
        }
        for (const std::string& name : order) {
            const CaseResult& g = groups[name];
            std::printf("%-26s %-10s %6ld  %6.3f / %6.2f  %6.3f / %6.3f  %9.3f %8ld %7ld\n",
                        condition.Name.c_str(), name.c_str(), g.Whole.Count, g.Whole.Rms(),
                        g.Whole.Worst, g.Fine.Rms(), g.Fine.Worst,
                        1000 * seconds / static_cast<double>(measured), g.MostHandPixels,
                        g.Flooded);
        }
        std::fflush(stdout);
    }
    return 0;
}
