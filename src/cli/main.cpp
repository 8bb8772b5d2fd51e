// torvi-measure: the whole measurement of Torvi from the command line, on the
// same engine code as the window, so its result file is byte for byte the one
// "Save result" writes for the same settings.

#include "CommandLine.h"
#include "LiveRun.h"
#include "MeasurementChecks.h"

#include "Error.h"
#include "FileIO.h"
#include "FileTypes.h"
#include "PictureFiles.h"
#include "ProcessMemory.h"
#include "ProgressSpeed.h"
#include "analysis/MeasurementSettings.h"
#include "analysis/RotationMeasurement.h"
#include "locale/UserLocale.h"
#include "measurement/Measurement.h"
#include "results/FramesTable.h"
#include "results/NumberText.h"
#include "results/ResultNumber.h"
#include "results/ResultTable.h"
#include "video/FilmReader.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <set>
#include <unistd.h>

namespace {

// A progress line on standard error while it is a terminal: the phase, a bar,
// and once the phase has run a second, its speed in frames per second (where
// it reads every frame) and about how long it has left.
class Progress {
public:
    explicit Progress(bool enabled) : enabled_(enabled && isatty(STDERR_FILENO)) {}
    void Show(const std::string& activity, int done, int total, bool everyFrame) {
        if (!enabled_ || total <= 0) return;
        if (activity != activity_ || total != total_) {
            speed_.Start(total);
            total_ = total;
            speedText_.clear();
        }
        const int percent = static_cast<int>((static_cast<long long>(done) * 100) / total);
        const bool newSpeed = speed_.Update(done);
        if (newSpeed) speedText_ = SpeedText(everyFrame);
        if (percent == last_ && activity == activity_ && !newSpeed) return;
        last_ = percent;
        activity_ = activity;
        const int width = 30;
        const int filled = percent * width / 100;
        std::fprintf(stderr, "\r%-16s [%s%s] %3d%%  %-22s", activity.c_str(),
                     std::string(filled, '#').c_str(), std::string(width - filled, ' ').c_str(),
                     percent, speedText_.c_str());
        std::fflush(stderr);
    }
    void Done() {
        if (!enabled_ || last_ < 0) return;
        std::fprintf(stderr, "\r%*s\r", 78, "");
        std::fflush(stderr);
        last_ = -1;
        activity_.clear();
    }

private:
    // "412 fps, 0:42 left" as the ffmpeg tool and pv show them.
    std::string SpeedText(bool everyFrame) const {
        const std::optional<double> rate = speed_.Rate();
        const std::optional<double> left = speed_.SecondsLeft();
        if (!rate || !left) return {};
        std::string text;
        if (everyFrame) {
            char fps[32];
            std::snprintf(fps, sizeof fps, *rate < 10 ? "%.1f fps, " : "%.0f fps, ", *rate);
            text = fps;
        }
        return text + torvi::DurationText(*left) + " left";
    }

    bool enabled_;
    int last_ = -1;
    int total_ = 0;
    std::string activity_;
    torvi::ProgressSpeed speed_;
    std::string speedText_;
};

// Prints a message of the tool on standard error; with several inputs it
// names the input it is about.
void PrintMessage(const CommandLine& options, const std::string& input, const std::string& text) {
    if (options.Inputs.size() > 1)
        std::fprintf(stderr, "torvi-measure: %s: %s\n", input.c_str(), text.c_str());
    else
        std::fprintf(stderr, "torvi-measure: %s\n", text.c_str());
}

// The film_time column: when the film shows the frame, in seconds, as its
// own timestamps say; empty for picture sequences and films without times.
std::string FilmTimeText(const torvi::FilmReader* film, int frame) {
    const double seconds = film ? film->FrameTime(frame) : -1;
    if (seconds < 0) return {};
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, seconds, std::chars_format::fixed, 6);
    return std::string(text, end.ptr);
}

// Shows the measurement's progress on the progress line and keeps its
// first error for the caller.
class ToolObserver : public torvi::MeasurementObserver {
public:
    explicit ToolObserver(Progress& bar) : bar_(bar) {}

    void ActivityChanged(torvi::Progress kind, const std::string& text) override {
        kind_ = kind;
        activity_ = text;
    }
    void ProgressRangeChanged(int maximum) override { maximum_ = maximum; }
    void ProgressChanged(int value) override {
        if (kind_ == torvi::Progress::None) return;
        // The film's index counts to 1000; the frames count to the last index.
        // Only the measurement reads every frame; the calibration jumps.
        if (kind_ == torvi::Progress::Opening)
            bar_.Show(activity_, value, maximum_, false);
        else
            bar_.Show(activity_, value + 1, maximum_ + 1, kind_ == torvi::Progress::Measurement);
    }
    void Failed(const torvi::Error& error) override {
        if (!error_) error_ = error;
    }
    // Throws the error that ended the measurement; a library's own reason
    // follows the message after a colon.
    [[noreturn]] void Rethrow() const {
        if (!error_) throw torvi::Error("The measurement ended without a result");
        if (error_->Detail().empty()) throw *error_;
        throw torvi::Error(error_->Kind(), std::string(error_->what()) + ": " + error_->Detail());
    }

private:
    Progress& bar_;
    torvi::Progress kind_ = torvi::Progress::None;
    std::string activity_;
    int maximum_ = 0;
    std::optional<torvi::Error> error_;
};

