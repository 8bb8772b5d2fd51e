#pragma once

#include "av/AvHandles.h"
#include "video/BackgroundJob.h"
#include "video/FilmIndex.h"
#include "video/FilmReader.h"
#include "video/FramePicture.h"
#include "video/MjpegSquarePass.h"
#include "video/VideoInput.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace torvi {

// The film reader on FFmpeg's libraries.
//
// It reads the film through its index (IndexFilm), which lists every packet
// of the video stream in decoding order and numbers the pictures in
// presentation order; the reader never reads the whole film itself. Each
// packet sent to the decoder carries its own index as timestamp, so every
// decoded picture says exactly which frame it is, whatever the decoder's
// delay or threading.
//
// A frame out of sequence is reached by seeking to a keyframe early enough
// (for open GOPs the one before the target's), flushing the decoder and
// decoding forward; a frame after the last one delivered is reached by
// decoding on. When a seek does not land where the index says, the file is
// reopened and read from its start, which is slow but always right.
//
// While the caller converts and uses a frame, the next few are already being
// decoded on a second thread, so a film read in order costs little more than
// decoding it. The decoder is only ever used by one thread at a time: the
// caller stops the read-ahead before it touches the decoder itself.
//
// Reading in order decodes on the decoder's own threads, as players do. A
// jump decodes on one thread: its few pictures would otherwise wait for the
// threads to fill and drain, which costs more than they save. Each change of
// mode reopens the decoder at a seek, so only one decoder holds pictures.
class FfmpegFilmReader final : public FilmReader {
public:
    // Opens the film `index` was made of; throws Error when it cannot be
    // opened again, has changed since or has no decoder. With
    // `countIndexing` the statistics count the pictures decoded to build the
    // index as the reader's own.
    FfmpegFilmReader(const std::string& path, std::shared_ptr<const FilmIndex> index,
                     bool countIndexing = false);
    ~FfmpegFilmReader() override;

    int FrameCount() const override { return index_->FrameCount(); }
    std::int64_t HeaderFrameCount() const override { return index_->HeaderFrames; }
    int LongestGop() const override { return index_->LongestGop(); }
    std::shared_ptr<const FilmIndex> Index() const override { return index_; }
    Statistics Stats() const override;
    double FrameTime(int index) const override;
    std::string LastFailure() const override { return failure_; }
    StatedFrameRate NominalRate() const override { return nominalRate_; }
    bool GetFrame(int index, Bitmap& bitmap, const PixelSquare* square = nullptr) override;

private:
    enum class Outcome { Found, Passed, End };

