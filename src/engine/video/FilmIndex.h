#pragma once

#include "video/DisplayOrientation.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace torvi {

// One packet of a film's video stream, in decoding order.
struct FilmPacket {
    std::int64_t Pos = -1;
    std::int64_t Dts = 0;
    std::int64_t Pts = 0;
    int Size = 0;
    int Rank = -1;       // presentation number of the picture it shows; -1 when it shows none
    bool Key = false;    // the demuxer's keyframe flag, as a seek sees it again
    bool Start = false;  // a decode may start here (Key unless the pictures say otherwise)
    bool Hidden = false; // decoded but not shown
    bool HasDts = false;
    bool HasPts = false;
};

// What the demuxer delivered for a packet while a seek looks for its target.
struct SeenPacket {
    std::int64_t Dts = 0;
    std::int64_t Pts = 0;
    int Size = 0;
    bool Key = false;
    bool HasDts = false;
    bool HasPts = false;
};

// One MPEG-4 picture header, as Mpeg4VopScanner reads it.
struct VopHeader {
    enum class Type : std::uint8_t { Intra, Predicted, Bidirectional, Sprite };
    Type Kind = Type::Intra;
    bool Coded = true;
};

// The pictures of one MPEG-4 packet; Known is false when its headers were not
// understood.
struct PacketVops {
    std::vector<VopHeader> Vops;
    bool Known = true;
};

// The index of a film's video stream as plain data: its packets in decoding
// order, the frames in presentation order and the packets a decode may start
// from, with the rules that number the pictures, choose where a jump starts
// and recognise the packet a seek landed on. It knows nothing of the decoder,
// so every rule can be tried on made-up packet lists.
//
// IndexFilm builds it once; every reader of the film is made from it and
// shares it (it does not change once built), so a second reader opens
// without reading the film again.
class FilmIndex {
public:
    std::vector<FilmPacket> Packets;

    // What a reader needs to know of the film besides its packets.
    int Stream = -1;                // the number of the video stream in the file
    std::int64_t FileSize = -1;     // bytes, so a reader sees a film changed since
    int TimeBaseNum = 0;            // the stream's time base: ticks of
    int TimeBaseDen = 1;            //   TimeBaseNum / TimeBaseDen seconds
    std::int64_t HeaderFrames = -1; // the frame count the header states, or -1
    DisplayOrientation Orientation; // how the pictures are turned for showing
    // Packet number and colours of each palette the film sends.
    std::vector<std::pair<int, std::vector<std::uint8_t>>> Palettes;
    bool FrameSlots = false;        // an AVI: frame N is shown at tick N
    bool TrustTimestamps = false;   // timestamps name a packet the same way after a seek
    bool SkipsNonReference = false; // a jump may skip pictures no other picture needs
    std::int64_t DecodedFrames = 0; // pictures decoded to build the index

    // Numbers the pictures of codecs that never reorder in decoding order.
    // An empty packet (a dropped capture frame) and, where `timestampsCountFrames`,
    // a gap in the decoding timestamps show the picture before again, but
    // never make the film longer than `headerFrames` when that is known.
    void RankInDecodingOrder(bool timestampsCountFrames, std::int64_t headerFrames);
    // Numbers the pictures by their presentation timestamps; false when they
    // are missing or repeat. With `firstKeyframeStarts` the packets before the
    // first keyframe show nothing, as an H.264 decoder does.
    bool RankByTimestamps(bool firstKeyframeStarts);
    // Numbers MPEG-4 pictures from their headers the way FFmpeg's decoder
    // shows them, packed B-frames (`packed`) included, from the first I
    // picture on. False, leaving every rank unset, when a packet's headers
    // were not understood or the film holds no I picture.
    bool RankByPictureHeaders(const std::vector<PacketVops>& vops, bool packed);
    // Numbers the pictures from the order a decode showed them in: `shown`
    // lists packets, each the one whose picture came out next.
    void RankInShownOrder(const std::vector<int>& shown);
    // Builds the frame list, keyframes and GOP lengths from the ranks.
    void Finish();

    int FrameCount() const { return static_cast<int>(frames_.size()); }
    // The packet that shows frame `frame`.
    int PacketOf(int frame) const { return frames_[static_cast<std::size_t>(frame)]; }
    int LongestGop() const { return longestGop_; }
    // When frame `frame` is shown, in the stream's ticks: the pictures take
    // the presentation times in order (the decoding times where the film has
    // none), a repeat of a dropped frame's picture a frame step more each.
    // False when unknown.
    bool FrameTime(int frame, std::int64_t& ticks) const;
    std::int64_t FrameTicks() const { return frameTicks_; }

    // The packet to start decoding from to reach the picture of rank
    // `targetRank`, shown by `packet`.
    int StartFor(int targetRank, int packet) const;

    // Whether the demuxer's packet is index packet `packet`, by size, keyframe
    // flag and, when `trustTimestamps`, the timestamps.
    bool Matches(const SeenPacket& seen, int packet, bool trustTimestamps) const;
    // Whether seen[0] is packet `packet` and seen[1..count-1] the packets after
    // it. `firstRead` when seen[0] is the first packet read after the seek;
    // without `trustTimestamps` (MPEG program streams) that packet may carry a
    // few header bytes more, and the timestamps after a seek may be as many
    // frames off as pictures are decoded ahead of their showing.
    bool IsLanding(const SeenPacket* seen, std::size_t count, int packet, bool firstRead,
                   bool trustTimestamps) const;

private:
    void TimePictures();
    static constexpr std::int64_t NoTime = INT64_MIN;

    std::vector<int> frames_;    // packet of each frame, in presentation order
    std::vector<int> keyframes_; // packets a decode may start from, ascending
    int longestGop_ = 1;
    std::int64_t frameTicks_ = 1;            // shortest step between two packets' timestamps
    std::vector<std::int64_t> pictureTicks_; // per packet: when its picture is shown
    int reorderDepth_ = 0; // frames a picture is decoded ahead of its showing at most
};

} // namespace torvi
