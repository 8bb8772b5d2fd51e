#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <memory>
#include <string>

namespace torvi::av {

// The one place that knows how FFmpeg's objects are freed, how its errors
// read and how its log is set up, for films and capture alike.

// Owners of FFmpeg's objects, so that every way out of a routine frees them.
struct InputDeleter {
    void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputDeleter {
    void operator()(AVFormatContext* context) const {
        if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE))
            avio_closep(&context->pb);
        avformat_free_context(context);
    }
};
struct CodecDeleter {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameDeleter {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketDeleter {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerDeleter {
    void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using InputContext = std::unique_ptr<AVFormatContext, InputDeleter>;
using OutputContext = std::unique_ptr<AVFormatContext, OutputDeleter>;
using CodecContext = std::unique_ptr<AVCodecContext, CodecDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;
using Scaler = std::unique_ptr<SwsContext, ScalerDeleter>;

// FFmpeg's text for an error code.
std::string ErrorText(int code);

// Sets FFmpeg's log up once: it never prints on the program's terminal, and
// its last error message is kept so that a failure can tell the user what
// FFmpeg found. Safe to call often, from any thread.
void InitFfmpeg();

// FFmpeg's last logged error since the last call, or empty.
std::string TakeLastLogMessage();

// The reason to add to an error: FFmpeg's last logged error, else the text of
// `code` when it is an error code, else empty.
std::string Reason(int code);

// InitFfmpeg, and loads FFmpeg's device library and registers its capture
// devices, once. Gives why the devices are missing, or empty.
std::string InitCapture();

} // namespace torvi::av
