#include "CaptureTestSupport.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/pixdesc.h>
}

#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace torvi::test {

namespace {

struct Reader {
    AVFormatContext* Format = nullptr;
    AVCodecContext* Codec = nullptr;
    AVPacket* Packet = av_packet_alloc();
    AVFrame* Frame = av_frame_alloc();
    int Stream = -1;

    explicit Reader(const std::string& path) {
        if (avformat_open_input(&Format, path.c_str(), nullptr, nullptr) < 0) return;
        if (avformat_find_stream_info(Format, nullptr) < 0) return;
        const AVCodec* codec = nullptr;
        Stream = av_find_best_stream(Format, AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (Stream < 0) return;
        Codec = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(Codec, Format->streams[Stream]->codecpar);
        if (avcodec_open2(Codec, codec, nullptr) < 0) avcodec_free_context(&Codec);
    }
    ~Reader() {
        av_frame_free(&Frame);
        av_packet_free(&Packet);
        avcodec_free_context(&Codec);
        avformat_close_input(&Format);
    }
    bool Ok() const { return Codec != nullptr; }

    Bitmap Picture() const {
        Bitmap bitmap(Frame->width, Frame->height, PixelFormat::Pf15Bit);
        for (int y = 0; y < Frame->height; ++y)
            std::memcpy(bitmap.ScanLine(y), Frame->data[0] + y * Frame->linesize[0],
                        static_cast<std::size_t>(Frame->width) * 2);
        return bitmap;
    }

    // The next decoded frame; false at the end.
    bool Next(Bitmap& picture) {
        while (av_read_frame(Format, Packet) >= 0) {
            const bool ours = Packet->stream_index == Stream;
            if (ours) avcodec_send_packet(Codec, Packet);
            av_packet_unref(Packet);
            if (ours && avcodec_receive_frame(Codec, Frame) >= 0) {
                picture = Picture();
                return true;
            }
        }
        return false;
    }
};

std::int32_t StoredHeight(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto at = bytes.find("strf");
    if (at == std::string::npos || at + 20 > bytes.size()) return 0;
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value =
            (value << 8) | static_cast<std::uint8_t>(bytes[at + 16 + static_cast<std::size_t>(i)]);
    return static_cast<std::int32_t>(value);
}

} // namespace

FilmFacts ProbeFilm(const std::string& path) {
    FilmFacts facts;
    Reader reader(path);
    EXPECT_TRUE(reader.Ok()) << "FFmpeg cannot read " << path;
    if (!reader.Ok()) return facts;
    const AVStream* stream = reader.Format->streams[reader.Stream];
    facts.Width = stream->codecpar->width;
    facts.Height = stream->codecpar->height;
    facts.BitsPerSample = stream->codecpar->bits_per_coded_sample;
    facts.CodecTag = stream->codecpar->codec_tag;
    const char* name = av_get_pix_fmt_name(static_cast<AVPixelFormat>(reader.Codec->pix_fmt));
    facts.PixelFormat = name ? name : "";
    facts.RateNum = stream->avg_frame_rate.num;
    facts.RateDen = stream->avg_frame_rate.den;
    facts.HeaderHeight = StoredHeight(path);
    Bitmap picture;
    while (reader.Next(picture))
        facts.Frames.push_back(picture);
    return facts;
}

Bitmap SeekFrame(const std::string& path, int index) {
    Reader reader(path);
    EXPECT_TRUE(reader.Ok());
    Bitmap picture;
    if (!reader.Ok()) return picture;
    const AVStream* stream = reader.Format->streams[reader.Stream];
    const std::int64_t target =
        av_rescale_q(index, av_inv_q(stream->avg_frame_rate), stream->time_base);
    EXPECT_GE(av_seek_frame(reader.Format, reader.Stream, target, AVSEEK_FLAG_BACKWARD), 0);
    avcodec_flush_buffers(reader.Codec);
    EXPECT_TRUE(reader.Next(picture));
    return picture;
}

} // namespace torvi::test
