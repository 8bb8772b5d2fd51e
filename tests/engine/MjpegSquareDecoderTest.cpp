// The square of Motion JPEG frames decoded by libjpeg alone, against FFmpeg's
// decoding of the same frames, and the frames it leaves to FFmpeg.

#include "video/MjpegSquareDecoder.h"
#include "Error.h"
#include "PictureTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <jpeglib.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

namespace {

using torvi::LumaRange;
using torvi::MjpegSquareDecoder;
using torvi::MjpegSquareOutcome;
using torvi::PixelSquare;
using Bytes = std::vector<std::uint8_t>;

// One frame of a film: its packet, and the luma plane FFmpeg decodes from it.
struct FilmFrame {
    Bytes Packet;
    std::vector<std::uint8_t> Luma;
    LumaRange Range = LumaRange::Full;
};

struct Film {
    int Width = 0;
    int Height = 0;
    std::vector<FilmFrame> Frames;
};

// FFmpeg's luma of a packet; empty when FFmpeg cannot decode it.
std::vector<std::uint8_t> FfmpegLuma(const Bytes& packetBytes, int width, int height,
                                     LumaRange* range = nullptr) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MJPEG);
    AVCodecContext* context = avcodec_alloc_context3(codec);
    context->width = width;
    context->height = height;
    std::vector<std::uint8_t> luma;
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (avcodec_open2(context, codec, nullptr) >= 0 &&
        av_new_packet(packet, static_cast<int>(packetBytes.size())) >= 0) {
        std::copy(packetBytes.begin(), packetBytes.end(), packet->data);
        if (avcodec_send_packet(context, packet) >= 0 &&
            avcodec_receive_frame(context, frame) >= 0 && frame->width == width &&
            frame->height == height) {
            for (int y = 0; y < height; ++y) {
                const std::uint8_t* row = frame->data[0] + y * frame->linesize[0];
                luma.insert(luma.end(), row, row + width);
            }
            if (range)
                *range =
                    frame->color_range == AVCOL_RANGE_MPEG ? LumaRange::Limited : LumaRange::Full;
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    return luma;
}

Film ReadFilm(const std::string& path) {
    Film film;
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) < 0) return film;
    avformat_find_stream_info(format, nullptr);
    const int stream = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    film.Width = format->streams[stream]->codecpar->width;
    film.Height = format->streams[stream]->codecpar->height;
    AVPacket* packet = av_packet_alloc();
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == stream) {
            FilmFrame frame;
            frame.Packet.assign(packet->data, packet->data + packet->size);
            frame.Luma = FfmpegLuma(frame.Packet, film.Width, film.Height, &frame.Range);
            film.Frames.push_back(std::move(frame));
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    avformat_close_input(&format);
    return film;
}

Bytes DecodeSquare(MjpegSquareDecoder& decoder, const Bytes& packet, int width, int height,
                   const PixelSquare& square, MjpegSquareOutcome expected = {}) {
    Bytes grey(static_cast<std::size_t>(square.Width * square.Height));
    EXPECT_EQ(decoder.Decode(packet.data(), packet.size(), width, height, square, grey.data(),
                             square.Width),
              expected)
        << decoder.Message();
    return grey;
}

// The squares a measurement asks for, at every edge of MCUs and of the frame
// (150 x 118 is no whole number of 16 x 16 MCUs).
const PixelSquare Squares[] = {
    {0, 0, 150, 118}, {37, 21, 51, 51}, {99, 69, 51, 49}, {16, 16, 16, 16},
    {0, 117, 150, 1}, {149, 0, 1, 118}, {5, 90, 1, 1},    {8, 7, 1, 100},
};

struct Agreement {
    int Largest = 0;
    long Differing = 0;
    long Pixels = 0;
};

class MjpegSquareFilm : public testing::TestWithParam<const char*> {};

// Every square of every frame is the same as the whole frame decoded, and
// agrees with FFmpeg's luma (brought to grey the same way) to within one
// step of luma at about one pixel in a hundred; the range is the one FFmpeg
// reads.
TEST_P(MjpegSquareFilm, AgreesWithFfmpegInEverySquare) {
    const Film film = ReadFilm(torvi::test::DataFile(std::string("films/") + GetParam()));
    ASSERT_EQ(film.Frames.size(), 3u);
    const bool limited = std::string(GetParam()).find("limited") != std::string::npos;
    MjpegSquareDecoder decoder;
    Agreement agreement;
    for (const FilmFrame& frame : film.Frames) {
        ASSERT_EQ(frame.Luma.size(), 150u * 118u);
        EXPECT_EQ(frame.Range, limited ? LumaRange::Limited : LumaRange::Full);
        const Bytes whole =
            DecodeSquare(decoder, frame.Packet, film.Width, film.Height, Squares[0]);
        EXPECT_EQ(decoder.Range(), frame.Range);
        for (const PixelSquare& square : Squares) {
            const Bytes grey = DecodeSquare(decoder, frame.Packet, film.Width, film.Height, square);
            for (int y = 0; y < square.Height; ++y) {
                for (int x = 0; x < square.Width; ++x) {
                    const std::size_t at = static_cast<std::size_t>(y * square.Width + x);
                    const std::size_t inFrame =
                        static_cast<std::size_t>((square.Y0 + y) * film.Width + square.X0 + x);
                    ASSERT_EQ(grey[at], whole[inFrame])
                        << "square " << square.X0 << "," << square.Y0 << " pixel " << x << "," << y;
                    const int ffmpeg = torvi::GreyOfLuma(frame.Luma[inFrame], frame.Range);
                    const int difference = std::abs(ffmpeg - grey[at]);
                    agreement.Largest = std::max(agreement.Largest, difference);
                    agreement.Differing += difference != 0;
                    ++agreement.Pixels;
                }
            }
        }
    }
    std::printf("%s: %ld of %ld pixels differ from FFmpeg's, by at most %d\n", GetParam(),
                agreement.Differing, agreement.Pixels, agreement.Largest);
    // A step of limited-range luma is 255 / 219 steps of grey: one or two.
    EXPECT_LE(agreement.Largest, limited ? 2 : 1);
    EXPECT_LE(agreement.Differing * 100, agreement.Pixels * 2);
}

