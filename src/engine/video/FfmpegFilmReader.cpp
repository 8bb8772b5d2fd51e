#include "video/FfmpegFilmReader.h"

#include "Error.h"
#include "video/Mpeg4VopScanner.h"
#include "video/SampleTableCheck.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace torvi {

namespace {

// FFmpeg must never print on the terminal of the program. Its last error
// message is kept so that a failure can tell the user what FFmpeg found.
std::mutex logMutex;
std::string lastLogMessage;

void KeepLastError(void* avcl, int level, const char* format, va_list args) {
    if (level > AV_LOG_ERROR) return;
    char line[512];
    int prefix = 0;
    av_log_format_line2(avcl, level, format, args, line, sizeof line, &prefix);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const std::lock_guard lock(logMutex);
    lastLogMessage = text;
}

void SilenceFfmpegLog() {
    static std::once_flag once;
    std::call_once(once, [] {
        av_log_set_level(AV_LOG_ERROR);
        av_log_set_callback(KeepLastError);
    });
}

std::string TakeLastLogMessage() {
    const std::lock_guard lock(logMutex);
    return std::exchange(lastLogMessage, {});
}

std::string ErrorText(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

bool IsFormat(const AVFormatContext& format, const char* name) {
    return format.iformat && format.iformat->name && std::strstr(format.iformat->name, name);
}

// How often the index pass reports progress, in packets.
constexpr int ProgressEvery = 64;

} // namespace

void FfmpegFilmReader::FormatCloser::operator()(AVFormatContext* f) const {
    avformat_close_input(&f);
}
void FfmpegFilmReader::CodecFreer::operator()(AVCodecContext* c) const {
    avcodec_free_context(&c);
}
void FfmpegFilmReader::PacketFreer::operator()(AVPacket* p) const {
    av_packet_free(&p);
}
void FfmpegFilmReader::FrameFreer::operator()(AVFrame* f) const {
    av_frame_free(&f);
}

FfmpegFilmReader::FfmpegFilmReader(const std::string& path, const OpenProgress& progress)
    : path_(path) {
    SilenceFfmpegLog();
    TakeLastLogMessage();
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    shown_.reset(av_frame_alloc());
    if (!packet_ || !frame_ || !shown_) throw Error("Not enough memory to open the film");
    OpenFormat();
    OpenDecoder();
    BuildIndex(progress);
}

FfmpegFilmReader::~FfmpegFilmReader() {
    StopReadAhead(true);
}

FilmReader::Statistics FfmpegFilmReader::Stats() const {
    // The read-ahead counts its work in stats_ too; what it has decoded stays
    // ready for the caller.
    StopReadAhead(false);
    return stats_;
}

void FfmpegFilmReader::Fail(const std::string& text, int code) const {
    std::string reason = TakeLastLogMessage();
    if (reason.empty() && code < 0) reason = ErrorText(code);
    throw Error(reason.empty() ? text : text + " (" + reason + ")");
}

void FfmpegFilmReader::OpenFormat() {
    format_.reset();
    // FFmpeg's own limits (probe size, index size) bound what it reads, but
    // not what an MP4 sample table's entry count makes it allocate.
    const std::string overrun = SampleTableOverrun(path_);
    if (!overrun.empty()) throw Error("The film cannot be read (" + overrun + ")");
    AVFormatContext* format = nullptr;
    int r = avformat_open_input(&format, path_.c_str(), nullptr, nullptr);
    if (r < 0) Fail(CannotOpenFile(path_).what(), r);
    format_.reset(format);
    r = avformat_find_stream_info(format, nullptr);
    if (r < 0) Fail("The film cannot be read", r);
    if (streamIndex_ < 0) {
        for (unsigned i = 0; i < format->nb_streams; ++i) {
            const AVStream* s = format->streams[i];
            if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
                !(s->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
                streamIndex_ = static_cast<int>(i);
                break;
            }
        }
        if (streamIndex_ < 0) Fail("The file holds no video stream", 0);
    } else if (static_cast<unsigned>(streamIndex_) >= format->nb_streams) {
        Fail("The film changed while it was open", 0);
    }
    // Other streams are skipped by the demuxer instead of read and dropped.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (static_cast<int>(i) != streamIndex_) format->streams[i]->discard = AVDISCARD_ALL;
}

void FfmpegFilmReader::OpenDecoder() {
    const AVStream* stream = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder)
        Fail(std::string("Missing system video codec: no decoder for ") +
                 avcodec_get_name(stream->codecpar->codec_id),
             0);
    codec_.reset(avcodec_alloc_context3(decoder));
    if (!codec_) throw Error("Not enough memory to open the film");
    int r = avcodec_parameters_to_context(codec_.get(), stream->codecpar);
    if (r < 0) Fail("Missing system video codec", r);
    codec_->pkt_timebase = stream->time_base;
    codec_->thread_count = 0;
    r = avcodec_open2(codec_.get(), decoder, nullptr);
    if (r < 0) Fail("Missing system video codec", r);
    if (stream->nb_frames > 0) headerFrameCount_ = stream->nb_frames;
}

