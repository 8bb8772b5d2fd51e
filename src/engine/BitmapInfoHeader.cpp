#include "BitmapInfoHeader.h"

namespace torvi {

namespace {

template <typename T> void Put(std::uint8_t*& out, T value) {
    auto bits = static_cast<std::uint32_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        *out++ = static_cast<std::uint8_t>(bits & 0xFF);
        bits >>= 8;
    }
}

template <typename T> T Get(const std::uint8_t*& in) {
    std::uint32_t bits = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i)
        bits |= std::uint32_t{*in++} << (8 * i);
    return static_cast<T>(bits);
}

} // namespace

BitmapInfoHeader BitmapInfoHeader::Read(const std::uint8_t* data) {
    const std::uint8_t* in = data;
    BitmapInfoHeader h;
    h.Size = Get<std::uint32_t>(in);
    h.Width = Get<std::int32_t>(in);
    h.Height = Get<std::int32_t>(in);
    h.Planes = Get<std::uint16_t>(in);
    h.BitCount = Get<std::uint16_t>(in);
    h.Compression = Get<std::uint32_t>(in);
    h.SizeImage = Get<std::uint32_t>(in);
    h.XPelsPerMeter = Get<std::int32_t>(in);
    h.YPelsPerMeter = Get<std::int32_t>(in);
    h.ClrUsed = Get<std::uint32_t>(in);
    h.ClrImportant = Get<std::uint32_t>(in);
    return h;
}

void BitmapInfoHeader::Write(std::uint8_t* out) const {
    Put(out, Size);
    Put(out, Width);
    Put(out, Height);
    Put(out, Planes);
    Put(out, BitCount);
    Put(out, Compression);
    Put(out, SizeImage);
    Put(out, XPelsPerMeter);
    Put(out, YPelsPerMeter);
    Put(out, ClrUsed);
    Put(out, ClrImportant);
}

} // namespace torvi
