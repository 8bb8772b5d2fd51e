#include "live/LiveSession.h"

#include "Error.h"
#include "FileIO.h"
#include "analysis/Masking.h"
#include "capture/CaptureDevice.h"
#include "measurement/ControlTable.h"
#include "results/FramesTable.h"
#include "results/NumberText.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <utility>

namespace torvi {

namespace {

constexpr bool O = false;
constexpr bool I = true;

// One row per step, in the order of LiveStep; columns in the order of
// LiveControl: device list, change, B/W, contrast arrows, learn, measure,
// stop, record, results, picture clicks.
constexpr std::array<LiveControlEnabling, 9> Table{{
    /* ChooseDevice */ {I, O, O, O, O, O, O, I, O, O},
    /* MarkCentre   */ {I, O, I, O, O, O, O, I, O, I},
    /* MarkRadius   */ {I, O, I, O, O, O, O, I, O, I},
    /* Marked       */ {I, I, I, O, I, O, O, I, O, O},
    /* Learning     */ {O, O, O, I, O, I, I, I, O, O},
    /* Learned      */ {I, I, O, I, I, I, O, I, O, O},
    /* Measuring    */ {O, O, O, O, O, O, I, O, O, O},
    /* Finished     */ {I, I, O, O, I, O, O, I, I, O},
    /* Failed       */ {I, O, O, O, O, O, O, I, O, O},
}};
static_assert(Table.size() == static_cast<std::size_t>(LiveStep::Failed) + 1, "one row per step");

// The contrast threshold a new background starts from, as the masking
// window's each showing does.
constexpr int DefaultContrast = 60;

// How often a background that is being learned is copied for the masking
// view: every few pictures, not every one.
constexpr int BackgroundCopyEvery = 5;

} // namespace

LiveControlEnabling LiveEnabledControls(LiveStep step) {
    return Table[static_cast<std::size_t>(step)];
}

const char* LiveStepPrompt(LiveStep step) {
    switch (step) {
    case LiveStep::ChooseDevice:
        return "Choose a capture device, or a film to play as a camera.";
    case LiveStep::MarkCentre:
        return StepPrompt(Step::MarkCentre);
    case LiveStep::MarkRadius:
        return StepPrompt(Step::MarkRadius);
    case LiveStep::Marked:
        return "Choose B for a dark hand or W for a light one, then learn the background.";
    case LiveStep::Learning:
        return "Learning the background: keep the hand moving. Stop when only the hand shows "
               "white in the masking view.";
    case LiveStep::Learned:
        return "Set the contrast so that the hand stands out, then measure.";
    case LiveStep::Measuring:
        return "Measuring. Stop ends the run.";
    case LiveStep::Finished:
        return "Save the result, or learn the background again for a new run.";
    case LiveStep::Failed:
        return "";
    }
    return "";
}

// FrameRelay ------------------------------------------------------------------

void FrameRelay::ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) {
    std::lock_guard lock(lock_);
    if (forwarding_ && target_ != nullptr) target_->ReceiveFrame(picture, timestampMicroseconds);
}

void FrameRelay::DeviceEnded(const std::string& failure) {
    std::lock_guard lock(lock_);
    ended_ = true;
    failure_ = failure;
    if (target_ != nullptr) target_->DeviceEnded(failure);
}

void FrameRelay::Attach(LiveMeasurement* target) {
    std::lock_guard lock(lock_);
    target_ = target;
    if (target_ == nullptr) forwarding_ = false;
}

void FrameRelay::SetForwarding(bool forwarding) {
    std::lock_guard lock(lock_);
    forwarding_ = forwarding;
}

bool FrameRelay::Ended() const {
    std::lock_guard lock(lock_);
    return ended_;
}

std::string FrameRelay::Failure() const {
    std::lock_guard lock(lock_);
    return failure_;
}

void FrameRelay::Reset() {
    std::lock_guard lock(lock_);
    ended_ = false;
    failure_.clear();
}

// LiveSession -------------------------------------------------------------------

LiveSession::LiveSession() {
    // The per-frame table holds the fine angle; it costs a few per cent.
    settings_.Fine = true;
}

LiveSession::~LiveSession() {
    CloseDevice();
}

void LiveSession::Fail(const std::string& message) {
    message_ = message;
    SetStep(LiveStep::Failed);
}

std::string LiveSession::TakeMessage() {
    return std::exchange(message_, {});
}

bool LiveSession::OpenDevice(const CaptureSource& source) {
    if (step_ == LiveStep::Learning || step_ == LiveStep::Measuring) return false;
    CloseDevice();
    source_ = source;
    try {
        relay_.Reset();
        device_ = CaptureDevice::Open(source, CaptureFormat{0, 0}, &relay_);
    } catch (const Error& e) {
        Fail(e.what());
        return false;
    }
    width_ = device_->Format().Width;
    height_ = device_->Format().Height;
    rate_ = device_->Rate();
    settings_.CentreX = settings_.CentreY = settings_.HandRadius = 0;
    SetStep(LiveStep::MarkCentre);
    return true;
}