    // Frame `index` from the Motion JPEG square pass, when it is one the pass
    // serves (a square of a film read on in order) and the pass decoded it.
    bool SquarePassTakes(int index, Bitmap& bitmap, const PixelSquare* square);
    // Frame `index` through FFmpeg's decoder; with `readAhead` the frames after
    // it are decoded ahead when reading goes on in order.
    bool DecodeOne(int index, Bitmap& bitmap, const PixelSquare* square, bool readAhead);
    void OpenFormat();
    // How the next decode goes on: from a jump (one thread) or reading in
    // order (the decoder's threads).
    enum class Pace { Jump, InOrder };
    // (Re)opens the decoder for `pace`; throws Error when it cannot.
    void OpenCodec(Pace pace);
    // With `keep` the pictures decoded on the way are kept for steps back.
    // With `skip` the pictures no other picture needs are skipped on the way.
    bool DecodeTo(int targetRank, int packet, bool keep, bool skip, Pace pace);
    bool SeekToPacket(int packet);
    bool SeekByTimestamp(int packet);
    bool SeekToTimestamp(int packet, std::int64_t ts);
    bool ReopenAt(int packet);
    Outcome DecodeForward(int targetRank, int targetPacket, bool keep, bool skip);
    // Pictures decoded on the way to a jump's target, for the steps back
    // that follow: a step back in a long GOP then costs no decoding.
    static constexpr std::int64_t KeptBytes = 64 << 20;
    bool TakeKept(int rank);
    void Keep(const AVFrame& frame, int rank);
    // Reads the next packet of the stream into packet_; false at the end or
    // when it is not the packet the index expects.
    bool ReadNext(bool& desync);
    // Whether queued packet `candidate` and the `follow` after it are the
    // index's packet `packet` and its successors; `firstRead` when the
    // candidate is the first packet read after the seek.
    bool IsTarget(std::size_t candidate, int packet, std::size_t follow, bool firstRead) const;
    std::int64_t TicksPerSecond() const;
    void AttachPalette(int packet);
    void ResetDecoder();
    // Read-ahead: the background thread decodes the frames after the one
    // delivered, in order, keeping at most ReadAheadFrames of them.
    static constexpr std::size_t ReadAheadFrames = 3;
    // Reading in order after a jump moves to the threaded decoder when it
    // costs no more than this many packets decoded again.
    static constexpr int ReopenWithin = 8;
    void StartReadAhead();
    void ReadAheadLoop();
    // Moves frame `index` from the read-ahead into shown_, waiting for it when
    // it is the one being decoded; false when the read-ahead will not bring it.
    bool TakeReadAhead(int index);
    // Stops the background thread; with `discard` also drops what it decoded.
    void StopReadAhead(bool discard) const;
    [[noreturn]] void Fail(const std::string& text, int code) const;

    std::string path_;
    // Shared with every other reader of the film; never changes.
    std::shared_ptr<const FilmIndex> index_;
    VideoInput input_;
    av::CodecContext codec_;
    Pace pace_ = Pace::InOrder; // what codec_ was opened for
    av::Packet packet_;
    av::Frame frame_;
    // Packets read ahead while a seek looked for its target, still to send.
    std::deque<av::Packet> queued_;
    FramePicture picture_;
    StatedFrameRate nominalRate_;
    // The measurement pass of a Motion JPEG film, while one reads on; it
    // reads the file on its own and never touches the decoder.
    std::unique_ptr<MjpegSquarePass> squarePass_;
    bool squarePassRefused_ = false; // the film is one the square decoder cannot read
    std::pair<int, int> mjpegSize_;  // an upright Motion JPEG film's picture size, else 0 x 0

    // Decoder position.
    bool positioned_ = false; // the demuxer stands at packet nextPacket_
    bool pending_ = false;    // packet_ holds packet nextPacket_, not yet sent
    bool eofSent_ = false;
    bool paletteDue_ = false; // the next packet sent follows a seek
    bool haveFrame_ = false;  // frame_ holds the picture of rank lastRank_
    int nextPacket_ = 0;
    int lastRank_ = -1;
    Statistics stats_;

    struct KeptFrame {
        int Rank = -1;
        av::Frame Frame;
    };
    std::deque<KeptFrame> kept_; // used by the caller's thread only
    int keepLimit_ = -1;         // pictures kept at most; -1 until a picture's size is known
    int startRank_ = -1;         // rank of the keyframe the decoder started from
    int requested_ = -1;         // the frame asked for last
    std::string failure_;        // why the last frame not delivered was not

    // The frame last delivered, kept while the decoder goes on to the next.
    av::Frame shown_;
    int shownIndex_ = -1;

    // Shared with the read-ahead thread, under aheadMutex_.
    struct ReadyFrame {
        int Index = -1;
        av::Frame Frame;
    };
    mutable std::mutex aheadMutex_;
    mutable std::condition_variable aheadChanged_;
    mutable std::deque<ReadyFrame> ready_; // decoded frames, consecutive, in order
    int aheadNext_ = -1;                   // the frame the read-ahead decodes next
    bool aheadRunning_ = false;            // the read-ahead thread decodes or waits for room
    mutable bool aheadStop_ = false;
    // Declared last: it finishes its job before the decoder state goes away.
    mutable BackgroundJob readAhead_;
};

} // namespace torvi
