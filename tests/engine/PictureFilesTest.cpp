#include "PictureFiles.h"
#include "Error.h"
#include "FileIO.h"
#include "PictureTestSupport.h"
#include "TestSupport.h"
#include "formats/PictureFormats.h"
#include "formats/TiffCodec.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace torvi {
namespace {

using test::DataFile;
using test::ReadBytes;
using test::TempFolder;

std::string Picture(const std::string& name) {
    return DataFile("pictures/" + name);
}

std::string Contents(const std::string& path) {
    const auto bytes = ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

std::string MessageOf(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return "(no error)";
}

// Each test picture is claimed by its own format's content test and by no
// format registered before it; TGA, which has no signature, claims none of
// the others. The conformance suites add many more files to the check.
TEST(PictureRegistry, ContentTestsClaimOnlyTheirOwnFiles) {
    std::vector<std::pair<std::string, std::string>> files; // path, expected format
    auto formatOfName = [](const std::string& name) -> std::string {
        const std::string ext = std::filesystem::path(name).extension().string();
        if (ext == ".pcx") return "PCX";
        if (ext == ".tga") return "TGA";
        if (ext == ".gif") return "GIF";
        if (ext == ".jpg") return "JPEG";
        if (ext == ".tif") return "TIFF";
        if (ext == ".png") return "PNG";
        if (ext == ".bmp") return "BMP";
        return {};
    };
    for (const auto& entry : std::filesystem::directory_iterator(DataFile("pictures")))
        if (!formatOfName(entry.path().string()).empty())
            files.emplace_back(entry.path().string(), formatOfName(entry.path().string()));
    for (const char* suite : {"pngsuite/png", "bmpsuite/g"}) {
        const std::string folder = test::ConformanceFile(suite);
        if (!std::filesystem::is_directory(folder)) continue;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            if (entry.path().filename().string()[0] != 'x') // broken on purpose
                files.emplace_back(entry.path().string(), formatOfName(entry.path().string()));
    }
    ASSERT_GT(files.size(), 50u);
    for (const auto& [path, expected] : files) {
        const auto bytes = ReadBytes(path);
        const PictureFormat* format = FormatForContent(bytes.data(), bytes.size());
        ASSERT_NE(format, nullptr) << path;
        EXPECT_EQ(format->Name, expected) << path;
    }
}

// For TIFF, PCX, TGA and PNG frames the content decides before the name; an
// unrecognised content falls back to the name's format, and an unknown name
// then is refused, naming the extension. GIF and JPEG frames go to
// their decoders whatever the content.
TEST(PictureFiles, LoadPictureFileChoosesTheDecoderLikeTheFrameLoader) {
    TempFolder folder;
    folder.Write("y.png", Contents(Picture("tiff-rgb-none.tif")));
    folder.Write("x.tga", Contents(Picture("pcx-v5-24bit-odd-bpl.pcx")));
    folder.Write("z.pcx", Contents(Picture("tga-type2-24bit-bottom-up.tga")));
    folder.Write("noise.Xyz", std::string(64, '\x07'));
    folder.Write("noise.tga", std::string(64, '\x07'));
    folder.Write("png.gif", Contents(Picture("pcx-v5-24bit-odd-bpl.pcx")));

    const Bitmap tiff = LoadPictureFile(folder.File("y.png"), ".PNG");
    EXPECT_EQ(tiff, LoadAnyPicture(Picture("tiff-rgb-none.tif")));
    const Bitmap pcx = LoadPictureFile(folder.File("x.tga"), ".TGA");
    EXPECT_EQ(pcx, LoadAnyPicture(Picture("pcx-v5-24bit-odd-bpl.pcx")));
    // TGA's content test is strict but a file it passes over still decodes by its name.
    const Bitmap tga = LoadPictureFile(folder.File("z.pcx"), ".PCX");
    EXPECT_EQ(tga, LoadAnyPicture(Picture("tga-type2-24bit-bottom-up.tga")));

    EXPECT_EQ(MessageOf([&] { LoadPictureFile(folder.File("noise.Xyz"), ".TIF"); }),
              "Unknown picture file extension (.XYZ)");
    EXPECT_EQ(MessageOf([&] { LoadAnyPicture(folder.File("noise.Xyz")); }),
              "Unknown picture file extension (.XYZ)");
    EXPECT_EQ(MessageOf([&] { LoadPictureFile(folder.File("noise.tga"), ".TGA"); }),
              "TGA image is not valid");
    EXPECT_EQ(MessageOf([&] { LoadPictureFile(folder.File("missing.png"), ".PNG"); }),
              "Cannot open file " + folder.File("missing.png"));
    EXPECT_NE(MessageOf([&] {
                  LoadPictureFile(folder.File("png.gif"), ".GIF");
              }).find("GIF image is not valid"),
              std::string::npos);
    EXPECT_NE(MessageOf([&] {
                  LoadPictureFile(Picture("gif-animated.gif"), ".JPG");
              }).find("JPEG image is not valid"),
              std::string::npos);
}

Bitmap TestPicture(PixelFormat format) {
    Bitmap bitmap(13, 7, format);
    for (int y = 0; y < bitmap.Height(); ++y)
        for (std::size_t i = 0; i < bitmap.Stride(); ++i)
            bitmap.ScanLine(y)[i] = static_cast<std::uint8_t>(y * 31 + static_cast<int>(i) * 7);
    if (bitmap.BitsPerPixel() <= 8) {
        std::vector<PaletteEntry> palette(std::size_t{1} << bitmap.BitsPerPixel());
        for (std::size_t i = 0; i < palette.size(); ++i)
            palette[i] = {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i),
                          static_cast<std::uint8_t>(i * 3), 0};
        bitmap.SetPalette(palette);
    }
    return bitmap;
}

// Compares the colours of the pixels, leaving out the padding at row ends.
bool SameColours(const Bitmap& a, const Bitmap& b) {
    const Bitmap x = a.ToBgr24(), y = b.ToBgr24();
    if (x.Width() != y.Width() || x.Height() != y.Height()) return false;
    for (int row = 0; row < x.Height(); ++row)
        if (std::memcmp(x.ScanLine(row), y.ScanLine(row), 3 * static_cast<std::size_t>(x.Width())))
            return false;
    return true;
}

// A picture saved as TIFF reads back with the same pixels in the same
// format; 15- and 16-bit pictures, which TIFF cannot hold as they are, come
// back as 24 bits with the same colours.
TEST(PictureFiles, SavePictureWritesTiffThatReadsBack) {
    TempFolder folder;
    for (const PixelFormat format :
         {PixelFormat::Pf1Bit, PixelFormat::Pf4Bit, PixelFormat::Pf8Bit, PixelFormat::Pf15Bit,
          PixelFormat::Pf16Bit, PixelFormat::Pf24Bit, PixelFormat::Pf32Bit}) {
        SCOPED_TRACE(static_cast<int>(format));
        const Bitmap original = TestPicture(format);
        const std::string path = folder.File("saved.TIFF");
        SavePicture(path, original);
        const Bitmap loaded = LoadPictureFile(path, ".TIF");
        const bool widened = format == PixelFormat::Pf15Bit || format == PixelFormat::Pf16Bit;
        EXPECT_EQ(loaded.Format(), widened ? PixelFormat::Pf24Bit : format);
        EXPECT_TRUE(SameColours(loaded, original));
        if (format != PixelFormat::Pf32Bit) continue;
        for (int y = 0; y < original.Height(); ++y)
            for (int x = 0; x < original.Width(); ++x)
                ASSERT_EQ(loaded.ScanLine(y)[4 * x + 3], original.ScanLine(y)[4 * x + 3]);
    }
}

// A save that cannot be done leaves the earlier file as it was and no
// stray file behind; other names than BMP and TIFF are refused.
TEST(PictureFiles, FailedSaveLeavesNothingHalfWritten) {
    TempFolder folder;
    const Bitmap picture = TestPicture(PixelFormat::Pf24Bit);
    const std::string path = folder.File("kept.tif");
    SavePicture(path, picture);
    const std::string before = Contents(path);

    EXPECT_THROW(SavePicture(path, Bitmap()), Error);
    EXPECT_EQ(Contents(path), before);
    EXPECT_EQ(MessageOf([&] { SavePicture(folder.File("x.png"), picture); }),
              "Unknown picture file extension (.PNG)");
    EXPECT_FALSE(std::filesystem::exists(folder.File("x.png")));

    if (::geteuid() != 0) {
        ::chmod(folder.Path().c_str(), 0555);
        EXPECT_THROW(SavePicture(path, TestPicture(PixelFormat::Pf8Bit)), Error);
        ::chmod(folder.Path().c_str(), 0755);
        EXPECT_EQ(Contents(path), before);
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

// Writing to a pipe or a device (-o /dev/null) writes into it: renaming a
// finished file over it would turn /dev/null into a file for the whole
// machine when run as root.
TEST(PictureFiles, WritingToAPipeKeepsThePipe) {
    TempFolder folder;
    const std::string path = folder.File("pipe");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    // Opened for reading first, without waiting, so that the writer finds a
    // reader; the few bytes wait in the pipe.
    const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    WriteFileAtomically(path, "table\n", 6);
    char got[16] = {};
    EXPECT_EQ(::read(reader, got, sizeof got), 6);
    ::close(reader);
    EXPECT_STREQ(got, "table\n");
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
    EXPECT_THROW(WriteFileAtomically(folder.File("missing/x.txt"), "x", 1), Error);
}

} // namespace
} // namespace torvi
