#include "video/FilmIndexer.h"

#include "Error.h"
#include "av/AvHandles.h"
#include "video/Mpeg4VopScanner.h"
#include "video/SampleTableCheck.h"
#include "video/VideoInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstring>

namespace torvi {

namespace {

bool IsFormat(const AVFormatContext& format, const char* name) {
    return format.iformat && format.iformat->name && std::strstr(format.iformat->name, name);
}

// How often the index pass reports progress, in packets.
constexpr int ProgressEvery = 64;

class FilmIndexer {
public:
    FilmIndexer(const std::string& path, const OpenProgress& progress)
        : path_(path), progress_(progress), index_(std::make_shared<FilmIndex>()) {}

    std::shared_ptr<const FilmIndex> Build();

private:
    [[noreturn]] void Fail(const std::string& text, int code) const {
        throw FilmError(text, code);
    }
    void OpenFilm();
    bool IndexFromAviTable();
    // Reads every packet; with `decode` also notes the order a decode shows
    // the pictures in. With a scanner also notes the kind of picture each
    // packet holds.
    void ReadAllPackets(bool decode, Mpeg4VopScanner* scanner = nullptr);
    void KeepPalette(const AVPacket& pkt, int packet);

    std::string path_;
    const OpenProgress& progress_;
    std::shared_ptr<FilmIndex> index_;
    VideoInput input_;
    av::CodecContext codec_;
    av::Packet packet_;
    av::Frame frame_;
    std::vector<PacketVops> pictureHeaders_; // per packet
    std::vector<int> shownOrder_;            // packets in the order a decode showed them
};

void FilmIndexer::OpenFilm() {
    // FFmpeg's own limits (probe size, index size) bound what it reads, but
    // not what an MP4 sample table's entry count makes it allocate.
    const std::string overrun = SampleTableOverrun(path_);
    if (!overrun.empty()) throw Error("The film cannot be read (" + overrun + ")");
    input_.OpenFilm(path_, index_->Stream, "The file holds no video stream");
}

std::shared_ptr<const FilmIndex> FilmIndexer::Build() {
    av::InitFfmpeg();
    av::TakeLastLogMessage();
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    if (!packet_ || !frame_) throw Error("Not enough memory to open the film");
    OpenFilm();
    FilmIndex& index = *index_;
    const AVStream& stream = input_.Stream();
    index.Stream = input_.StreamIndex();
    index.FileSize = avio_size(input_.Format()->pb);
    if (stream.nb_frames > 0) index.HeaderFrames = stream.nb_frames;
    index.TimeBaseNum = stream.time_base.num;
    index.TimeBaseDen = stream.time_base.den;
    // Films are shown and measured the way players show them.
    index.Orientation = input_.Orientation();
    const AVCodecID id = stream.codecpar->codec_id;
    if (avcodec_find_decoder(id) == nullptr)
        Fail(std::string("Missing system video codec: no decoder for ") + avcodec_get_name(id), 0);
    // The decoder is set up as a reader sets it up to read in order.
    const int r = input_.OpenDecoder(VideoInput::InOrderThreads(), codec_);
    if (r < 0) Fail("Missing system video codec", r);

    const AVFormatContext& format = *input_.Format();
    const AVCodecDescriptor* desc = avcodec_descriptor_get(id);
    const bool reorders = !desc || ((desc->props & AV_CODEC_PROP_REORDER) &&
                                    !(desc->props & AV_CODEC_PROP_INTRA_ONLY));
    const bool avi = IsFormat(format, "avi");
    const bool trustedTimestamps = IsFormat(format, "mov") || IsFormat(format, "matroska");
    index.TrustTimestamps = trustedTimestamps || avi;
    index.FrameSlots = avi;
    index.SkipsNonReference = id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC ||
                              id == AV_CODEC_ID_MPEG4 || id == AV_CODEC_ID_MPEG1VIDEO ||
                              id == AV_CODEC_ID_MPEG2VIDEO;
    const auto decodeWhole = [&] {
        // From the start again, the demuxer and the decoder fresh.
        input_.Close();
        OpenFilm();
        ReadAllPackets(true);
        index.RankInShownOrder(shownOrder_);
    };
    if (!reorders) {
        if (!(avi && IndexFromAviTable())) ReadAllPackets(false);
        index.RankInDecodingOrder(avi, index.HeaderFrames);
    } else if (avi && id == AV_CODEC_ID_MPEG4) {
        Mpeg4VopScanner scanner;
        const AVCodecParameters* par = stream.codecpar;
        if (par->extradata && par->extradata_size > 0)
            scanner.Scan(par->extradata, static_cast<std::size_t>(par->extradata_size));
        ReadAllPackets(false, &scanner);
        if (!index.RankByPictureHeaders(pictureHeaders_, scanner.Packed())) decodeWhole();
        // A packed B-frame is decoded with the packet after its own; skipping
        // it would lose the picture kept in that packet.
        index.SkipsNonReference = !scanner.Packed();
    } else if (trustedTimestamps) {
        ReadAllPackets(false);
        // FFmpeg's H.264 and HEVC decoders show nothing before the first
        // keyframe of a film cut out of a longer one.
        const bool firstKeyframeStarts = id == AV_CODEC_ID_H264 || id == AV_CODEC_ID_HEVC;
        if (!index.RankByTimestamps(firstKeyframeStarts)) decodeWhole();
    } else {
        ReadAllPackets(true);
        index.RankInShownOrder(shownOrder_);
    }
    index.Finish();
    return index_;
}

bool FilmIndexer::IndexFromAviTable() {
    // The AVI index already lists every chunk with its position and keyframe
    // flag, so a long film opens without reading its pictures.
    AVFormatContext* format = input_.Format();
    AVStream* stream = format->streams[input_.StreamIndex()];
    const int count = avformat_index_get_entries_count(stream);
    if (count <= 0) return false;
    const std::int64_t fileSize = avio_size(format->pb);
    std::vector<FilmPacket>& packets = index_->Packets;
    packets.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (!e) break;
        // A film cut short keeps index entries for chunks that are gone.
        if (fileSize > 0 && e->pos + e->size > fileSize) break;
        FilmPacket p;
        p.Pos = e->pos;
        p.Dts = e->timestamp;
        p.HasDts = true;
        p.Size = e->size;
        p.Key = (e->flags & AVINDEX_KEYFRAME) != 0;
        p.Start = p.Key;
        packets.push_back(p);
    }
    // A palette film's colours come with its first packet; they are kept for
    // the seeks to come.
    AVPacket* pkt = packet_.get();
    while (av_read_frame(format, pkt) >= 0) {
        const bool ours = pkt->stream_index == input_.StreamIndex();
        if (ours) KeepPalette(*pkt, 0);
        av_packet_unref(pkt);
        if (ours) break;
    }
    return !packets.empty();
}

void FilmIndexer::KeepPalette(const AVPacket& pkt, int packet) {
    std::size_t size = 0;
    const std::uint8_t* palette = av_packet_get_side_data(&pkt, AV_PKT_DATA_PALETTE, &size);
    if (palette && size > 0)
        index_->Palettes.emplace_back(packet, std::vector<std::uint8_t>(palette, palette + size));
}

void FilmIndexer::ReadAllPackets(bool decode, Mpeg4VopScanner* scanner) {
    std::vector<FilmPacket>& packets = index_->Packets;
    packets.clear();
    pictureHeaders_.clear();
    shownOrder_.clear();
    index_->Palettes.clear();
    AVFormatContext* format = input_.Format();
    AVPacket* pkt = packet_.get();
    AVFrame* frame = frame_.get();
    const std::int64_t total = avio_size(format->pb);
    auto takeFrames = [&] {
        while (avcodec_receive_frame(codec_.get(), frame) == 0) {
            ++index_->DecodedFrames;
            const std::int64_t tag = frame->pts;
            if (tag == AV_NOPTS_VALUE || tag < 0 ||
                tag >= static_cast<std::int64_t>(packets.size()))
                Fail("The film's frames cannot be numbered", 0);
            shownOrder_.push_back(static_cast<int>(tag));
            av_frame_unref(frame);
        }
    };
    for (;;) {
        const int r = av_read_frame(format, pkt);
        // Any read error ends the film: a truncated file keeps the frames
        // that are complete.
        if (r < 0) break;
        if (pkt->stream_index != input_.StreamIndex()) {
            av_packet_unref(pkt);
            continue;
        }
        FilmPacket p;
        p.Pos = pkt->pos;
        p.HasDts = pkt->dts != AV_NOPTS_VALUE;
        p.Dts = pkt->dts;
        p.HasPts = pkt->pts != AV_NOPTS_VALUE;
        p.Pts = pkt->pts;
        p.Size = pkt->size;
        p.Key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
        p.Start = p.Key;
        // Pictures cut off by the end of a truncated file and those an edit
        // list hides are decoded but not counted.
        p.Hidden = (pkt->flags & (AV_PKT_FLAG_CORRUPT | AV_PKT_FLAG_DISCARD)) != 0;
        KeepPalette(*pkt, static_cast<int>(packets.size()));
        if (scanner)
            pictureHeaders_.push_back(
                scanner->Scan(pkt->data, static_cast<std::size_t>(pkt->size)));
        packets.push_back(p);
        if (decode) {
            // Each packet carries its own number as timestamp, so every
            // picture says which packet it came from.
            pkt->pts = static_cast<std::int64_t>(packets.size()) - 1;
            if (avcodec_send_packet(codec_.get(), pkt) == AVERROR(EAGAIN)) {
                takeFrames();
                avcodec_send_packet(codec_.get(), pkt);
            }
            takeFrames();
        }
        av_packet_unref(pkt);
        if (progress_ && packets.size() % ProgressEvery == 0 &&
            !progress_(avio_tell(format->pb), total))
            throw OpenAbandoned();
    }
    if (decode) {
        avcodec_send_packet(codec_.get(), nullptr);
        takeFrames();
        avcodec_flush_buffers(codec_.get());
    }
    if (progress_ && !progress_(total, total)) throw OpenAbandoned();
}

} // namespace

std::shared_ptr<const FilmIndex> IndexFilm(const std::string& path, const OpenProgress& progress) {
    return FilmIndexer(path, progress).Build();
}

} // namespace torvi
