#include "live/LiveMeasurement.h"

#include "Error.h"
#include "analysis/Calibration.h"
#include "results/ResultNumber.h"

#include <algorithm>
#include <utility>

namespace torvi {

namespace {

std::int64_t SteadyMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

LiveMeasurement::LiveMeasurement(const MeasurementSettings& settings, FrameHandler onFrame,
                                 const DialEllipse& rim)
    : settings_(settings), onFrame_(std::move(onFrame)), rim_(rim) {
    CheckSettings(settings_);
    worker_ = std::thread([this] { Analyse(); });
}

LiveMeasurement::~LiveMeasurement() {
    Finish();
}

void LiveMeasurement::ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) {
    std::lock_guard lock(lock_);
    if (ended_ || stopping_) return;
    if (frameWaiting_ && phase_ == Phase::Measuring) ++dropped_;
    // Assigning a picture of the same size reuses the waiting picture's memory.
    waiting_ = picture;
    waitingTime_ = timestampMicroseconds;
    waitingArrival_ = SteadyMicroseconds();
    frameWaiting_ = true;
    changed_.notify_all();
}

void LiveMeasurement::DeviceEnded(const std::string& failure) {
    std::lock_guard lock(lock_);
    if (ended_) return;
    ended_ = true;
    failure_ = failure;
    changed_.notify_all();
}

void LiveMeasurement::RecordTo(const std::string& path, int width, int height, FrameRate rate) {
    {
        std::lock_guard lock(lock_);
        if (phase_ != Phase::Learning || stopping_)
            throw Error("A recording starts before the measurement does");
    }
    // The analysis thread reads the recorder only while measuring, which
    // begins after this under the lock.
    recorder_ = std::make_unique<AviRecorder>(path, width, height, rate);
}

void LiveMeasurement::StartMeasuring() {
    StartMeasuring(settings_.ContrastThreshold);
}

void LiveMeasurement::StartMeasuring(int contrastThreshold) {
    std::lock_guard lock(lock_);
    if (learned_ == 0) throw Error("No picture has come from the capture device yet");
    // The analysis thread reads the threshold only once measuring, which
    // begins here under the lock.
    settings_.ContrastThreshold = std::clamp(contrastThreshold, 0, 255);
    phase_ = Phase::Measuring;
}

bool LiveMeasurement::WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(lock_);
    // The run has ended when the device did and its last picture is dealt with.
    return changed_.wait_for(lock, timeout, [this] { return ended_ && !frameWaiting_ && !busy_; });
}