void FfmpegFilmReader::BuildIndex(const OpenProgress& progress) {
    const AVCodecDescriptor* desc = avcodec_descriptor_get(codec_->codec_id);
    const bool reorders = !desc || ((desc->props & AV_CODEC_PROP_REORDER) &&
                                    !(desc->props & AV_CODEC_PROP_INTRA_ONLY));
    const bool trustedTimestamps = IsFormat(*format_, "mov") || IsFormat(*format_, "matroska");
    trustDts_ = trustedTimestamps || IsFormat(*format_, "avi");
    if (!reorders) {
        const bool avi = IsFormat(*format_, "avi");
        if (!(avi && IndexFromAviTable())) ReadAllPackets(progress, false);
        RankInDecodingOrder(avi);
    } else if (IsFormat(*format_, "avi") && codec_->codec_id == AV_CODEC_ID_MPEG4) {
        Mpeg4VopScanner scanner;
        const AVCodecParameters* par = format_->streams[streamIndex_]->codecpar;
        if (par->extradata && par->extradata_size > 0)
            scanner.Scan(par->extradata, static_cast<std::size_t>(par->extradata_size));
        ReadAllPackets(progress, false, &scanner);
        if (!RankByPictureKinds()) {
            if (!ReopenAt(0)) Fail("The film cannot be read", 0);
            ReadAllPackets(progress, true);
        }
    } else if (trustedTimestamps) {
        ReadAllPackets(progress, false);
        if (!RankByTimestamps()) {
            if (!ReopenAt(0)) Fail("The film cannot be read", 0);
            ReadAllPackets(progress, true);
        }
    } else {
        ReadAllPackets(progress, true);
    }
    FinishIndex();
}

bool FfmpegFilmReader::IndexFromAviTable() {
    // The AVI index already lists every chunk with its position and keyframe
    // flag, so a long film opens without reading its pictures.
    AVStream* stream = format_->streams[streamIndex_];
    const int count = avformat_index_get_entries_count(stream);
    if (count <= 0) return false;
    const std::int64_t fileSize = avio_size(format_->pb);
    packets_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const AVIndexEntry* e = avformat_index_get_entry(stream, i);
        if (!e) break;
        // A film cut short keeps index entries for chunks that are gone.
        if (fileSize > 0 && e->pos + e->size > fileSize) break;
        Packet p;
        p.Pos = e->pos;
        p.Dts = e->timestamp;
        p.HasDts = true;
        p.Size = e->size;
        p.Key = (e->flags & AVINDEX_KEYFRAME) != 0;
        packets_.push_back(p);
    }
    // A palette film's colours come with its first packet; they are kept for
    // the seeks to come.
    AVPacket* pkt = packet_.get();
    while (av_read_frame(format_.get(), pkt) >= 0) {
        const bool ours = pkt->stream_index == streamIndex_;
        if (ours) KeepPalette(*pkt, 0);
        av_packet_unref(pkt);
        if (ours) break;
    }
    return !packets_.empty();
}

void FfmpegFilmReader::KeepPalette(const AVPacket& pkt, int packet) {
    std::size_t size = 0;
    const std::uint8_t* palette = av_packet_get_side_data(&pkt, AV_PKT_DATA_PALETTE, &size);
    if (palette && size > 0)
        palettes_.emplace_back(packet, std::vector<std::uint8_t>(palette, palette + size));
}

