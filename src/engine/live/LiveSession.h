#pragma once

#include "Bitmap.h"
#include "analysis/HandColour.h"
#include "analysis/MeasurementSettings.h"
#include "capture/CaptureSource.h"
#include "capture/FrameReceiver.h"
#include "live/LiveMeasurement.h"
#include "results/GraphPoints.h"
#include "results/ResultTable.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace torvi {

class CaptureDevice;

// Where the user is in a live measurement.
enum class LiveStep {
    ChooseDevice, // no device is open
    MarkCentre,   // waiting for the click on the dial centre
    MarkRadius,   // waiting for the click on the tip of the big hand
    Marked,       // B or W, then learning
    Learning,     // every picture folds into the background
    Learned,      // the background stays; contrast, then measuring
    Measuring,    // every picture gives the hand's direction
    Finished,     // the run ended; its result can be saved
    Failed,       // the device could not be opened or failed before measuring
};

// The controls of the live window whose enabling follows the step. "Save
// result..." and the CSV save go together, as do "B" and "W".
enum class LiveControl {
    DeviceList,
    Change,
    HandColour,
    ContrastArrows,
    Learn,
    Measure,
    Stop,
    Record,
    Results,
    PictureClicks,
    Count
};

using LiveControlEnabling = std::array<bool, static_cast<std::size_t>(LiveControl::Count)>;

// The one table that says which controls of the live window a step enables.
LiveControlEnabling LiveEnabledControls(LiveStep step);

inline bool LiveEnabled(LiveStep step, LiveControl control) {
    return LiveEnabledControls(step)[static_cast<std::size_t>(control)];
}

// The prompt the step shows, empty for none.
const char* LiveStepPrompt(LiveStep step);

inline bool LiveCrossCursor(LiveStep step) {
    return step == LiveStep::MarkCentre || step == LiveStep::MarkRadius;
}

// Takes a device's pictures and hands them to a live measurement while one
// is attached and wants them; remembers that the device ended. The device
// delivers on its own thread; everything else is called from the owner's.
class FrameRelay final : public FrameReceiver {
public:
    void ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) override;
    void DeviceEnded(const std::string& failure) override;

    void Attach(LiveMeasurement* target);
    void SetForwarding(bool forwarding);
    bool Ended() const;
    // Why the device ended; empty for a played film's end.
    std::string Failure() const;
    // Forgets an end, for a device opened anew.
    void Reset();

private:
    mutable std::mutex lock_;
    LiveMeasurement* target_ = nullptr;
    bool forwarding_ = false;
    bool ended_ = false;
    std::string failure_;
};

// A live measurement from the choice of a device to the saved result: the
// open device, the marks, hand colour and contrast, the run (a
// LiveMeasurement) and its frames so far, and the step. The window drives it
// through its operations, which are the user's actions, and calls Poll
// regularly to take the new frames and the run's end on its own. A played
// film starts again from its beginning when learning begins, so that the
// marking can take its time. Not thread-safe: use it from one thread.
class LiveSession {
public:
    LiveSession();
    // Closes the device and ends a run.
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    LiveStep Step() const { return step_; }
    const MeasurementSettings& Settings() const { return settings_; }
    int ContrastThreshold() const { return settings_.ContrastThreshold; }
    const CaptureSource& Source() const { return source_; }
    int PictureWidth() const { return width_; }
    int PictureHeight() const { return height_; }

    // Opens the device (a camera or "play:PATH") at its own size; the
    // marking begins. A failure ends in Failed with the reason as Message.
    bool OpenDevice(const CaptureSource& source);
    // Closes the device, ends a run and forgets it: back to ChooseDevice.
    void CloseDevice();

    void ClickPicture(int x, int y);
    bool Change();
    bool ChooseHand(HandColour hand);
    // 0..255, one step of the arrows at a time or any value; while learning
    // and afterwards until measuring.
    bool SetContrast(int threshold);

    // Begins learning a new background (a new run), or goes on learning the
    // one learned so far. Reopens a device that ended, and a played film.
    bool StartLearning();
    // Stops learning; the background stays for measuring.
    bool StopLearning();
    // Begins measuring; the measured frames also go into an AVI film at
    // `recordPath` when one is given. Refused (false, Message) while no
    // picture has been learned or the film cannot be created.
    bool StartMeasuring(const std::optional<std::string>& recordPath = std::nullopt);
    // Stops learning or measuring, as the "Stop" button does.
    bool Stop();

    // Takes the new measured frames and notices the end of the run or of
    // the device; answers whether the step changed.
    bool Poll();

    // A message for the user that the last operation or Poll left (a
    // failure, or why a run ended); taken once.
    std::string TakeMessage();

    // The newest picture of the device when it is newer than `serial`.
    bool LatestPicture(Bitmap& picture, std::uint64_t& serial) const;
    // The masking square of a picture at the current contrast against the
    // background learned so far; empty while there is none.
    Bitmap MaskingPicture(const Bitmap& picture);

    // The run's measured frames so far (taken by Poll).
    const std::vector<LiveFrame>& Frames() const { return frames_; }
    int DroppedFrames() const;
    int LearnedFrames() const;
    int RecordedFrames() const;
    bool HasResult() const { return !frames_.empty(); }
    // The frame's turned value in ticks per turn (a text the user typed with
    // the decimal separator); nullopt when it does not convert.
    static std::optional<long double> ValueInTicks(const LiveFrame& frame,
                                                   const std::string& ticksPerTurn,
                                                   const std::string& separator);
    // The same as the window shows it, large: two decimals at most, the
    // user's separator; empty when the ticks do not convert.
    static std::string ValueText(const LiveFrame& frame, const std::string& ticksPerTurn,
                                 const std::string& separator);
    // The graph's points of the frames between two times (ThinnedGraphPoints).
    // Throws Error(ValuesNotValid) for ticks that do not convert.
    std::vector<GraphPoint> GraphPointsBetween(double fromSeconds, double toSeconds,
                                               std::size_t maxPoints,
                                               const std::string& ticksPerTurn,
                                               const std::string& separator) const;

    // The result table (time column from the device's timestamps, line 2 the
    // mean measured rate) and the per-frame CSV of torvi-measure --frames.
    // Throw Error with the reason; nothing is written for refused values.
    // With `fine` the table holds the fine angle, as "&Fine angle" asks.
    void WriteResult(const std::string& path, const std::string& sampleName,
                     const std::string& ticksPerTurn, const std::string& separator,
                     bool fine = false) const;
    void WriteFrames(const std::string& path) const;

    // What the device delivers to; a test stands in for a device through it.
    FrameRelay& Relay() { return relay_; }

private:
    void SetStep(LiveStep step) { step_ = step; }
    void Fail(const std::string& message);
    void OpenAgain();
    // Closes the device, if one is open; the run stays.
    void ReleaseDevice();
    // Ends and forgets the run: its frames and its background.
    void DropRun();
    void EndRun();
    void TakeFrames();

    LiveStep step_ = LiveStep::ChooseDevice;
    CaptureSource source_;
    MeasurementSettings settings_;
    int width_ = 0;
    int height_ = 0;
    FrameRate rate_;
    std::string message_;
    // The relay outlives the device that delivers to it, and the run
    // outlives both.
    std::unique_ptr<LiveMeasurement> live_;
    FrameRelay relay_;
    std::unique_ptr<CaptureDevice> device_;
    std::vector<LiveFrame> frames_;
    // The same frames as a series, for the graph while the run goes on.
    MeasuredSeries series_;
    Bitmap background_;
    int backgroundLearned_ = -1;
};

} // namespace torvi
