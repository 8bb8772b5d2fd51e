#include "video/FilmIndex.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace torvi {

void FilmIndex::RankInDecodingOrder(bool timestampsCountFrames, std::int64_t headerFrames) {
    // Codecs that never reorder show their pictures in decoding order. A
    // capture that dropped a frame leaves an empty chunk, or in an AVI a gap
    // in the frame counter; the previous picture shows again there, so the
    // film keeps its timing. Gaps never make the film longer than its header
    // says, whatever a damaged index claims.
    std::int64_t pictures = 0;
    for (const FilmPacket& p : Packets)
        if (p.Size > 0 && !p.Hidden) ++pictures;
    // A damaged header cannot make a few pictures into millions of frames.
    std::int64_t gapsAllowed = timestampsCountFrames && headerFrames > pictures
                                   ? std::min(headerFrames - pictures, 4 * pictures)
                                   : 0;
    frames_.clear();
    int previous = -1;                // the last picture
    const FilmPacket* last = nullptr; // the last packet counted, empty or not
    for (std::size_t i = 0; i < Packets.size(); ++i) {
        FilmPacket& p = Packets[i];
        if (p.Hidden) continue;
        // A gap counts the frames between this packet and the last one, an
        // empty chunk among them included: that chunk is a frame of its own.
        if (previous >= 0 && last && p.HasDts && last->HasDts) {
            for (std::int64_t gap = p.Dts - last->Dts - 1; gap > 0 && gapsAllowed > 0;
                 --gap, --gapsAllowed)
                frames_.push_back(previous);
        }
        last = &p;
        if (p.Size == 0) {
            if (previous >= 0) frames_.push_back(previous);
            continue;
        }
        p.Rank = static_cast<int>(frames_.size());
        previous = static_cast<int>(i);
        frames_.push_back(previous);
    }
}

bool FilmIndex::RankByTimestamps(bool firstKeyframeStarts) {
    std::vector<int> order;
    bool started = !firstKeyframeStarts;
    for (std::size_t i = 0; i < Packets.size(); ++i) {
        const FilmPacket& p = Packets[i];
        started = started || p.Key;
        if (!started || p.Size <= 0 || p.Hidden) continue;
        if (!p.HasPts) return false;
        order.push_back(static_cast<int>(i));
    }
    const auto pts = [&](int packet) { return Packets[static_cast<std::size_t>(packet)].Pts; };
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return pts(a) < pts(b); });
    for (std::size_t i = 1; i < order.size(); ++i)
        if (pts(order[i]) == pts(order[i - 1])) return false;
    for (std::size_t i = 0; i < order.size(); ++i)
        Packets[static_cast<std::size_t>(order[i])].Rank = static_cast<int>(i);
    return true;
}

