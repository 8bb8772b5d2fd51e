#pragma once

#include "Bitmap.h"
#include "analysis/HandMeter.h"
#include "analysis/MeasurementSettings.h"
#include "analysis/RegisteredBackground.h"
#include "analysis/RotationMeasurement.h"
#include "capture/AviRecorder.h"
#include "capture/FrameReceiver.h"
#include "results/MeasuredSeries.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace torvi {

// One measured frame of a live run.
struct LiveFrame {
    std::int64_t TimeMicroseconds = 0; // device time since the first measured frame
    std::uint16_t Direction = 0;       // 0..359 clockwise from up
    std::int64_t Unwrapped = 0;        // turned degrees since the first measured frame
    std::uint16_t PeakVotes = 0;
    std::uint32_t HandPixels = 0;
    // When the picture reached the measurement, on the steady clock, so that
    // a window can tell how long its number took to reach the screen.
    std::int64_t ArrivalMicroseconds = 0;
};

// The measurement of a capture device's pictures as they arrive. It is the
// device's FrameReceiver: the device hands each picture over and goes on at
// once, and a thread of the measurement's own analyses it. While the
// analysis is busy, one picture waits; a newer one replaces it and the
// older counts as dropped, so the device is never held up.
//
// A run first learns the background: every picture folds into the
// background picture as a film's calibration folds its samples (the
// brightest grey for a dark hand, the darkest for a light one). From
// StartMeasuring on, every picture gives the hand's direction against that
// background with the film measurement's routines, and, when asked, goes
// into an AVI film of the measured frames. A failure of the device or of
// the analysis ends the run and keeps what was measured and recorded.
//
// Routines are called from one thread (the owner's); the handler given to
// the constructor runs on the analysis thread. The measurement must outlive
// the device that delivers to it, or the device must be closed first.
class LiveMeasurement final : public FrameReceiver {
public:
    enum class Phase { Learning, Measuring };
    // Called on the analysis thread after each measured frame.
    using FrameHandler = std::function<void(const LiveFrame&)>;

    // Throws Error for settings CheckSettings refuses.
    // The rim, when valid, is the dial's as the user marked it (the fine angle's).
    explicit LiveMeasurement(const MeasurementSettings& settings, FrameHandler onFrame = {},
                             const DialEllipse& rim = {});
    // Stops the analysis; an unfinished film is completed.
    ~LiveMeasurement() override;
    LiveMeasurement(const LiveMeasurement&) = delete;
    LiveMeasurement& operator=(const LiveMeasurement&) = delete;

    void ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) override;
    void DeviceEnded(const std::string& failure) override;

    // Records the measured frames into an AVI film of 15-bit pictures at the
    // device's rate, from the first measured frame on. Call before
    // StartMeasuring. Throws Error when the file cannot be created.
    void RecordTo(const std::string& path, int width, int height, FrameRate rate);

    // Ends learning: the background stays as it is and the following
    // pictures are measured. Throws Error when no picture has been learned.
    void StartMeasuring();
    // The same with the contrast threshold chosen while learning.
    void StartMeasuring(int contrastThreshold);

    // Waits up to `timeout` for the run to end on its own (the device ended,
    // the analysis failed); true when it has.
    bool WaitForEnd(std::chrono::milliseconds timeout);

    // Ends the run: a picture waiting is still measured, the analysis
    // stops and the film is completed. Further pictures are ignored.
    void Finish();

    Phase CurrentPhase() const;
    int LearnedFrames() const;
    // Pictures that arrived while the analysis was still busy with an
    // earlier one, during measuring.
    int DroppedFrames() const;
    // Why the run ended on its own; empty when it did not or when a played
    // film came to its end.
    std::string Failure() const;
    // Why the recording stopped or could not be completed; empty when it
    // went well.
    std::string RecordingFailure() const;
    int RecordedFrames() const;

    // Copies of what the run has gathered so far.
    Bitmap Background() const;
    // The background the fine angle measures against: the same pictures
    // folded after registering each to the first (RegisteredBackground).
    Bitmap FineBackground() const;
    std::vector<LiveFrame> Frames() const;
    // The measured frames from index `first` on.
    std::vector<LiveFrame> FramesFrom(std::size_t first) const;

    // The measured frames as the film measurement reports them, once the run
    // is finished (nothing before): the hand meter's result, the fine series
    // too with the settings' Fine. Error when the turn does not fit 32 bits.
    RotationResult Rotation() const;
    // The same with the frames' times, as the tables and the graph show it.
    MeasuredSeries Series(bool fine) const;
    // Each measured frame's time in seconds, from 0.
    std::vector<long double> Times() const;
    // Measured frames per second of device time over the run; 0 with fewer
    // than two frames or no time between them.
    long double MeanRate() const;
    // Line 2 of the result table: the mean measured rate, or the device's
    // own rate when the run gives none, without padding.
    std::string RateText(FrameRate deviceRate, std::string_view separator) const;

private:
    void Analyse();
    void Process(Bitmap& frame, std::int64_t timestamp, std::int64_t arrival, Phase phase);
    void Measure(Bitmap& frame, std::int64_t timestamp, std::int64_t arrival);
    void Record(const Bitmap& frame);

    // The contrast threshold may change until measuring begins.
    MeasurementSettings settings_;
    const FrameHandler onFrame_;
    const DialEllipse rim_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    Bitmap waiting_;
    std::int64_t waitingTime_ = 0;
    std::int64_t waitingArrival_ = 0;
    bool frameWaiting_ = false;
    bool busy_ = false; // the analysis works on a picture
    Phase phase_ = Phase::Learning;
    bool ended_ = false;    // the run ended on its own
    bool stopping_ = false; // the owner finishes the run
    bool finished_ = false;
    int learned_ = 0;
    int dropped_ = 0;
    std::string failure_;
    std::string recordingFailure_;
    int recorded_ = 0;
    std::vector<LiveFrame> frames_;

    // Folded into by the analysis thread during learning; copied out under
    // its own lock, so that the device never waits for a fold.
    mutable std::mutex backgroundLock_;
    Bitmap background_;
    RegisteredBackground registered_{settings_};

    // The analysis thread's alone while it runs.
    std::unique_ptr<AviRecorder> recorder_;
    std::unique_ptr<HandMeter> meter_;
    std::int64_t firstTime_ = 0;

    std::thread worker_;
    bool joined_ = false; // the analysis thread has ended: meter_ is the owner's
};

} // namespace torvi