INSTANTIATE_TEST_SUITE_P(Films, MjpegSquareFilm,
                         testing::Values("mjpeg-full420.avi", "mjpeg-full422.avi",
                                         "mjpeg-limited420.avi", "mjpeg-limited422.avi"));

TEST(MjpegSquareDecoderTest, LimitedLumaSpreadsOverTheWholeGreyScale) {
    EXPECT_EQ(torvi::GreyOfLuma(16, LumaRange::Limited), 0);
    EXPECT_EQ(torvi::GreyOfLuma(235, LumaRange::Limited), 255);
    EXPECT_EQ(torvi::GreyOfLuma(126, LumaRange::Limited), 128); // 128.08
    EXPECT_EQ(torvi::GreyOfLuma(5, LumaRange::Limited), 0);
    // The row form gives every luma the same grey, in either range.
    std::uint8_t every[256];
    std::uint8_t grey[256];
    for (int v = 0; v < 256; ++v)
        every[v] = static_cast<std::uint8_t>(v);
    for (const LumaRange range : {LumaRange::Full, LumaRange::Limited}) {
        torvi::GreyOfLumaRow(every, 256, range, grey);
        for (int v = 0; v < 256; ++v)
            ASSERT_EQ(grey[v], torvi::GreyOfLuma(every[v], range)) << v;
    }
    EXPECT_EQ(torvi::GreyOfLuma(250, LumaRange::Limited), 255);
    EXPECT_EQ(torvi::GreyOfLuma(126, LumaRange::Full), 126);
}

// The markers of a JPEG up to its scan, each with its bytes.
std::vector<Bytes> SplitSegments(const Bytes& jpeg, Bytes& scan) {
    std::vector<Bytes> segments;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
        const std::size_t length = (jpeg[at + 2] << 8 | jpeg[at + 3]) + 2u;
        segments.emplace_back(jpeg.begin() + static_cast<long>(at),
                              jpeg.begin() + static_cast<long>(at + length));
        at += length;
    }
    scan.assign(jpeg.begin() + static_cast<long>(at), jpeg.end());
    return segments;
}

Bytes JoinSegments(const std::vector<Bytes>& segments, const Bytes& scan) {
    Bytes jpeg{0xFF, 0xD8};
    for (const Bytes& s : segments)
        jpeg.insert(jpeg.end(), s.begin(), s.end());
    jpeg.insert(jpeg.end(), scan.begin(), scan.end());
    return jpeg;
}

Bytes Comment(const std::string& text) {
    const std::size_t length = text.size() + 2;
    Bytes segment(length + 2);
    segment[0] = 0xFF;
    segment[1] = 0xFE;
    segment[2] = static_cast<std::uint8_t>(length >> 8);
    segment[3] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy(text.begin(), text.end(), segment.begin() + 4);
    return segment;
}

// Cameras send their frames without Huffman tables when they use the
// standard ones; FFmpeg and libjpeg both fill them in.
TEST(MjpegSquareDecoderTest, FramesWithoutHuffmanTablesAsCamerasSendThem) {
    const Film film = ReadFilm(torvi::test::DataFile("films/mjpeg-full422.avi"));
    ASSERT_FALSE(film.Frames.empty());
    Bytes scan;
    std::vector<Bytes> segments = SplitSegments(film.Frames[0].Packet, scan);
    const auto tables = std::erase_if(segments, [](const Bytes& s) { return s[1] == 0xC4; });
    ASSERT_GT(tables, 0u);
    const Bytes bare = JoinSegments(segments, scan);
    ASSERT_EQ(FfmpegLuma(bare, 150, 118), film.Frames[0].Luma);
    MjpegSquareDecoder decoder;
    EXPECT_EQ(DecodeSquare(decoder, bare, 150, 118, Squares[1]),
              DecodeSquare(decoder, film.Frames[0].Packet, 150, 118, Squares[1]));
}

