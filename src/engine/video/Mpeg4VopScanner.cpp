#include "video/Mpeg4VopScanner.h"

#include <cstdio>
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
constexpr std::uint8_t UserDataStartCode = 0xB2;

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

bool Mpeg4VopScanner::ReadVop(const std::uint8_t* data, std::size_t size, VopHeader& vop) const {
    if (timeIncrementBits_ == 0) return false;
    BitReader bits(data, size);
    const std::uint32_t type = bits.Read(2);
    // modulo_time_base: ones up to a zero; a second's worth per one.
    for (int seconds = 0; bits.Read(1) == 1; ++seconds)
        if (seconds > 60 || bits.Overrun) return false;
    bits.Read(1);
    bits.Read(timeIncrementBits_);
    bits.Read(1);
    vop.Coded = bits.Read(1) == 1;
    if (bits.Overrun) return false;
    vop.Kind = static_cast<VopHeader::Type>(type);
    return true;
}

void Mpeg4VopScanner::ReadUserData(const std::uint8_t* data, std::size_t size) {
    // "DivX503b1393p" or "DivX501Build413p": the final 'p' marks a packed
    // bitstream, read the way FFmpeg's decoder reads it.
    char text[64] = {};
    std::size_t n = 0;
    while (n < size && n + 1 < sizeof text && data[n] >= 0x20 && data[n] < 0x7F) {
        text[n] = static_cast<char>(data[n]);
        ++n;
    }
    int version = 0;
    int build = 0;
    char last = 0;
    int e = std::sscanf(text, "DivX%dBuild%d%c", &version, &build, &last);
    if (e < 2) e = std::sscanf(text, "DivX%db%d%c", &version, &build, &last);
    if (e >= 2) packed_ = e == 3 && last == 'p';
}

PacketVops Mpeg4VopScanner::Scan(const std::uint8_t* data, std::size_t size) {
    PacketVops result;
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
        } else if (code == UserDataStartCode) {
            ReadUserData(rest, restSize);
        } else if (code == VopStartCode) {
            VopHeader vop;
            if (!ReadVop(rest, restSize, vop) || result.Vops.size() >= 4)
                result.Known = false;
            else
                result.Vops.push_back(vop);
        }
        i += 2;
    }
    if (result.Vops.empty()) result.Known = false;
    return result;
}

} // namespace torvi
