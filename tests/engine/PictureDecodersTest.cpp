#include "Error.h"
#include "PictureFiles.h"
#include "PictureTestSupport.h"
#include "TestSupport.h"
#include "formats/GifReader.h"
#include "formats/JpegReader.h"
#include "formats/PcxReader.h"
#include "formats/PictureFormats.h"
#include "formats/TgaReader.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>

#include <csetjmp>
#include <cstdio>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace torvi {
namespace {

using test::CompareWithReference;
using test::DataFile;
using test::ReadBytes;
using test::ReadReference;

struct Fixture {
    const char* File;
    const char* Reference;
    PixelFormat Format;
    int Tolerance = 0;
    std::uint8_t Mask = 0xFF; // 0xF8 for pictures of five bits per channel
};

std::string Picture(const std::string& name) {
    return DataFile("pictures/" + name);
}

void PrintTo(const Fixture& f, std::ostream* out) {
    *out << f.File;
}

class PictureVariant : public ::testing::TestWithParam<Fixture> {};

// Every variant decodes, through the registry, to the same pixels as its
// lossless reference and in its natural pixel format. Alpha is compared where
// the reference has it.
TEST_P(PictureVariant, MatchesItsReference) {
    const Fixture& f = GetParam();
    const Bitmap bitmap = LoadAnyPicture(Picture(f.File));
    EXPECT_EQ(bitmap.Format(), f.Format);
    const auto reference = ReadReference(Picture(f.Reference));
    EXPECT_EQ(CompareWithReference(bitmap, reference, f.Tolerance, f.Mask, reference.HasAlpha), "");
}

// Readers of another implementation (ImageMagick, noted "im-") and of the
// committed generator make_pcx_tga.py agree on the same pictures.
INSTANTIATE_TEST_SUITE_P(
    Pcx, PictureVariant,
    ::testing::Values(
        Fixture{"pcx-v0-4planes.pcx", "ref16.ppm", PixelFormat::Pf4Bit},
        Fixture{"pcx-v2-4bit.pcx", "ref16.ppm", PixelFormat::Pf4Bit},
        Fixture{"pcx-v3-4planes-ega.pcx", "pcx-v3-4planes-ega.ppm", PixelFormat::Pf4Bit},
        Fixture{"pcx-v4-1bit.pcx", "ref2.ppm", PixelFormat::Pf1Bit},
        Fixture{"pcx-v5-1bit-odd-bpl.pcx", "ref2.ppm", PixelFormat::Pf1Bit},
        Fixture{"pcx-v5-4planes-raw.pcx", "ref16.ppm", PixelFormat::Pf4Bit},
        Fixture{"pcx-v5-8bit-raw.pcx", "ref200.ppm", PixelFormat::Pf8Bit},
        Fixture{"pcx-v5-8bit-runs-across-lines.pcx", "ref200.ppm", PixelFormat::Pf8Bit},
        Fixture{"pcx-v5-24bit-odd-bpl.pcx", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"im-pcx-24bit.pcx", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"im-pcx-8bit.pcx", "im-pcx-8bit.ref.ppm", PixelFormat::Pf8Bit}));

INSTANTIATE_TEST_SUITE_P(
    Tga, PictureVariant,
    ::testing::Values(
        Fixture{"tga-type1-bottom-up.tga", "ref16.ppm", PixelFormat::Pf8Bit},
        Fixture{"tga-type9-map-start-32bit-map.tga", "ref16.ppm", PixelFormat::Pf8Bit},
        Fixture{"tga-type2-24bit-bottom-up.tga", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tga-type2-32bit-top-down-alpha.tga", "tga-type2-32bit-top-down-alpha.pam",
                PixelFormat::Pf32Bit},
        Fixture{"tga-type2-15bit-top-left.tga", "ref24.ppm", PixelFormat::Pf15Bit, 0, 0xF8},
        Fixture{"tga-type2-16bit-right-to-left.tga", "ref24.ppm", PixelFormat::Pf15Bit, 0, 0xF8},
        Fixture{"tga-type10-24bit-footer.tga", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tga-type10-32bit-top-right.tga", "tga-type2-32bit-top-down-alpha.pam",
                PixelFormat::Pf32Bit},
        Fixture{"tga-type3-grey.tga", "ref-grey.pgm", PixelFormat::Pf8Bit},
        Fixture{"tga-type11-grey-top-right.tga", "ref-grey.pgm", PixelFormat::Pf8Bit},
        Fixture{"im-tga-type1.tga", "ref16.ppm", PixelFormat::Pf8Bit},
        Fixture{"im-tga-type2.tga", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"im-tga-type9.tga", "ref16.ppm", PixelFormat::Pf8Bit},
        Fixture{"im-tga-type10.tga", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"im-tga-type11.tga", "ref-grey.pgm", PixelFormat::Pf8Bit}));

INSTANTIATE_TEST_SUITE_P(
    Gif, PictureVariant,
    ::testing::Values(
        Fixture{"gif-global-palette.gif", "gif-global-palette.ref.ppm", PixelFormat::Pf8Bit},
        Fixture{"gif-local-palette.gif", "gif-global-palette.ref.ppm", PixelFormat::Pf8Bit},
        Fixture{"gif-interlaced.gif", "gif-global-palette.ref.ppm", PixelFormat::Pf8Bit},
        Fixture{"gif-animated.gif", "ref16.ppm", PixelFormat::Pf8Bit}));

// PNG's own variants are the conformance suite's; this one shows the frame
// loader reads an interlaced colour PNG like any other picture.
INSTANTIATE_TEST_SUITE_P(Png, PictureVariant,
                         ::testing::Values(Fixture{"png-rgb-interlaced.png", "ref24.ppm",
                                                   PixelFormat::Pf24Bit}));

// The JPEG references were decoded by another libjpeg program with its
// default settings.
INSTANTIATE_TEST_SUITE_P(
    Jpeg, PictureVariant,
    ::testing::Values(
        Fixture{"jpeg-baseline.jpg", "jpeg-baseline.ref.ppm", PixelFormat::Pf24Bit},
        Fixture{"jpeg-progressive.jpg", "jpeg-progressive.ref.ppm", PixelFormat::Pf24Bit},
        Fixture{"jpeg-422.jpg", "jpeg-422.ref.ppm", PixelFormat::Pf24Bit},
        Fixture{"jpeg-grey.jpg", "jpeg-grey.ref.ppm", PixelFormat::Pf8Bit},
        Fixture{"jpeg-cmyk-adobe.jpg", "jpeg-cmyk-adobe.ref.ppm", PixelFormat::Pf24Bit, 1}));

INSTANTIATE_TEST_SUITE_P(
    Tiff, PictureVariant,
    ::testing::Values(
        Fixture{"tiff-rgb-none.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgb-lzw-bigendian.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgb-deflate.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgb-packbits.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgb-tiled.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgb-planar.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgb-16bit.tif", "ref24.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-rgba.tif", "tiff-rgba.ref.pam", PixelFormat::Pf32Bit},
        Fixture{"tiff-jpeg.tif", "tiff-jpeg.ref.ppm", PixelFormat::Pf24Bit},
        Fixture{"tiff-ycbcr-jpeg.tif", "tiff-ycbcr-jpeg.ref.ppm", PixelFormat::Pf24Bit, 2},
        Fixture{"tiff-cmyk.tif", "tiff-cmyk.ref.ppm", PixelFormat::Pf24Bit, 1},
        Fixture{"tiff-palette-8bit.tif", "tiff-palette-8bit.ref.ppm", PixelFormat::Pf8Bit},
        Fixture{"tiff-palette-4bit.tif", "tiff-palette-4bit.ref.ppm", PixelFormat::Pf4Bit},
        Fixture{"tiff-bilevel-g3.tif", "ref2.ppm", PixelFormat::Pf1Bit},
        Fixture{"tiff-bilevel-g4.tif", "ref2.ppm", PixelFormat::Pf1Bit},
        Fixture{"tiff-bilevel-minisblack.tif", "ref2.ppm", PixelFormat::Pf1Bit},
        Fixture{"tiff-grey-8bit.tif", "ref-grey.pgm", PixelFormat::Pf8Bit},
        Fixture{"tiff-grey-miniswhite.tif", "tiff-grey-miniswhite.ref.pgm", PixelFormat::Pf8Bit},
        Fixture{"tiff-grey-16bit.tif", "ref-grey.pgm", PixelFormat::Pf8Bit},
        Fixture{"tiff-grey-4bit.tif", "tiff-grey-4bit.ref.pgm", PixelFormat::Pf8Bit}));

// Pictures stored turned or mirrored come out the way their orientation tag
// says they are seen, on every reading path.
INSTANTIATE_TEST_SUITE_P(
    TiffOrientation, PictureVariant,
    ::testing::Values(Fixture{"tiff-orient2-rgb.tif", "tiff-orient2.ref.ppm", PixelFormat::Pf24Bit},
                      Fixture{"tiff-orient4-rgb.tif", "tiff-orient4.ref.ppm", PixelFormat::Pf24Bit},
                      Fixture{"tiff-orient5-rgb.tif", "tiff-orient5.ref.ppm", PixelFormat::Pf24Bit},
                      Fixture{"tiff-orient6-rgb.tif", "tiff-orient6.ref.ppm", PixelFormat::Pf24Bit},
                      Fixture{"tiff-orient7-rgb.tif", "tiff-orient7.ref.ppm", PixelFormat::Pf24Bit},
                      Fixture{"tiff-orient8-rgb.tif", "tiff-orient8.ref.ppm", PixelFormat::Pf24Bit},
                      Fixture{"tiff-orient6-palette-4bit.tif", "tiff-orient6-palette-4bit.ref.ppm",
                              PixelFormat::Pf4Bit},
                      Fixture{"tiff-orient6-cmyk.tif", "tiff-orient6-cmyk.ref.ppm",
                              PixelFormat::Pf24Bit, 1}));

// The first image of a GIF sits at its place on the logical screen; the rest
// of the screen shows the background colour the file names.
TEST(GifReader, PlacesTheFirstImageOnTheLogicalScreen) {
    const auto bytes = ReadBytes(Picture("gif-on-larger-screen.gif"));
    const Bitmap bitmap = DecodeGif(bytes.data(), bytes.size());
    ASSERT_EQ(bitmap.Width(), 50);
    ASSERT_EQ(bitmap.Height(), 40);
    const auto image = ReadReference(Picture("ref16.ppm"));
    const std::size_t bg = bytes[11];
    const std::uint8_t* table = bytes.data() + 13;
    const Bitmap bgr = bitmap.ToBgr24();
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 50; ++x) {
            const std::uint8_t* got = bgr.ScanLine(y) + 3 * x;
            const bool inside = x >= 5 && x < 5 + image.Width && y >= 3 && y < 3 + image.Height;
            const std::uint8_t* want = inside ? image.Pixel(x - 5, y - 3) : table + 3 * bg;
            ASSERT_TRUE(got[2] == want[0] && got[1] == want[1] && got[0] == want[2])
                << "at " << x << "," << y << (inside ? " in the image" : " on the background");
        }
    }
}

