// How close the fine angle comes to the angles a dial was painted at: dials
// painted by the project's dial painter at angles between whole degrees,
// measured as lossless pictures or as films the ffmpeg tool encodes, with the
// centre clicked exactly on the pivot or up to 3 pixels beside it. Prints
// the RMS and the worst error of each way of finding the direction:
//
//   whole    the whole-degree direction (the strongest bin)
//   subbin   a parabola through the strongest bin and its neighbours
//   free     the hand's own axis with a free offset
//   click    the axis of the same pixels through the clicked centre
//   pivot    the axis through the pivot found from all frames (fine mode)
//
//   FineAngleAccuracy [lossless|films|all] [FRAMES] [--cases]

#include "FileTypes.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "analysis/Calibration.h"
#include "analysis/DirectionTable.h"
#include "analysis/FineAngle.h"
#include "analysis/RotationMeasurement.h"

#include "DialPainter.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace torvi;

namespace {

constexpr int Methods = 5;
const char* const MethodNames[Methods] = {"whole", "subbin", "free", "click", "pivot"};

struct Errors {
    double Squares[Methods] = {};
    double Worst[Methods] = {};
    long Count = 0;
    long PivotWorseThanWhole = 0; // frames the fine angle misses by more

    void Add(const std::array<double, Methods>& e) {
        for (int m = 0; m < Methods; ++m) {
            Squares[m] += e[static_cast<std::size_t>(m)] * e[static_cast<std::size_t>(m)];
            Worst[m] = std::max(Worst[m], std::abs(e[static_cast<std::size_t>(m)]));
        }
        if (std::abs(e[4]) > std::abs(e[0])) ++PivotWorseThanWhole;
        ++Count;
    }
    void Add(const Errors& other) {
        for (int m = 0; m < Methods; ++m) {
            Squares[m] += other.Squares[m];
            Worst[m] = std::max(Worst[m], other.Worst[m]);
        }
        Count += other.Count;
        PivotWorseThanWhole += other.PivotWorseThanWhole;
    }
    double Rms(int m) const {
        return Count ? std::sqrt(Squares[m] / static_cast<double>(Count)) : 0;
    }
};

double Difference(double a, double b) {
    return std::fmod(a - b + 540.0 * 3, 360.0) - 180.0;
}

// The sub-bin peak: the vertex of the parabola through the strongest bin and
// its two neighbours, as a direction clockwise from up.
double SubBinAngle(const VoteHistogram& histogram) {
    const int peak = PeakBin(histogram);
    const double left = histogram[static_cast<std::size_t>((peak + 359) % 360)];
    const double middle = histogram[static_cast<std::size_t>(peak)];
    const double right = histogram[static_cast<std::size_t>((peak + 1) % 360)];
    const double curve = left - 2 * middle + right;
    const double shift = curve < 0 ? 0.5 * (left - right) / curve : 0.0;
    const double angle = 180.0 - (peak + shift);
    return angle < 0 ? angle + 360.0 : angle;
}

struct Case {
    std::string Kind; // "lossless", "mjpeg", "mpeg4", "h264"
    int Width, Height;
    DialStyle Style;
    int ClickX, ClickY; // the click, pixels from the picture's centre
    bool Cut = false;
};

std::string Describe(const Case& c) {
    char text[200];
    std::snprintf(text, sizeof text, "%s %dx%d hand %.0f %s click %+d%+d pivot %+.2f%+.2f%s",
                  c.Kind.c_str(), c.Width, c.Height, c.Style.HandWidth,
                  c.Style.LightHand ? "light" : "dark", c.ClickX, c.ClickY, c.Style.PivotX,
                  c.Style.PivotY, c.Cut ? " cut" : "");
    return text;
}

// The film of the painted frames, written by the ffmpeg tool.
std::string EncodeFilm(const Case& c, const std::vector<std::vector<std::uint8_t>>& frames) {
    const std::string path = "/tmp/torvi-fine-accuracy." + c.Kind + ".avi";
    const std::string codec = c.Kind == "mjpeg"   ? "-c:v mjpeg -q:v 3 -pix_fmt yuvj420p"
                              : c.Kind == "mpeg4" ? "-c:v mpeg4 -q:v 3 -bf 0 -pix_fmt yuv420p"
                                                  : "-c:v libx264 -crf 20 -pix_fmt yuv420p";
    EncodeWithFfmpeg(frames, c.Width, c.Height, codec, path);
    return path;
}

Errors RunCase(const Case& c, int frameCount, bool listCase) {
    DialPainter painter(c.Width, c.Height, c.Style);
    std::vector<double> painted;
    std::vector<std::vector<std::uint8_t>> rgb;
    for (int i = 0; i < frameCount; ++i) {
        const double phase = frameCount > 1 ? static_cast<double>(i) / (frameCount - 1) : 0.0;
        const auto smooth = [](double p) {
            return (1 - std::cos(3.14159265358979 * std::clamp(p, 0.0, 1.0))) / 2;
        };
        // Across 12 o'clock clockwise, a stop, back across it, a stop.
        const double turned =
            phase < 0.5 ? 61.3 * smooth(phase / 0.4) : 61.3 - 92.0 * smooth((phase - 0.5) / 0.4);
        painted.push_back(std::fmod(330.37 + turned + 720.0, 360.0));
        rgb.push_back(painter.Paint(painted.back()));
    }
    MeasurementSettings settings;
    settings.CentreX = painter.CentreX() + c.ClickX;
    settings.CentreY = painter.CentreY() + c.ClickY;
    settings.HandRadius = painter.HandLength();
    settings.Hand = c.Style.LightHand ? HandColour::Light : HandColour::Dark;

    FrameSource source;
    FrameList films;
    FrameLoader loader;
    std::vector<Bitmap> pictures;
    if (c.Kind == "lossless") {
        for (const auto& frame : rgb)
            pictures.push_back(PaintedPicture(frame, c.Width, c.Height));
        loader = [&](int index, Bitmap& frame) {
            frame = pictures[static_cast<std::size_t>(index)];
        };
    } else {
        const std::string path = EncodeFilm(c, rgb);
        source.FileExt = FileExtForName(path);
        source.Folder = FolderOf(path);
        const int last = source.OpenVideo(path);
        if (last + 1 != frameCount) throw Error("the film lost frames");
        films = FilmFrameList(last);
        loader = FrameSourceLoader(source, films);
    }
    Bitmap reference;
    BuildReferenceImage(frameCount, loader, settings.Hand, reference);
    const DirectionTable table(settings, reference.Width(), reference.Height());
    const VoteCounter counter(reference, table, settings.ContrastThreshold, settings.Hand);

    std::vector<HandMoments> moments;
    std::vector<double> coarse, subBin;
    Bitmap frame;
    for (int i = 0; i < frameCount; ++i) {
        loader(i, frame);
        frame.ConvertTo24();
        const FrameVotes votes = counter.Count(frame);
        coarse.push_back(AngleOfPeak(PeakBin(votes.Histogram)));
        subBin.push_back(SubBinAngle(votes.Histogram));
        moments.push_back(MeasureHandMoments(frame, reference, settings, coarse.back()));
    }
    const PixelOffset pivot = EstimatePivot(moments, coarse, settings);
    Errors errors;
    for (int i = 0; i < frameCount; ++i) {
        const auto at = static_cast<std::size_t>(i);
        const std::array<double, Methods> e{
            Difference(coarse[at], painted[at]), Difference(subBin[at], painted[at]),
            Difference(FreeHandAxis(moments[at], coarse[at]).Angle, painted[at]),
            Difference(AxisAngleThrough(moments[at], {}, coarse[at]), painted[at]),
            Difference(AxisAngleThrough(moments[at], pivot, coarse[at]), painted[at])};
        errors.Add(e);
    }
    if (listCase) {
        std::printf("%-62s", Describe(c).c_str());
        for (int m = 0; m < Methods; ++m)
            std::printf(" %6.3f/%5.2f", errors.Rms(m), errors.Worst[m]);
        const double truePivotX = c.Style.PivotX - c.ClickX, truePivotY = c.Style.PivotY - c.ClickY;
        std::printf("  pivot miss %.2f\n", std::hypot(pivot.X - truePivotX, pivot.Y - truePivotY));
    }
    return errors;
}

void PrintTable(const std::map<std::string, Errors>& groups) {
    std::printf("\n%-34s %6s", "input, centre", "frames");
    for (int m = 0; m < Methods; ++m)
        std::printf(" %14s", MethodNames[m]);
    std::printf("\n%-34s %6s", "", "");
    for (int m = 0; m < Methods; ++m)
        std::printf(" %14s", "RMS / worst");
    std::printf("\n");
    for (const auto& [name, errors] : groups) {
        std::printf("%-34s %6ld", name.c_str(), errors.Count);
        for (int m = 0; m < Methods; ++m)
            std::printf("  %5.3f / %5.3f", errors.Rms(m), errors.Worst[m]);
        std::printf("   pivot worse than whole in %ld\n", errors.PivotWorseThanWhole);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    const std::string which = argc > 1 ? argv[1] : "lossless";
    const int frames = argc > 2 ? std::max(3, std::atoi(argv[2])) : 40;
    const bool listCases = argc > 3 && std::string(argv[3]) == "--cases";

    const std::array<std::array<int, 2>, 4> sizes{
        {{320, 240}, {640, 480}, {1280, 720}, {1920, 1080}}};
    // The exact centre on a pivot between pixels; clicks 3 pixels off (2.83
    // on the diagonal) in four directions.
    struct Centre {
        const char* Name;
        double PivotX, PivotY;
        int ClickX, ClickY;
    };
    const std::array<Centre, 5> centres{{{"exact", 0, 0, 0, 0},
                                         {"3 px off", 0.37, -0.21, 3, 0},
                                         {"3 px off", -0.18, 0.44, 0, -3},
                                         {"3 px off", 0.25, 0.3, -2, 2},
                                         {"3 px off", -0.4, -0.1, 2, -2}}};
    std::vector<Case> cases;
    const bool lossless = which == "lossless" || which == "all";
    const bool films = which == "films" || which == "all";
    unsigned seed = 1;
    for (const auto& size : sizes) {
        for (const double width : {1.0, 2.0, 4.0, 6.0}) {
            for (const bool light : {false, true}) {
                for (const Centre& centre : centres) {
                    DialStyle style;
                    style.HandWidth = width;
                    style.LightHand = light;
                    style.Detailed = true;
                    style.Noise = 2;
                    style.PivotX = centre.PivotX;
                    style.PivotY = centre.PivotY;
                    style.Seed = seed++;
                    if (lossless)
                        cases.push_back(
                            {"lossless", size[0], size[1], style, centre.ClickX, centre.ClickY});
                    // Films at the two middle sizes, with a 2- and a 4-pixel hand.
                    if (films && (size[0] == 640 || size[0] == 1280) && (width == 2 || width == 4))
                        for (const char* codec : {"mjpeg", "mpeg4", "h264"})
                            cases.push_back(
                                {codec, size[0], size[1], style, centre.ClickX, centre.ClickY});
                }
            }
        }
    }
    // The circle cut by the picture's left edge: the pivot 70 pixels from it.
    if (lossless)
        for (const double width : {2.0, 4.0})
            for (const int click : {0, 3}) {
                DialStyle style;
                style.HandWidth = width;
                style.Detailed = true;
                style.Noise = 2;
                style.PivotX = -250;
                Case c{"lossless", 640, 480, style, -250 + click, 0, true};
                cases.push_back(c);
            }

    std::map<std::string, Errors> groups;
    for (const Case& c : cases) {
        const Errors e = RunCase(c, frames, listCases);
        const bool exact = c.ClickX == 0 && c.ClickY == 0 && c.Style.PivotX == 0;
        std::string group = c.Kind + (c.Cut ? ", circle cut" : "") +
                            (exact || (c.Cut && c.ClickX == -250) ? ", exact" : ", 3 px off");
        groups[group].Add(e);
    }
    PrintTable(groups);
    return 0;
}
