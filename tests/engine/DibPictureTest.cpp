#include "capture/DibPicture.h"

#include "Error.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace torvi {
namespace {

// A packed DIB made by hand: header, then `table` (colour table or masks),
// then `rows` exactly as given.
std::vector<std::uint8_t> MakeDib(int width, int height, int bitCount, std::uint32_t compression,
                                  std::uint32_t clrUsed, const std::vector<std::uint8_t>& table,
                                  const std::vector<std::uint8_t>& rows) {
    std::vector<std::uint8_t> dib(40, 0);
    auto put = [&](std::size_t at, std::uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            dib[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    put(0, 40, 4);
    put(4, static_cast<std::uint32_t>(width), 4);
    put(8, static_cast<std::uint32_t>(height), 4);
    put(12, 1, 2);
    put(14, static_cast<std::uint32_t>(bitCount), 2);
    put(16, compression, 4);
    put(32, clrUsed, 4);
    dib.insert(dib.end(), table.begin(), table.end());
    dib.insert(dib.end(), rows.begin(), rows.end());
    return dib;
}

std::vector<std::uint8_t> Masks(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    std::vector<std::uint8_t> out;
    for (std::uint32_t m : {r, g, b})
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(m >> (8 * i)));
    return out;
}

// Colour table whose entry i is (blue i, green 100 + i, red 200 - i).
std::vector<std::uint8_t> Table(int entries) {
    std::vector<std::uint8_t> t;
    for (int i = 0; i < entries; ++i)
        t.insert(t.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(100 + i),
                           static_cast<std::uint8_t>(200 - i), 0});
    return t;
}

void ExpectPixel(const Bitmap& b, int x, int y, int blue, int green, int red) {
    const std::uint8_t* p = b.ScanLine(y) + 3 * x;
    EXPECT_EQ(p[0], blue) << x << "," << y;
    EXPECT_EQ(p[1], green) << x << "," << y;
    EXPECT_EQ(p[2], red) << x << "," << y;
}

TEST(MaskBitCount, CountsTheRunFromTheLowestSetBit) {
    EXPECT_EQ(MaskBitCount(0), 0);
    EXPECT_EQ(MaskBitCount(0x7C00), 5);
    EXPECT_EQ(MaskBitCount(0x07E0), 6);
    EXPECT_EQ(MaskBitCount(0x001F), 5);
    EXPECT_EQ(MaskBitCount(0x00F0F000), 4); // only the lowest run counts
    EXPECT_EQ(MaskBitCount(0x80000000), 1);
    EXPECT_EQ(MaskBitCount(0xC0000000), 2);
    EXPECT_EQ(MaskBitCount(0xFFFFFFFF), 32);
}

TEST(DIBToBitmap, RowStridesFollowTheDepth) {
    // Width 5: 16 bytes a row at 24 bits, 8 at 8, 4 at 4 and 4 at 1. Two rows
    // fit exactly; one byte less is refused.
    struct Case {
        int Bits;
        std::size_t Stride;
        std::size_t Table;
    };
    for (const Case& c : {Case{24, 16, 0}, Case{8, 8, 1024}, Case{4, 4, 64}, Case{1, 4, 8}}) {
        std::vector<std::uint8_t> table(c.Table, 0);
        auto dib =
            MakeDib(5, 2, c.Bits, BI_RGB, 0, table, std::vector<std::uint8_t>(2 * c.Stride, 0));
        Bitmap b;
        EXPECT_EQ(DIBToBitmap(dib, b), c.Bits);
        EXPECT_EQ(b.Width(), 5);
        EXPECT_EQ(b.Height(), 2);
        dib.pop_back();
        Bitmap untouched(3, 3, PixelFormat::Pf24Bit);
        const Bitmap before = untouched;
        EXPECT_THROW(DIBToBitmap(dib, untouched), Error) << c.Bits;
        EXPECT_EQ(untouched, before);
    }
}

TEST(DIBToBitmap, TwentyFourBitRowsAreCopiedBottomUp) {
    // Width 2: rows of 8 bytes (6 of pixels, 2 of padding); the first row in
    // memory is the picture's bottom row.
    auto dib =
        MakeDib(2, 2, 24, BI_RGB, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    Bitmap b;
    ASSERT_EQ(DIBToBitmap(dib, b), 24);
    EXPECT_EQ(b.Format(), PixelFormat::Pf24Bit);
    ExpectPixel(b, 0, 1, 1, 2, 3);
    ExpectPixel(b, 1, 1, 4, 5, 6);
    ExpectPixel(b, 0, 0, 7, 8, 9);
    ExpectPixel(b, 1, 0, 10, 11, 12);

    // A negative height stores the rows from the top.
    auto topDown =
        MakeDib(2, -2, 24, BI_RGB, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
    ASSERT_EQ(DIBToBitmap(topDown, b), 24);
    ExpectPixel(b, 0, 0, 1, 2, 3);
    ExpectPixel(b, 1, 1, 10, 11, 12);
}

TEST(DIBToBitmap, SixteenBitMasksLeaveTheLowBitsZero) {
    Bitmap b;
    // 5-5-5 by default: 0x7FFF is white with zero low bits.
    auto rgb = MakeDib(2, 1, 16, BI_RGB, 0, {}, {0xFF, 0x7F, 0x00, 0x7C});
    ASSERT_EQ(DIBToBitmap(rgb, b), 16);
    ExpectPixel(b, 0, 0, 248, 248, 248);
    ExpectPixel(b, 1, 0, 0, 0, 248); // 0x7C00: red only

    // 5-6-5 through BI_BITFIELDS, masks before the pixels.
    auto fields = MakeDib(3, 1, 16, BI_BITFIELDS, 0, Masks(0xF800, 0x07E0, 0x001F),
                          {0xFF, 0xFF, 0xE0, 0x07, 0x1F, 0x00, 0, 0});
    ASSERT_EQ(DIBToBitmap(fields, b), 16);
    ExpectPixel(b, 0, 0, 248, 252, 248);
    ExpectPixel(b, 1, 0, 0, 252, 0);
    ExpectPixel(b, 2, 0, 248, 0, 0);

    // RLE values below 4 read the data as uncompressed 5-5-5.
    auto rle = MakeDib(1, 1, 16, BI_RLE8, 0, {}, {0x1F, 0x00, 0, 0});
    ASSERT_EQ(DIBToBitmap(rle, b), 16);
    ExpectPixel(b, 0, 0, 248, 0, 0);
}

TEST(DIBToBitmap, ThirtyTwoBitsDropTheFourthByte) {
    Bitmap b;
    auto rgb = MakeDib(1, 1, 32, BI_RGB, 0, {}, {10, 20, 30, 40});
    ASSERT_EQ(DIBToBitmap(rgb, b), 32);
    ExpectPixel(b, 0, 0, 10, 20, 30);
    // With BI_BITFIELDS the pixels start after the three masks, unread.
    auto fields = MakeDib(1, 1, 32, BI_BITFIELDS, 0, Masks(0, 0, 0), {10, 20, 30, 40});
    ASSERT_EQ(DIBToBitmap(fields, b), 32);
    ExpectPixel(b, 0, 0, 10, 20, 30);
}

TEST(DIBToBitmap, PaletteDepthsIndexTheColourTable) {
    Bitmap b;
    // biClrUsed 17: the rows start 68 bytes after the header.
    auto used17 = MakeDib(2, 1, 8, BI_RGB, 17, Table(17), {16, 3, 0, 0});
    ASSERT_EQ(DIBToBitmap(used17, b), 8);
    ExpectPixel(b, 0, 0, 16, 116, 184);
    ExpectPixel(b, 1, 0, 3, 103, 197);
    // biClrUsed 0: a full table of 256 entries, rows 1024 bytes after it.
    auto full = MakeDib(1, 1, 8, BI_RGB, 0, Table(256), {255, 0, 0, 0});
    ASSERT_EQ(DIBToBitmap(full, b), 8);
    ExpectPixel(b, 0, 0, 255, 355 - 256, 200 - 255 + 256);

    // 4 bits, width 5: bytes 0x12 0x34 0x50 give entries 1 to 5, the last
    // byte's low half unused.
    auto four = MakeDib(5, 1, 4, BI_RGB, 0, Table(16), {0x12, 0x34, 0x5F, 0});
    ASSERT_EQ(DIBToBitmap(four, b), 4);
    for (int x = 0; x < 5; ++x)
        ExpectPixel(b, x, 0, x + 1, 101 + x, 199 - x);
}

TEST(DIBToBitmap, OneBitKeepsItsBitsAndIgnoresTheTable) {
    // The table says 0 is white and 1 black; the converted bitmap still has
    // black for 0 and white for 1 (the film reader applies the table after).
    auto dib = MakeDib(9, 2, 1, BI_RGB, 0, {255, 255, 255, 0, 0, 0, 0, 0},
                       {0x80, 0x80, 0, 0, 0x01, 0x00, 0, 0});
    Bitmap b;
    ASSERT_EQ(DIBToBitmap(dib, b), 1);
    ASSERT_EQ(b.Format(), PixelFormat::Pf1Bit);
    EXPECT_EQ(b.Palette()[0], (PaletteEntry{0, 0, 0, 0}));
    EXPECT_EQ(b.Palette()[1], (PaletteEntry{255, 255, 255, 0}));
    EXPECT_EQ(b.ScanLine(1)[0], 0x80); // bottom row first in memory
    EXPECT_EQ(b.ScanLine(1)[1], 0x80);
    EXPECT_EQ(b.ScanLine(0)[0], 0x01);
}

TEST(DIBToBitmap, SeparateRowsReplaceTheRowsAfterTheHeader) {
    Bitmap b;
    const std::vector<std::uint8_t> rows = {1, 2, 3, 0};
    auto dib24 = MakeDib(1, 1, 24, BI_RGB, 0, {}, {});
    ASSERT_EQ(DIBToBitmap(dib24, b, rows), 24);
    ExpectPixel(b, 0, 0, 1, 2, 3);

    auto dib8 = MakeDib(1, 1, 8, BI_RGB, 4, Table(4), {});
    const std::vector<std::uint8_t> index = {2, 0, 0, 0};
    ASSERT_EQ(DIBToBitmap(dib8, b, index), 8);
    ExpectPixel(b, 0, 0, 2, 102, 198);

    // With BI_BITFIELDS at 16 bits the masks lead the separate rows.
    std::vector<std::uint8_t> masked = Masks(0xF800, 0x07E0, 0x001F);
    masked.insert(masked.end(), {0xE0, 0x07, 0, 0});
    auto dib16 = MakeDib(1, 1, 16, BI_BITFIELDS, 0, {}, {});
    ASSERT_EQ(DIBToBitmap(dib16, b, masked), 16);
    ExpectPixel(b, 0, 0, 0, 252, 0);

    // 32-bit pictures always read the rows after the header.
    auto dib32 = MakeDib(1, 1, 32, BI_RGB, 0, {}, {7, 8, 9, 0});
    ASSERT_EQ(DIBToBitmap(dib32, b, rows), 32);
    ExpectPixel(b, 0, 0, 7, 8, 9);
}

TEST(DIBToBitmap, LayoutsItDoesNotConvertStayWhite) {
    struct Case {
        int Bits;
        std::uint32_t Compression;
    };
    for (const Case& c : {Case{8, 4}, Case{24, BI_BITFIELDS}, Case{24, BI_RLE8}, Case{32, BI_RLE4},
                          Case{2, BI_RGB}, Case{48, BI_RGB}, Case{0, BI_RGB}}) {
        auto dib = MakeDib(2, 2, c.Bits, c.Compression, 0, {}, {});
        Bitmap b;
        EXPECT_EQ(DIBToBitmap(dib, b), c.Bits);
        ASSERT_EQ(b.Format(), PixelFormat::Pf24Bit);
        ASSERT_EQ(b.Width(), 2);
        for (int y = 0; y < 2; ++y)
            ExpectPixel(b, 1, y, 255, 255, 255);
    }
}

TEST(DIBToBitmap, RefusesHeadersThatDoNotFit) {
    Bitmap b(1, 1, PixelFormat::Pf24Bit);
    const Bitmap before = b;
    EXPECT_THROW(DIBToBitmap(std::vector<std::uint8_t>(39, 0), b), Error);
    EXPECT_THROW(DIBToBitmap(MakeDib(-1, 1, 24, BI_RGB, 0, {}, {0, 0, 0, 0}), b), Error);
    EXPECT_THROW(DIBToBitmap(MakeDib(1 << 30, 1 << 30, 24, BI_RGB, 0, {}, {}), b), Error);
    EXPECT_THROW(DIBToBitmap(MakeDib(1, 1, 8, BI_RGB, 0x40000000, {}, {0}), b), Error);
    EXPECT_EQ(b, before);
}

} // namespace
} // namespace torvi