void FfmpegFilmReader::ReadAllPackets(const OpenProgress& progress, bool decode,
                                      Mpeg4VopScanner* scanner) {
    packets_.clear();
    pictureKinds_.clear();
    palettes_.clear();
    AVPacket* pkt = packet_.get();
    AVFrame* frame = frame_.get();
    const std::int64_t total = avio_size(format_->pb);
    int rank = 0;
    auto takeFrames = [&] {
        while (avcodec_receive_frame(codec_.get(), frame) == 0) {
            ++stats_.DecodedFrames;
            const std::int64_t tag = frame->pts;
            if (tag == AV_NOPTS_VALUE || tag < 0 ||
                tag >= static_cast<std::int64_t>(packets_.size()))
                Fail("The film's frames cannot be numbered", 0);
            Packet& p = packets_[static_cast<std::size_t>(tag)];
            if (p.Rank < 0 && !p.Hidden) p.Rank = rank++;
            av_frame_unref(frame);
        }
    };
    for (;;) {
        const int r = av_read_frame(format_.get(), pkt);
        // Any read error ends the film: a truncated file keeps the frames
        // that are complete.
        if (r < 0) break;
        if (pkt->stream_index != streamIndex_) {
            av_packet_unref(pkt);
            continue;
        }
        Packet p;
        p.Pos = pkt->pos;
        p.HasDts = pkt->dts != AV_NOPTS_VALUE;
        p.Dts = pkt->dts;
        p.HasPts = pkt->pts != AV_NOPTS_VALUE;
        p.Pts = pkt->pts;
        p.Size = pkt->size;
        p.Key = (pkt->flags & AV_PKT_FLAG_KEY) != 0;
        // Pictures cut off by the end of a truncated file and those an edit
        // list hides are decoded but not counted.
        p.Hidden = (pkt->flags & (AV_PKT_FLAG_CORRUPT | AV_PKT_FLAG_DISCARD)) != 0;
        KeepPalette(*pkt, static_cast<int>(packets_.size()));
        if (scanner)
            pictureKinds_.push_back(scanner->Scan(pkt->data, static_cast<std::size_t>(pkt->size)));
        packets_.push_back(p);
        if (decode) {
            pkt->pts = static_cast<std::int64_t>(packets_.size()) - 1;
            if (avcodec_send_packet(codec_.get(), pkt) == AVERROR(EAGAIN)) {
                takeFrames();
                avcodec_send_packet(codec_.get(), pkt);
            }
            takeFrames();
        }
        av_packet_unref(pkt);
        if (progress && packets_.size() % ProgressEvery == 0 &&
            !progress(avio_tell(format_->pb), total))
            throw OpenAbandoned();
    }
    if (decode) {
        avcodec_send_packet(codec_.get(), nullptr);
        takeFrames();
        avcodec_flush_buffers(codec_.get());
    }
    if (progress && !progress(total, total)) throw OpenAbandoned();
    positioned_ = false;
}

void FfmpegFilmReader::RankInDecodingOrder(bool timestampsCountFrames) {
    // Codecs that never reorder show their pictures in decoding order. A
    // capture that dropped a frame leaves an empty chunk, or in an AVI a gap
    // in the frame counter; the previous picture shows again there, so the
    // film keeps its timing. Gaps never make the film longer than its header
    // says, whatever a damaged index claims.
    std::int64_t pictures = 0;
    for (const Packet& p : packets_)
        if (p.Size > 0 && !p.Hidden) ++pictures;
    // A damaged header cannot make a few pictures into millions of frames.
    std::int64_t gapsAllowed = timestampsCountFrames && headerFrameCount_ > pictures
                                   ? std::min(headerFrameCount_ - pictures, 4 * pictures)
                                   : 0;
    frames_.clear();
    int previous = -1;
    for (std::size_t i = 0; i < packets_.size(); ++i) {
        Packet& p = packets_[i];
        if (p.Hidden) continue;
        if (p.Size == 0) {
            if (previous >= 0) frames_.push_back(previous);
            continue;
        }
        if (previous >= 0 && p.HasDts && packets_[static_cast<std::size_t>(previous)].HasDts) {
            std::int64_t gap = p.Dts - packets_[static_cast<std::size_t>(previous)].Dts - 1;
            for (; gap > 0 && gapsAllowed > 0; --gap, --gapsAllowed)
                frames_.push_back(previous);
        }
        p.Rank = static_cast<int>(frames_.size());
        previous = static_cast<int>(i);
        frames_.push_back(previous);
    }
}