// A GIF with a screen and palette but no image gives no picture, and the
// frame loader passes that on rather than failing.
TEST(GifReader, EmptyGifGivesAnEmptyBitmap) {
    const std::vector<std::uint8_t> bytes = {'G',  'I', 'F', '8', '9', 'a', 4,   0,   3,   0,
                                             0x80, 0,   0,   0,   0,   0,   255, 255, 255, 0x3B};
    EXPECT_TRUE(DecodeGif(bytes.data(), bytes.size()).Empty());
    test::TempFolder folder;
    folder.Write("empty.gif", std::string(bytes.begin(), bytes.end()));
    EXPECT_TRUE(LoadPictureFile(folder.File("empty.gif"), ".GIF").Empty());
}

// Encodes a picture with libjpeg as the camera and scanner software does, to
// reach the variants that no tool at hand writes.
struct JpegSettings {
    J_COLOR_SPACE Input = JCS_RGB;
    J_COLOR_SPACE Stored = JCS_YCbCr;
    unsigned RestartInterval = 0;
    bool AdobeMarker = true;
};

std::vector<std::uint8_t> EncodeJpeg(const std::vector<std::uint8_t>& samples, int width,
                                     int height, const JpegSettings& settings) {
    return test::EncodeJpeg(samples, width, height, settings.Input == JCS_CMYK ? 4 : 3,
                            settings.Input, [&](jpeg_compress_struct& info) {
                                jpeg_set_colorspace(&info, settings.Stored);
                                jpeg_set_quality(&info, 95, TRUE);
                                for (int c = 0; c < info.num_components; ++c)
                                    info.comp_info[c].h_samp_factor =
                                        info.comp_info[c].v_samp_factor = 1;
                                info.restart_interval = settings.RestartInterval;
                                info.write_Adobe_marker = settings.AdobeMarker ? TRUE : FALSE;
                            });
}

