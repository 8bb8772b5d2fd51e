#include "capture/AviRecorder.h"
#include "CaptureTestSupport.h"
#include "Error.h"
#include "TestSupport.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

using namespace torvi;
using namespace torvi::test;

namespace {

constexpr std::uint16_t Red = 0x7C00;
constexpr std::uint16_t Blue = 0x001F;

// Red top half, blue bottom half, the frame number in the first pixel.
Bitmap MarkedFrame(int width, int height, int number) {
    Bitmap frame(width, height, PixelFormat::Pf15Bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const std::uint16_t value = x == 0 && y == 0 ? static_cast<std::uint16_t>(number)
                                                         : (y < height / 2 ? Red : Blue);
            frame.ScanLine(y)[2 * x] = static_cast<std::uint8_t>(value & 0xFF);
            frame.ScanLine(y)[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
        }
    return frame;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::size_t FilesIn(const TempFolder& folder) {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        ++count;
    return count;
}

} // namespace

TEST(AviRecorder, WritesAnUprightFrameExactFilmOf15BitFrames) {
    TempFolder folder;
    const std::string path = folder.File("film.avi");
    {
        AviRecorder recorder(path, 320, 240, FrameRate{30000, 1001});
        for (int i = 0; i < 7; ++i)
            recorder.WriteFrame(MarkedFrame(320, 240, i));
        EXPECT_FALSE(std::filesystem::exists(path)) << "the film appears only when complete";
        recorder.Finish();
        EXPECT_EQ(recorder.FramesWritten(), 7);
    }
    EXPECT_EQ(FilesIn(folder), 1u) << "no temporary file is left";

    const FilmFacts film = ProbeFilm(path);
    EXPECT_EQ(film.Width, 320);
    EXPECT_EQ(film.Height, 240);
    EXPECT_EQ(film.BitsPerSample, 16);
    EXPECT_EQ(film.CodecTag, 0u) << "BI_RGB";
    EXPECT_EQ(film.PixelFormat, "rgb555le");
    EXPECT_EQ(film.HeaderHeight, 240) << "positive height: rows from the bottom";
    EXPECT_EQ(film.RateNum, 30000);
    EXPECT_EQ(film.RateDen, 1001);
    ASSERT_EQ(film.Frames.size(), 7u);
    for (int i = 0; i < 7; ++i) {
        const Bitmap& frame = film.Frames[static_cast<std::size_t>(i)];
        EXPECT_EQ(Pixel15(frame, 0, 0), i);
        EXPECT_EQ(Pixel15(frame, 5, 1), Red) << "upright";
        EXPECT_EQ(Pixel15(frame, 5, 238), Blue) << "upright";
    }
    EXPECT_EQ(Pixel15(SeekFrame(path, 5), 0, 0), 5);
    EXPECT_EQ(Pixel15(SeekFrame(path, 2), 0, 0), 2);
}

TEST(AviRecorder, AFailedRecordingLeavesNothingAndKeepsAnEarlierFile) {
    TempFolder folder;
    try {
        AviRecorder recorder(folder.File("missing/film.avi"), 320, 240, FrameRate{});
        FAIL() << "a film in a missing folder was created";
    } catch (const Error& e) {
        EXPECT_NE(
            std::string(e.what()).find("Cannot create file " + folder.File("missing/film.avi")),
            std::string::npos)
            << e.what();
    }

    const std::string path = folder.File("film.avi");
    folder.Write("film.avi", "earlier film");
    {
        AviRecorder abandoned(path, 320, 240, FrameRate{});
        abandoned.WriteFrame(MarkedFrame(320, 240, 0));
    }
    EXPECT_EQ(Contents(path), "earlier film");
    EXPECT_EQ(FilesIn(folder), 1u);

    // The disk fills up after a few frames of 150 KB.
    std::string message;
    {
        AviRecorder recorder(path, 320, 240, FrameRate{});
        FileSizeLimit limit(1 << 20);
        try {
            for (int i = 0; i < 50; ++i)
                recorder.WriteFrame(MarkedFrame(320, 240, i));
            recorder.Finish();
        } catch (const Error& e) {
            message = e.what();
        }
        EXPECT_THROW(recorder.WriteFrame(MarkedFrame(320, 240, 0)), Error) << "it takes no more";
        EXPECT_THROW(recorder.Finish(), Error);
    }
    EXPECT_NE(message.find("Cannot write file " + path), std::string::npos) << message;
    EXPECT_EQ(Contents(path), "earlier film");
    EXPECT_EQ(FilesIn(folder), 1u);
}