void LiveMeasurement::Finish() {
    {
        std::lock_guard lock(lock_);
        if (finished_) return;
        finished_ = true;
        stopping_ = true;
        changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
    joined_ = true;
    if (!recorder_) return;
    try {
        recorder_->Finish();
    } catch (const Error& e) {
        std::lock_guard lock(lock_);
        recordingFailure_ = std::string("The recording could not be completed. ") + e.what();
    }
    recorder_.reset();
}

void LiveMeasurement::Analyse() {
    Bitmap frame;
    std::unique_lock lock(lock_);
    for (;;) {
        changed_.wait(lock, [this] { return frameWaiting_ || stopping_; });
        // A picture that came before Finish is still measured.
        if (!frameWaiting_) return;
        std::swap(frame, waiting_);
        frameWaiting_ = false;
        busy_ = true;
        const std::int64_t timestamp = waitingTime_;
        const std::int64_t arrival = waitingArrival_;
        const Phase phase = phase_;
        lock.unlock();
        std::string failure;
        try {
            Process(frame, timestamp, arrival, phase);
        } catch (const std::exception& e) {
            failure = e.what();
        }
        lock.lock();
        busy_ = false;
        if (!failure.empty() && !ended_) {
            ended_ = true;
            failure_ = "The measurement stopped: " + failure;
            frameWaiting_ = false;
        }
        changed_.notify_all();
    }
}

void LiveMeasurement::Process(Bitmap& frame, std::int64_t timestamp, std::int64_t arrival,
                              Phase phase) {
    if (phase == Phase::Learning) {
        {
            std::lock_guard lock(backgroundLock_);
            FoldCalibrationFrame(background_, frame, background_.Empty(), settings_.Hand);
            // The fine angle's background keeps a moving camera's printed
            // marks in place (the analysis thread's alone until measuring).
            if (settings_.Fine) registered_.Fold(frame);
        }
        std::lock_guard lock(lock_);
        ++learned_;
        return;
    }
    Measure(frame, timestamp, arrival);
}

void LiveMeasurement::Measure(Bitmap& frame, std::int64_t timestamp, std::int64_t arrival) {
    if (!meter_) {
        // The background no longer changes, so it is read without its lock.
        FineAngleSetup fine;
        fine.Background = &registered_.Picture();
        fine.Rim = rim_;
        meter_ = std::make_unique<HandMeter>(settings_, background_, fine);
        firstTime_ = timestamp;
    }
    if (frame.Width() != background_.Width() || frame.Height() != background_.Height())
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    // The film holds the frame as it came, before the analysis turns it into
    // 24 bits.
    Record(frame);
    const MeasuredFrame hand = meter_->Measure(frame);
    LiveFrame measured;
    measured.TimeMicroseconds = timestamp - firstTime_;
    measured.Direction = hand.Direction;
    measured.Unwrapped = hand.Unwrapped;
    measured.PeakVotes = hand.PeakVotes;
    measured.HandPixels = hand.HandPixels;
    measured.ArrivalMicroseconds = arrival;
    {
        std::lock_guard lock(lock_);
        frames_.push_back(measured);
    }
    if (onFrame_) onFrame_(measured);
}

void LiveMeasurement::Record(const Bitmap& frame) {
    if (!recorder_) return;
    try {
        recorder_->WriteFrame(frame);
        std::lock_guard lock(lock_);
        recorded_ = recorder_->FramesWritten();
    } catch (const Error& e) {
        // The measurement goes on without the film.
        recorder_.reset();
        std::lock_guard lock(lock_);
        recordingFailure_ = std::string("The recording stopped. ") + e.what() +
                            ". The unfinished film was removed.";
    }
}

LiveMeasurement::Phase LiveMeasurement::CurrentPhase() const {
    std::lock_guard lock(lock_);
    return phase_;
}

int LiveMeasurement::LearnedFrames() const {
    std::lock_guard lock(lock_);
    return learned_;
}

int LiveMeasurement::DroppedFrames() const {
    std::lock_guard lock(lock_);
    return dropped_;
}

std::string LiveMeasurement::Failure() const {
    std::lock_guard lock(lock_);
    return failure_;
}

std::string LiveMeasurement::RecordingFailure() const {
    std::lock_guard lock(lock_);
    return recordingFailure_;
}

int LiveMeasurement::RecordedFrames() const {
    std::lock_guard lock(lock_);
    return recorded_;
}

Bitmap LiveMeasurement::FineBackground() const {
    // Folded on the analysis thread while learning, read once measuring.
    std::lock_guard lock(backgroundLock_);
    return registered_.Picture();
}

Bitmap LiveMeasurement::Background() const {
    std::lock_guard lock(backgroundLock_);
    return background_;
}

std::vector<LiveFrame> LiveMeasurement::Frames() const {
    std::lock_guard lock(lock_);
    return frames_;
}

std::vector<LiveFrame> LiveMeasurement::FramesFrom(std::size_t first) const {
    std::lock_guard lock(lock_);
    if (first >= frames_.size()) return {};
    return {frames_.begin() + static_cast<std::ptrdiff_t>(first), frames_.end()};
}

RotationResult LiveMeasurement::Rotation() const {
    if (!joined_ || !meter_) return {};
    return meter_->Result();
}

MeasuredSeries LiveMeasurement::Series(bool fine) const {
    MeasuredSeries series;
    series.Fine = fine;
    series.Times.emplace();
    // Nothing before the run is finished: the hand meter is the analysis
    // thread's until then.
    if (!joined_) return series;
    series.Frames = Rotation();
    series.Times = Times();
    return series;
}

std::vector<long double> LiveMeasurement::Times() const {
    const std::vector<LiveFrame> frames = Frames();
    std::vector<long double> times;
    times.reserve(frames.size());
    for (const LiveFrame& frame : frames)
        times.push_back(static_cast<long double>(frame.TimeMicroseconds) / 1e6L);
    return times;
}

long double LiveMeasurement::MeanRate() const {
    const std::vector<LiveFrame> frames = Frames();
    if (frames.size() < 2 || frames.back().TimeMicroseconds <= 0) return 0;
    return static_cast<long double>(frames.size() - 1) * 1e6L /
           static_cast<long double>(frames.back().TimeMicroseconds);
}

std::string LiveMeasurement::RateText(FrameRate deviceRate, std::string_view separator) const {
    long double rate = MeanRate();
    if (rate <= 0 && deviceRate.Den != 0)
        rate = static_cast<long double>(deviceRate.Num) / deviceRate.Den;
    std::string text = FormatResultNumber(rate, separator);
    text.erase(0, text.find_first_not_of(' '));
    return text;
}

} // namespace torvi
