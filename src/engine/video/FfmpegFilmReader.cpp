#include "video/FfmpegFilmReader.h"

#include "Error.h"
#include "av/AvHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

namespace torvi {

namespace {

SeenPacket Seen(const AVPacket& pkt) {
    SeenPacket seen;
    seen.HasDts = pkt.dts != AV_NOPTS_VALUE;
    seen.Dts = pkt.dts;
    seen.HasPts = pkt.pts != AV_NOPTS_VALUE;
    seen.Pts = pkt.pts;
    seen.Size = pkt.size;
    seen.Key = (pkt.flags & AV_PKT_FLAG_KEY) != 0;
    return seen;
}

} // namespace

namespace {

// The stream's rate as a user would name it: its base rate where that lies
// within 1 % of the average (a phone film whose frame times wander about 30
// gives 30/1, a 30000/1001 film its exact fraction), else the average (the
// base rate of some containers is a clock tick, 90000/1).
StatedFrameRate NominalRateOf(const AVStream& stream) {
    const AVRational average = stream.avg_frame_rate;
    const AVRational base = stream.r_frame_rate;
    const bool averageKnown = average.num > 0 && average.den > 0;
    const bool baseKnown = base.num > 0 && base.den > 0;
    if (baseKnown && (!averageKnown || std::abs(av_q2d(base) / av_q2d(average) - 1) <= 0.01))
        return {base.num, base.den};
    if (averageKnown) return {average.num, average.den};
    return {};
}

} // namespace

FfmpegFilmReader::FfmpegFilmReader(const std::string& path, std::shared_ptr<const FilmIndex> index,
                                   bool countIndexing)
    : path_(path), index_(std::move(index)) {
    av::InitFfmpeg();
    av::TakeLastLogMessage();
    if (!index_ || index_->Stream < 0) throw Error("The film changed while it was open");
    if (countIndexing) stats_.DecodedFrames = index_->DecodedFrames;
    packet_.reset(av_packet_alloc());
    frame_.reset(av_frame_alloc());
    shown_.reset(av_frame_alloc());
    if (!packet_ || !frame_ || !shown_) throw Error("Not enough memory to open the film");
    OpenFormat();
    // A file changed since it was indexed would show other pictures than
    // the index numbers.
    if (index_->FileSize >= 0 && avio_size(input_.Format()->pb) != index_->FileSize)
        throw Error("The film changed while it was open");
    OpenCodec(Pace::InOrder);
    picture_.Orientation = index_->Orientation;
    nominalRate_ = NominalRateOf(input_.Stream());
    const AVCodecParameters& par = *input_.Stream().codecpar;
    if (par.codec_id == AV_CODEC_ID_MJPEG && index_->Orientation.IsIdentity())
        mjpegSize_ = {par.width, par.height};
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

double FfmpegFilmReader::FrameTime(int index) const {
    const AVRational base{index_->TimeBaseNum, index_->TimeBaseDen};
    if (index < 0 || index >= FrameCount() || base.num <= 0 || base.den <= 0) return -1;
    // An AVI shows one frame per tick of its stream, whatever the parser
    // makes of the timestamps of packed or reordered pictures.
    if (index_->FrameSlots) return static_cast<double>(index) * base.num / base.den;
    std::int64_t first = 0;
    std::int64_t ticks = 0;
    if (!index_->FrameTime(0, first) || !index_->FrameTime(index, ticks)) return -1;
    return static_cast<double>(ticks - first) * base.num / base.den;
}

void FfmpegFilmReader::Fail(const std::string& text, int code) const {
    throw FilmError(text, code);
}

void FfmpegFilmReader::OpenFormat() {
    input_.OpenFilm(path_, index_->Stream, "The film changed while it was open");
}

void FfmpegFilmReader::OpenCodec(Pace pace) {
    const int r = input_.OpenDecoder(pace == Pace::Jump ? 1 : VideoInput::InOrderThreads(), codec_);
    if (r == AVERROR_DECODER_NOT_FOUND)
        Fail(std::string("Missing system video codec: no decoder for ") +
                 avcodec_get_name(input_.Stream().codecpar->codec_id),
             0);
    if (r == AVERROR(ENOMEM) && !codec_) throw Error("Not enough memory to open the film");
    if (r < 0) Fail("Missing system video codec", r);
    pace_ = pace;
}

bool FfmpegFilmReader::SquarePassTakes(int index, Bitmap& bitmap, const PixelSquare* square) {
    const auto [width, height] = mjpegSize_;
    // The whole frame (the calibration's) is FFmpeg's, as the shown frame's
    // grey is: the square decoder saves nothing there.
    const bool fits = square && !square->Empty() && width > 0 &&
                      (square->Width < width || square->Height < height) &&
                      bitmap.Format() == PixelFormat::Pf24Bit && bitmap.Width() == width &&
                      bitmap.Height() == height && square->X0 >= 0 && square->Y0 >= 0 &&
                      square->X0 + square->Width <= width && square->Y0 + square->Height <= height;
    if (squarePass_ && (!fits || squarePass_->Next() != index || squarePass_->Square() != *square))
        squarePass_.reset();
    if (!fits || squarePassRefused_) return false;
    if (!squarePass_) {
        // Only a pass that reads on in order: a jump decodes its one frame.
        if (index != requested_ + 1) return false;
        StopReadAhead(true);
        try {
            squarePass_ =
                std::make_unique<MjpegSquarePass>(path_, index_, width, height, *square, index);
        } catch (const std::system_error&) {
            squarePassRefused_ = true; // no threads to be had: FFmpeg reads on
            return false;
        }
    }
    switch (squarePass_->Take(bitmap)) {
    case MjpegSquarePass::Outcome::Decoded:
        requested_ = index;
        ++stats_.DecodedFrames;
        return true;
    case MjpegSquarePass::Outcome::FrameRefused:
        break;
    case MjpegSquarePass::Outcome::FilmRefused:
        squarePass_.reset();
        squarePassRefused_ = true;
        break;
    }
    // FFmpeg decodes this frame as a jump, without reading ahead: the pass
    // goes on with the next.
    requested_ = -2;
    return false;
}

bool FfmpegFilmReader::GetFrame(int index, Bitmap& bitmap, const PixelSquare* square) {
    failure_.clear();
    if (index < 0 || index >= FrameCount()) return false;
    if (SquarePassTakes(index, bitmap, square)) return true;
    if (squarePass_) {
        // The frame the pass refused: decoded here as a jump, and the pass
        // keeps the frames after it.
        const bool got = DecodeOne(index, bitmap, square, false);
        requested_ = index;
        return got;
    }
    return DecodeOne(index, bitmap, square, true);
}

bool FfmpegFilmReader::DecodeOne(int index, Bitmap& bitmap, const PixelSquare* square,
                                 bool readAhead) {
    // Reading ahead pays only while the caller goes forward: after a jump
    // the next request is as likely another jump (calibration's samples) or
    // a step back.
    const int previous = requested_;
    const bool forward = index == previous + 1;
    requested_ = index;
    const auto fail = [this](const std::string& fallback) {
        std::string reason = av::TakeLastLogMessage();
        failure_ = reason.empty() ? fallback : reason;
        return false;
    };
    if (index != shownIndex_) {
        shownIndex_ = -1;
        av_frame_unref(shown_.get());
        const int packet = index_->PacketOf(index);
        const int rank = index_->Packets[static_cast<std::size_t>(packet)].Rank;
        if (!TakeReadAhead(index)) {
            StopReadAhead(true);
            if (!TakeKept(rank)) {
                av::TakeLastLogMessage();
                // Far from the frame asked for last, the pictures no other
                // picture needs are skipped on the way. On a step back every
                // picture on the way is decoded and kept for the steps that
                // follow; only then, since holding pictures makes the decoder
                // allocate fresh ones.
                const bool stepBack = index == previous - 1;
                if (!DecodeTo(rank, packet, stepBack, index_->SkipsNonReference && !stepBack,
                              forward ? Pace::InOrder : Pace::Jump))
                    return fail("the decoder gave no picture for it");
                // The decoder's pictures are reference-counted: keeping this
                // one costs no copy, and the decoder goes on into fresh buffers.
                if (av_frame_ref(shown_.get(), frame_.get()) < 0) return fail("not enough memory");
            }
            aheadNext_ = index + 1;
        }
        shownIndex_ = index;
        if (forward && readAhead) StartReadAhead();
    }
    try {
        picture_.Fill(*shown_, bitmap, square);
    } catch (const Error& e) {
        return fail(e.what());
    }
    return true;
}

bool FfmpegFilmReader::TakeKept(int rank) {
    for (const KeptFrame& k : kept_)
        if (k.Rank == rank) return av_frame_ref(shown_.get(), k.Frame.get()) >= 0;
    return false;
}

void FfmpegFilmReader::Keep(const AVFrame& frame, int rank) {
    if (keepLimit_ < 0) {
        // At most one GOP of pictures, and no more than KeptBytes of them.
        const int bytes = av_image_get_buffer_size(static_cast<AVPixelFormat>(frame.format),
                                                   frame.width, frame.height, 1);
        keepLimit_ = bytes > 0
                         ? static_cast<int>(std::min<std::int64_t>(LongestGop(), KeptBytes / bytes))
                         : 0;
    }
    if (keepLimit_ == 0) return;
    for (const KeptFrame& k : kept_)
        if (k.Rank == rank) return;
    KeptFrame k{rank, av::Frame(av_frame_alloc())};
    if (!k.Frame || av_frame_ref(k.Frame.get(), &frame) < 0) return;
    kept_.push_back(std::move(k));
    while (kept_.size() > static_cast<std::size_t>(keepLimit_))
        kept_.pop_front();
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
        av::Frame kept;
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
            const int packet = index_->PacketOf(index);
            if (!DecodeTo(index_->Packets[static_cast<std::size_t>(packet)].Rank, packet, false,
                          false, Pace::InOrder))
                break;
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

bool FfmpegFilmReader::DecodeTo(int targetRank, int packet, bool keep, bool skip, Pace pace) {
    if (haveFrame_ && lastRank_ == targetRank) return true;
    int start = index_->StartFor(targetRank, packet);
    bool decodeOn = positioned_ && targetRank > lastRank_ && start <= nextPacket_;
    // Reading on in order after a jump: the threaded decoder takes over
    // where starting again costs little.
    if (decodeOn && pace == Pace::InOrder && pace_ == Pace::Jump && packet - start <= ReopenWithin)
        decodeOn = false;
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!decodeOn) {
            if (pace != pace_ || !codec_) {
                try {
                    OpenCodec(pace);
                } catch (const Error&) {
                    // Without a decoder nothing more can be decoded; the
                    // next request tries again.
                    positioned_ = false;
                    return false;
                }
            }
            if (!SeekToPacket(start)) return false;
            startRank_ = index_->Packets[static_cast<std::size_t>(start)].Rank;
        }
        if (DecodeForward(targetRank, packet, keep, skip) == Outcome::Found) return true;
        // The decoder dropped the picture (a damaged packet, or a reference
        // it lacked): try once more from a keyframe further back.
        if (start == 0) return false;
        start =
            index_->StartFor(index_->Packets[static_cast<std::size_t>(start)].Rank - 1, start - 1);
        decodeOn = false;
    }
    return false;
}

void FfmpegFilmReader::ResetDecoder() {
    if (codec_) avcodec_flush_buffers(codec_.get());
    av_packet_unref(packet_.get());
    queued_.clear();
    positioned_ = false;
    pending_ = false;
    eofSent_ = false;
    haveFrame_ = false;
    lastRank_ = -1;
    startRank_ = -1;
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
    if (!input_.Format()) return false;
    const FilmPacket& target = index_->Packets[static_cast<std::size_t>(packet)];
    // The earlier of the two timestamps first. An MP4 cut before a keyframe
    // keeps its seek index by presentation time, where the decoding time of
    // a keyframe finds nothing.
    std::vector<std::int64_t> times;
    if (target.HasDts && target.HasPts) times.push_back(std::min(target.Dts, target.Pts));
    if (target.HasPts) times.push_back(target.Pts);
    if (target.HasDts) times.push_back(target.Dts);
    times.erase(std::unique(times.begin(), times.end()), times.end());
    for (const std::int64_t ts : times)
        if (SeekToTimestamp(packet, ts)) return true;
    return false;
}

bool FfmpegFilmReader::SeekToTimestamp(int packet, std::int64_t ts) {
    const FilmPacket& target = index_->Packets[static_cast<std::size_t>(packet)];
    if (av_seek_frame(input_.Format(), input_.StreamIndex(), ts, AVSEEK_FLAG_BACKWARD) < 0)
        return false;
    // A demuxer without an index lands near the timestamp, not on it, and an
    // MPEG program stream even numbers the packets after a seek differently.
    // So the target is found by its own size and keyframe flag followed by
    // the sizes of the packets after it, read on from where the seek landed.
    const std::size_t successors = index_->TrustTimestamps ? 3 : 6;
    const std::size_t follow =
        std::min(successors, index_->Packets.size() - 1 - static_cast<std::size_t>(packet));
    const std::int64_t slack = index_->TrustTimestamps ? 0 : 2 * TicksPerSecond();
    queued_.clear();
    // Only the packets that may still be the target are kept, so a seek that
    // lands far too early reads on without holding the film in memory.
    bool firstRead = true;
    for (std::size_t reads = 0; reads <= index_->Packets.size() + 16; ++reads) {
        av::Packet pkt(av_packet_alloc());
        if (!pkt || av_read_frame(input_.Format(), pkt.get()) < 0) break;
        if (pkt->stream_index != input_.StreamIndex()) continue;
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
        if (after <= follow &&
            static_cast<std::size_t>(packet) + after == index_->Packets.size() - 1 &&
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
    std::vector<SeenPacket> seen;
    seen.reserve(follow + 1);
    for (std::size_t i = candidate; i <= candidate + follow; ++i)
        seen.push_back(Seen(*queued_[i]));
    return index_->IsLanding(seen.data(), seen.size(), packet, firstRead, index_->TrustTimestamps);
}

std::int64_t FfmpegFilmReader::TicksPerSecond() const {
    const AVRational base = input_.Format()->streams[input_.StreamIndex()]->time_base;
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

bool FfmpegFilmReader::ReadNext(bool& desync) {
    if (pending_) return true;
    if (nextPacket_ >= static_cast<int>(index_->Packets.size())) return false;
    AVPacket* pkt = packet_.get();
    if (!queued_.empty()) {
        // Already identified by the seek.
        av_packet_move_ref(pkt, queued_.front().get());
        queued_.pop_front();
        pending_ = true;
        return true;
    } else {
        for (;;) {
            if (av_read_frame(input_.Format(), pkt) < 0) return false;
            if (pkt->stream_index == input_.StreamIndex()) break;
            av_packet_unref(pkt);
        }
    }
    const FilmPacket& entry = index_->Packets[static_cast<std::size_t>(nextPacket_)];
    const bool sameDts = !index_->TrustTimestamps || !entry.HasDts || pkt->dts == AV_NOPTS_VALUE ||
                         pkt->dts == entry.Dts;
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
    if (index_->Palettes.empty() || av_packet_get_side_data(pkt, AV_PKT_DATA_PALETTE, nullptr))
        return;
    const std::vector<std::uint8_t>* palette = nullptr;
    for (const auto& [at, colours] : index_->Palettes)
        if (at <= packet) palette = &colours;
    if (!palette) return;
    std::uint8_t* data = av_packet_new_side_data(pkt, AV_PKT_DATA_PALETTE, palette->size());
    if (data) std::memcpy(data, palette->data(), palette->size());
}

FfmpegFilmReader::Outcome FfmpegFilmReader::DecodeForward(int targetRank, int targetPacket,
                                                          bool keep, bool skip) {
    AVCodecContext* codec = codec_.get();
    AVFrame* frame = frame_.get();
    // Bounded so that a decoder that stops making progress cannot hang us.
    const std::size_t limit = 4 * index_->Packets.size() + 64;
    for (std::size_t step = 0; step < limit; ++step) {
        const int r = avcodec_receive_frame(codec, frame);
        if (r == 0) {
            ++stats_.DecodedFrames;
            haveFrame_ = false;
            const std::int64_t tag = frame->pts;
            if (tag < 0 || tag >= static_cast<std::int64_t>(index_->Packets.size())) continue;
            const int rank = index_->Packets[static_cast<std::size_t>(tag)].Rank;
            if (rank < 0) continue;
            lastRank_ = rank;
            haveFrame_ = true;
            if (rank == targetRank) return Outcome::Found;
            if (rank > targetRank) return Outcome::Passed;
            // Pictures shown before the keyframe the decode started from may
            // lack their references; those after it are exact.
            if (keep && startRank_ >= 0 && rank >= startRank_) Keep(*frame, rank);
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
        // Pictures shown before the target that no other picture refers to
        // need not be decoded at all; the target itself always is.
        const int rank = index_->Packets[static_cast<std::size_t>(nextPacket_)].Rank;
        codec->skip_frame = skip && nextPacket_ != targetPacket && rank < targetRank
                                ? AVDISCARD_NONREF
                                : AVDISCARD_DEFAULT;
        const int sent = avcodec_send_packet(codec, pkt);
        if (sent == AVERROR(EAGAIN)) continue; // frames first, then this packet again
        av_packet_unref(pkt);
        pending_ = false;
        ++nextPacket_;
    }
    return Outcome::End;
}

} // namespace torvi