bool FilmIndex::RankByPictureHeaders(const std::vector<PacketVops>& vops, bool packed) {
    // FFmpeg's MPEG-4 decoder shows a B-frame as soon as it is decoded, and
    // holds every other picture back until the next one that is not a
    // B-frame. A B-frame without a picture before it shows nothing.
    // Not-coded pictures show nothing.
    //
    // A film cut before its first I picture starts on predicted pictures,
    // which the decoder predicts from a grey picture it makes up (and shows
    // too). Those pictures, and the B-frames that need one of them, are left
    // out: the film starts at its first I picture, as an H.264 film cut the
    // same way does. What they show is the decoder's concealment, not the
    // dial, and would be measured as hand directions that never were.
    //
    // Packed B-frames (DivX and Xvid in AVI) put a reference picture and the
    // B-frame shown before it into one packet. The decoder keeps that
    // B-frame (or I picture) and decodes it with the next packet, whose own
    // pictures it keeps in turn when they are I or B pictures; so a picture's
    // packet is the one it was decoded with, and the placeholder packets that
    // follow (not-coded pictures) show what was kept.
    if (vops.size() != Packets.size()) return false;
    for (const PacketVops& v : vops)
        if (!v.Known || v.Vops.empty() || (v.Vops.size() > 1 && !packed)) return false;
    using Type = VopHeader::Type;
    int rank = 0;
    int held = -1;
    int references = 0; // pictures B-frames may refer to, from the first I picture on
    VopHeader keptVop;
    bool kept = false; // keptVop waits for the next packet
    auto show = [&](int packet) {
        if (packet >= 0 && !Packets[static_cast<std::size_t>(packet)].Hidden)
            Packets[static_cast<std::size_t>(packet)].Rank = rank++;
    };
    auto decode = [&](const VopHeader& vop, int packet) {
        if (!vop.Coded) return;
        if (vop.Kind == Type::Bidirectional) {
            if (references >= 2) show(packet);
            return;
        }
        if (references == 0 && vop.Kind != Type::Intra) return;
        ++references;
        show(held);
        held = packet;
    };
    auto keepable = [](const VopHeader& vop) {
        return vop.Kind == Type::Intra || vop.Kind == Type::Bidirectional;
    };
    for (std::size_t i = 0; i < Packets.size(); ++i) {
        FilmPacket& p = Packets[i];
        const std::vector<VopHeader>& own = vops[i].Vops;
        const int packet = static_cast<int>(i);
        p.Start = p.Key && !kept && own.front().Kind == Type::Intra && own.front().Coded;
        if (kept) {
            decode(keptVop, packet);
            // A placeholder of a few bytes is never kept.
            kept = p.Size > 7 && keepable(own.front());
            keptVop = own.front();
        } else {
            decode(own.front(), packet);
            kept = own.size() > 1 && keepable(own[1]);
            if (kept) keptVop = own[1];
        }
    }
    show(held);
    // Without any I picture every picture is concealment: only decoding the
    // film tells what the decoder shows.
    return references > 0;
}

void FilmIndex::RankInShownOrder(const std::vector<int>& shown) {
    int rank = 0;
    for (const int packet : shown) {
        if (packet < 0 || static_cast<std::size_t>(packet) >= Packets.size()) continue;
        FilmPacket& p = Packets[static_cast<std::size_t>(packet)];
        if (p.Rank < 0 && !p.Hidden) p.Rank = rank++;
    }
}

void FilmIndex::Finish() {
    if (frames_.empty()) {
        std::vector<std::pair<int, int>> ranked;
        for (std::size_t i = 0; i < Packets.size(); ++i)
            if (Packets[i].Rank >= 0) ranked.emplace_back(Packets[i].Rank, static_cast<int>(i));
        std::sort(ranked.begin(), ranked.end());
        frames_.reserve(ranked.size());
        for (const auto& [rank, packet] : ranked)
            frames_.push_back(packet);
    }
    frameTicks_ = 0;
    for (std::size_t i = 1; i < Packets.size(); ++i) {
        const FilmPacket& a = Packets[i - 1];
        const FilmPacket& b = Packets[i];
        if (a.HasDts && b.HasDts && b.Dts > a.Dts)
            frameTicks_ = frameTicks_ > 0 ? std::min(frameTicks_, b.Dts - a.Dts) : b.Dts - a.Dts;
    }
    if (frameTicks_ <= 0) frameTicks_ = 1;
    TimePictures();
    reorderDepth_ = 0;
    int ordinal = 0;
    for (const FilmPacket& p : Packets)
        if (p.Rank >= 0) reorderDepth_ = std::max(reorderDepth_, p.Rank - ordinal++);
    keyframes_.clear();
    longestGop_ = 1;
    int previousRank = -1;
    for (std::size_t i = 0; i < Packets.size(); ++i) {
        const FilmPacket& p = Packets[i];
        if (i == 0 || (p.Start && p.Rank >= 0)) {
            keyframes_.push_back(static_cast<int>(i));
            if (p.Rank >= 0) {
                if (previousRank >= 0) longestGop_ = std::max(longestGop_, p.Rank - previousRank);
                previousRank = p.Rank;
            }
        }
    }
    if (previousRank >= 0) longestGop_ = std::max(longestGop_, FrameCount() - previousRank);
}

