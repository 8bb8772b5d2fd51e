#include "formats/BmpCodec.h"
#include "Error.h"
#include "FileIO.h"
#include "PictureFiles.h"
#include "TestSupport.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <png.h>
#include <random>
#include <set>

using namespace torvi;
using torvi::test::ConformanceFile;
using torvi::test::HaveBmpSuite;
using torvi::test::TempFolder;

namespace {

using Bytes = std::vector<std::uint8_t>;

// A reference rendering: 8-bit red, green, blue, alpha, rows from the top.
struct Rgba {
    int Width = 0;
    int Height = 0;
    Bytes Pixels;
};

struct PngReader {
    png_structp Png = nullptr;
    png_infop Info = nullptr;
    ~PngReader() { png_destroy_read_struct(&Png, &Info, nullptr); }
};

// libpng leaves by longjmp on a fault: nothing with a destructor lives here.
// Gamma and colour chunks are left alone: the renderings hold plain values.
bool ReadPngImage(PngReader& r, std::FILE* file) {
    if (setjmp(png_jmpbuf(r.Png))) return false;
    png_init_io(r.Png, file);
    png_read_png(r.Png, r.Info,
                 PNG_TRANSFORM_EXPAND | PNG_TRANSFORM_SCALE_16 | PNG_TRANSFORM_GRAY_TO_RGB,
                 nullptr);
    return true;
}

Rgba ReadPng(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    PngReader r;
    r.Png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    r.Info = png_create_info_struct(r.Png);
    if (!file || !ReadPngImage(r, file.get())) throw std::runtime_error("cannot read " + path);
    const int width = static_cast<int>(png_get_image_width(r.Png, r.Info));
    const int height = static_cast<int>(png_get_image_height(r.Png, r.Info));
    const int channels = png_get_channels(r.Png, r.Info); // 3 or 4
    const png_bytepp rows = png_get_rows(r.Png, r.Info);
    Rgba out{width, height, Bytes(4 * static_cast<std::size_t>(width * height), 0xFF)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            std::memcpy(&out.Pixels[4 * static_cast<std::size_t>(y * width + x)],
                        rows[y] + channels * x, static_cast<std::size_t>(channels));
    return out;
}

Bytes ReadBytes(const std::string& path) {
    return ReadWholeFile(path);
}

Bitmap Decode(const Bytes& bytes) {
    return DecodeBmp(bytes.data(), bytes.size());
}

// True when the bytes decode, false when they are refused with the program's
// message; any other outcome fails the test.
bool Loads(const Bytes& bytes, const std::string& what) {
    try {
        Decode(bytes);
        return true;
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), BitmapNotValid) << what;
        return false;
    }
}

// How a file should read: its pixel format and the rendering it must match
// (colour profiles are not applied). The channel widths say how closely.
// Narrower than 8 bits: equal to the rendering, which stretches them to the
// full range, or to its top bits with zero low bits, as 15- and 16-bit
// pictures show. 8 bits: equal. Wider: within one step, since the reader
// keeps the top 8 bits and the renderings round. Alpha 0 leaves alpha alone.
struct Expected {
    PixelFormat Format;
    const char* Reference;
    int Red = 8, Green = 8, Blue = 8, Alpha = 0;
};

bool ChannelMatches(int got, int want, int bits) {
    if (bits == 8) return got == want;
    if (bits > 8) return std::abs(got - want) <= 1;
    if (bits == 0) return got == 0;
    const int shift = 8 - bits;
    return got == want || got == (want >> shift) << shift;
}

