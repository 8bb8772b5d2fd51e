#include "video/Mpeg4VopScanner.h"

#include <cstring>

namespace torvi {

namespace {

// Reads bits from the most significant end; reading past the end gives
// zeros and sets Overrun, so a damaged header is told apart, never overread.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::uint32_t Read(int count) {
        std::uint32_t v = 0;
        for (int i = 0; i < count; ++i) {
            const std::size_t byte = position_ >> 3;
            std::uint32_t bit = 0;
            if (byte < size_)
                bit = (data_[byte] >> (7 - (position_ & 7))) & 1u;
            else
                Overrun = true;
            v = (v << 1) | bit;
            ++position_;
        }
        return v;
    }

    bool Overrun = false;

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

constexpr std::uint8_t VopStartCode = 0xB6;

bool IsVolStartCode(std::uint8_t code) {
    return code >= 0x20 && code <= 0x2F;
}

} // namespace

bool Mpeg4VopScanner::ReadVol(const std::uint8_t* data, std::size_t size) {
    BitReader bits(data, size);
    bits.Read(1); // random_accessible_vol
    bits.Read(8); // video_object_type_indication
    int verid = 1;
    if (bits.Read(1)) {
        verid = static_cast<int>(bits.Read(4));
        bits.Read(3);
    }
    if (bits.Read(4) == 0xF) bits.Read(16); // extended pixel aspect ratio
    if (bits.Read(1)) {                     // vol_control_parameters
        bits.Read(3);
        if (bits.Read(1)) bits.Read(79); // vbv_parameters
    }
    const std::uint32_t shape = bits.Read(2);
    if (shape == 3 && verid != 1) bits.Read(4);
    bits.Read(1);
    const std::uint32_t resolution = bits.Read(16);
    if (bits.Overrun || shape != 0 || resolution == 0) return false;
    int count = 0;
    while ((std::uint32_t{1} << count) < resolution)
        ++count;
    timeIncrementBits_ = count < 1 ? 1 : count;
    return true;
}

Mpeg4VopScanner::Kind Mpeg4VopScanner::ReadVop(const std::uint8_t* data, std::size_t size) const {
    if (timeIncrementBits_ == 0) return Kind::Unknown;
    BitReader bits(data, size);
    const std::uint32_t type = bits.Read(2);
    // modulo_time_base: ones up to a zero; a second's worth per one.
    for (int seconds = 0; bits.Read(1) == 1; ++seconds)
        if (seconds > 60 || bits.Overrun) return Kind::Unknown;
    bits.Read(1);
    bits.Read(timeIncrementBits_);
    bits.Read(1);
    const bool coded = bits.Read(1) == 1;
    if (bits.Overrun) return Kind::Unknown;
    if (!coded) return Kind::NotCoded;
    switch (type) {
    case 0:
        return Kind::Intra;
    case 1:
        return Kind::Predicted;
    case 2:
        return Kind::Bidirectional;
    default:
        return Kind::Sprite;
    }
}

Mpeg4VopScanner::Kind Mpeg4VopScanner::Scan(const std::uint8_t* data, std::size_t size) {
    Kind kind = Kind::Unknown;
    int pictures = 0;
    for (std::size_t i = 0; i + 3 < size; ++i) {
        // Start codes are found from their 0x01 byte, the rare one.
        const void* one = std::memchr(data + i + 2, 1, size - 3 - i);
        if (!one) break;
        i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(one) - data) - 2;
        if (data[i] != 0 || data[i + 1] != 0) continue;
        const std::uint8_t code = data[i + 3];
        const std::uint8_t* rest = data + i + 4;
        const std::size_t restSize = size - i - 4;
        if (IsVolStartCode(code)) {
            if (!ReadVol(rest, restSize)) timeIncrementBits_ = 0;
        } else if (code == VopStartCode) {
            kind = ReadVop(rest, restSize);
            ++pictures;
        }
        i += 2;
    }
    return pictures == 1 ? kind : Kind::Unknown;
}

} // namespace torvi
