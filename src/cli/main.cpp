// torvi-measure: the whole measurement of Torvi from the command line, on the
// same engine code as the window, so its result file is byte for byte the one
// "Save result" writes for the same settings.

#include "CommandLine.h"

#include "Error.h"
#include "FileIO.h"
#include "FileTypes.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "PictureFiles.h"
#include "analysis/Calibration.h"
#include "analysis/FrameLoader.h"
#include "analysis/MeasurementSettings.h"
#include "analysis/RotationMeasurement.h"
#include "results/ResultNumber.h"
#include "results/ResultTable.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <langinfo.h>
#include <locale.h>
#include <set>
#include <unistd.h>

namespace {

// The user's regional decimal separator, as the window takes it from the
// environment (a point in the C locale).
std::string RegionalSeparator() {
    locale_t numeric = newlocale(LC_NUMERIC_MASK, "", nullptr);
    if (!numeric) return ".";
    std::string separator = nl_langinfo_l(RADIXCHAR, numeric);
    freelocale(numeric);
    return separator.empty() ? "." : separator;
}

// A progress line on standard error while it is a terminal.
class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO)) {}
    void Show(const std::string& activity, int done, int total) {
        if (!enabled_ || total <= 0) return;
        const int percent = static_cast<int>((static_cast<long long>(done) * 100) / total);
        if (percent == last_ && activity == activity_) return;
        last_ = percent;
        activity_ = activity;
        const int width = 30;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r%-16s [%s%s] %3d%%", activity.c_str(),
                     std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                     percent);
        std::fflush(stderr);
    }
    void Done() {
        if (!enabled_ || last_ < 0) return;
        std::fprintf(stderr, "\r%*s\r", 60, "");
        std::fflush(stderr);
        last_ = -1;
    }

private:
    bool enabled_;
    int last_ = -1;
    std::string activity_;
};

// Formats a number for the frames table: the result file's rounding, with a
// point and no padding, whatever the locale.
std::string CsvNumber(long double value) {
    std::string text = torvi::FormatResultNumber(value, ".");
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

// A fine angle for the frames table: three decimals and a point, whatever
// the locale; no minus sign on a value that rounds to zero, and a direction
// that rounds to 360 is 0.
std::string FineNumber(double degrees, bool direction = false) {
    char text[64];
    double rounded = std::round(degrees * 1000.0) / 1000.0;
    if (direction && rounded >= 360.0) rounded = 0;
    const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded,
                                         std::chars_format::fixed, 3);
    return ec == std::errc() ? std::string(text, end) : std::string("nan");
}

struct Job {
    const CommandLine& Options;
    std::string Separator;
    Progress& Bar;

    // Measures one input and writes what was asked; throws torvi::Error.
    void Run(const std::string& input, const std::string& resultPath) {
        const std::string fileExt = torvi::FileExtForName(input);
        const std::string ext = torvi::UpperExtension(input);
        if (fileExt.empty())
            throw torvi::Error("Unknown picture file extension (" + (ext.empty() ? "." : ext) +
                               ")");
        if (!std::filesystem::is_regular_file(input)) throw torvi::CannotOpenFile(input);

        // The field texts are checked before any frame is read, as the window
        // does before it asks for the file name.
        const torvi::ResultFields fields{Options.SampleName,
                                         torvi::DefaultedFieldText(Options.FramesPerSecond),
                                         torvi::DefaultedFieldText(Options.TicksPerTurn)};
        const torvi::ResultScale scale =
            torvi::CheckResultScale(fields.FramesPerSecond, fields.TicksPerTurn, Separator);

        torvi::FrameSource source;
        source.FileExt = fileExt;
        source.Folder = torvi::FolderOf(input);
        torvi::FrameList frames;
        if (torvi::IsFilmExt(fileExt)) {
            const int last = source.OpenVideo(input, [this](std::int64_t done, std::int64_t total) {
                Bar.Show("Opening ...",
                         static_cast<int>(done * 1000 / std::max<std::int64_t>(total, 1)), 1000);
                return true;
            });
            if (last < 1) throw torvi::Error("Missing system video codec");
            if (last == 1)
                throw torvi::Error("More than two pictures in *" + fileExt + " file are needed");
            frames = torvi::FilmFrameList(last);
        } else {
            frames = torvi::ListPictureSequence(source.Folder, fileExt, torvi::NameCollator());
            if (frames.size() < 3)
                throw torvi::Error("More than two files *" + fileExt + " in directory are needed");
        }
        const int count = static_cast<int>(frames.size());

        torvi::MeasurementSettings settings;
        settings.CentreX = Options.CentreX;
        settings.CentreY = Options.CentreY;
        settings.HandRadius = Options.Radius
                                  ? *Options.Radius
                                  : torvi::RadiusOfClick(Options.CentreX, Options.CentreY,
                                                         Options.Tip->first, Options.Tip->second);
        settings.ContrastThreshold = Options.Contrast;
        settings.Hand = Options.LightHand ? torvi::HandColour::Light : torvi::HandColour::Dark;
        // The frames table shows the fine angle whichever the result table holds.
        settings.Fine = Options.Fine || !Options.FramesFile.empty();

        const torvi::FrameLoader loader = torvi::FrameSourceLoader(source, frames);
        torvi::Bitmap reference;
        torvi::BuildReferenceImage(count, loader, settings.Hand, reference,
                                   [&](int i) { Bar.Show("Calibration ...", i + 1, count); });
        const torvi::RotationResult result =
            torvi::MeasureHandRotation(count, loader, reference, settings,
                                       [&](int i) { Bar.Show("Calculation ...", i + 1, count); });
        Bar.Done();

        if (!Options.ReferenceFile.empty()) torvi::SavePicture(Options.ReferenceFile, reference);
        if (!Options.FramesFile.empty()) WriteFramesTable(result, scale);
        const std::string bytes =
            Options.Fine ? torvi::FineResultFileBytes(fields, result.FineUnwrapped, Separator)
                         : torvi::ResultFileBytes(fields, result.UnwrappedSeries, Separator);
        if (resultPath.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
            if (std::fflush(stdout) != 0)
                throw torvi::Error("Cannot write the result to standard output");
        } else {
            torvi::WriteFileAtomically(resultPath, bytes.data(), bytes.size());
        }
    }

