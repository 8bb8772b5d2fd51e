#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace torvi {

enum class PixelFormat : int {
    Pf1Bit = 1,
    Pf4Bit = 4,
    Pf8Bit = 8,
    Pf15Bit = 15, // 16-bit words, 5-5-5, blue in the low bits
    Pf16Bit = 16, // 16-bit words, 5-6-5, blue in the low bits
    Pf24Bit = 24, // blue, green, red bytes
    Pf32Bit = 32, // blue, green, red and a fourth byte (alpha where the source had one)
};

// Bytes per pixel row of the given width, padded to a multiple of four bytes
// as in a Windows DIB. 15 bits per pixel take 16-bit words.
std::size_t RowStride(int width, int bitsPerPixel);

// One palette entry, in the byte order of a Windows RGBQUAD.
struct PaletteEntry {
    std::uint8_t Blue = 0;
    std::uint8_t Green = 0;
    std::uint8_t Red = 0;
    std::uint8_t Reserved = 0;
    bool operator==(const PaletteEntry&) const = default;
};

// A picture in memory: width, height, pixel format, palette for the formats
// of 8 bits or fewer, and the pixel rows from the top, each padded to four
// bytes. 1- and 4-bit rows hold the leftmost pixel in the highest bits.
// A Bitmap owns its pixels; ScanLine pointers stay valid until the next
// Assign or move.
//
// A film frame decoded from luma and chroma (Motion JPEG, MPEG, H.264, ...)
// also carries the measurement's grey of each pixel beside its 24-bit pixels:
// the frame's luma brought to 0..255 (LumaGrey). The analysis reads grey from
// there when it is present and from the 24-bit pixels otherwise (GreyRow).
// The plane is one byte a pixel, Width bytes a row, and goes with the picture
// (copied, moved); Assign and ConvertTo24 of another format drop it.
class Bitmap {
public:
    // Largest picture the program accepts: a sanity bound, far above any
    // camera, that keeps a corrupt header from asking for absurd memory.
    static constexpr int MaxDimension = 65535;
    static constexpr std::size_t MaxBytes = std::size_t{1} << 30;

    Bitmap() = default;
    Bitmap(int width, int height, PixelFormat format);

    // Replaces size and format; pixels become zero, the palette is kept
    // (resized to the format's colour count, new entries black).
    // Throws Error for a size beyond the bounds above.
    void Assign(int width, int height, PixelFormat format);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    PixelFormat Format() const { return format_; }
    int BitsPerPixel() const { return static_cast<int>(format_); }
    std::size_t Stride() const { return stride_; }

    std::uint8_t* ScanLine(int y) { return data_.data() + static_cast<std::size_t>(y) * stride_; }
    const std::uint8_t* ScanLine(int y) const {
        return data_.data() + static_cast<std::size_t>(y) * stride_;
    }
    std::uint8_t* Bits() { return data_.data(); }
    const std::uint8_t* Bits() const { return data_.data(); }
    std::size_t ByteSize() const { return data_.size(); }

    const std::vector<PaletteEntry>& Palette() const { return palette_; }
    void SetPalette(std::vector<PaletteEntry> palette) { palette_ = std::move(palette); }

    // Fills every pixel byte with the value (255 makes a 24-bit picture white).
    void Fill(std::uint8_t value);

    // The picture at 24 bits per pixel. Palette formats go through their
    // palette (an index beyond it gives black); 15 and 16 bits shift each
    // channel up with zero low bits (5-bit 31 becomes 248); 32 bits drop the
    // fourth byte.
    Bitmap ToBgr24() const;
    // Converts this picture to 24 bits in place (nothing to do when it is).
    void ConvertTo24();

    // A 24-bit picture of that size that carries only the grey plane, no
    // pixels: what a film reader gives where only grey is read (the
    // measurement, the calibration). ScanLine and Bits must not be used on
    // it; GreyRow reads it. Throws Error for a size beyond the bounds above.
    void AssignGreyOnly(int width, int height);
    // Whether the picture has pixel rows (every picture but a grey-only one).
    bool HasPixels() const { return !data_.empty() || Empty(); }

    // Whether the picture carries the grey of its luma.
    bool HasLumaGrey() const { return !lumaGrey_.empty(); }
    // Gives the picture a grey plane of its size (kept when it has one),
    // for the film reader to fill.
    void AllocateLumaGrey();
    // Drops the grey plane: the grey then comes from the 24-bit pixels.
    void DropLumaGrey() { lumaGrey_.clear(); }
    // Row y of the grey plane; only while HasLumaGrey.
    std::uint8_t* LumaGreyLine(int y) {
        return lumaGrey_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    }
    const std::uint8_t* LumaGreyLine(int y) const {
        return lumaGrey_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width_);
    }

    // Pictures are equal by size, format, pixels and palette; the grey plane
    // is what the film reader derived from the same frame.
    bool operator==(const Bitmap& other) const {
        return width_ == other.width_ && height_ == other.height_ && format_ == other.format_ &&
               stride_ == other.stride_ && data_ == other.data_ && palette_ == other.palette_;
    }

private:
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::Pf24Bit;
    std::size_t stride_ = 0;
    std::vector<std::uint8_t> data_;
    std::vector<PaletteEntry> palette_;
    std::vector<std::uint8_t> lumaGrey_;
};

// Throws Error("message") when a picture of this size and depth would exceed
// Bitmap's bounds, and Error "Size of pictures are not equal" when an
// ExpectedPictureSize on this thread asks for another size. Decoders call it
// before they allocate.
void CheckPictureSize(long long width, long long height, int bitsPerPixel, const char* message);

// While one lives, CheckPictureSize on its thread refuses a picture of any
// other size, so that a picture file the measurement cannot use is refused
// before its pixels are allocated: compressed data (deflate, LZW, run
// lengths) gives no bound of its own. Either way round is accepted, as a
// turned TIFF picture is checked before it is turned. A size of zero expects
// nothing; the innermost one counts.
class ExpectedPictureSize {
public:
    ExpectedPictureSize(int width, int height);
    ~ExpectedPictureSize();
    ExpectedPictureSize(const ExpectedPictureSize&) = delete;
    ExpectedPictureSize& operator=(const ExpectedPictureSize&) = delete;

    // Throws Error "Size of pictures are not equal" when the innermost one on
    // this thread expects another size.
    static void Check(long long width, long long height);

private:
    int width_;
    int height_;
    const ExpectedPictureSize* outer_;
};

// While one lives, CheckPictureSize on its thread refuses, with the caller's
// message, pictures of more bytes than it allows, and the libraries that
// budget their own memory (libtiff, libjpeg) get the lower bound too. For a
// caller that wants less than Bitmap::MaxBytes, such as a fuzzer running
// under a memory limit; the innermost one counts.
class PictureByteLimit {
public:
    explicit PictureByteLimit(std::size_t bytes);
    ~PictureByteLimit();
    PictureByteLimit(const PictureByteLimit&) = delete;
    PictureByteLimit& operator=(const PictureByteLimit&) = delete;

    // The bytes a picture may take on this thread now: Bitmap::MaxBytes, or
    // less while a PictureByteLimit lives.
    static std::size_t Current();

private:
    std::size_t bytes_;
    const PictureByteLimit* outer_;
};

// A grey ramp of 2^bits entries (0 black, last white).
std::vector<PaletteEntry> GreyPalette(int bits);

} // namespace torvi
