#include "capture/CaptureDevice.h"

#include "Error.h"
#include "av/AvHandles.h"
#include "video/DisplayOrientation.h"
#include "video/VideoInput.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <tuple>
#include <utility>

namespace torvi {

struct CaptureDevice::State {
    std::string Name;
    VideoInput Input;
    av::CodecContext Decoder;
    // How a played film's pictures are turned for showing, as the film
    // reader shows them.
    DisplayOrientation Orientation;
    CaptureFormat Format;
    FrameRate Rate;
    AVRational TimeBase{1, 1000000};
    bool Played = false; // a film played as a camera, paced here
    FrameReceiver* Receiver = nullptr;

    std::atomic<bool> Stopping{false};
    std::thread Worker;
    av::Scaler Scaler; // the worker's alone
    Bitmap Stored;     // the worker's: a picture before it is turned

    mutable std::mutex FrameLock;
    Bitmap Latest;
    std::uint64_t Serial = 0;
    std::string Failure;

    // Held by the worker while it writes a frame, so that a recording is
    // never stopped in the middle of one.
    mutable std::mutex RecordLock;
    std::unique_ptr<AviRecorder> Recorder;
    std::string RecordingFailure;
    bool Ended = false;
};

namespace {

using State = CaptureDevice::State;

int Interrupted(void* opaque) {
    return static_cast<State*>(opaque)->Stopping ? 1 : 0;
}

std::string DisplayName(const CaptureSource& source) {
    return source.Type == CaptureSource::Kind::Synthetic ? "test picture" : source.Name;
}

const AVInputFormat* InputFormat(CaptureSource::Kind kind) {
    switch (kind) {
    case CaptureSource::Kind::VideoDevice:
        return av_find_input_format("video4linux2");
    case CaptureSource::Kind::Synthetic:
        return av_find_input_format("lavfi");
    case CaptureSource::Kind::PlayedFilm:
        break;
    }
    return nullptr;
}

bool Plausible(AVRational rate) {
    return rate.num > 0 && rate.den > 0 && av_q2d(rate) >= 1.0 && av_q2d(rate) <= 1000.0;
}

FrameRate RateOf(const AVStream& stream) {
    for (AVRational rate : {stream.avg_frame_rate, stream.r_frame_rate, av_inv_q(stream.time_base)})
        if (Plausible(rate)) return {rate.num, rate.den};
    return {};
}

// Scales a decoded picture into the 15-bit picture, turned as it is shown;
// false for a picture the scaler cannot take.
bool Convert(State& state, const AVFrame& frame, Bitmap& picture) {
    if (frame.width < 1 || frame.height < 1 || frame.width > Bitmap::MaxDimension ||
        frame.height > Bitmap::MaxDimension || frame.format < 0)
        return false;
    const bool turned = !state.Orientation.IsIdentity();
    // A turned picture is scaled to the stored shape of the picture's size.
    Bitmap& target = turned ? state.Stored : picture;
    if (turned) {
        const int width = state.Orientation.ShownWidth(picture.Width(), picture.Height());
        const int height = state.Orientation.ShownHeight(picture.Width(), picture.Height());
        if (target.Width() != width || target.Height() != height)
            target.Assign(width, height, PixelFormat::Pf15Bit);
    }
    SwsContext* scaler = sws_getCachedContext(state.Scaler.release(), frame.width, frame.height,
                                              static_cast<AVPixelFormat>(frame.format),
                                              target.Width(), target.Height(), AV_PIX_FMT_RGB555LE,
                                              SWS_BILINEAR, nullptr, nullptr, nullptr);
    state.Scaler.reset(scaler);
    if (scaler == nullptr) return false;
    std::uint8_t* rows[4] = {target.Bits(), nullptr, nullptr, nullptr};
    const int rowStride[4] = {static_cast<int>(target.Stride()), 0, 0, 0};
    if (sws_scale(scaler, frame.data, frame.linesize, 0, frame.height, rows, rowStride) <= 0)
        return false;
    if (turned) state.Orientation.Turn(target, picture);
    return true;
}

void Deliver(State& state, const Bitmap& picture, std::int64_t timestamp) {
    if (state.Receiver != nullptr) state.Receiver->ReceiveFrame(picture, timestamp);
    {
        std::lock_guard lock(state.FrameLock);
        state.Latest = picture;
        ++state.Serial;
    }
    std::lock_guard lock(state.RecordLock);
    if (!state.Recorder) return;
    try {
        state.Recorder->WriteFrame(picture);
    } catch (const Error& e) {
        state.Recorder.reset();
        state.RecordingFailure = std::string("The recording stopped. ") + e.what() +
                                 ". The unfinished film was removed.";
    }
}

void DeviceEnded(State& state, const std::string& reason, bool filmEnded = false) {
    const std::string failure = "The capture device stopped delivering pictures: " + reason;
    {
        std::lock_guard lock(state.FrameLock);
        state.Failure = failure;
    }
    if (state.Receiver != nullptr) state.Receiver->DeviceEnded(filmEnded ? std::string() : failure);
    std::lock_guard lock(state.RecordLock);
    state.Ended = true;
    if (!state.Recorder) return;
    const int frames = state.Recorder->FramesWritten();
    try {
        state.Recorder->Finish();
        state.RecordingFailure = "The recording stopped after " + std::to_string(frames) +
                                 " frames: the capture device stopped delivering pictures (" +
                                 reason + "). The film holds the frames recorded until then.";
    } catch (const Error& e) {
        state.RecordingFailure = std::string("The recording stopped. ") + e.what();
    }
    state.Recorder.reset();
}

// The picture's time in microseconds: its own timestamp where the device
// gives one, the clock otherwise.
std::int64_t Timestamp(const State& state, const AVFrame& frame) {
    if (frame.best_effort_timestamp != AV_NOPTS_VALUE)
        return av_rescale_q(frame.best_effort_timestamp, state.TimeBase, AVRational{1, 1000000});
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Holds a played film's picture back until its time has come, counted from
// the first picture, as a camera would deliver it. Returns false when the
// device is closed meanwhile.
class Pacer {
public:
    bool Wait(const State& state, std::int64_t timestamp) {
        const auto now = std::chrono::steady_clock::now();
        if (!started_) {
            started_ = true;
            start_ = now;
            first_ = timestamp;
            return true;
        }
        const auto due = start_ + std::chrono::microseconds(timestamp - first_);
        // In short steps, so that Close is not held up by a long pause.
        while (std::chrono::steady_clock::now() < due) {
            if (state.Stopping) return false;
            std::this_thread::sleep_until(
                std::min(due, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
        }
        return true;
    }

private:
    bool started_ = false;
    std::chrono::steady_clock::time_point start_;
    std::int64_t first_ = 0;
};

void Grab(State& state) {
    Pacer pacer;
    av::Packet packet(av_packet_alloc());
    av::Frame frame(av_frame_alloc());
    Bitmap picture;
    try {
        picture.Assign(state.Format.Width, state.Format.Height, PixelFormat::Pf15Bit);
    } catch (const Error& e) {
        DeviceEnded(state, e.what());
        return;
    }
    if (!packet || !frame) {
        DeviceEnded(state, av::ErrorText(AVERROR(ENOMEM)));
        return;
    }
    // Hands on every picture the decoder has ready; false when the device
    // is closed meanwhile.
    auto deliverDecoded = [&] {
        while (avcodec_receive_frame(state.Decoder.get(), frame.get()) >= 0) {
            const std::int64_t timestamp = Timestamp(state, *frame);
            if (state.Played && !pacer.Wait(state, timestamp)) return false;
            if (Convert(state, *frame, picture)) Deliver(state, picture, timestamp);
            av_frame_unref(frame.get());
        }
        return true;
    };
    while (!state.Stopping) {
        const int result = av_read_frame(state.Input.Format(), packet.get());
        if (result == AVERROR(EAGAIN)) {
            // A camera opened without blocking has no picture ready yet;
            // polling keeps the worker responsive to Close.
            std::this_thread::sleep_for(std::chrono::milliseconds(4));
            continue;
        }
        if (result < 0) {
            // The decoder still holds the last pictures of a film.
            if (state.Played && result == AVERROR_EOF &&
                avcodec_send_packet(state.Decoder.get(), nullptr) >= 0 && !deliverDecoded())
                return;
            if (!state.Stopping)
                DeviceEnded(state,
                            result == AVERROR_EOF ? "it has no more pictures"
                                                  : av::ErrorText(result),
                            state.Played && result == AVERROR_EOF);
            return;
        }
        // A damaged picture from the device is skipped, not fatal.
        if (packet->stream_index == state.Input.StreamIndex() &&
            avcodec_send_packet(state.Decoder.get(), packet.get()) >= 0 && !deliverDecoded())
            return;
        av_packet_unref(packet.get());
    }
}

} // namespace

CaptureDevice::CaptureDevice(std::unique_ptr<State> state) : state_(std::move(state)) {}

std::unique_ptr<CaptureDevice> CaptureDevice::Open(const CaptureSource& source,
                                                   const CaptureFormat& format,
                                                   FrameReceiver* receiver) {
    const std::string devicesMissing = av::InitCapture();
    const std::string name = DisplayName(source);
    auto cannotOpen = [&](const std::string& reason) {
        return Error("Cannot open the capture device " + name + ": " + reason);
    };
    const bool ownSize = format.Width == 0 && format.Height == 0;
    if (!ownSize && (format.Width < 1 || format.Height < 1 || format.Width > MaxCaptureDimension ||
                     format.Height > MaxCaptureDimension))
        throw cannotOpen("a picture of " + std::to_string(format.Width) + " x " +
                         std::to_string(format.Height) + " pixels is not possible");
    const bool camera = source.Type == CaptureSource::Kind::VideoDevice;
    const bool played = source.Type == CaptureSource::Kind::PlayedFilm;
    // A played film's own container format is found by FFmpeg's probe.
    const AVInputFormat* input = InputFormat(source.Type);
    if (input == nullptr && !played)
        throw cannotOpen(devicesMissing.empty() ? "this program was built without support for it"
                                                : devicesMissing);

    auto state = std::make_unique<State>();
    state->Name = name;
    state->Format = format;
    state->Played = played;
    state->Receiver = receiver;
    auto openInput = [&](bool askSize) {
        InputRequest request;
        request.Device = input;
        if (askSize && !ownSize)
            request.VideoSize = std::to_string(format.Width) + "x" + std::to_string(format.Height);
        request.Interrupt = {&Interrupted, state.get()};
        request.NonBlocking = true;
        int code = 0;
        return std::pair{state->Input.Open(source.Name, request, -1, code), code};
    };
    auto [stage, result] = openInput(camera);
    // A camera that cannot deliver the size asked for delivers its own.
    if (stage == VideoInput::Stage::Open && camera) std::tie(stage, result) = openInput(false);
    if (stage == VideoInput::Stage::NoStream)
        throw cannotOpen("it delivers no pictures that can be read");
    if (stage != VideoInput::Stage::Opened) throw cannotOpen(av::ErrorText(result));

    const AVStream& stream = state->Input.Stream();
    state->Rate = RateOf(stream);
    state->TimeBase = stream.time_base;
    state->Orientation = state->Input.Orientation();
    if (ownSize) {
        const AVCodecParameters& parameters = *stream.codecpar;
        if (parameters.width < 1 || parameters.height < 1 ||
            parameters.width > MaxCaptureDimension || parameters.height > MaxCaptureDimension)
            throw cannotOpen("its pictures have no size that can be used");
        // A played film is measured at the size it is shown at.
        state->Format = {state->Orientation.ShownWidth(parameters.width, parameters.height),
                         state->Orientation.ShownHeight(parameters.width, parameters.height)};
    }
    // One decoding thread: a camera's picture is then measured as soon as
    // it is decoded, not frames later.
    result = state->Input.OpenDecoder(1, state->Decoder);
    if (result == AVERROR_DECODER_NOT_FOUND)
        throw cannotOpen("it delivers no pictures that can be read");
    if (result < 0) throw cannotOpen(av::ErrorText(result));

    State& running = *state;
    running.Worker = std::thread([&running] { Grab(running); });
    return std::unique_ptr<CaptureDevice>(new CaptureDevice(std::move(state)));
}

CaptureDevice::~CaptureDevice() {
    try {
        Close();
    } catch (const Error&) {
        // Nobody is left to be told; the film is completed or removed either way.
    }
}

const CaptureFormat& CaptureDevice::Format() const {
    return state_->Format;
}

FrameRate CaptureDevice::Rate() const {
    return state_->Rate;
}

bool CaptureDevice::LatestFrame(Bitmap& frame, std::uint64_t& serial) const {
    std::lock_guard lock(state_->FrameLock);
    if (state_->Serial == serial) return false;
    frame = state_->Latest;
    serial = state_->Serial;
    return true;
}

void CaptureDevice::StartRecording(const std::string& path) {
    std::lock_guard lock(state_->RecordLock);
    if (state_->Recorder) throw Error("A recording is already running");
    if (state_->Ended) throw Error(DeviceFailure());
    state_->RecordingFailure.clear();
    state_->Recorder = std::make_unique<AviRecorder>(path, state_->Format.Width,
                                                     state_->Format.Height, state_->Rate);
}

void CaptureDevice::StopRecording() {
    std::unique_ptr<AviRecorder> recorder;
    std::string failure;
    {
        std::lock_guard lock(state_->RecordLock);
        recorder = std::move(state_->Recorder);
        failure = std::exchange(state_->RecordingFailure, {});
    }
    if (recorder) recorder->Finish();
    if (!failure.empty()) throw Error(failure);
}

bool CaptureDevice::Recording() const {
    std::lock_guard lock(state_->RecordLock);
    return state_->Recorder != nullptr;
}

std::string CaptureDevice::TakeRecordingFailure() {
    std::lock_guard lock(state_->RecordLock);
    return std::exchange(state_->RecordingFailure, {});
}

std::string CaptureDevice::DeviceFailure() const {
    std::lock_guard lock(state_->FrameLock);
    return state_->Failure;
}

void CaptureDevice::Close() {
    state_->Stopping = true;
    if (state_->Worker.joinable()) state_->Worker.join();
    StopRecording();
}

} // namespace torvi
