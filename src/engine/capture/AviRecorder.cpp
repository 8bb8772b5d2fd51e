#include "capture/AviRecorder.h"

#include "Error.h"
#include "av/AvHandles.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace torvi {

struct AviRecorder::Output {
    av::OutputContext Context;
    AVRational FrameTime{1, 25};
};

AviRecorder::AviRecorder(const std::string& path, int width, int height, FrameRate rate)
    : path_(path), width_(width), height_(height) {
    av::InitFfmpeg();
    auto cannotCreate = [&](const std::string& reason) {
        return Error("Cannot create file " + path + ": " + reason);
    };
    if (width < 1 || height < 1 || width > Bitmap::MaxDimension || height > Bitmap::MaxDimension)
        throw cannotCreate("a film picture of " + std::to_string(width) + " x " +
                           std::to_string(height) + " pixels is not possible");
    if (rate.Num <= 0 || rate.Den <= 0) rate = FrameRate{};

    std::vector<char> name(path.begin(), path.end());
    for (char c : std::string(".XXXXXX"))
        name.push_back(c);
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) throw cannotCreate(std::strerror(errno));
    tempPath_ = name.data();
    // mkstemp makes the file private to its owner; a film gets the usual
    // permissions of a new file.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);

    try {
        out_ = std::make_unique<Output>();
        AVFormatContext* raw = nullptr;
        int result = avformat_alloc_output_context2(&raw, nullptr, "avi", nullptr);
        if (result < 0 || raw == nullptr) throw cannotCreate(av::ErrorText(result));
        out_->Context.reset(raw);
        AVStream* stream = avformat_new_stream(raw, nullptr);
        if (stream == nullptr) throw cannotCreate(av::ErrorText(AVERROR(ENOMEM)));
        out_->FrameTime = AVRational{rate.Den, rate.Num};
        stream->time_base = out_->FrameTime;
        stream->avg_frame_rate = AVRational{rate.Num, rate.Den};
        stream->r_frame_rate = stream->avg_frame_rate;
        AVCodecParameters* par = stream->codecpar;
        par->codec_type = AVMEDIA_TYPE_VIDEO;
        par->codec_id = AV_CODEC_ID_RAWVIDEO;
        par->codec_tag = 0; // BI_RGB
        par->format = AV_PIX_FMT_RGB555LE;
        par->bits_per_coded_sample = 16;
        par->width = width;
        par->height = height;

        // "file:" keeps a colon in the user's file name from being read as a
        // protocol name.
        result = avio_open(&raw->pb, ("file:" + tempPath_).c_str(), AVIO_FLAG_WRITE);
        if (result < 0) throw cannotCreate(av::ErrorText(result));
        AVDictionary* options = nullptr;
        // A positive height marks rows stored from the bottom; the rows are
        // turned over in WriteFrame.
        av_dict_set(&options, "flipped_raw_rgb", "1", 0);
        result = avformat_write_header(raw, &options);
        av_dict_free(&options);
        if (result >= 0) avio_flush(raw->pb);
        if (result >= 0 && raw->pb->error < 0) result = raw->pb->error;
        if (result < 0) throw cannotCreate(av::ErrorText(result));
    } catch (...) {
        Abandon();
        throw;
    }
}

AviRecorder::~AviRecorder() {
    Abandon();
}

void AviRecorder::Abandon() {
    out_.reset();
    if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

void AviRecorder::Fail(int code) {
    Abandon();
    throw Error("Cannot write file " + path_ + ": " + av::ErrorText(code));
}

void AviRecorder::WriteFrame(const Bitmap& frame) {
    if (!out_) throw Error("Cannot write file " + path_ + ": the recording has ended");
    if (frame.Format() != PixelFormat::Pf15Bit || frame.Width() != width_ ||
        frame.Height() != height_)
        throw Error("A frame of another size or depth cannot be added to film " + path_);
    AVFormatContext* context = out_->Context.get();
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 2;
    const std::size_t stride = RowStride(width_, 16);
    av::Packet packet(av_packet_alloc());
    if (!packet || av_new_packet(packet.get(),
                                 static_cast<int>(stride * static_cast<std::size_t>(height_))) < 0)
        Fail(AVERROR(ENOMEM));
    std::memset(packet->data, 0, static_cast<std::size_t>(packet->size));
    for (int y = 0; y < height_; ++y)
        std::memcpy(packet->data + static_cast<std::size_t>(height_ - 1 - y) * stride,
                    frame.ScanLine(y), rowBytes);
    packet->stream_index = 0;
    packet->pts = av_rescale_q(frames_, out_->FrameTime, context->streams[0]->time_base);
    packet->dts = packet->pts;
    packet->duration = av_rescale_q(1, out_->FrameTime, context->streams[0]->time_base);
    packet->flags |= AV_PKT_FLAG_KEY;
    int result = av_write_frame(context, packet.get());
    // Buffered writes report a full disk only when the buffer goes out.
    if (result >= 0 && context->pb->error < 0) result = context->pb->error;
    if (result < 0) Fail(result);
    ++frames_;
}

void AviRecorder::Finish() {
    if (!out_) throw Error("Cannot write file " + path_ + ": the recording has ended");
    AVFormatContext* context = out_->Context.get();
    int result = av_write_trailer(context);
    if (result >= 0 && context->pb->error < 0) result = context->pb->error;
    const int closed = avio_closep(&context->pb);
    if (result >= 0) result = closed;
    if (result < 0) Fail(result);

    auto fail = [&](int err) {
        Abandon();
        return Error("Cannot write file " + path_ + ": " + std::strerror(err));
    };
    const int fd = ::open(tempPath_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) throw fail(errno);
    int err = ::fsync(fd) == 0 ? 0 : errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err != 0) throw fail(err);
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) throw fail(errno);
    tempPath_.clear();
    out_.reset();
}

} // namespace torvi