// Restart markers change how the data is cut, not the picture. CMYK comes in
// three forms: Adobe's inverted inks, YCCK (also inverted) and plain inks
// without Adobe's marker; all three show the same colours.
TEST(JpegReader, RestartMarkersAndInkVariantsGiveTheSamePicture) {
    const auto reference = ReadReference(Picture("ref24.ppm"));
    const int w = reference.Width, h = reference.Height;
    std::vector<std::uint8_t> rgb, inverted, plain;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = reference.Pixel(x, y);
            rgb.insert(rgb.end(), p, p + 3);
            // Inks without black: cyan, magenta and yellow are the missing red, green, blue.
            const std::uint8_t ink[4] = {static_cast<std::uint8_t>(255 - p[0]),
                                         static_cast<std::uint8_t>(255 - p[1]),
                                         static_cast<std::uint8_t>(255 - p[2]), 0};
            for (int c = 0; c < 4; ++c) {
                plain.push_back(ink[c]);
                inverted.push_back(static_cast<std::uint8_t>(255 - ink[c]));
            }
        }
    }
    const auto plainRgb = EncodeJpeg(rgb, w, h, {});
    const auto restarts = EncodeJpeg(rgb, w, h, {JCS_RGB, JCS_YCbCr, 1, true});
    ASSERT_NE(plainRgb, restarts);
    const Bitmap a = DecodeJpeg(plainRgb.data(), plainRgb.size());
    const Bitmap b = DecodeJpeg(restarts.data(), restarts.size());
    EXPECT_EQ(a, b);
    // Lossy compression of sharp edges: the same picture within a few steps,
    // where a wrong colour model or inverted inks would be off by far more.
    EXPECT_EQ(CompareWithReference(a, reference, 24), "");

    const auto adobe = EncodeJpeg(inverted, w, h, {JCS_CMYK, JCS_CMYK, 0, true});
    const auto ycck = EncodeJpeg(inverted, w, h, {JCS_CMYK, JCS_YCCK, 0, true});
    const auto noMarker = EncodeJpeg(plain, w, h, {JCS_CMYK, JCS_CMYK, 0, false});
    for (const auto* file : {&adobe, &ycck, &noMarker}) {
        const Bitmap bitmap = DecodeJpeg(file->data(), file->size());
        EXPECT_EQ(bitmap.Format(), PixelFormat::Pf24Bit);
        EXPECT_EQ(CompareWithReference(bitmap, reference, 24), "");
    }
}

