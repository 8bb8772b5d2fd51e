#include "CommandLine.h"

#include "locale/CodePage.h"

#include <algorithm>
#include <charconv>
#include <tuple>

const char* const UsageText =
    "usage: torvi-measure INPUT... --centre X:Y (--radius R | --tip X:Y)\n"
    "                     [--hand dark|light] [--contrast T] [--fps TEXT] [--ticks TEXT]\n"
    "                     [--sample NAME] [-o FILE | --out-dir DIR] [--reference FILE]\n"
    "                     [--frames CSV] [--codepage N] [--quiet] [--fine]\n"
    "                     [--rim X:Y,X:Y,...]\n"
    "       torvi-measure --live DEVICE --centre X:Y (--radius R | --tip X:Y)\n"
    "                     [--learn SECONDS] [--duration SECONDS] [--record AVI] ...\n"
    "       torvi-measure --help\n";

const char* const HelpText =
    "Measures how the big hand of a dial turns in a film or a picture sequence and\n"
    "writes the result table that Torvi's \"Save result\" writes.\n"
    "\n"
    "INPUT             a film (.avi, .mpg, .mpeg, .mp4, .mov, .mkv), or one picture of\n"
    "                  a sequence (.bmp, .gif, .jpg, .jpeg, .tif, .pcx, .tga, .png):\n"
    "                  every picture of that type in its folder, in name order\n"
    "--centre X:Y      the dial centre, pixel column and row from the top-left corner\n"
    "--tip X:Y         the tip of the big hand; the radius is its distance from the centre\n"
    "--radius R        or the hand's radius in pixels, given directly\n"
    "--hand dark|light the hand is darker (default) or lighter than the dial\n"
    "--contrast T      contrast threshold 0..255 (default 60)\n"
    "--fps TEXT        frames per second, as typed in the window (default: a film's\n"
    "                  own rate, 25 for pictures);\n"
    "                  the decimal separator is your locale's\n"
    "--ticks TEXT      ticks per full turn (default 360: degrees; 1: turns)\n"
    "--sample NAME     the sample name of the table's first line\n"
    "-o FILE           write the table to FILE instead of standard output\n"
    "--out-dir DIR     with several INPUTs: one table per input, DIR/NAME.txt\n"
    "--reference FILE  also save the dial's background picture (.bmp or .tif)\n"
    "--frames CSV      also write per-frame details: frame, time, direction,\n"
    "                  unwrapped angle, votes of the peak, hand pixels, and a flag\n"
    "                  where the hand moved more than 150 degrees since the last frame,\n"
    "                  the fine direction and fine unwrapped angle (see --fine),\n"
    "                  a film's own time of the frame in seconds (empty for pictures),\n"
    "                  a flag where far more pixels passed for the hand than a hand\n"
    "                  covers, and the fine direction's residual and share of pixels\n"
    "--codepage N      write the table in Windows code page N (874, 1250 to 1258)\n"
    "                  instead of the one of your locale's language\n"
    "--quiet           no progress display\n"
    "--fine            the table holds the fine angle: the hand's own axis through\n"
    "                  the pivot found from all frames, to hundredths of a degree,\n"
    "                  and right with the centre clicked a few pixels off; on the\n"
    "                  dial's own plane when the camera looks at it askew\n"
    "--rim X:Y,X:Y,... five or more points on the dial's rim, for the fine angle of a\n"
    "                  dial seen askew whose rim the picture does not show clearly\n"
    "\n"
    "Live measurement:\n"
    "--live DEVICE     measure a capture device as it runs: a camera (/dev/video0), or\n"
    "                  play:PATH to play a film as if it were a camera, once, at its rate\n"
    "--learn SECONDS   learn the dial's background for that long first (default 5);\n"
    "                  the hand must move meanwhile\n"
    "--duration SECONDS  then measure for that long; otherwise until Ctrl+C or the end\n"
    "                  of a played film\n"
    "--record AVI      also record the measured frames, losslessly, into an AVI film\n"
    "                  Each measured frame gives a line \"TIME DIRECTION UNWRAPPED\" on\n"
    "                  standard output; -o, --frames and --reference are written at\n"
    "                  the end, the table's rate being the mean measured rate.\n"
    "\n"
    "Example:\n"
    "  torvi-measure samples/dial.avi --centre 160:120 --tip 73:70 --fps 25 -o result.txt\n"
    "\n"
    "Exit status: 0 done, 1 an input could not be measured, 2 wrong usage.\n";

namespace {

int ParseInt(const std::string& text, const std::string& option) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty())
        throw UsageError("option " + option + " needs a whole number, not \"" + text + "\"");
    return value;
}

double ParseSeconds(const std::string& text, const std::string& option) {
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || text.empty() || !(value >= 0) || value > 1e7)
        throw UsageError("option " + option + " needs a number of seconds, not \"" + text + "\"");
    return value;
}