void LiveSession::CloseDevice() {
    // The device first, so that nothing is delivered to a run that ends.
    ReleaseDevice();
    DropRun();
    SetStep(LiveStep::ChooseDevice);
}

void LiveSession::ReleaseDevice() {
    if (!device_) return;
    try {
        device_->Close();
    } catch (const Error&) {
        // Only a recording of the device's own could fail here; the
        // session's recordings are the run's.
    }
    device_.reset();
}

void LiveSession::DropRun() {
    relay_.Attach(nullptr);
    if (live_) live_->Finish();
    live_.reset();
    frames_.clear();
    series_ = MeasuredSeries();
    background_ = Bitmap();
    backgroundLearned_ = -1;
}

void LiveSession::OpenAgain() {
    ReleaseDevice();
    relay_.Reset();
    device_ = CaptureDevice::Open(source_, CaptureFormat{0, 0}, &relay_);
    if (device_->Format().Width != width_ || device_->Format().Height != height_)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    rate_ = device_->Rate();
}

void LiveSession::ClickPicture(int x, int y) {
    if (step_ == LiveStep::MarkCentre) {
        settings_.CentreX = x;
        settings_.CentreY = y;
        SetStep(LiveStep::MarkRadius);
    } else if (step_ == LiveStep::MarkRadius) {
        settings_.HandRadius = RadiusOfClick(settings_.CentreX, settings_.CentreY, x, y);
        SetStep(LiveStep::Marked);
    }
}

bool LiveSession::Change() {
    if (!LiveEnabled(step_, LiveControl::Change)) return false;
    DropRun();
    SetStep(LiveStep::MarkCentre);
    return true;
}

bool LiveSession::ChooseHand(HandColour hand) {
    if (!LiveEnabled(step_, LiveControl::HandColour)) return false;
    settings_.Hand = hand;
    return true;
}

bool LiveSession::SetContrast(int threshold) {
    if (!LiveEnabled(step_, LiveControl::ContrastArrows)) return false;
    settings_.ContrastThreshold = std::clamp(threshold, 0, 255);
    return true;
}

bool LiveSession::StartLearning() {
    if (!LiveEnabled(step_, LiveControl::Learn)) return false;
    const bool newRun = step_ != LiveStep::Learned;
    try {
        if (newRun) {
            DropRun();
            settings_.ContrastThreshold = DefaultContrast;
            live_ = std::make_unique<LiveMeasurement>(settings_);
            if (!device_ || relay_.Ended() || source_.Type == CaptureSource::Kind::PlayedFilm)
                OpenAgain();
        }
    } catch (const Error& e) {
        ReleaseDevice();
        Fail(e.what());
        return false;
    }
    relay_.Attach(live_.get());
    relay_.SetForwarding(true);
    SetStep(LiveStep::Learning);
    return true;
}

bool LiveSession::StopLearning() {
    if (step_ != LiveStep::Learning) return false;
    relay_.SetForwarding(false);
    SetStep(LiveStep::Learned);
    return true;
}

bool LiveSession::StartMeasuring(const std::optional<std::string>& recordPath) {
    if (!LiveEnabled(step_, LiveControl::Measure) || !live_) return false;
    try {
        if (live_->LearnedFrames() == 0)
            throw Error("No picture has come from the capture device yet");
        if (recordPath) live_->RecordTo(*recordPath, width_, height_, rate_);
        live_->StartMeasuring(settings_.ContrastThreshold);
    } catch (const Error& e) {
        message_ = e.what();
        return false;
    }
    relay_.SetForwarding(true);
    SetStep(LiveStep::Measuring);
    return true;
}

bool LiveSession::Stop() {
    if (step_ == LiveStep::Learning) return StopLearning();
    if (step_ != LiveStep::Measuring) return false;
    EndRun();
    return true;
}

void LiveSession::EndRun() {
    // A camera goes on showing its picture; the run takes no more of it.
    relay_.Attach(nullptr);
    live_->Finish();
    TakeFrames();
    std::string message = live_->Failure();
    const std::string recording = live_->RecordingFailure();
    if (!recording.empty()) message += (message.empty() ? "" : "\n") + recording;
    message_ = message;
    if (relay_.Ended()) ReleaseDevice();
    SetStep(LiveStep::Finished);
}

void LiveSession::TakeFrames() {
    if (!live_) return;
    std::vector<LiveFrame> fresh = live_->FramesFrom(frames_.size());
    if (!series_.Times) series_.Times.emplace();
    for (const LiveFrame& frame : fresh) {
        series_.Frames.AngleSeries.push_back(frame.Direction);
        series_.Frames.UnwrappedSeries.push_back(static_cast<std::int32_t>(frame.Unwrapped));
        series_.Frames.PeakVotes.push_back(frame.PeakVotes);
        series_.Frames.HandPixels.push_back(frame.HandPixels);
        series_.Times->push_back(static_cast<long double>(frame.TimeMicroseconds) / 1e6L);
    }
    frames_.insert(frames_.end(), fresh.begin(), fresh.end());
}

