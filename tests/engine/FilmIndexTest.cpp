#include "video/FilmIndex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace torvi {
namespace {

// Packets in decoding order from a compact text: one letter per packet,
// upper case for the demuxer's keyframe flag. For MPEG-4 headers: I, P, B,
// N (a not-coded placeholder, 6 bytes), and "P+B" packs two pictures into
// one packet. Every packet gets its position as decoding timestamp.
struct Made {
    FilmIndex Index;
    std::vector<PacketVops> Vops;
};

Made MakeVopFilm(const std::vector<std::string>& packets, const std::string& keys) {
    Made made;
    for (std::size_t i = 0; i < packets.size(); ++i) {
        FilmPacket p;
        p.Dts = static_cast<std::int64_t>(i);
        p.HasDts = true;
        p.Key = keys[i] == 'K';
        p.Start = p.Key;
        p.Size = packets[i] == "N" ? 6 : 100;
        made.Index.Packets.push_back(p);
        PacketVops vops;
        for (const char c : packets[i]) {
            VopHeader vop;
            switch (c) {
            case 'I':
                vop.Kind = VopHeader::Type::Intra;
                break;
            case 'P':
                vop.Kind = VopHeader::Type::Predicted;
                break;
            case 'B':
                vop.Kind = VopHeader::Type::Bidirectional;
                break;
            case 'N':
                vop.Kind = VopHeader::Type::Predicted;
                vop.Coded = false;
                break;
            default:
                continue;
            }
            vops.Vops.push_back(vop);
        }
        made.Vops.push_back(vops);
    }
    return made;
}

std::vector<int> Frames(const FilmIndex& index) {
    std::vector<int> frames;
    for (int i = 0; i < index.FrameCount(); ++i)
        frames.push_back(index.PacketOf(i));
    return frames;
}

TEST(FilmIndex, NumbersMpeg4PicturesAsTheDecoderShowsThem) {
    struct Case {
        const char* What;
        std::vector<std::string> Packets;
        std::string Keys;
        bool Packed;
        std::vector<int> Frames; // packet of each frame
        std::vector<int> Starts; // packets a jump may start from
    };
    const Case cases[] = {
        {"B-frames show before the picture decoded ahead of them",
         {"I", "P", "B", "B", "P", "B", "B"},
         "K......",
         false,
         {0, 2, 3, 1, 5, 6, 4},
         {0}},
        {"cut at a keyframe: B-frames lacking the picture before show nothing",
         {"I", "B", "B", "P", "B", "B", "P"},
         "K......",
         false,
         {0, 4, 5, 3, 6},
         {0}},
        {"cut before an I picture: what is predicted from the grey picture the decoder makes "
         "up is left out",
         {"B", "P", "B", "B", "I", "B", "B", "P", "B", "B"},
         "....K.....",
         false,
         {4, 8, 9, 7},
         {4}},
        {"packed: each B-frame shows with the packet after its own",
         {"I", "P+B", "B", "N", "P+B", "B", "N"},
         "K......",
         true,
         {0, 2, 3, 1, 5, 6, 4},
         {0}},
        {"packed: a placeholder the parser calls a keyframe is no place to start",
         {"I", "P+B", "B", "N", "I+B", "B", "N", "P+B", "B", "N"},
         "K...K.K...",
         true,
         {0, 2, 3, 1, 5, 6, 4, 8, 9, 7},
         {0, 4}},
    };
    for (const Case& c : cases) {
        Made made = MakeVopFilm(c.Packets, c.Keys);
        ASSERT_TRUE(made.Index.RankByPictureHeaders(made.Vops, c.Packed)) << c.What;
        made.Index.Finish();
        EXPECT_EQ(Frames(made.Index), c.Frames) << c.What;
        std::vector<int> starts;
        for (std::size_t i = 0; i < made.Index.Packets.size(); ++i)
            if (made.Index.Packets[i].Start) starts.push_back(static_cast<int>(i));
        EXPECT_EQ(starts, c.Starts) << c.What;
    }
    // Two pictures in a packet of a film that does not say it packs them, or
    // a header not understood: the film must be decoded to be numbered.
    Made unpacked = MakeVopFilm({"I", "P+B", "B"}, "K..");
    EXPECT_FALSE(unpacked.Index.RankByPictureHeaders(unpacked.Vops, false));
    unpacked.Vops[1].Known = false;
    EXPECT_FALSE(unpacked.Index.RankByPictureHeaders(unpacked.Vops, true));
    for (const FilmPacket& p : unpacked.Index.Packets)
        EXPECT_EQ(p.Rank, -1);
    // No I picture at all: nothing but concealment, known only by decoding.
    Made predicted = MakeVopFilm({"P", "B", "P", "B"}, "....");
    EXPECT_FALSE(predicted.Index.RankByPictureHeaders(predicted.Vops, false));
}

TEST(FilmIndex, JumpsStartFromTheKeyframeBeforeTheirPicture) {
    // Open GOPs: the B-frames after the second I picture show before it and
    // need the GOP before.
    Made made = MakeVopFilm({"I", "P", "B", "I", "B", "B", "P", "B"}, "K..K....");
    ASSERT_TRUE(made.Index.RankByPictureHeaders(made.Vops, false));
    made.Index.Finish();
    // Shown: I0 B2 P1 B4 B5 I3 B7 P6.
    EXPECT_EQ(Frames(made.Index), (std::vector<int>{0, 2, 1, 4, 5, 3, 7, 6}));
    for (int frame = 0; frame < made.Index.FrameCount(); ++frame) {
        const int packet = made.Index.PacketOf(frame);
        const int start = made.Index.StartFor(made.Index.Packets[packet].Rank, packet);
        EXPECT_EQ(start, frame >= 5 ? 3 : 0) << "frame " << frame;
    }
    EXPECT_EQ(made.Index.LongestGop(), 5);
}

TEST(FilmIndex, NumbersByTimestampsFromTheFirstKeyframeWhereTheDecoderDoes) {
    // A copy cut before a keyframe: two pictures of the GOP before come first.
    const std::int64_t pts[] = {30, 10, 20, 60, 40, 50};
    FilmIndex index;
    for (std::size_t i = 0; i < 6; ++i) {
        FilmPacket p;
        p.Pts = pts[i];
        p.HasPts = true;
        p.Size = 50;
        p.Key = p.Start = i == 2;
        index.Packets.push_back(p);
    }
    FilmIndex all = index;
    ASSERT_TRUE(index.RankByTimestamps(true));
    index.Finish();
    EXPECT_EQ(Frames(index), (std::vector<int>{2, 4, 5, 3}));
    ASSERT_TRUE(all.RankByTimestamps(false));
    all.Finish();
    EXPECT_EQ(Frames(all), (std::vector<int>{1, 2, 0, 4, 5, 3}));

    FilmIndex repeated = all;
    repeated.Packets[4].Pts = 60;
    EXPECT_FALSE(repeated.RankByTimestamps(false));
}

TEST(FilmIndex, DroppedFramesAndGapsRepeatThePictureBefore) {
    struct Case {
        const char* What;
        std::vector<int> Sizes;
        std::vector<std::int64_t> Dts;
        bool TimestampsCount;
        std::int64_t HeaderFrames;
        std::vector<int> Frames;
    };
    const Case cases[] = {
        {"an empty chunk", {10, 0, 10}, {0, 1, 2}, true, 3, {0, 0, 2}},
        {"a gap in the frame counter", {10, 10}, {0, 3}, true, 4, {0, 0, 0, 1}},
        {"gaps never outgrow the header", {10, 10}, {0, 3}, true, 3, {0, 0, 1}},
        {"a damaged header cannot make millions of frames",
         {10, 10},
         {0, 1000000},
         true,
         2000000,
         {0, 0, 0, 0, 0, 0, 0, 0, 0, 1}},
        {"containers whose timestamps are no frame counter", {10, 10}, {0, 3}, false, 4, {0, 1}},
    };
    for (const Case& c : cases) {
        FilmIndex index;
        for (std::size_t i = 0; i < c.Sizes.size(); ++i) {
            FilmPacket p;
            p.Size = c.Sizes[i];
            p.Dts = c.Dts[i];
            p.HasDts = true;
            p.Key = p.Start = true;
            index.Packets.push_back(p);
        }
        index.RankInDecodingOrder(c.TimestampsCount, c.HeaderFrames);
        index.Finish();
        EXPECT_EQ(Frames(index), c.Frames) << c.What;
    }
}

TEST(FilmIndex, RecognisesThePacketASeekLandedOn) {
    // A program stream, 10 ticks a frame: I0 P3 B1 B2 I6 P7 in decoding
    // order, so pictures are decoded up to two frames ahead of showing.
    FilmIndex index;
    const int sizes[] = {900, 200, 210, 180, 880, 190};
    for (int i = 0; i < 6; ++i) {
        FilmPacket p;
        p.Dts = 10 * i;
        p.HasDts = true;
        p.Size = sizes[i];
        p.Key = p.Start = i % 4 == 0;
        index.Packets.push_back(p);
    }
    index.RankInShownOrder({0, 2, 3, 1, 4, 5});
    index.Finish();
    auto seen = [&](int packet, std::int64_t dts, int extraBytes) {
        const FilmPacket& p = index.Packets[static_cast<std::size_t>(packet)];
        SeenPacket s;
        s.Dts = dts;
        s.HasDts = true;
        s.Size = p.Size + extraBytes;
        s.Key = p.Key;
        return s;
    };
    const SeenPacket asIndexed[] = {seen(4, 40, 0), seen(5, 50, 0)};
    const SeenPacket threeFramesOff[] = {seen(4, 70, 12), seen(5, 80, 0)};
    const SeenPacket fourFramesOff[] = {seen(4, 80, 0), seen(5, 90, 0)};
    const SeenPacket wrongFollower[] = {seen(4, 40, 0), seen(5, 50, 1)};
    EXPECT_TRUE(index.IsLanding(asIndexed, 2, 4, false, false));
    // The first packet after a seek may carry header bytes more.
    EXPECT_TRUE(index.IsLanding(threeFramesOff, 2, 4, true, false));
    EXPECT_FALSE(index.IsLanding(threeFramesOff, 2, 4, false, false));
    EXPECT_FALSE(index.IsLanding(fourFramesOff, 2, 4, true, false));
    EXPECT_FALSE(index.IsLanding(wrongFollower, 2, 4, true, false));
    EXPECT_FALSE(index.IsLanding(asIndexed, 2, 0, true, false));
    // Containers with trusted timestamps match them exactly.
    EXPECT_TRUE(index.IsLanding(asIndexed, 2, 4, false, true));
    EXPECT_FALSE(index.IsLanding(threeFramesOff, 2, 4, true, true));
}

} // namespace
} // namespace torvi
