// Every reader on files whose declared lengths are absurd: each size, count
// and position field of a small sample file set in turn to 2^31 - 1 and to
// 2^32 - 1. Each variant must be read or refused with the reader's own
// message, and the process must never hold more than a small bound of memory
// while it happens: a size is checked against the bytes present before it is
// allocated.
#include "AllocationCounter.h"
#include "LengthFields.h"

#include "Bitmap.h"
#include "Error.h"
#include "FileIO.h"
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
constexpr std::uint32_t AbsurdLengths[] = {0x7FFFFFFFu, 0xFFFFFFFFu};

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

// An 8-bit run-length BMP of 16 by 4 pixels, made from a plain one.
Bytes RleBmp() {
    Bitmap picture(16, 4, PixelFormat::Pf8Bit);
    picture.SetPalette(GreyPalette(8));
    Bytes file = EncodeBmp(picture);
    const std::size_t pixelStart = file[10] | (file[11] << 8);
    file.resize(pixelStart);
    for (int row = 0; row < 4; ++row)
        file.insert(file.end(), {16, static_cast<std::uint8_t>(row * 40), 0, 0});
    file.insert(file.end(), {0, 1});
    file[30] = 1; // BI_RLE8
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
};

std::function<Bytes()> FromFixture(const char* name) {
    return [name] { return Fixture(std::string("pictures/") + name); };
}

const PictureSample PictureSamples[] = {
    {"PNG with ancillary chunks", PngWithAncillaryChunks, PngFields, DecodePng, "PNG image"},
    {"GIF", FromFixture("gif-global-palette.gif"), GifFields, DecodeGif, "GIF image"},
    {"GIF interlaced", FromFixture("gif-interlaced.gif"), GifFields, DecodeGif, "GIF image"},
    {"JPEG baseline", FromFixture("jpeg-baseline.jpg"), JpegFields, DecodeJpeg, "JPEG image"},
    {"JPEG progressive", FromFixture("jpeg-progressive.jpg"), JpegFields, DecodeJpeg, "JPEG image"},
    {"TIFF strips", FromFixture("tiff-rgb-none.tif"), TiffFields, DecodeTiff, "TIFF image"},
    {"TIFF tiles", FromFixture("tiff-rgb-tiled.tif"), TiffFields, DecodeTiff, "TIFF image"},
    {"TIFF big-endian LZW", FromFixture("tiff-rgb-lzw-bigendian.tif"), TiffFields, DecodeTiff,
     "TIFF image"},
    {"TIFF palette", FromFixture("tiff-palette-8bit.tif"), TiffFields, DecodeTiff, "TIFF image"},
    {"TIFF JPEG", FromFixture("tiff-jpeg.tif"), TiffFields, DecodeTiff, "TIFF image"},
    {"BMP", PlainBmp, BmpFields, DecodeBmp, BitmapNotValid},
    {"BMP RLE8", RleBmp, BmpFields, DecodeBmp, BitmapNotValid},
    {"PCX", FromFixture("im-pcx-8bit.pcx"), PcxFields, DecodePcx, "PCX image"},
    {"PCX 24-bit", FromFixture("im-pcx-24bit.pcx"), PcxFields, DecodePcx, "PCX image"},
    {"TGA colour-mapped", FromFixture("im-tga-type1.tga"), TgaFields, DecodeTga, "TGA image"},
    {"TGA run-length", FromFixture("tga-type10-24bit-footer.tga"), TgaFields, DecodeTga,
     "TGA image"},
};

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
                const Bytes variant = WithField(file, field, value);
                AllocationCounter::StartPeak();
                try {
                    sample.Decode(variant.data(), variant.size());
                } catch (const Error& e) {
                    EXPECT_EQ(std::string(e.what()).rfind(sample.Message, 0), 0u) << e.what();
                } catch (const std::exception& e) {
                    ADD_FAILURE() << "not the reader's error: " << e.what();
                }
                EXPECT_LT(AllocationCounter::Peak(), MemoryBound);
            }
        }
    }
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
