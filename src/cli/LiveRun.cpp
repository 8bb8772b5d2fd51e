#include "LiveRun.h"

#include "MeasurementChecks.h"

#include "Error.h"
#include "PictureFiles.h"
#include "locale/UserLocale.h"
#include "measurement/Measurement.h"
#include "results/FramesTable.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int) {
    interrupted = 1;
}

using Clock = std::chrono::steady_clock;

void Message(const std::string& text) {
    std::fprintf(stderr, "torvi-measure: %s\n", text.c_str());
}

// Prints what the measurement reports: its failures, and a line for every
// measured frame as it comes, each line complete.
class LiveObserver : public torvi::MeasurementObserver {
public:
    explicit LiveObserver(const torvi::Measurement& measurement) : measurement_(measurement) {}

    void FramesMeasured(std::size_t total) override {
        const std::vector<torvi::LiveFrame>& frames = measurement_.DeviceFrames();
        for (; printed_ < total && printed_ < frames.size(); ++printed_) {
            const torvi::LiveFrame& frame = frames[printed_];
            std::printf(
                "%s %d %lld\n",
                torvi::CsvNumber(static_cast<long double>(frame.TimeMicroseconds) / 1e6L).c_str(),
                frame.Direction, static_cast<long long>(frame.Unwrapped));
        }
        std::fflush(stdout);
    }
    void Failed(const torvi::Error& error) override {
        Message(error.what());
        failed = true;
    }

    bool failed = false;

private:
    const torvi::Measurement& measurement_;
    std::size_t printed_ = 0;
};

// Polls the measurement until the deadline, an interruption or a step other
// than `step`; true when the step changed.
bool PollWhile(torvi::Measurement& measurement, torvi::Step step, Clock::time_point deadline) {
    while (interrupted == 0 && Clock::now() < deadline) {
        measurement.Poll();
        if (measurement.CurrentStep() != step) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

Clock::time_point After(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Writes the background, the frames and the table as asked.
void SaveResults(const CommandLine& options, torvi::Measurement& measurement,
                 LiveObserver& observer) {
    if (!options.ReferenceFile.empty()) {
        try {
            torvi::SavePicture(options.ReferenceFile, measurement.Background());
        } catch (const torvi::Error& e) {
            observer.Failed(e);
        }
    }
    if (measurement.DeviceFrames().empty()) {
        observer.Failed(torvi::Error("No frame was measured"));
        return;
    }
    const torvi::RotationResult& result = measurement.Series().Frames;
    for (const std::string& line :
         {CheckHandPixels(result.HandPixels), FloodWarning(result.Flooded),
          options.Fine ? RimNote(result) : std::string()})
        if (!line.empty()) Message(line);
    if (!options.FramesFile.empty()) measurement.WriteDeviceFrames(options.FramesFile);
    if (options.OutputFile.empty()) return;
    measurement.SetFine(options.Fine);
    measurement.WriteDeviceResult(options.OutputFile, options.SampleName,
                                  torvi::DefaultedFieldText(options.TicksPerTurn),
                                  torvi::UserDecimalSeparator(),
                                  options.CodePage ? *options.CodePage : torvi::UserCodePage());
}

} // namespace

int RunLiveMeasurement(const CommandLine& options) {
    const LiveOptions& asked = *options.Live;

    struct sigaction action {};
    action.sa_handler = &Interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // The same steps as in the live window: the device, the marks, the hand,
    // learning, the contrast, measuring, the result.
    torvi::Measurement measurement(nullptr, torvi::Measurement::Source::Device);
    LiveObserver observer(measurement);
    measurement.SetObserver(&observer);
    const bool started = [&] {
        if (!measurement.OpenDevice(torvi::CaptureSource::Named(asked.Device))) return false;
        try {
            MarkAsAsked(measurement, options, measurement.PictureWidth(),
                        measurement.PictureHeight());
        } catch (const torvi::Error& e) {
            observer.Failed(e);
            return false;
        }
        try {
            measurement.SetRim(RimOfPoints(options.Rim));
        } catch (const torvi::Error& e) {
            observer.Failed(e);
            return false;
        }
        if (!measurement.StartLearning()) return false;
        measurement.SetContrast(options.Contrast);
        if (!options.Quiet)
            Message("learning the background for " + torvi::CsvNumber(asked.LearnSeconds) +
                    " seconds: let the hand move");
        // A device that ends while learning says why as it ends.
        if (PollWhile(measurement, torvi::Step::Learning, After(asked.LearnSeconds))) return false;
        measurement.StopLearning();
        if (!measurement.StartMeasuring(asked.RecordFile.empty()
                                            ? std::nullopt
                                            : std::optional<std::string>(asked.RecordFile)))
            return false;
        if (!options.Quiet) Message("measuring");
        PollWhile(measurement, torvi::Step::Measuring,
                  asked.DurationSeconds ? After(*asked.DurationSeconds) : Clock::time_point::max());
        return true;
    }();
    // The run ends here unless the device ended it; the film is completed.
    measurement.Stop();
    if (measurement.DroppedFrames() > 0)
        Message(std::to_string(measurement.DroppedFrames()) +
                " frames were dropped: the analysis fell behind the device");
    if (started || measurement.CurrentStep() == torvi::Step::Finished)
        SaveResults(options, measurement, observer);
    measurement.CloseDevice();
    return observer.failed || !started ? 1 : 0;
}