bool FilmIndex::FrameTime(int frame, std::int64_t& ticks) const {
    if (frame < 0 || frame >= FrameCount()) return false;
    const int packet = PacketOf(frame);
    const std::int64_t shown = pictureTicks_[static_cast<std::size_t>(packet)];
    if (shown == NoTime) return false;
    int repeats = 0;
    while (frame - repeats > 0 && PacketOf(frame - repeats - 1) == packet)
        ++repeats;
    ticks = shown + repeats * frameTicks_;
    return true;
}

void FilmIndex::TimePictures() {
    // The pictures take the presentation times in order; where the film has
    // none (AVI), its decoding times are the times of its frame slots, which
    // the pictures fill in presentation order too.
    std::vector<std::pair<int, int>> ranked; // rank, packet
    bool allPts = true;
    bool allDts = true;
    for (std::size_t i = 0; i < Packets.size(); ++i) {
        const FilmPacket& p = Packets[i];
        if (p.Rank < 0) continue;
        ranked.emplace_back(p.Rank, static_cast<int>(i));
        allPts = allPts && p.HasPts;
        allDts = allDts && p.HasDts;
    }
    pictureTicks_.assign(Packets.size(), NoTime);
    if (!allPts && !allDts) return;
    std::vector<std::int64_t> times;
    for (const auto& [rank, packet] : ranked) {
        const FilmPacket& p = Packets[static_cast<std::size_t>(packet)];
        times.push_back(allPts ? p.Pts : p.Dts);
    }
    std::sort(ranked.begin(), ranked.end());
    std::sort(times.begin(), times.end());
    for (std::size_t i = 0; i < ranked.size(); ++i)
        pictureTicks_[static_cast<std::size_t>(ranked[i].second)] = times[i];
}

int FilmIndex::StartFor(int targetRank, int packet) const {
    // The latest keyframe at or before the target in decoding order that is
    // not shown after it: a picture shown before its own GOP's keyframe (an
    // open GOP's leading B-frame) needs the GOP before.
    auto it = std::upper_bound(keyframes_.begin(), keyframes_.end(), packet);
    while (it != keyframes_.begin()) {
        --it;
        const int rank = Packets[static_cast<std::size_t>(*it)].Rank;
        if (rank >= 0 && rank <= targetRank) return *it;
    }
    return 0;
}

bool FilmIndex::Matches(const SeenPacket& seen, int packet, bool trustTimestamps) const {
    const FilmPacket& entry = Packets[static_cast<std::size_t>(packet)];
    if (seen.Size != entry.Size || seen.Key != entry.Key) return false;
    if (!trustTimestamps) return true;
    if (entry.HasDts && seen.HasDts && seen.Dts != entry.Dts) return false;
    if (entry.HasPts && seen.HasPts && seen.Pts != entry.Pts) return false;
    return true;
}

bool FilmIndex::IsLanding(const SeenPacket* seen, std::size_t count, int packet, bool firstRead,
                          bool trustTimestamps) const {
    if (count == 0 || static_cast<std::size_t>(packet) + count > Packets.size()) return false;
    const FilmPacket& entry = Packets[static_cast<std::size_t>(packet)];
    if (trustTimestamps) {
        if (!Matches(seen[0], packet, true)) return false;
    } else {
        // The parser of a program stream may put a few header bytes more into
        // the first packet after a seek, and numbers the packets after a seek
        // up to two frames off, or as many frames as pictures are decoded
        // ahead of their showing (a keyframe may carry its presentation time
        // as decoding time). The keyframe flag, a timestamp near the target's
        // and the sizes of the packets that follow tell it.
        if (seen[0].Key != entry.Key) return false;
        if (!firstRead && seen[0].Size != entry.Size) return false;
        const std::int64_t slack = std::max(2, reorderDepth_ + 1) * frameTicks_;
        if (entry.HasDts && seen[0].HasDts && std::llabs(seen[0].Dts - entry.Dts) > slack)
            return false;
    }
    for (std::size_t i = 1; i < count; ++i)
        if (seen[i].Size != Packets[static_cast<std::size_t>(packet) + i].Size) return false;
    return true;
}

} // namespace torvi