// Every format refuses a file cut short, a file with a damaged header and a
// header that asks for an absurd picture, with its own message and without
// reading past the data (the sanitizer build checks that part).
TEST(PictureDecoders, RefuseTruncatedAndCorruptFiles) {
    const char* complete[] = {"pcx-v5-24bit-odd-bpl.pcx",
                              "pcx-v5-8bit-raw.pcx",
                              "pcx-v5-4planes-raw.pcx",
                              "pcx-v2-4bit.pcx",
                              "im-pcx-8bit.pcx",
                              "tga-type1-bottom-up.tga",
                              "tga-type2-24bit-bottom-up.tga",
                              "tga-type10-32bit-top-right.tga",
                              "tga-type9-map-start-32bit-map.tga",
                              "gif-global-palette.gif",
                              "gif-interlaced.gif",
                              "jpeg-baseline.jpg",
                              "jpeg-progressive.jpg",
                              "png-rgb-interlaced.png",
                              "tiff-rgb-none.tif",
                              "tiff-rgb-tiled.tif",
                              "tiff-bilevel-g4.tif",
                              "tiff-ycbcr-jpeg.tif",
                              "tiff-cmyk.tif"};
    // Every refusal's message, file by file, against the list written once
    // (TORVI_WRITE_MESSAGES=1 writes it anew from what the readers say).
    std::string said;
    for (const char* name : complete) {
        const auto bytes = ReadBytes(Picture(name));
        const std::pair<const char*, std::size_t> cuts[] = {{"half", bytes.size() / 2},
                                                            {"nine tenths", bytes.size() * 9 / 10},
                                                            {"20 bytes", 20},
                                                            {"nothing", 0}};
        for (const auto& [cutName, keep] : cuts) {
            const std::string where = std::string(name) + " cut to " + cutName;
            const std::vector<std::uint8_t> cut(bytes.begin(),
                                                bytes.begin() + static_cast<std::ptrdiff_t>(keep));
            try {
                DecodeRegisteredPicture(cut.data(), cut.size(), name);
                ADD_FAILURE() << where << " was accepted";
            } catch (const Error& e) {
                said += where + ": " + e.what() + "\n";
            }
        }
    }

    const std::string corrupt = "pictures/corrupt/";
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(DataFile(corrupt)))
        if (entry.path().extension() != ".txt") names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        try {
            (void)LoadAnyPicture(DataFile(corrupt + name));
            ADD_FAILURE() << name << " was accepted";
        } catch (const Error& e) {
            said += name + ": " + e.what() + "\n";
        }
    }
    const std::string expected = DataFile(corrupt + "messages.txt");
    if (std::getenv("TORVI_WRITE_MESSAGES")) {
        std::ofstream(expected, std::ios::binary) << said;
        return;
    }
    const std::vector<std::uint8_t> want = ReadBytes(expected);
    EXPECT_EQ(said, std::string(want.begin(), want.end()));
}

} // namespace
} // namespace torvi
