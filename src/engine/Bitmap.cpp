#include "Bitmap.h"

#include "Error.h"

#include <algorithm>
#include <cstring>

namespace torvi {

std::size_t RowStride(int width, int bitsPerPixel) {
    // 15-bit pixels are stored in 16-bit words.
    if (bitsPerPixel == 15) bitsPerPixel = 16;
    return ((static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 31) / 32) *
           4;
}

namespace {

thread_local const ExpectedPictureSize* innermostExpectation = nullptr;
thread_local const PictureByteLimit* innermostLimit = nullptr;

void CheckBounds(long long width, long long height, int bitsPerPixel, const char* message) {
    if (width < 0 || height < 0 || width > Bitmap::MaxDimension || height > Bitmap::MaxDimension)
        throw Error(message);
    const std::size_t bytes =
        RowStride(static_cast<int>(width), bitsPerPixel) * static_cast<std::size_t>(height);
    if (bytes > PictureByteLimit::Current()) throw Error(message);
}

} // namespace

void CheckPictureSize(long long width, long long height, int bitsPerPixel, const char* message) {
    CheckBounds(width, height, bitsPerPixel, message);
    ExpectedPictureSize::Check(width, height);
}

PictureByteLimit::PictureByteLimit(std::size_t bytes) : bytes_(bytes), outer_(innermostLimit) {
    innermostLimit = this;
}

PictureByteLimit::~PictureByteLimit() {
    innermostLimit = outer_;
}

std::size_t PictureByteLimit::Current() {
    return innermostLimit ? std::min(innermostLimit->bytes_, Bitmap::MaxBytes) : Bitmap::MaxBytes;
}

ExpectedPictureSize::ExpectedPictureSize(int width, int height)
    : width_(width), height_(height), outer_(innermostExpectation) {
    innermostExpectation = this;
}

ExpectedPictureSize::~ExpectedPictureSize() {
    innermostExpectation = outer_;
}

void ExpectedPictureSize::Check(long long width, long long height) {
    const ExpectedPictureSize* expected = innermostExpectation;
    if (!expected || expected->width_ <= 0 || expected->height_ <= 0) return;
    const bool same = width == expected->width_ && height == expected->height_;
    const bool turned = width == expected->height_ && height == expected->width_;
    if (!same && !turned) throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
}

Bitmap::Bitmap(int width, int height, PixelFormat format) {
    Assign(width, height, format);
}

void Bitmap::Assign(int width, int height, PixelFormat format) {
    CheckBounds(width, height, static_cast<int>(format), "Picture is too large");
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = RowStride(width, static_cast<int>(format));
    data_.assign(stride_ * static_cast<std::size_t>(height), 0);
    lumaGrey_.clear();
    const int bits = static_cast<int>(format);
    if (bits <= 8)
        palette_.resize(std::size_t{1} << bits);
    else
        palette_.clear();
}

void Bitmap::Fill(std::uint8_t value) {
    std::fill(data_.begin(), data_.end(), value);
}

namespace {

inline void PutPalette(std::uint8_t* out, const std::vector<PaletteEntry>& palette,
                       unsigned index) {
    if (index < palette.size()) {
        out[0] = palette[index].Blue;
        out[1] = palette[index].Green;
        out[2] = palette[index].Red;
    } else {
        out[0] = out[1] = out[2] = 0;
    }
}

} // namespace

Bitmap Bitmap::ToBgr24() const {
    if (format_ == PixelFormat::Pf24Bit) return *this;
    Bitmap out(width_, height_, PixelFormat::Pf24Bit);
    for (int y = 0; y < height_; ++y) {
        const std::uint8_t* src = ScanLine(y);
        std::uint8_t* dst = out.ScanLine(y);
        for (int x = 0; x < width_; ++x, dst += 3) {
            switch (format_) {
            case PixelFormat::Pf1Bit:
                PutPalette(dst, palette_, (src[x >> 3] >> (7 - (x & 7))) & 1u);
                break;
            case PixelFormat::Pf4Bit:
                PutPalette(dst, palette_, (x & 1) ? (src[x >> 1] & 0x0Fu) : (src[x >> 1] >> 4));
                break;
            case PixelFormat::Pf8Bit:
                PutPalette(dst, palette_, src[x]);
                break;
            case PixelFormat::Pf15Bit: {
                const unsigned v = static_cast<unsigned>(src[2 * x] | (src[2 * x + 1] << 8));
                dst[0] = static_cast<std::uint8_t>((v & 0x1Fu) << 3);
                dst[1] = static_cast<std::uint8_t>(((v >> 5) & 0x1Fu) << 3);
                dst[2] = static_cast<std::uint8_t>(((v >> 10) & 0x1Fu) << 3);
                break;
            }
            case PixelFormat::Pf16Bit: {
                const unsigned v = static_cast<unsigned>(src[2 * x] | (src[2 * x + 1] << 8));
                dst[0] = static_cast<std::uint8_t>((v & 0x1Fu) << 3);
                dst[1] = static_cast<std::uint8_t>(((v >> 5) & 0x3Fu) << 2);
                dst[2] = static_cast<std::uint8_t>(((v >> 11) & 0x1Fu) << 3);
                break;
            }
            case PixelFormat::Pf32Bit:
                std::memcpy(dst, src + 4 * x, 3);
                break;
            case PixelFormat::Pf24Bit:
                break;
            }
        }
    }
    return out;
}

void Bitmap::AssignGreyOnly(int width, int height) {
    CheckBounds(width, height, static_cast<int>(PixelFormat::Pf24Bit), "Picture is too large");
    width_ = width;
    height_ = height;
    format_ = PixelFormat::Pf24Bit;
    stride_ = RowStride(width, static_cast<int>(format_));
    std::vector<std::uint8_t>().swap(data_);
    palette_.clear();
    lumaGrey_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
}

void Bitmap::AllocateLumaGrey() {
    lumaGrey_.resize(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_));
}

void Bitmap::ConvertTo24() {
    if (format_ != PixelFormat::Pf24Bit) *this = ToBgr24();
}

std::vector<PaletteEntry> GreyPalette(int bits) {
    const unsigned count = 1u << bits;
    std::vector<PaletteEntry> palette(count);
    for (unsigned i = 0; i < count; ++i) {
        const auto v = static_cast<std::uint8_t>(i * 255u / (count - 1));
        palette[i] = {v, v, v, 0};
    }
    return palette;
}

} // namespace torvi