    void WriteFramesTable(const torvi::RotationResult& result, const torvi::ResultScale& scale) {
        std::string csv = "frame,time,direction,unwrapped,peak_votes,hand_pixels,large_step,"
                          "fine_direction,fine_unwrapped\n";
        for (std::size_t i = 0; i < result.AngleSeries.size(); ++i) {
            const long long step =
                i == 0 ? 0
                       : std::llabs(static_cast<long long>(result.UnwrappedSeries[i]) -
                                    result.UnwrappedSeries[i - 1]);
            csv += std::to_string(i + 1) + ',' +
                   CsvNumber(
                       torvi::FrameTime(static_cast<std::int64_t>(i + 1), scale.FramesPerSecond)) +
                   ',' + std::to_string(result.AngleSeries[i]) + ',' +
                   std::to_string(result.UnwrappedSeries[i]) + ',' +
                   std::to_string(result.PeakVotes[i]) + ',' +
                   std::to_string(result.HandPixels[i]) + ',' + (step > 150 ? "1" : "0") + ',' +
                   FineNumber(result.FineDirections[i], true) + ',' +
                   FineNumber(result.FineUnwrapped[i]) + '\n';
        }
        torvi::WriteFileAtomically(Options.FramesFile, csv.data(), csv.size());
    }
};

} // namespace

int main(int argc, char* argv[]) {
    CommandLine options;
    try {
        options = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& e) {
        std::fprintf(stderr, "torvi-measure: %s\n%s", e.what(), UsageText);
        return 2;
    }
    if (options.Help) {
        std::fputs(UsageText, stdout);
        std::fputs("\n", stdout);
        std::fputs(HelpText, stdout);
        return 0;
    }

    // A mistyped output folder would otherwise show only after every input
    // had been measured, with nothing written.
    std::error_code folderError;
    if (!options.OutputFolder.empty() &&
        !std::filesystem::is_directory(options.OutputFolder, folderError)) {
        std::fprintf(stderr, "torvi-measure: there is no folder %s\n",
                     options.OutputFolder.c_str());
        return 2;
    }

    // Several inputs each get their own table in the output folder, named
    // after the input; two inputs of one name would overwrite each other.
    std::vector<std::string> targets;
    std::set<std::string> seen;
    for (const std::string& input : options.Inputs) {
        if (options.OutputFolder.empty()) {
            targets.push_back(options.OutputFile);
            continue;
        }
        const std::string name = std::filesystem::path(input).stem().string() + ".txt";
        if (!seen.insert(name).second) {
            std::fprintf(stderr, "torvi-measure: two inputs would both write %s\n", name.c_str());
            return 2;
        }
        targets.push_back((std::filesystem::path(options.OutputFolder) / name).string());
    }

    Progress bar(!options.Quiet);
    Job job{options, RegionalSeparator(), bar};
    int status = 0;
    for (std::size_t i = 0; i < options.Inputs.size(); ++i) {
        try {
            job.Run(options.Inputs[i], targets[i]);
        } catch (const std::exception& e) {
            bar.Done();
            if (options.Inputs.size() > 1)
                std::fprintf(stderr, "torvi-measure: %s: %s\n", options.Inputs[i].c_str(),
                             e.what());
            else
                std::fprintf(stderr, "torvi-measure: %s\n", e.what());
            status = 1;
        }
    }
    return status;
}