bool FfmpegFilmReader::RankByPictureKinds() {
    // B-frames are shown as they are decoded; every other picture is held
    // back until the next one that is not a B-frame arrives. B-frames before
    // the second reference picture (a film cut out of a longer one) lack a
    // reference, and the decoder shows nothing for them.
    if (pictureKinds_.size() != packets_.size()) return false;
    using Kind = Mpeg4VopScanner::Kind;
    int rank = 0;
    int held = -1;
    int references = 0;
    auto show = [&](int packet) {
        if (packet >= 0 && !packets_[static_cast<std::size_t>(packet)].Hidden)
            packets_[static_cast<std::size_t>(packet)].Rank = rank++;
    };
    for (std::size_t i = 0; i < packets_.size(); ++i) {
        const Kind kind = pictureKinds_[i];
        if (kind == Kind::Unknown) {
            for (Packet& p : packets_)
                p.Rank = -1;
            return false;
        }
        if (kind == Kind::NotCoded) continue;
        if (kind == Kind::Bidirectional) {
            if (references >= 2) show(static_cast<int>(i));
        } else {
            show(held);
            held = static_cast<int>(i);
            ++references;
        }
    }
    show(held);
    return true;
}

bool FfmpegFilmReader::RankByTimestamps() {
    std::vector<int> order;
    for (std::size_t i = 0; i < packets_.size(); ++i) {
        const Packet& p = packets_[i];
        if (p.Size <= 0 || p.Hidden) continue;
        if (!p.HasPts) return false;
        order.push_back(static_cast<int>(i));
    }
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return packets_[a].Pts < packets_[b].Pts; });
    for (std::size_t i = 1; i < order.size(); ++i)
        if (packets_[order[i]].Pts == packets_[order[i - 1]].Pts) return false;
    for (std::size_t i = 0; i < order.size(); ++i)
        packets_[order[i]].Rank = static_cast<int>(i);
    return true;
}

void FfmpegFilmReader::FinishIndex() {
    if (frames_.empty()) {
        std::vector<std::pair<int, int>> ranked;
        for (std::size_t i = 0; i < packets_.size(); ++i)
            if (packets_[i].Rank >= 0) ranked.emplace_back(packets_[i].Rank, static_cast<int>(i));
        std::sort(ranked.begin(), ranked.end());
        frames_.reserve(ranked.size());
        for (const auto& [rank, packet] : ranked)
            frames_.push_back(packet);
    }
    for (std::size_t i = 1; i < packets_.size(); ++i) {
        const Packet& a = packets_[i - 1];
        const Packet& b = packets_[i];
        if (a.HasDts && b.HasDts && b.Dts > a.Dts)
            frameTicks_ = frameTicks_ > 0 ? std::min(frameTicks_, b.Dts - a.Dts) : b.Dts - a.Dts;
    }
    if (frameTicks_ <= 0) frameTicks_ = 1;
    keyframes_.clear();
    int previousRank = -1;
    for (std::size_t i = 0; i < packets_.size(); ++i) {
        const Packet& p = packets_[i];
        if (i == 0 || (p.Key && p.Rank >= 0)) {
            keyframes_.push_back(static_cast<int>(i));
            if (p.Rank >= 0) {
                if (previousRank >= 0) longestGop_ = std::max(longestGop_, p.Rank - previousRank);
                previousRank = p.Rank;
            }
        }
    }
    if (previousRank >= 0)
        longestGop_ = std::max(longestGop_, static_cast<int>(frames_.size()) - previousRank);
}

int FfmpegFilmReader::StartFor(int targetRank, int packet) const {
    // The latest keyframe at or before the target in decoding order that is
    // not shown after it: a picture shown before its own GOP's keyframe (an
    // open GOP's leading B-frame) needs the GOP before.
    auto it = std::upper_bound(keyframes_.begin(), keyframes_.end(), packet);
    while (it != keyframes_.begin()) {
        --it;
        const int rank = packets_[static_cast<std::size_t>(*it)].Rank;
        if (rank >= 0 && rank <= targetRank) return *it;
    }
    return 0;
}