// A picture encoded by libjpeg with its settings changed by `configure`.
Bytes EncodeJpeg(int components, const std::function<void(jpeg_compress_struct&)>& configure) {
    const int width = 64;
    const int height = 48;
    const std::size_t rowBytes = static_cast<std::size_t>(width * components);
    std::vector<std::uint8_t> samples(rowBytes * height);
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y)
        for (std::size_t i = 0; i < rowBytes; ++i)
            samples[y * rowBytes + i] = static_cast<std::uint8_t>(i * 7 + y * 3);
    return torvi::test::EncodeJpeg(samples, width, height, components,
                                   components == 1 ? JCS_GRAYSCALE : JCS_RGB, configure);
}

// Each kind of frame it cannot take is refused with its reason, and the
// decoder goes on to decode the next frame as if nothing had happened.
TEST(MjpegSquareDecoderTest, LeavesToFfmpegWhatItCannotTake) {
    const PixelSquare square{10, 10, 30, 30};
    const Bytes baseline = EncodeJpeg(3, [](jpeg_compress_struct&) {});
    const Bytes progressive =
        EncodeJpeg(3, [](jpeg_compress_struct& i) { jpeg_simple_progression(&i); });
    const Bytes arithmetic = EncodeJpeg(3, [](jpeg_compress_struct& i) { i.arith_code = TRUE; });
    const Bytes sampled411 = EncodeJpeg(3, [](jpeg_compress_struct& i) {
        i.comp_info[0].h_samp_factor = 4;
        i.comp_info[0].v_samp_factor = 1;
    });
    const Bytes finerChroma = EncodeJpeg(3, [](jpeg_compress_struct& i) {
        i.comp_info[0].h_samp_factor = 1;
        i.comp_info[0].v_samp_factor = 1;
        i.comp_info[1].h_samp_factor = 2;
        i.comp_info[1].v_samp_factor = 2;
    });
    const Bytes grey = EncodeJpeg(1, [](jpeg_compress_struct&) {});
    const Bytes rgb =
        EncodeJpeg(3, [](jpeg_compress_struct& i) { jpeg_set_colorspace(&i, JCS_RGB); });
    Bytes scan;
    std::vector<Bytes> segments = SplitSegments(baseline, scan);
    segments.insert(segments.begin() + 1, Comment("AVID\x11"));
    const Bytes avid = JoinSegments(segments, scan);
    segments[1] = Comment("Intel(R) JPEG Library, version 1.5");
    const Bytes upsideDown = JoinSegments(segments, scan);
    segments[1] = Comment("CS=ITU601");
    const Bytes limited = JoinSegments(segments, scan);
    // Cut short, with and without an end marker put back after the cut.
    const Bytes cut(baseline.begin(), baseline.begin() + static_cast<long>(baseline.size() / 2));
    Bytes cutEnded = cut;
    cutEnded.insert(cutEnded.end(), {0xFF, 0xD9});
    Bytes padded = baseline;
    padded.insert(padded.end(), 6, 0);
    const Bytes text{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G', 0xFF, 0xD9};

    MjpegSquareDecoder decoder;
    const Bytes expected = DecodeSquare(decoder, baseline, 64, 48, square);
    const struct {
        const char* Name;
        const Bytes& Frame;
        int Width;
        MjpegSquareOutcome Outcome;
    } cases[] = {
        {"progressive", progressive, 64, MjpegSquareOutcome::Progressive},
        {"arithmetic", arithmetic, 64, MjpegSquareOutcome::Arithmetic},
        {"4:1:1", sampled411, 64, MjpegSquareOutcome::Sampling},
        {"chroma finer than luma", finerChroma, 64, MjpegSquareOutcome::Sampling},
        {"grey", grey, 64, MjpegSquareOutcome::NotYCbCr},
        {"RGB", rgb, 64, MjpegSquareOutcome::NotYCbCr},
        {"AVID", avid, 64, MjpegSquareOutcome::SpecialComment},
        {"upside down", upsideDown, 64, MjpegSquareOutcome::SpecialComment},
        {"another size", baseline, 66, MjpegSquareOutcome::OtherSize},
        {"cut short", cut, 64, MjpegSquareOutcome::BrokenData},
        {"cut short, end marker put back", cutEnded, 64, MjpegSquareOutcome::BrokenData},
        {"no JPEG", text, 64, MjpegSquareOutcome::BrokenData},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        const PixelSquare lower{10, 30, 30, 18};
        DecodeSquare(decoder, c.Frame, c.Width, 48, c.Frame == cutEnded ? lower : square,
                     c.Outcome);
        if (c.Outcome == MjpegSquareOutcome::BrokenData) {
            EXPECT_FALSE(decoder.Message().empty());
        }
        EXPECT_EQ(DecodeSquare(decoder, baseline, 64, 48, square), expected);
    }
    // Padding after the end marker is no damage; "CS=ITU601" makes it limited.
    EXPECT_EQ(DecodeSquare(decoder, padded, 64, 48, square), expected);
    DecodeSquare(decoder, limited, 64, 48, square);
    EXPECT_EQ(decoder.Range(), LumaRange::Limited);
    EXPECT_THROW(DecodeSquare(decoder, baseline, 64, 48, {40, 10, 30, 30}), torvi::Error);
}

} // namespace
