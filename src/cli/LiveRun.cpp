#include "LiveRun.h"

#include "MeasurementChecks.h"

#include "Error.h"
#include "FileIO.h"
#include "PictureFiles.h"
#include "capture/CaptureDevice.h"
#include "live/LiveMeasurement.h"
#include "locale/UserLocale.h"
#include "results/FramesTable.h"
#include "results/ResultNumber.h"
#include "results/ResultTable.h"

#include <chrono>
#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void Interrupt(int) {
    interrupted = 1;
}

using Clock = std::chrono::steady_clock;

// Waits until the deadline, an interruption or the end of the run; true
// when the run ended on its own.
bool WaitWhileRunning(torvi::LiveMeasurement& live, Clock::time_point deadline) {
    while (interrupted == 0 && Clock::now() < deadline)
        if (live.WaitForEnd(std::chrono::milliseconds(50))) return true;
    return false;
}

Clock::time_point After(double seconds) {
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void Message(const std::string& text) {
    std::fprintf(stderr, "torvi-measure: %s\n", text.c_str());
}

// Writes the table, the frames and the background as asked; throws Error.
void SaveResults(const CommandLine& options, const torvi::LiveMeasurement& live,
                 torvi::FrameRate deviceRate) {
    const std::string separator = torvi::UserDecimalSeparator();
    const torvi::MeasuredSeries series = live.Series(options.Fine);
    if (!options.ReferenceFile.empty())
        torvi::SavePicture(options.ReferenceFile, live.Background());
    if (series.Size() == 0) throw torvi::Error("No frame was measured");
    const std::string warning = CheckHandPixels(series.Frames.HandPixels);
    if (!warning.empty()) Message(warning);
    if (!options.FramesFile.empty()) {
        const std::string csv = torvi::FramesTableText(series, 1);
        torvi::WriteFileAtomically(options.FramesFile, csv.data(), csv.size());
    }
    if (options.OutputFile.empty()) return;
    const torvi::ResultFields fields{options.SampleName, live.RateText(deviceRate, separator),
                                     torvi::DefaultedFieldText(options.TicksPerTurn)};
    const int codePage = options.CodePage ? *options.CodePage : torvi::UserCodePage();
    torvi::WriteResultFile(options.OutputFile, fields, series, separator, codePage);
}

} // namespace

int RunLiveMeasurement(const CommandLine& options) {
    const LiveOptions& asked = *options.Live;
    torvi::MeasurementSettings settings;
    settings.CentreX = options.CentreX;
    settings.CentreY = options.CentreY;
    settings.HandRadius = options.Radius
                              ? *options.Radius
                              : torvi::RadiusOfClick(options.CentreX, options.CentreY,
                                                     options.Tip->first, options.Tip->second);
    settings.ContrastThreshold = options.Contrast;
    settings.Hand = options.LightHand ? torvi::HandColour::Light : torvi::HandColour::Dark;
    // The frames table holds the fine angle, as for a film.
    settings.Fine = options.Fine || !options.FramesFile.empty();

    struct sigaction action {};
    action.sa_handler = &Interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    // The lines go out as the frames are measured, each complete.
    torvi::LiveMeasurement live(settings, [](const torvi::LiveFrame& frame) {
        std::printf(
            "%s %d %lld\n",
            torvi::CsvNumber(static_cast<long double>(frame.TimeMicroseconds) / 1e6L).c_str(),
            frame.Direction, static_cast<long long>(frame.Unwrapped));
        std::fflush(stdout);
    });
    std::unique_ptr<torvi::CaptureDevice> device;
    torvi::FrameRate rate;
    bool failed = false;
    try {
        device = torvi::CaptureDevice::Open(torvi::CaptureSource::Named(asked.Device),
                                            torvi::CaptureFormat{0, 0}, &live);
        rate = device->Rate();
        const torvi::CaptureFormat format = device->Format();
        CheckCentreInPicture(settings.CentreX, settings.CentreY, format.Width, format.Height);
        if (!asked.RecordFile.empty())
            live.RecordTo(asked.RecordFile, format.Width, format.Height, rate);
        if (!options.Quiet)
            Message("learning the background for " + torvi::CsvNumber(asked.LearnSeconds) +
                    " seconds: let the hand move");
        if (WaitWhileRunning(live, After(asked.LearnSeconds)) && live.Failure().empty())
            throw torvi::Error("The film ended before the background was learned");
        live.StartMeasuring();
        if (!options.Quiet) Message("measuring");
        WaitWhileRunning(live, asked.DurationSeconds ? After(*asked.DurationSeconds)
                                                     : Clock::time_point::max());
    } catch (const torvi::Error& e) {
        Message(e.what());
        failed = true;
    }
    // The device goes first, so that no frame arrives after the last one
    // measured; the film is completed by Finish.
    if (device) device->Close();
    live.Finish();
    if (!live.Failure().empty()) {
        Message(live.Failure());
        failed = true;
    }
    if (!live.RecordingFailure().empty()) {
        Message(live.RecordingFailure());
        failed = true;
    }
    if (live.DroppedFrames() > 0)
        Message(std::to_string(live.DroppedFrames()) +
                " frames were dropped: the analysis fell behind the device");
    try {
        SaveResults(options, live, rate);
    } catch (const torvi::Error& e) {
        Message(e.what());
        failed = true;
    }
    return failed ? 1 : 0;
}