bool FfmpegFilmReader::GetFrameDib(int index, std::vector<std::uint8_t>& dib) {
    if (index < 0 || index >= FrameCount()) return false;
    if (index != shownIndex_) {
        shownIndex_ = -1;
        av_frame_unref(shown_.get());
        if (!TakeReadAhead(index)) {
            StopReadAhead(true);
            const int packet = frames_[static_cast<std::size_t>(index)];
            if (!DecodeTo(packets_[static_cast<std::size_t>(packet)].Rank, packet)) return false;
            // The decoder's pictures are reference-counted: keeping this one
            // costs no copy, and the decoder goes on into fresh buffers.
            if (av_frame_ref(shown_.get(), frame_.get()) < 0) return false;
            aheadNext_ = index + 1;
        }
        shownIndex_ = index;
        StartReadAhead();
    }
    try {
        dibBuilder_.Build(*shown_, dib);
    } catch (const Error&) {
        return false;
    }
    return true;
}

void FfmpegFilmReader::StartReadAhead() {
    {
        const std::lock_guard lock(aheadMutex_);
        if (aheadRunning_ || aheadNext_ < 0 || aheadNext_ >= FrameCount()) return;
        aheadRunning_ = true;
        aheadStop_ = false;
    }
    readAhead_.Start([this] { ReadAheadLoop(); });
}

void FfmpegFilmReader::ReadAheadLoop() {
    // Whatever ends the loop, even a failed allocation, must say so below:
    // the caller may be waiting for the next frame. It then decodes the
    // frame itself and meets the failure there.
    try {
        std::unique_ptr<AVFrame, FrameFreer> kept;
        for (;;) {
            int index = -1;
            {
                std::unique_lock lock(aheadMutex_);
                if (kept) {
                    ready_.push_back({aheadNext_, std::move(kept)});
                    ++aheadNext_;
                    aheadChanged_.notify_all();
                }
                aheadChanged_.wait(
                    lock, [this] { return aheadStop_ || ready_.size() < ReadAheadFrames; });
                if (aheadStop_ || aheadNext_ >= FrameCount()) break;
                index = aheadNext_;
            }
            const int packet = frames_[static_cast<std::size_t>(index)];
            if (!DecodeTo(packets_[static_cast<std::size_t>(packet)].Rank, packet)) break;
            kept.reset(av_frame_alloc());
            if (!kept || av_frame_ref(kept.get(), frame_.get()) < 0) break;
        }
    } catch (...) { // NOLINT(bugprone-empty-catch): see above
    }
    const std::lock_guard lock(aheadMutex_);
    aheadRunning_ = false;
    aheadChanged_.notify_all();
}

bool FfmpegFilmReader::TakeReadAhead(int index) {
    std::unique_lock lock(aheadMutex_);
    for (;;) {
        if (!ready_.empty()) {
            if (ready_.front().Index != index) return false;
            av_frame_move_ref(shown_.get(), ready_.front().Frame.get());
            ready_.pop_front();
            aheadChanged_.notify_all();
            return true;
        }
        if (!aheadRunning_ || aheadNext_ != index) return false;
        aheadChanged_.wait(lock);
    }
}

void FfmpegFilmReader::StopReadAhead(bool discard) const {
    {
        const std::lock_guard lock(aheadMutex_);
        aheadStop_ = true;
        aheadChanged_.notify_all();
    }
    readAhead_.Wait();
    if (discard) ready_.clear();
}

bool FfmpegFilmReader::DecodeTo(int targetRank, int packet) {
    if (haveFrame_ && lastRank_ == targetRank) return true;
    int start = StartFor(targetRank, packet);
    bool decodeOn = positioned_ && targetRank > lastRank_ && start <= nextPacket_;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!decodeOn && !SeekToPacket(start)) return false;
        if (DecodeForward(targetRank) == Outcome::Found) return true;
        // The decoder dropped the picture (a damaged packet, or a reference
        // it lacked): try once more from a keyframe further back.
        if (start == 0) return false;
        start = StartFor(packets_[static_cast<std::size_t>(start)].Rank - 1, start - 1);
        decodeOn = false;
    }
    return false;
}

void FfmpegFilmReader::ResetDecoder() {
    avcodec_flush_buffers(codec_.get());
    av_packet_unref(packet_.get());
    queued_.clear();
    positioned_ = false;
    pending_ = false;
    eofSent_ = false;
    haveFrame_ = false;
    lastRank_ = -1;
    paletteDue_ = true;
}

bool FfmpegFilmReader::SeekToPacket(int packet) {
    ResetDecoder();
    ++stats_.Seeks;
    if (SeekByTimestamp(packet)) return true;
    return ReopenAt(packet);
}