struct Job {
    const CommandLine& Options;
    std::string Separator;
    int CodePage;
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
        torvi::ResultFields fields{Options.SampleName,
                                   torvi::DefaultedFieldText(Options.FramesPerSecond),
                                   torvi::DefaultedFieldText(Options.TicksPerTurn)};
        torvi::ResultScale scale =
            torvi::CheckResultScale(fields.FramesPerSecond, fields.TicksPerTurn, Separator);

        // The same steps as in the window: open, mark, choose the hand, "OK",
        // the contrast, then the result.
        ToolObserver observer{Bar};
        torvi::Measurement measurement(&observer);
        const bool measured = [&] {
            if (!measurement.Open(input, fileExt)) return false;
            // Without --fps a film is timed at its own rate, as the window's
            // field takes it when the film opens.
            if (!Options.FramesPerSecondGiven && measurement.Film()) {
                const torvi::StatedFrameRate rate = measurement.Film()->NominalRate();
                if (const auto text =
                        torvi::FrameRateText(rate.Numerator, rate.Denominator, Separator)) {
                    fields.FramesPerSecond = *text;
                    scale = torvi::CheckResultScale(*text, fields.TicksPerTurn, Separator);
                }
            }
            // A centre off the picture measures nothing: said before any frame
            // is calibrated, from the picture Open has shown (frame 1 read
            // again only when that could not be delivered, for its error).
            int width = measurement.Picture().Width();
            int height = measurement.Picture().Height();
            if (measurement.Picture().Empty()) {
                const torvi::Bitmap first = measurement.LoadFrame(0);
                width = first.Width();
                height = first.Height();
            }
            MarkAsAsked(measurement, Options, width, height);
            measurement.SetRim(RimOfPoints(Options.Rim));
            // The frames table shows the fine angle whichever the result table holds.
            measurement.SetFine(Options.Fine || !Options.FramesFile.empty());
            return measurement.Confirm() && measurement.SetContrast(Options.Contrast) &&
                   measurement.Finish(false) && measurement.Measure();
        }();
        Bar.Done();
        if (!measured) observer.Rethrow();
        // The frames table shows the fine angle whichever the result table holds.
        torvi::MeasuredSeries series = measurement.Series();
        series.Fine = Options.Fine;
        const torvi::Bitmap& reference = measurement.ReferenceImage();
        for (const std::string& line :
             {CheckHandPixels(series.Frames.HandPixels), FloodWarning(series.Frames.Flooded),
              Options.Fine ? RimNote(series.Frames) : AskewNote(reference, measurement.Settings())})
            if (!line.empty()) PrintMessage(Options, input, line);

        if (!Options.ReferenceFile.empty()) torvi::SavePicture(Options.ReferenceFile, reference);
        if (!Options.FramesFile.empty()) WriteFramesTable(series, scale, measurement.Film());
        const std::string bytes = torvi::ResultFileBytes(fields, series, Separator, CodePage);
        if (resultPath.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
            if (std::fflush(stdout) != 0)
                throw torvi::Error("Cannot write the result to standard output");
        } else {
            torvi::WriteFileAtomically(resultPath, bytes.data(), bytes.size());
        }
    }

    void WriteFramesTable(const torvi::MeasuredSeries& series, const torvi::ResultScale& scale,
                          const torvi::FilmReader* film) {
        std::vector<std::string> filmTimes;
        for (std::size_t i = 0; i < series.Size(); ++i)
            filmTimes.push_back(FilmTimeText(film, static_cast<int>(i)));
        const std::string csv = torvi::FramesTableText(series, scale.FramesPerSecond, filmTimes);
        torvi::WriteFileAtomically(Options.FramesFile, csv.data(), csv.size());
    }
};

} // namespace

int main(int argc, char* argv[]) {
    torvi::LimitMemoryArenas();
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
    if (options.Live) return RunLiveMeasurement(options);

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
    // The separator, the picture order and the code page come from the
    // engine's locale data, as in the window.
    Job job{options, torvi::UserDecimalSeparator(),
            options.CodePage ? *options.CodePage : torvi::UserCodePage(), bar};
    int status = 0;
    for (std::size_t i = 0; i < options.Inputs.size(); ++i) {
        try {
            job.Run(options.Inputs[i], targets[i]);
        } catch (const std::exception& e) {
            bar.Done();
            PrintMessage(options, options.Inputs[i], e.what());
            status = 1;
        }
    }
    return status;
}