bool LiveSession::Poll() {
    const LiveStep before = step_;
    TakeFrames();
    switch (step_) {
    case LiveStep::Measuring:
        if (live_->WaitForEnd(std::chrono::milliseconds(0))) EndRun();
        break;
    case LiveStep::Learning:
    case LiveStep::Learned:
        if (live_->WaitForEnd(std::chrono::milliseconds(0))) {
            const std::string failure = live_->Failure();
            relay_.Attach(nullptr);
            live_->Finish();
            Fail(!failure.empty()              ? failure
                 : step_ == LiveStep::Learning ? "The film ended before the background was learned"
                                               : "The film ended before the measurement began");
        }
        break;
    case LiveStep::MarkCentre:
    case LiveStep::MarkRadius:
    case LiveStep::Marked:
    case LiveStep::Finished:
        // A played film that ends keeps its last picture for the marking;
        // learning plays it again. A camera that fails is gone.
        if (relay_.Ended() && !relay_.Failure().empty() && device_) {
            ReleaseDevice();
            if (step_ == LiveStep::Finished)
                message_ = relay_.Failure();
            else
                Fail(relay_.Failure());
        }
        break;
    default:
        break;
    }
    return step_ != before;
}

bool LiveSession::LatestPicture(Bitmap& picture, std::uint64_t& serial) const {
    return device_ && device_->LatestFrame(picture, serial);
}

Bitmap LiveSession::MaskingPicture(const Bitmap& picture) {
    if (!live_ || picture.Empty()) return {};
    // A background being learned changes with every picture: a fresh copy
    // every few of them is close enough for the view.
    const int learned = live_->LearnedFrames();
    if (learned == 0) return {};
    if (backgroundLearned_ < 0 || learned - backgroundLearned_ >= BackgroundCopyEvery ||
        (step_ != LiveStep::Learning && learned != backgroundLearned_)) {
        background_ = live_->Background();
        backgroundLearned_ = learned;
    }
    if (background_.Width() != picture.Width() || background_.Height() != picture.Height())
        return {};
    return torvi::MaskingPicture(picture, background_, settings_);
}

int LiveSession::DroppedFrames() const {
    return live_ ? live_->DroppedFrames() : 0;
}

int LiveSession::LearnedFrames() const {
    return live_ ? live_->LearnedFrames() : 0;
}

int LiveSession::RecordedFrames() const {
    return live_ ? live_->RecordedFrames() : 0;
}

std::optional<long double> LiveSession::ValueInTicks(const LiveFrame& frame,
                                                     const std::string& ticksPerTurn,
                                                     const std::string& separator) {
    const std::optional<long double> ticks = ConvertNumberText(ticksPerTurn, separator);
    if (!ticks) return std::nullopt;
    return AngleInTicks(static_cast<std::int32_t>(frame.Unwrapped), *ticks);
}

std::string LiveSession::ValueText(const LiveFrame& frame, const std::string& ticksPerTurn,
                                   const std::string& separator) {
    const std::optional<long double> value = ValueInTicks(frame, ticksPerTurn, separator);
    if (!value) return {};
    char text[64];
    const double rounded = std::round(static_cast<double>(*value) * 100.0) / 100.0;
    const auto [end, ec] = std::to_chars(text, text + sizeof text, rounded == 0 ? 0.0 : rounded,
                                         std::chars_format::fixed, 2);
    if (ec != std::errc()) return {};
    std::string result(text, end);
    // 12.50 is shown as 12.5 and 12.00 as 12.
    result.erase(result.find_last_not_of('0') + 1);
    if (result.back() == '.') result.pop_back();
    const auto point = result.find('.');
    if (point != std::string::npos) result.replace(point, 1, separator);
    return result;
}

std::vector<GraphPoint> LiveSession::GraphPointsBetween(double fromSeconds, double toSeconds,
                                                        std::size_t maxPoints,
                                                        const std::string& ticksPerTurn,
                                                        const std::string& separator) const {
    const std::optional<long double> ticks = ConvertNumberText(ticksPerTurn, separator);
    if (!ticks) throw Error(ValuesNotValid);
    return ThinnedGraphPoints(series_, fromSeconds, toSeconds, maxPoints, ResultScale{1, *ticks});
}

void LiveSession::WriteResult(const std::string& path, const std::string& sampleName,
                              const std::string& ticksPerTurn, const std::string& separator,
                              bool fine) const {
    if (!live_ || frames_.empty()) throw Error("No frame was measured");
    const ResultFields fields{sampleName, live_->RateText(rate_, separator),
                              DefaultedFieldText(ticksPerTurn)};
    WriteResultFile(path, fields, live_->Series(fine), separator);
}

void LiveSession::WriteFrames(const std::string& path) const {
    if (!live_ || frames_.empty()) throw Error("No frame was measured");
    const std::string csv = FramesTableText(live_->Series(false), 1);
    WriteFileAtomically(path, csv.data(), csv.size());
}

} // namespace torvi
