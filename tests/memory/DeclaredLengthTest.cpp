// Every reader on files whose declared lengths are absurd: each size, count
// and position field of a small sample file set in turn to 2^31 - 1 and
// 2^32 - 1, and to 2^24 - 1, 2^26 - 1 and 2^28 - 1, which pass the libraries'
// own sanity checks on counts but not what a file of a few kilobytes holds.
// Each variant must be read or refused with the reader's own message, and
// the process must never hold more than a small bound of memory meanwhile: a
// size is checked against the bytes present before it is allocated.
#include "AllocationCounter.h"
#include "LengthFields.h"

#include "Bitmap.h"
#include "Error.h"
#include "FileIO.h"
#include "analysis/Calibration.h"
#include "analysis/FrameLoader.h"
#include "analysis/RotationMeasurement.h"
#include "formats/BmpCodec.h"
#include "formats/GifReader.h"
#include "formats/JpegReader.h"
#include "formats/PcxReader.h"
#include "formats/PngReader.h"
#include "formats/TgaReader.h"
#include "formats/TiffCodec.h"
#include "video/FilmReader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

namespace torvi::test {
namespace {

constexpr std::size_t MemoryBound = std::size_t{64} << 20;
constexpr std::uint32_t AbsurdLengths[] = {0x00FFFFFFu, 0x03FFFFFFu, 0x0FFFFFFFu, 0x7FFFFFFFu,
                                           0xFFFFFFFFu};

Bytes Fixture(const std::string& name) {
    return ReadWholeFile(std::string(TORVI_TEST_DATA) + "/" + name);
}

// A PNG that also carries the ancillary chunks the reader has no use for:
// text (plain, compressed and international), a colour profile, a suggested
// palette, Exif data and a private chunk.
Bytes PngWithAncillaryChunks() {
    const Bytes plain = Fixture("pictures/png-rgb-interlaced.png");
    const std::size_t afterHeader = 8 + 25;
    Bytes out(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(afterHeader));
    const Bytes text = {'C', 'o', 'm', 'm', 'e', 'n', 't', 0, 'h', 'i'};
    const Bytes compressed = {'C',  'o',  'm', 'm', 'e', 'n', 't', 0, 0,
                              0x78, 0x9C, 3,   0,   0,   0,   0,   1};
    const Bytes profile = {'p', 0, 0, 0x78, 0x9C, 3, 0, 0, 0, 0, 1};
    const Bytes international = {'C', 0, 0, 0, 0, 0, 'h', 'i'};
    const Bytes suggested = {'s', 0, 8, 1, 2, 3, 4, 0, 1};
    const Bytes exif = {'M', 'M', 0, 42, 0, 0, 0, 8};
    for (const auto& [type, data] :
         {std::pair{"tEXt", text}, std::pair{"zTXt", compressed}, std::pair{"iTXt", international},
          std::pair{"iCCP", profile}, std::pair{"sPLT", suggested}, std::pair{"eXIf", exif},
          std::pair{"prVt", text}}) {
        const Bytes chunk = PngChunk(type, data);
        out.insert(out.end(), chunk.begin(), chunk.end());
    }
    out.insert(out.end(), plain.begin() + static_cast<std::ptrdiff_t>(afterHeader), plain.end());
    return out;
}

// An 8-bit run-length BMP of 16 by 4 pixels, made from a plain one; with a
// larger size, its runs fill the first rows and the rest stays index 0.
Bytes RleBmp(std::uint32_t width = 16, std::uint32_t height = 4) {
    Bitmap picture(16, 4, PixelFormat::Pf8Bit);
    picture.SetPalette(GreyPalette(8));
    Bytes file = EncodeBmp(picture);
    const std::size_t pixelStart = file[10] | (file[11] << 8);
    file.resize(pixelStart);
    for (int row = 0; row < 4; ++row)
        file.insert(file.end(), {16, static_cast<std::uint8_t>(row * 40), 0, 0});
    file.insert(file.end(), {0, 1});
    file[30] = 1; // BI_RLE8
    for (int i = 0; i < 4; ++i) {
        file[18 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(width >> (8 * i));
        file[22 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(height >> (8 * i));
    }
    const auto imageSize = static_cast<std::uint32_t>(file.size() - pixelStart);
    for (int i = 0; i < 4; ++i)
        file[34 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(imageSize >> (8 * i));
    return file;
}

Bytes PlainBmp() {
    Bitmap picture(17, 5, PixelFormat::Pf8Bit);
    picture.SetPalette(GreyPalette(8));
    return EncodeBmp(picture);
}

struct PictureSample {
    const char* Name;
    std::function<Bytes()> File;
    std::vector<LengthField> (*Fields)(const Bytes&);
    Bitmap (*Decode)(const std::uint8_t*, std::size_t);
    const char* Message; // how every message of the reader begins
    // Whether the data must grow with the picture's size: not for run
    // lengths that may stop early, LZW or arithmetic coding.
    bool DataBoundsSize;
};

// The PNG reader on a copy with its checksums made right again.
Bitmap DecodeRepairedPng(const std::uint8_t* data, std::size_t size) {
    Bytes file(data, data + size);
    RepairPngChecksums(file);
    return DecodePng(file.data(), file.size());
}

std::function<Bytes()> FromFixture(const char* name) {
    return [name] { return Fixture(std::string("pictures/") + name); };
}

const PictureSample PictureSamples[] = {
    {"PNG with ancillary chunks", PngWithAncillaryChunks, PngFields, DecodeRepairedPng, "PNG image",
     true},
    {"GIF", FromFixture("gif-global-palette.gif"), GifFields, DecodeGif, "GIF image", true},
    {"GIF interlaced", FromFixture("gif-interlaced.gif"), GifFields, DecodeGif, "GIF image", true},
    {"JPEG baseline", FromFixture("jpeg-baseline.jpg"), JpegFields, DecodeJpeg, "JPEG image", true},
    {"JPEG progressive", FromFixture("jpeg-progressive.jpg"), JpegFields, DecodeJpeg, "JPEG image",
     true},
    {"TIFF raw", FromFixture("tiff-rgb-none.tif"), TiffFields, DecodeTiff, "TIFF image", true},
    {"TIFF PackBits", FromFixture("tiff-rgb-packbits.tif"), TiffFields, DecodeTiff, "TIFF image",
     true},
    {"TIFF deflate", FromFixture("tiff-rgb-deflate.tif"), TiffFields, DecodeTiff, "TIFF image",
     true},
    {"TIFF tiles", FromFixture("tiff-rgb-tiled.tif"), TiffFields, DecodeTiff, "TIFF image", false},
    {"TIFF big-endian LZW", FromFixture("tiff-rgb-lzw-bigendian.tif"), TiffFields, DecodeTiff,
     "TIFF image", false},
    {"TIFF palette", FromFixture("tiff-palette-8bit.tif"), TiffFields, DecodeTiff, "TIFF image",
     false},
    {"TIFF JPEG", FromFixture("tiff-jpeg.tif"), TiffFields, DecodeTiff, "TIFF image", false},
    {"BMP", PlainBmp, BmpFields, DecodeBmp, BitmapNotValid, true},
    {"BMP RLE8", [] { return RleBmp(); }, BmpFields, DecodeBmp, BitmapNotValid, false},
    {"PCX", FromFixture("im-pcx-8bit.pcx"), PcxFields, DecodePcx, "PCX image", true},
    {"PCX 24-bit", FromFixture("im-pcx-24bit.pcx"), PcxFields, DecodePcx, "PCX image", true},
    {"TGA colour-mapped", FromFixture("im-tga-type1.tga"), TgaFields, DecodeTga, "TGA image", true},
    {"TGA run-length", FromFixture("tga-type10-24bit-footer.tga"), TgaFields, DecodeTga,
     "TGA image", true},
};

// Decodes the variant and checks that it is read or refused with the
// reader's message, within the memory bound. True when it was refused.
bool ExpectReadOrRefusedWithinBound(const PictureSample& sample, const Bytes& variant) {
    bool refused = true;
    AllocationCounter::StartPeak();
    try {
        sample.Decode(variant.data(), variant.size());
        refused = false;
    } catch (const Error& e) {
        EXPECT_EQ(std::string(e.what()).rfind(sample.Message, 0), 0u) << e.what();
    } catch (const std::exception& e) {
        ADD_FAILURE() << "not the reader's error: " << e.what();
    }
    EXPECT_LT(AllocationCounter::Peak(), MemoryBound);
    return refused;
}

// The bound means something only if the counter sees what the libraries
// allocate: a block from C's malloc and one from operator new, both freed.
TEST(DeclaredLength, TheCounterSeesEveryAllocation) {
    AllocationCounter::StartPeak();
    void* block = std::malloc(MemoryBound);
    ASSERT_NE(block, nullptr);
    static_cast<volatile char*>(block)[0] = 1;
    std::free(block);
    EXPECT_GE(AllocationCounter::Peak(), MemoryBound);
    AllocationCounter::StartPeak();
    { const std::vector<char> bytes(MemoryBound / 2); }
    EXPECT_GE(AllocationCounter::Peak(), MemoryBound / 2);
    EXPECT_LT(AllocationCounter::Peak(), MemoryBound);
}

TEST(DeclaredLength, EveryPictureReaderRefusesAbsurdLengthsWithinTheMemoryBound) {
    for (const PictureSample& sample : PictureSamples) {
        SCOPED_TRACE(sample.Name);
        const Bytes file = sample.File();
        // The untouched sample reads, so a refusal below is the field's doing.
        ASSERT_NO_THROW(sample.Decode(file.data(), file.size()));
        const std::vector<LengthField> fields = sample.Fields(file);
        ASSERT_GE(fields.size(), 4u);
        for (const LengthField& field : fields) {
            for (const std::uint32_t value : AbsurdLengths) {
                SCOPED_TRACE(field.Name + " = " + std::to_string(value));
                ExpectReadOrRefusedWithinBound(sample, WithField(file, field, value));
            }
        }
    }
}

// Width and height together as large as the picture cap allows: where the
// data must grow with the picture, a few kilobytes cannot describe 16383 by
// 16383 pixels, and the reader finds so before it allocates them. (Run
// lengths that may stop early, LZW and arithmetic coding give no such bound;
// the cap and the frame size a measurement expects bound those.)
TEST(DeclaredLength, ReadersWhoseDataGrowsWithThePictureRefuseALargePictureInASmallFile) {
    using Axis = LengthField::Axis;
    for (const PictureSample& sample : PictureSamples) {
        if (!sample.DataBoundsSize) continue;
        SCOPED_TRACE(sample.Name);
        Bytes variant = sample.File();
        int dimensions = 0;
        for (const LengthField& field : sample.Fields(variant)) {
            if (field.Dimension == Axis::None) continue;
            variant = WithField(variant, field, 0x3FFF);
            ++dimensions;
        }
        ASSERT_GE(dimensions, 2);
        EXPECT_TRUE(ExpectReadOrRefusedWithinBound(sample, variant));
    }
}

// Run lengths give no bound: a kilobyte describes 16000 by 16000 pixels.
// Once the measurement knows its frame size, such a frame is refused before
// its pixels are allocated, in the calibration (after its first frame) and
// in the measurement (from the first frame on).
TEST(DeclaredLength, AFrameOfAnotherSizeIsRefusedBeforeItsPixelsAreAllocated) {
    const Bytes small = RleBmp();
    const Bytes large = RleBmp(16000, 16000);
    const FrameLoader loader = [&](int index, Bitmap& frame) {
        const Bytes& file = index == 0 ? small : large;
        frame = DecodeBmp(file.data(), file.size());
    };
    Bitmap reference;
    AllocationCounter::StartPeak();
    try {
        BuildReferenceImage(2, loader, HandColour::Dark, reference, {});
        ADD_FAILURE() << "the calibration took frames of two sizes";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), PicturesNotEqual);
    }
    EXPECT_LT(AllocationCounter::Peak(), MemoryBound);

    reference = Bitmap(16, 4, PixelFormat::Pf24Bit);
    MeasurementSettings settings;
    settings.CentreX = 8;
    settings.CentreY = 2;
    settings.HandRadius = 2;
    const FrameLoader largeOnly = [&](int, Bitmap& frame) {
        frame = DecodeBmp(large.data(), large.size());
    };
    AllocationCounter::StartPeak();
    EXPECT_THROW(MeasureHandRotation(1, largeOnly, reference, settings, {}), Error);
    EXPECT_LT(AllocationCounter::Peak(), MemoryBound);
}

struct FilmSample {
    const char* File;
    std::vector<LengthField> (*Fields)(const Bytes&);
};

const FilmSample FilmSamples[] = {
    {"films/mjpeg.avi", AviFields},         {"films/raw8-pal.avi", AviFields},
    {"films/mpeg4-bframes.avi", AviFields}, {"films/mpeg4-bframes.mp4", Mp4Fields},
    {"films/h264-opengop.mp4", Mp4Fields},  {"films/qtrle.mov", Mp4Fields},
};

TEST(DeclaredLength, TheFilmReaderRefusesOrReadsAbsurdHeadersWithinTheMemoryBound) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("torvi-lengths-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    for (const FilmSample& sample : FilmSamples) {
        SCOPED_TRACE(sample.File);
        const Bytes file = Fixture(sample.File);
        const std::vector<LengthField> fields = sample.Fields(file);
        ASSERT_GE(fields.size(), 4u);
        const std::string path = (folder / std::filesystem::path(sample.File).filename()).string();
        for (const LengthField& field : fields) {
            for (const std::uint32_t value : AbsurdLengths) {
                SCOPED_TRACE(field.Name + " = " + std::to_string(value));
                const Bytes variant = WithField(file, field, value);
                WriteFileAtomically(path, variant.data(), variant.size());
                AllocationCounter::StartPeak();
                try {
                    const auto film = FilmReader::Open(path);
                    Bitmap frame;
                    if (film->FrameCount() > 0) film->GetFrame(film->FrameCount() - 1, frame);
                } catch (const Error&) {
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "not the film reader's error: " << e.what();
                }
                EXPECT_LT(AllocationCounter::Peak(), MemoryBound);
            }
        }
    }
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace torvi::test