void ExpectMatchesRendering(const std::string& file, const Expected& e) {
    SCOPED_TRACE(file);
    Bitmap picture;
    ASSERT_NO_THROW(picture = Decode(ReadBytes(ConformanceFile("bmpsuite/" + file))));
    EXPECT_EQ(picture.Format(), e.Format);
    const Rgba ref = ReadPng(ConformanceFile(std::string("bmpsuite/reference/") + e.Reference));
    ASSERT_EQ(picture.Width(), ref.Width);
    ASSERT_EQ(picture.Height(), ref.Height);
    const Bitmap bgr = picture.ToBgr24();
    int mismatches = 0;
    for (int y = 0; y < ref.Height; ++y) {
        for (int x = 0; x < ref.Width; ++x) {
            const std::uint8_t* got = bgr.ScanLine(y) + 3 * x;
            const std::uint8_t* want = ref.Pixels.data() + 4 * (y * ref.Width + x);
            // Where a rendering is fully transparent its colour means nothing.
            bool ok = want[3] == 0 || (ChannelMatches(got[2], want[0], e.Red) &&
                                       ChannelMatches(got[1], want[1], e.Green) &&
                                       ChannelMatches(got[0], want[2], e.Blue));
            if (e.Alpha > 0)
                ok = ok && ChannelMatches(picture.ScanLine(y)[4 * x + 3], want[3], e.Alpha);
            if (!ok && ++mismatches <= 3)
                ADD_FAILURE() << "pixel " << x << "," << y << " got " << int(got[2]) << ","
                              << int(got[1]) << "," << int(got[0]) << " want " << int(want[0])
                              << "," << int(want[1]) << "," << int(want[2]);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry :
         std::filesystem::directory_iterator(ConformanceFile("bmpsuite/" + folder)))
        names.insert(folder + "/" + entry.path().filename().string());
    return names;
}

void Put32(Bytes& b, std::size_t pos, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        b[pos + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// A BMP file with a 40-byte header, a grey palette of 2^bits entries for
// palette depths, and the given pixel data.
Bytes MakeBmp(int width, int height, int bits, std::uint32_t compression, const Bytes& pixels) {
    const std::size_t colours = bits <= 8 ? std::size_t{1} << bits : 0;
    const std::size_t offset = 14 + 40 + 4 * colours;
    Bytes b(offset, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<std::uint32_t>(offset + pixels.size()));
    Put32(b, 10, static_cast<std::uint32_t>(offset));
    Put32(b, 14, 40);
    Put32(b, 18, static_cast<std::uint32_t>(width));
    Put32(b, 22, static_cast<std::uint32_t>(height));
    b[26] = 1;
    b[28] = static_cast<std::uint8_t>(bits);
    Put32(b, 30, compression);
    Put32(b, 34, static_cast<std::uint32_t>(pixels.size()));
    for (std::size_t i = 0; i < colours; ++i)
        b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = static_cast<std::uint8_t>(i);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// Palette indices of a 4- or 8-bit picture, rows from the top.
std::vector<std::vector<int>> Indices(const Bitmap& p) {
    std::vector<std::vector<int>> rows(p.Height());
    for (int y = 0; y < p.Height(); ++y)
        for (int x = 0; x < p.Width(); ++x)
            rows[y].push_back(p.Format() == PixelFormat::Pf8Bit ? p.ScanLine(y)[x]
                              : (x & 1)                         ? p.ScanLine(y)[x / 2] & 0x0F
                                                                : p.ScanLine(y)[x / 2] >> 4);
    return rows;
}

constexpr auto Pf1 = PixelFormat::Pf1Bit, Pf4 = PixelFormat::Pf4Bit, Pf8 = PixelFormat::Pf8Bit,
               Pf15 = PixelFormat::Pf15Bit, Pf16 = PixelFormat::Pf16Bit,
               Pf24 = PixelFormat::Pf24Bit, Pf32 = PixelFormat::Pf32Bit;

// Good files (g/), the unusual ones this reader takes (q/) and faulty ones
// whose fault does not touch the pixels (b/: a wrong file size, image size,
// density or colour count). Pixels that RLE data leaves unset read as
// palette index 0, as the "-0" renderings show them.
const std::vector<std::pair<std::vector<const char*>, Expected>> Renderings = {
    {{"g/pal1.bmp", "g/pal1wb.bmp", "b/badbitssize.bmp", "b/baddens1.bmp", "b/baddens2.bmp",
      "b/badfilesize.bmp"},
     {Pf1, "pal1.png"}},
    {{"g/pal1bg.bmp"}, {Pf1, "pal1bg.png"}},
    {{"q/pal1p1.bmp"}, {Pf1, "pal1p1.png"}},
    {{"q/pal2.bmp"}, {Pf4, "pal2.png"}},
    {{"q/pal2color.bmp"}, {Pf4, "pal2color.png"}},
    {{"g/pal4.bmp", "g/pal4rle.bmp"}, {Pf4, "pal4.png"}},
    {{"g/pal4gs.bmp"}, {Pf4, "pal4gs.png"}},
    {{"q/pal4rlecut.bmp"}, {Pf4, "pal4rlecut-0.png"}},
    {{"q/pal4rletrns.bmp"}, {Pf4, "pal4rletrns-0.png"}},
    {{"g/pal8-0.bmp", "g/pal8.bmp", "g/pal8os2.bmp", "g/pal8rle.bmp", "g/pal8topdown.bmp",
      "g/pal8v4.bmp", "g/pal8v5.bmp", "q/pal8offs.bmp", "q/pal8os2-hs.bmp", "q/pal8os2-sz.bmp",
      "q/pal8os2sp.bmp", "q/pal8os2v2-16.bmp", "q/pal8os2v2-40sz.bmp", "q/pal8os2v2-sz.bmp",
      "q/pal8os2v2.bmp", "q/pal8oversizepal.bmp", "b/badpalettesize.bmp"},
     {Pf8, "pal8.png"}},
    {{"g/pal8gs.bmp"}, {Pf8, "pal8gs.png"}},
    {{"g/pal8nonsquare.bmp"}, {Pf8, "pal8nonsquare-e.png"}},
    {{"g/pal8w124.bmp"}, {Pf8, "pal8w124.png"}},
    {{"g/pal8w125.bmp"}, {Pf8, "pal8w125.png"}},
    {{"g/pal8w126.bmp"}, {Pf8, "pal8w126.png"}},
    {{"q/pal8rlecut.bmp"}, {Pf8, "pal8rlecut-0.png"}},
    {{"q/pal8rletrns.bmp"}, {Pf8, "pal8rletrns-0.png"}},
    {{"g/rgb16-565.bmp", "g/rgb16-565pal.bmp"}, {Pf16, "rgb16-565.png", 5, 6, 5}},
    {{"g/rgb16.bmp", "g/rgb16bfdef.bmp"}, {Pf15, "rgb16.png", 5, 5, 5}},
    {{"q/rgb16faketrns.bmp"}, {Pf15, "rgb16faketrns.png", 5, 5, 5}},
    {{"q/rgb16-231.bmp"}, {Pf24, "rgb16-231.png", 2, 3, 1}},
    {{"q/rgb16-3103.bmp"}, {Pf24, "rgb16-3103.png", 3, 10, 3}},
    {{"b/rgb16-880.bmp"}, {Pf24, "rgb16-880.png", 8, 8, 0}},
    {{"g/rgb24.bmp", "g/rgb24pal.bmp", "g/rgb32bf.bmp", "q/rgb24largepal.bmp", "q/rgb24lprof.bmp",
      "q/rgb24prof.bmp", "q/rgb32-xbgr.bmp", "q/rgb32h52.bmp"},
     {Pf24, "rgb24.png"}},
    {{"g/rgb32.bmp", "g/rgb32bfdef.bmp"}, {Pf32, "rgb24.png"}},
    {{"q/rgb32-111110.bmp"}, {Pf24, "rgb24.png", 11, 11, 10}},
    {{"q/rgb32-7187.bmp"}, {Pf24, "rgb32-7187.png", 7, 18, 7}},
    {{"q/rgb32fakealpha.bmp"}, {Pf32, "fakealpha.png"}},
    {{"q/rgba16-1924.bmp"}, {Pf32, "rgba16-1924.png", 1, 9, 2, 4}},
    {{"q/rgba16-4444.bmp"}, {Pf32, "rgba16-4444.png", 4, 4, 4, 4}},
    {{"q/rgba16-5551.bmp"}, {Pf32, "rgba16-5551.png", 5, 5, 5, 1}},
    {{"q/rgba32-1.bmp", "q/rgba32-2.bmp", "q/rgba32abf.bmp", "q/rgba32h56.bmp"},
     {Pf32, "rgba32.png", 8, 8, 8, 8}},
    {{"q/rgba32-1010102.bmp"}, {Pf32, "rgba32-1010102.png", 10, 10, 10, 2}},
    {{"q/rgba32-61754.bmp"}, {Pf32, "rgba32-61754.png", 6, 17, 5, 4}},
    {{"q/rgba32-81284.bmp"}, {Pf32, "rgba32-81284.png", 8, 12, 8, 4}},
};

} // namespace

TEST(BmpCodec, SuiteFilesMatchTheirRenderings) {
    if (!HaveBmpSuite()) GTEST_SKIP() << "bmpsuite not found at " << ConformanceFile("bmpsuite");
    std::set<std::string> checked;
    for (const auto& [files, expected] : Renderings) {
        for (const char* file : files) {
            ExpectMatchesRendering(file, expected);
            checked.insert(file);
        }
    }
    for (const std::string& file : FilesIn("g"))
        EXPECT_EQ(checked.count(file), 1u) << file;
}

TEST(BmpCodec, EveryGoodFileLoadsAndEveryOtherLoadsOrIsRefusedCleanly) {
    if (!HaveBmpSuite()) GTEST_SKIP() << "bmpsuite not found at " << ConformanceFile("bmpsuite");
    // Compressed with JPEG, PNG, Huffman or 24-bit RLE, 64 bits per pixel, or
    // structurally broken: refused. Everything else in the suite reads.
    const std::set<std::string> refused = {
        "q/pal1huffmsb.bmp", "q/rgb24jpeg.bmp",   "q/rgb24png.bmp",      "q/rgb24rle24.bmp",
        "q/rgba64.bmp",      "b/badbitcount.bmp", "b/badheadersize.bmp", "b/badplanes.bmp",
        "b/badrle.bmp",      "b/badrle4.bmp",     "b/badrle4bis.bmp",    "b/badrle4ter.bmp",
        "b/badrlebis.bmp",   "b/badrleter.bmp",   "b/badwidth.bmp",      "b/reallybig.bmp",
        "b/rletopdown.bmp",  "b/shortfile.bmp",   "x/ba-bm.bmp",
    };
    std::size_t count = 0;
    for (const char* folder : {"g", "q", "b", "x"}) {
        for (const std::string& file : FilesIn(folder)) {
            ++count;
            EXPECT_EQ(Loads(ReadBytes(ConformanceFile("bmpsuite/" + file)), file),
                      refused.count(file) == 0)
                << file;
        }
    }
    EXPECT_GE(count, 91u);
}

TEST(BmpCodec, EveryFormatRoundTripsThroughAFile) {
    std::mt19937 random(7);
    TempFolder dir;
    for (const PixelFormat format :
         {PixelFormat::Pf1Bit, PixelFormat::Pf4Bit, PixelFormat::Pf8Bit, PixelFormat::Pf15Bit,
          PixelFormat::Pf16Bit, PixelFormat::Pf24Bit, PixelFormat::Pf32Bit}) {
        for (const auto& [width, height] : {std::pair{1, 1}, {3, 2}, {31, 5}, {127, 4}}) {
            SCOPED_TRACE(testing::Message() << static_cast<int>(format) << " " << width);
            Bitmap picture(width, height, format);
            const int bits = picture.BitsPerPixel();
            const std::size_t rowBits = static_cast<std::size_t>(width) * (bits == 15 ? 16 : bits);
            for (int y = 0; y < height; ++y) {
                for (std::size_t i = 0; i < (rowBits + 7) / 8; ++i)
                    picture.ScanLine(y)[i] = static_cast<std::uint8_t>(random());
                // Bits past the last pixel of a 1- or 4-bit row are not picture.
                if (rowBits % 8 != 0)
                    picture.ScanLine(y)[rowBits / 8] &=
                        static_cast<std::uint8_t>(0xFF << (8 - rowBits % 8));
            }
            if (bits <= 8) {
                std::vector<PaletteEntry> palette(std::size_t{1} << bits);
                for (auto& entry : palette)
                    entry = {static_cast<std::uint8_t>(random()),
                             static_cast<std::uint8_t>(random()),
                             static_cast<std::uint8_t>(random()), 0};
                picture.SetPalette(palette);
            }
            const std::string path = dir.File("x.bmp");
            SavePicture(path, picture);
            EXPECT_EQ(LoadPictureFile(path, ".BMP"), picture);
        }
    }
}

TEST(BmpCodec, WrittenFileIsABottomUpDibWithMasksFor565) {
    Bitmap picture(2, 2, PixelFormat::Pf16Bit);
    picture.ScanLine(0)[0] = 0x11; // top left
    picture.ScanLine(1)[0] = 0x22; // bottom left
    const Bytes file = EncodeBmp(picture);
    ASSERT_EQ(file.size(), 14u + 40 + 12 + 2 * 4);
    EXPECT_EQ(file[22], 2);    // positive height: rows from the bottom
    EXPECT_EQ(file[30], 3);    // BI_BITFIELDS
    EXPECT_EQ(file[55], 0xF8); // red mask 0xF800
    EXPECT_EQ(file[66], 0x22);
    EXPECT_EQ(file[70], 0x11);

    Bitmap fifteen(1, 1, PixelFormat::Pf15Bit);
    const Bytes file15 = EncodeBmp(fifteen);
    EXPECT_EQ(file15[28], 16);
    EXPECT_EQ(file15[30], 0); // BI_RGB: 5-5-5 is the default 16-bit layout

    EXPECT_THROW(EncodeBmp(Bitmap()), Error);
    EXPECT_THROW(EncodeBmp(Bitmap(0, 5, PixelFormat::Pf8Bit)), Error);
}

TEST(BmpCodec, CutFilesAreRefusedUnlessRleKeepsWhatDecoded) {
    if (!HaveBmpSuite()) GTEST_SKIP() << "bmpsuite not found at " << ConformanceFile("bmpsuite");
    for (const char* name : {"g/pal8.bmp", "g/rgb24.bmp", "g/rgb16-565.bmp", "g/pal8v5.bmp",
                             "g/pal8os2.bmp", "q/rgba32-61754.bmp"}) {
        const Bytes whole = ReadBytes(ConformanceFile(std::string("bmpsuite/") + name));
        for (std::size_t size = 0; size < whole.size() - 3; ++size)
            EXPECT_FALSE(Loads(Bytes(whole.begin(), whole.begin() + size), name)) << size;
    }
    // The padding at the end of the last row may be missing (127 * 3 bytes
    // of pixels in rows of 384).
    const Bytes rgb = ReadBytes(ConformanceFile("bmpsuite/g/rgb24.bmp"));
    EXPECT_EQ(Decode(Bytes(rgb.begin(), rgb.end() - 3)), Decode(rgb));

    // RLE data cut short keeps what decoded; the rest is palette index 0.
    // Rows are stored from the bottom, so more data gives more whole rows.
    const Bytes rle = ReadBytes(ConformanceFile("bmpsuite/g/pal8rle.bmp"));
    const Bitmap full = Decode(rle);
    const std::size_t pixelStart = 1062;
    int wholeRows = 0;
    for (std::size_t size = 0; size < rle.size(); size += 53) {
        const Bytes cut(rle.begin(), rle.begin() + size);
        if (size < pixelStart + 2) {
            EXPECT_FALSE(Loads(cut, "cut RLE")) << size;
            continue;
        }
        const Bitmap part = Decode(cut);
        EXPECT_EQ(part.Palette(), full.Palette());
        for (int y = 0; y < full.Height(); ++y) {
            for (int x = 0; x < full.Width(); ++x) {
                const int got = part.ScanLine(y)[x];
                ASSERT_TRUE(got == 0 || got == full.ScanLine(y)[x])
                    << size << ": " << x << "," << y;
            }
        }
        int same = 0;
        for (int y = full.Height() - 1; y >= 0; --y, ++same)
            if (std::memcmp(part.ScanLine(y), full.ScanLine(y), full.Stride()) != 0) break;
        EXPECT_GE(same, wholeRows) << size;
        wholeRows = same;
    }
    EXPECT_GT(wholeRows, 50);
    EXPECT_EQ(Decode(Bytes(rle.begin(), rle.end() - 2)), full); // without the end mark
}

TEST(BmpCodec, DamagedHeadersGiveTheBitmapError) {
    if (!HaveBmpSuite()) GTEST_SKIP() << "bmpsuite not found at " << ConformanceFile("bmpsuite");
    // Every byte of the headers set to values that upset sizes and offsets.
    for (const char* name : {"g/pal4rle.bmp", "g/pal8os2.bmp", "g/rgb16-565.bmp", "q/rgba32abf.bmp",
                             "g/pal8v5.bmp", "q/pal8os2v2-16.bmp"}) {
        const Bytes whole = ReadBytes(ConformanceFile(std::string("bmpsuite/") + name));
        for (std::size_t pos = 0; pos < 160 && pos < whole.size(); ++pos) {
            for (const int value : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
                Bytes damaged = whole;
                damaged[pos] = static_cast<std::uint8_t>(value);
                Loads(damaged, name);
            }
        }
    }
    Bytes bad = ReadBytes(ConformanceFile("bmpsuite/g/pal8.bmp"));
    Put32(bad, 22, 0x80000000u); // the most negative height
    EXPECT_FALSE(Loads(bad, "height"));
    Put32(bad, 10, 40); // pixels inside the header
    EXPECT_FALSE(Loads(bad, "offset"));
}

TEST(BmpCodec, BitFieldMasksMustBeDisjointContiguousRuns) {
    if (!HaveBmpSuite()) GTEST_SKIP() << "bmpsuite not found at " << ConformanceFile("bmpsuite");
    const Bytes base = ReadBytes(ConformanceFile("bmpsuite/g/rgb16-565.bmp"));
    auto withMasks = [&](std::uint32_t r, std::uint32_t g, std::uint32_t b) {
        Bytes file = base;
        Put32(file, 54, r);
        Put32(file, 58, g);
        Put32(file, 62, b);
        return file;
    };
    EXPECT_FALSE(Loads(withMasks(0xF800, 0x0FE0, 0x001F), "overlap"));
    EXPECT_FALSE(Loads(withMasks(0xF800, 0x07A0, 0x001F), "gap"));
    EXPECT_FALSE(Loads(withMasks(0, 0, 0), "none"));
    EXPECT_FALSE(Loads(withMasks(0x1F0000, 0x07E0, 0x001F), "beyond 16 bits"));

    // One-bit channels stretch to the full range.
    Bytes ones = withMasks(0x4, 0x2, 0x1);
    Put32(ones, 66, 0x0005u); // first pixel of the bottom row
    const Bitmap picture = Decode(ones);
    EXPECT_EQ(picture.Format(), PixelFormat::Pf24Bit);
    const std::uint8_t* magenta = picture.ScanLine(picture.Height() - 1);
    EXPECT_EQ((std::vector<int>{magenta[0], magenta[1], magenta[2]}),
              (std::vector<int>{255, 0, 255}));
}

TEST(BmpCodec, RleRunsDeltasAndLineEnds) {
    // 8-bit, 5x3 from the bottom row: a run, an odd absolute run with its
    // pad byte, an end of line, a run, an early end of line, a delta, a run
    // and the end mark.
    const Bytes rle8 = {2, 7, 0, 3, 1, 2, 3, 0, 0, 0, 1, 4, 0, 0, 0, 2, 1, 0, 1, 9, 0, 1};
    const Bitmap eight = Decode(MakeBmp(5, 3, 8, 1, rle8));
    EXPECT_EQ(Indices(eight),
              (std::vector<std::vector<int>>{{0, 9, 0, 0, 0}, {4, 0, 0, 0, 0}, {7, 7, 1, 2, 3}}));

    // 4-bit, odd width 3: runs alternate nibbles and may fill the unused half
    // of the row's last byte.
    const Bytes rle4 = {4, 0x12, 0, 0, 0, 3, 0x45, 0x60, 0, 0, 0, 1};
    EXPECT_EQ(Indices(Decode(MakeBmp(3, 2, 4, 2, rle4))),
              (std::vector<std::vector<int>>{{4, 5, 6}, {1, 2, 1}}));

    // Data that leads outside the picture cannot be placed: refused.
    EXPECT_FALSE(Loads(MakeBmp(5, 3, 8, 1, {6, 1, 0, 1}), "run past the row"));
    EXPECT_FALSE(Loads(MakeBmp(5, 3, 8, 1, {0, 2, 6, 0, 0, 1}), "delta past the row"));
    EXPECT_FALSE(Loads(MakeBmp(5, 3, 8, 1, {0, 2, 0, 3, 0, 1}), "delta past the top"));
    EXPECT_FALSE(Loads(MakeBmp(5, 1, 8, 1, {0, 0, 1, 1, 0, 1}), "run past the top"));
    EXPECT_FALSE(Loads(MakeBmp(4, 1, 4, 2, {5, 0x11, 0, 1}), "RLE4 run past an even row"));

    // An absolute run cut by the end of the file keeps the pixels present.
    EXPECT_EQ(Indices(Decode(MakeBmp(5, 1, 8, 1, {0, 4, 5, 6}))),
              (std::vector<std::vector<int>>{{5, 6, 0, 0, 0}}));
}
