#pragma once

#include "video/FilmIndex.h"

#include <cstddef>
#include <cstdint>

namespace torvi {

// Reads just enough of MPEG-4 Part 2 video headers to tell the kind of
// picture each packet of an AVI holds. AVI stores no presentation times, and
// with B-frames the pictures come out of the decoder in another order than
// the packets; knowing which packets are B-frames gives that order without
// decoding the film.
class Mpeg4VopScanner {
public:
    // Reads the video object layer header wherever it appears (the codec's
    // extra data or a keyframe packet) and the picture headers of the packet.
    PacketVops Scan(const std::uint8_t* data, std::size_t size);

    // Whether the encoder said it packs B-frames with the picture after them
    // (DivX's and Xvid's "packed bitstream", told in the user data).
    bool Packed() const { return packed_; }

private:
    bool ReadVol(const std::uint8_t* data, std::size_t size);
    bool ReadVop(const std::uint8_t* data, std::size_t size, VopHeader& vop) const;
    void ReadUserData(const std::uint8_t* data, std::size_t size);

    int timeIncrementBits_ = 0; // 0 until a usable layer header was read
    bool packed_ = false;
};

} // namespace torvi
