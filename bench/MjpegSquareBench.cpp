// Decoding only the measured square of Motion JPEG frames (libjpeg, luma
// alone, the MCUs that cover the square) against FFmpeg decoding the whole
// frame, one thread each, on the same packets held in memory.
// bench/mjpeg-square.sh makes the films (in TORVI_FILM_DIR, /tmp/torvi-films
// by default) and runs this.
#include "video/MjpegSquareDecoder.h"

#include <benchmark/benchmark.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Packets {
    int Width = 0;
    int Height = 0;
    std::vector<Bytes> Frames;
};

const char* const Films[] = {"mjpeg-720p.avi", "mjpeg420-720p.avi"};
// Enough frames to stand for a film without holding all of it in memory.
constexpr std::size_t FramesRead = 200;

const Packets& FilmPackets(const char* name) {
    static std::map<std::string, Packets> films;
    auto [it, added] = films.try_emplace(name);
    if (!added) return it->second;
    const char* folder = std::getenv("TORVI_FILM_DIR");
    const std::string path = std::string(folder ? folder : "/tmp/torvi-films") + "/" + name;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return it->second;
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (stream >= 0) {
        it->second.Width = format->streams[stream]->codecpar->width;
        it->second.Height = format->streams[stream]->codecpar->height;
        AVPacket* packet = av_packet_alloc();
        while (it->second.Frames.size() < FramesRead && av_read_frame(format, packet) >= 0) {
            if (packet->stream_index == stream)
                it->second.Frames.emplace_back(packet->data, packet->data + packet->size);
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&format);
    return it->second;
}

// FFmpeg's MJPEG decoder on one thread, every frame whole, as the film reader
// decodes them today (before any conversion).
void FfmpegWholeFrame(benchmark::State& state) {
    const Packets& film = FilmPackets(Films[state.range(0)]);
    state.SetLabel(Films[state.range(0)]);
    if (film.Frames.empty()) {
        state.SkipWithError("no film: run bench/mjpeg-square.sh");
        return;
    }
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->thread_count = 1;
    avcodec_open2(context, codec, nullptr);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    std::size_t next = 0;
    for (auto _ : state) {
        const Bytes& bytes = film.Frames[next++ % film.Frames.size()];
        av_new_packet(packet, static_cast<int>(bytes.size()));
        std::copy(bytes.begin(), bytes.end(), packet->data);
        avcodec_send_packet(context, packet);
        av_packet_unref(packet);
        if (avcodec_receive_frame(context, frame) < 0) {
            state.SkipWithError("FFmpeg did not decode the frame");
            break;
        }
        benchmark::DoNotOptimize(frame->data[0][0]);
        av_frame_unref(frame);
    }
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
}

// The square of radius R around the picture's centre (R = 0: the whole
// frame), and the same square at the top and at the bottom of the picture,
// since libjpeg still reads the Huffman codes of every row above the square.
void SquareDecoder(benchmark::State& state) {
    const Packets& film = FilmPackets(Films[state.range(0)]);
    const int radius = static_cast<int>(state.range(1));
    const int place = static_cast<int>(state.range(2)); // 0 centre, 1 top, 2 bottom
    if (film.Frames.empty()) {
        state.SkipWithError("no film: run bench/mjpeg-square.sh");
        return;
    }
    torvi::PixelSquare square{0, 0, film.Width, film.Height};
    if (radius > 0) {
        const int side = 2 * radius + 1;
        const int y0 = place == 1 ? 0 : place == 2 ? film.Height - side : film.Height / 2 - radius;
        square = {film.Width / 2 - radius, y0, side, side};
    }
    state.SetLabel(std::string(Films[state.range(0)]) + (place == 1   ? " top"
                                                         : place == 2 ? " bottom"
                                                                      : " centre"));
    torvi::MjpegSquareDecoder decoder;
    Bytes grey(static_cast<std::size_t>(square.Width) * static_cast<std::size_t>(square.Height));
    std::size_t next = 0;
    for (auto _ : state) {
        const Bytes& bytes = film.Frames[next++ % film.Frames.size()];
        if (decoder.Decode(bytes.data(), bytes.size(), film.Width, film.Height, square, grey.data(),
                           square.Width) != torvi::MjpegSquareOutcome::Decoded) {
            state.SkipWithError(decoder.Message().c_str());
            break;
        }
        benchmark::DoNotOptimize(grey.data());
    }
    state.counters["fps"] = benchmark::Counter(1, benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(FfmpegWholeFrame)->DenseRange(0, 1)->Unit(benchmark::kMillisecond);
BENCHMARK(SquareDecoder)
    ->ArgsProduct({{0, 1}, {0, 300, 100}, {0}})
    ->Args({0, 300, 1})
    ->Args({0, 300, 2})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