bool FfmpegFilmReader::SeekByTimestamp(int packet) {
    // After a failed reopen (the file gone meanwhile) there is nothing to seek in.
    if (!format_) return false;
    const Packet& target = packets_[static_cast<std::size_t>(packet)];
    if (!target.HasDts && !target.HasPts) return false;
    const std::int64_t ts = target.HasDts && target.HasPts ? std::min(target.Dts, target.Pts)
                            : target.HasDts                ? target.Dts
                                                           : target.Pts;
    if (av_seek_frame(format_.get(), streamIndex_, ts, AVSEEK_FLAG_BACKWARD) < 0) return false;
    // A demuxer without an index lands near the timestamp, not on it, and an
    // MPEG program stream even numbers the packets after a seek differently.
    // So the target is found by its own size and keyframe flag followed by
    // the sizes of the packets after it, read on from where the seek landed.
    const std::size_t successors = trustDts_ ? 3 : 6;
    const std::size_t follow =
        std::min(successors, packets_.size() - 1 - static_cast<std::size_t>(packet));
    const std::int64_t slack = trustDts_ ? 0 : 2 * TicksPerSecond();
    queued_.clear();
    // Only the packets that may still be the target are kept, so a seek that
    // lands far too early reads on without holding the film in memory.
    bool firstRead = true;
    for (std::size_t reads = 0; reads <= packets_.size() + 16; ++reads) {
        QueuedPacket pkt(av_packet_alloc());
        if (!pkt || av_read_frame(format_.get(), pkt.get()) < 0) break;
        if (pkt->stream_index != streamIndex_) continue;
        queued_.push_back(std::move(pkt));
        if (queued_.size() <= follow) continue;
        const AVPacket& seen = *queued_.front();
        const bool past =
            target.HasDts && seen.dts != AV_NOPTS_VALUE && seen.dts > target.Dts + slack;
        if (IsTarget(0, packet, follow, firstRead)) {
            positioned_ = true;
            nextPacket_ = packet;
            return true;
        }
        if (past) break;
        queued_.pop_front();
        firstRead = false;
    }
    // The end of the file: the target may be among the last packets.
    for (std::size_t candidate = 0; candidate < queued_.size(); ++candidate) {
        const std::size_t after = queued_.size() - 1 - candidate;
        if (after <= follow && static_cast<std::size_t>(packet) + after == packets_.size() - 1 &&
            IsTarget(candidate, packet, after, firstRead && candidate == 0)) {
            queued_.erase(queued_.begin(),
                          queued_.begin() + static_cast<std::ptrdiff_t>(candidate));
            positioned_ = true;
            nextPacket_ = packet;
            return true;
        }
    }
    queued_.clear();
    return false;
}

bool FfmpegFilmReader::IsTarget(std::size_t candidate, int packet, std::size_t follow,
                                bool firstRead) const {
    const AVPacket& seen = *queued_[candidate];
    const Packet& entry = packets_[static_cast<std::size_t>(packet)];
    if (trustDts_) {
        if (!Matches(seen, entry)) return false;
    } else {
        // The parser of a program stream may put a few header bytes more into
        // the first packet after a seek, and numbers it up to a frame off: the
        // keyframe flag, a timestamp near the target's and the sizes of the
        // packets that follow tell it.
        if (((seen.flags & AV_PKT_FLAG_KEY) != 0) != entry.Key) return false;
        if (!firstRead && seen.size != entry.Size) return false;
        if (entry.HasDts && seen.dts != AV_NOPTS_VALUE &&
            std::abs(seen.dts - entry.Dts) > 2 * frameTicks_)
            return false;
    }
    for (std::size_t i = 1; i <= follow; ++i)
        if (queued_[candidate + i]->size != packets_[static_cast<std::size_t>(packet) + i].Size)
            return false;
    return true;
}

std::int64_t FfmpegFilmReader::TicksPerSecond() const {
    const AVRational base = format_->streams[streamIndex_]->time_base;
    return base.num > 0 ? std::max<std::int64_t>(1, base.den / base.num) : 1;
}

bool FfmpegFilmReader::ReopenAt(int packet) {
    ++stats_.Reopens;
    positioned_ = false;
    pending_ = false;
    queued_.clear();
    try {
        OpenFormat();
    } catch (const Error&) {
        return false;
    }
    nextPacket_ = 0;
    positioned_ = true;
    bool desync = false;
    while (nextPacket_ < packet) {
        if (!ReadNext(desync)) return positioned_ = false;
        av_packet_unref(packet_.get());
        pending_ = false;
        ++nextPacket_;
    }
    return true;
}