std::pair<int, int> ParsePoint(const std::string& text, const std::string& option) {
    const auto colon = text.find(':');
    if (colon == std::string::npos) throw UsageError("option " + option + " needs X:Y");
    return {ParseInt(text.substr(0, colon), option), ParseInt(text.substr(colon + 1), option)};
}

// "X:Y,X:Y,..." with at least five points.
std::vector<std::pair<int, int>> ParsePoints(const std::string& text, const std::string& option) {
    std::vector<std::pair<int, int>> points;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t comma = std::min(text.find(',', at), text.size());
        points.push_back(ParsePoint(text.substr(at, comma - at), option));
        at = comma + 1;
    }
    if (points.size() < 5) throw UsageError("option " + option + " needs five points or more");
    return points;
}

} // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine cl;
    bool centreGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto live = [&]() -> LiveOptions& {
            if (!cl.Live) cl.Live.emplace();
            return *cl.Live;
        };
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size()) throw UsageError("option " + arg + " needs a value");
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            cl.Help = true;
        } else if (arg == "--centre" || arg == "--center") {
            std::tie(cl.CentreX, cl.CentreY) = ParsePoint(value(), arg);
            centreGiven = true;
        } else if (arg == "--tip") {
            cl.Tip = ParsePoint(value(), arg);
        } else if (arg == "--radius") {
            cl.Radius = ParseInt(value(), arg);
        } else if (arg == "--hand") {
            const std::string& hand = value();
            if (hand != "dark" && hand != "light") throw UsageError("--hand is dark or light");
            cl.LightHand = hand == "light";
        } else if (arg == "--contrast") {
            cl.Contrast = ParseInt(value(), arg);
            if (cl.Contrast < 0 || cl.Contrast > 255) throw UsageError("--contrast lies in 0..255");
        } else if (arg == "--fps") {
            cl.FramesPerSecond = value();
            cl.FramesPerSecondGiven = true;
        } else if (arg == "--ticks") {
            cl.TicksPerTurn = value();
        } else if (arg == "--sample") {
            cl.SampleName = value();
        } else if (arg == "-o" || arg == "--output") {
            cl.OutputFile = value();
        } else if (arg == "--out-dir") {
            cl.OutputFolder = value();
        } else if (arg == "--reference") {
            cl.ReferenceFile = value();
        } else if (arg == "--frames") {
            cl.FramesFile = value();
        } else if (arg == "--codepage") {
            cl.CodePage = ParseInt(value(), arg);
            if (!torvi::IsResultCodePage(*cl.CodePage))
                throw UsageError("--codepage is one of 874, 1250, 1251, 1252, 1253, 1254, 1255, "
                                 "1256, 1257, 1258");
        } else if (arg == "--live") {
            live().Device = value();
        } else if (arg == "--learn") {
            live().LearnSeconds = ParseSeconds(value(), arg);
        } else if (arg == "--duration") {
            live().DurationSeconds = ParseSeconds(value(), arg);
        } else if (arg == "--record") {
            live().RecordFile = value();
        } else if (arg == "--fine") {
            cl.Fine = true;
        } else if (arg == "--rim") {
            cl.Rim = ParsePoints(value(), arg);
        } else if (arg == "--quiet" || arg == "-q") {
            cl.Quiet = true;
        } else if (arg == "--") {
            cl.Inputs.insert(cl.Inputs.end(), args.begin() + static_cast<long>(i) + 1, args.end());
            break;
        } else if (arg.size() > 1 && arg[0] == '-') {
            throw UsageError("unknown option " + arg);
        } else {
            cl.Inputs.push_back(arg);
        }
    }
    if (cl.Help) return cl;
    if (cl.Live) {
        if (cl.Live->Device.empty())
            throw UsageError("--learn, --duration and --record need --live");
        if (!cl.Inputs.empty() || !cl.OutputFolder.empty())
            throw UsageError("--live takes no INPUT and no --out-dir");
    } else if (cl.Inputs.empty()) {
        throw UsageError("no INPUT given");
    }
    if (!centreGiven) throw UsageError("--centre is needed");
    if (cl.Radius.has_value() == cl.Tip.has_value())
        throw UsageError("give either --radius or --tip");
    if (cl.Radius && (*cl.Radius < 0 || *cl.Radius > 65535))
        throw UsageError("--radius lies in 0..65535");
    if (!cl.OutputFile.empty() && !cl.OutputFolder.empty())
        throw UsageError("give either -o or --out-dir");
    if (cl.Inputs.size() > 1) {
        if (cl.OutputFolder.empty()) throw UsageError("several INPUTs need --out-dir");
        if (!cl.ReferenceFile.empty() || !cl.FramesFile.empty())
            throw UsageError("--reference and --frames take a single INPUT");
    }
    return cl;
}
