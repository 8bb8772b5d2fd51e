#pragma once

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
    enum class Kind : std::uint8_t {
        Intra,
        Predicted,
        Bidirectional,
        Sprite,
        NotCoded, // a placeholder the decoder shows nothing for
        Unknown,  // no picture, several pictures, or headers not understood
    };

    // Reads the video object layer header wherever it appears (the codec's
    // extra data or a keyframe packet) and the one picture header expected.
    Kind Scan(const std::uint8_t* data, std::size_t size);

private:
    bool ReadVol(const std::uint8_t* data, std::size_t size);
    Kind ReadVop(const std::uint8_t* data, std::size_t size) const;

    int timeIncrementBits_ = 0; // 0 until a usable layer header was read
};

} // namespace torvi