bool FfmpegFilmReader::Matches(const AVPacket& pkt, const Packet& entry) const {
    if (pkt.size != entry.Size || ((pkt.flags & AV_PKT_FLAG_KEY) != 0) != entry.Key) return false;
    if (!trustDts_) return true;
    if (entry.HasDts && pkt.dts != AV_NOPTS_VALUE && pkt.dts != entry.Dts) return false;
    if (entry.HasPts && pkt.pts != AV_NOPTS_VALUE && pkt.pts != entry.Pts) return false;
    return true;
}

bool FfmpegFilmReader::ReadNext(bool& desync) {
    if (pending_) return true;
    if (nextPacket_ >= static_cast<int>(packets_.size())) return false;
    AVPacket* pkt = packet_.get();
    if (!queued_.empty()) {
        // Already identified by the seek.
        av_packet_move_ref(pkt, queued_.front().get());
        queued_.pop_front();
        pending_ = true;
        return true;
    } else {
        for (;;) {
            if (av_read_frame(format_.get(), pkt) < 0) return false;
            if (pkt->stream_index == streamIndex_) break;
            av_packet_unref(pkt);
        }
    }
    const Packet& entry = packets_[static_cast<std::size_t>(nextPacket_)];
    const bool sameDts =
        !trustDts_ || !entry.HasDts || pkt->dts == AV_NOPTS_VALUE || pkt->dts == entry.Dts;
    if (pkt->size != entry.Size || !sameDts) {
        desync = true;
        av_packet_unref(pkt);
        return false;
    }
    pending_ = true;
    return true;
}

void FfmpegFilmReader::AttachPalette(int packet) {
    // A palette film sends its colours with its first packet only; after a
    // seek the decoder must be told them again.
    paletteDue_ = false;
    AVPacket* pkt = packet_.get();
    if (palettes_.empty() || av_packet_get_side_data(pkt, AV_PKT_DATA_PALETTE, nullptr)) return;
    const std::vector<std::uint8_t>* palette = nullptr;
    for (const auto& [at, colours] : palettes_)
        if (at <= packet) palette = &colours;
    if (!palette) return;
    std::uint8_t* data = av_packet_new_side_data(pkt, AV_PKT_DATA_PALETTE, palette->size());
    if (data) std::memcpy(data, palette->data(), palette->size());
}

FfmpegFilmReader::Outcome FfmpegFilmReader::DecodeForward(int targetRank) {
    AVCodecContext* codec = codec_.get();
    AVFrame* frame = frame_.get();
    // Bounded so that a decoder that stops making progress cannot hang us.
    const std::size_t limit = 4 * packets_.size() + 64;
    for (std::size_t step = 0; step < limit; ++step) {
        const int r = avcodec_receive_frame(codec, frame);
        if (r == 0) {
            ++stats_.DecodedFrames;
            haveFrame_ = false;
            const std::int64_t tag = frame->pts;
            if (tag < 0 || tag >= static_cast<std::int64_t>(packets_.size())) continue;
            const int rank = packets_[static_cast<std::size_t>(tag)].Rank;
            if (rank < 0) continue;
            lastRank_ = rank;
            haveFrame_ = true;
            if (rank == targetRank) return Outcome::Found;
            if (rank > targetRank) return Outcome::Passed;
            continue;
        }
        // A receive that gives no picture has emptied frame_.
        haveFrame_ = false;
        if (r == AVERROR_EOF) return Outcome::End;
        if (r != AVERROR(EAGAIN)) continue;
        if (eofSent_) return Outcome::End;
        bool desync = false;
        if (!positioned_ || !ReadNext(desync)) {
            if (desync) {
                positioned_ = false;
                return Outcome::End;
            }
            avcodec_send_packet(codec, nullptr);
            eofSent_ = true;
            continue;
        }
        AVPacket* pkt = packet_.get();
        if (paletteDue_) AttachPalette(nextPacket_);
        pkt->pts = nextPacket_;
        const int sent = avcodec_send_packet(codec, pkt);
        if (sent == AVERROR(EAGAIN)) continue; // frames first, then this packet again
        av_packet_unref(pkt);
        pending_ = false;
        ++nextPacket_;
    }
    return Outcome::End;
}

} // namespace torvi
