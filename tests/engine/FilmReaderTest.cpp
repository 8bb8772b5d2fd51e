#include "TestSupport.h"

#include "FrameList.h"
#include "FrameSource.h"
#include "analysis/FrameLoader.h"
#include "analysis/GreyValue.h"
#include "video/DisplayOrientation.h"
#include "video/FilmReader.h"

extern "C" {
#include <libavutil/display.h>
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

namespace torvi {
namespace {

using test::DataFile;
using test::TempFolder;

// The test films show their frame number in binary: column block b (four
// pixels wide) is light when bit b is set.
int FrameNumber(const Bitmap& frame) {
    const Bitmap bgr = frame.ToBgr24();
    int number = 0;
    for (int bit = 0; bit < 8; ++bit)
        if (bgr.ScanLine(bgr.Height() / 2)[3 * (4 * bit + 2) + 1] > 128) number |= 1 << bit;
    return number;
}

std::unique_ptr<FilmReader> OpenFilm(const std::string& name) {
    return FilmReader::Open(DataFile("films/" + name));
}

struct FilmCase {
    const char* Name;
    int Frames;
    PixelFormat Format;
    int First = 0; // the number drawn in frame 0 (films cut out of longer ones)
    // The numbers a decode from the start shows, where the encoder made
    // something else of some frames.
    std::vector<int> Shown = {};
};

std::ostream& operator<<(std::ostream& out, const FilmCase& c) {
    return out << c.Name;
}

// Xvid made frame 22 a copy of 21 and left out 37 and 38.
std::vector<int> PackedShown() {
    std::vector<int> shown;
    for (int i = 0; i < 40; ++i)
        if (i != 37 && i != 38) shown.push_back(i == 22 ? 21 : i);
    return shown;
}

class EveryFilm : public ::testing::TestWithParam<FilmCase> {};

// Frame N must be the same picture however it is reached: the sequential
// decode is the reference, and the frame numbers drawn in the pictures check
// the reference itself.
TEST_P(EveryFilm, DeliversEveryFrameExactlyInAnyOrder) {
    const FilmCase& c = GetParam();
    auto film = OpenFilm(c.Name);
    ASSERT_EQ(film->FrameCount(), c.Frames);

    std::vector<Bitmap> sequential(static_cast<std::size_t>(c.Frames));
    for (int i = 0; i < c.Frames; ++i) {
        ASSERT_TRUE(film->GetFrame(i, sequential[static_cast<std::size_t>(i)])) << "frame " << i;
        const int drawn = c.Shown.empty() ? c.First + i : c.Shown[static_cast<std::size_t>(i)];
        EXPECT_EQ(FrameNumber(sequential[static_cast<std::size_t>(i)]), drawn) << "frame " << i;
        EXPECT_EQ(sequential[static_cast<std::size_t>(i)].Format(), c.Format);
    }
    // Reading in order decodes on and never seeks after the first frame.
    EXPECT_LE(film->Stats().Seeks, 1);
    EXPECT_EQ(film->Stats().Reopens, 0);

    // Backward into one picture, as the measurement reuses its own: each frame
    // lands on the pixels of the one before.
    auto backward = OpenFilm(c.Name);
    Bitmap reused;
    for (int i = c.Frames - 1; i >= 0; --i) {
        ASSERT_TRUE(backward->GetFrame(i, reused)) << "frame " << i;
        EXPECT_EQ(reused, sequential[static_cast<std::size_t>(i)]) << "backward, frame " << i;
    }

    auto random = OpenFilm(c.Name);
    std::mt19937 generator(1234);
    std::uniform_int_distribution<int> pick(0, c.Frames - 1);
    for (int n = 0; n < 3 * c.Frames; ++n) {
        const int i = pick(generator);
        Bitmap frame;
        ASSERT_TRUE(random->GetFrame(i, frame)) << "frame " << i;
        EXPECT_EQ(frame, sequential[static_cast<std::size_t>(i)]) << "random, frame " << i;
    }
    EXPECT_EQ(random->Stats().Reopens, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Films, EveryFilm,
    ::testing::Values(FilmCase{"raw24-topdown.avi", 12, PixelFormat::Pf24Bit},
                      FilmCase{"raw24-bottomup.avi", 12, PixelFormat::Pf24Bit},
                      FilmCase{"raw8-pal.avi", 12, PixelFormat::Pf8Bit},
                      FilmCase{"raw8-grey.avi", 12, PixelFormat::Pf8Bit},
                      FilmCase{"raw16-555.avi", 12, PixelFormat::Pf16Bit},
                      FilmCase{"raw32.avi", 12, PixelFormat::Pf32Bit},
                      FilmCase{"raw1-inverted.avi", 12, PixelFormat::Pf8Bit},
                      FilmCase{"msrle8.avi", 12, PixelFormat::Pf8Bit},
                      FilmCase{"msvideo1.avi", 12, PixelFormat::Pf16Bit},
                      FilmCase{"cinepak.avi", 12, PixelFormat::Pf24Bit},
                      FilmCase{"qtrle.mov", 12, PixelFormat::Pf24Bit},
                      FilmCase{"mjpeg.avi", 12, PixelFormat::Pf24Bit},
                      FilmCase{"mjpeg-1.avi", 1, PixelFormat::Pf24Bit},
                      FilmCase{"mjpeg-2.avi", 2, PixelFormat::Pf24Bit},
                      FilmCase{"mjpeg-3.avi", 3, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg4-bframes.avi", 40, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg4-bframes.mp4", 40, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg4-250.avi", 250, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg1-opengop.mpg", 40, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg2.mpg", 40, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg2.ts", 40, PixelFormat::Pf24Bit},
                      FilmCase{"h264.mkv", 40, PixelFormat::Pf24Bit},
                      FilmCase{"h264-opengop.mp4", 40, PixelFormat::Pf24Bit},
                      FilmCase{"h264.avi", 40, PixelFormat::Pf24Bit},
                      FilmCase{"mpeg4-packed.avi", 38, PixelFormat::Pf24Bit, 0, PackedShown()},
                      FilmCase{"mpeg2-bf3.mpg", 40, PixelFormat::Pf24Bit},
                      FilmCase{"h264-rotated.mp4", 12, PixelFormat::Pf24Bit},
                      FilmCase{"h264-cut.mp4", 29, PixelFormat::Pf24Bit, 11},
                      FilmCase{"mpeg4-cut-p.avi", 48, PixelFormat::Pf24Bit, 12},
                      // Its pictures before the first I picture are left out.
                      FilmCase{"mpeg4-cut-bp.avi", 48, PixelFormat::Pf24Bit, 12}),
    [](const ::testing::TestParamInfo<FilmCase>& param) {
        std::string name = param.param.Name;
        std::replace_if(
            name.begin(), name.end(), [](char ch) { return !std::isalnum(ch); }, '_');
        return name;
    });

TEST(FilmReader, JumpsDecodeAboutTwoGopsAtMost) {
    auto film = OpenFilm("mpeg4-250.avi");
    const int gop = film->LongestGop();
    ASSERT_GT(gop, 1);
    Bitmap frame;
    std::mt19937 generator(99);
    std::uniform_int_distribution<int> pick(0, film->FrameCount() - 1);
    for (int n = 0; n < 40; ++n) {
        const auto before = film->Stats().DecodedFrames;
        ASSERT_TRUE(film->GetFrame(pick(generator), frame));
        // Frame threading and the reorder delay add a few pictures.
        EXPECT_LE(film->Stats().DecodedFrames - before, 2 * gop + 4);
    }
}

TEST(FilmReader, ReadingAheadKeepsEveryFrameExactWhateverComesBetween) {
    // The frames after the one delivered are decoded ahead; a pause to look
    // at the statistics, a frame asked for twice, jumps back and forth and
    // the last frame must each still give exactly the frame asked for.
    auto film = OpenFilm("mpeg4-250.avi");
    Bitmap frame;
    const auto expectFrames = [&](std::initializer_list<int> indices) {
        for (const int i : indices) {
            ASSERT_TRUE(film->GetFrame(i, frame)) << "frame " << i;
            ASSERT_EQ(FrameNumber(frame), i);
        }
    };
    expectFrames({0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    // The read-ahead stops a few frames on, not at the end of the film.
    EXPECT_LE(film->Stats().DecodedFrames, 10 + 3);
    expectFrames({10, 11, 12, 12, 13, 3, 4, 5, 200, 201, 202, 249, 0, 248, 249, 1, 2});

    // Read in order, every frame is decoded once: none twice, none wasted.
    auto ordered = OpenFilm("mpeg4-250.avi");
    for (int i = 0; i < ordered->FrameCount(); ++i)
        ASSERT_TRUE(ordered->GetFrame(i, frame));
    EXPECT_EQ(FrameNumber(frame), 249);
    EXPECT_EQ(ordered->Stats().DecodedFrames, 250);
    EXPECT_EQ(ordered->Stats().Seeks, 1);
}

TEST(FilmReader, StepsBackThroughGopsDecodingEachOnce) {
    // A step back keeps the pictures decoded on the way and the next steps
    // take them, so stepping back through two GOPs decodes about three, where
    // decoding each frame from its keyframe would take a GOP per step. After
    // a jump nothing is read ahead.
    auto film = OpenFilm("mpeg4-250.avi");
    const int gop = film->LongestGop();
    Bitmap frame;
    for (int i = 224; i >= 224 - 2 * gop; --i) {
        ASSERT_TRUE(film->GetFrame(i, frame)) << i;
        ASSERT_EQ(FrameNumber(frame), i);
    }
    EXPECT_LE(film->Stats().DecodedFrames, 3 * (gop + 4));
    EXPECT_LE(film->Stats().Seeks, 4);
}

TEST(FilmReader, IndexesAvisWithoutDecodingAndProgramStreamsByDecoding) {
    // AVI films with B-frames open from their packets alone; MPEG program
    // streams, whose timestamps cannot be trusted, are decoded once.
    for (const char* name : {"mpeg4-bframes.avi", "mpeg4-packed.avi", "mjpeg.avi", "raw8-pal.avi"})
        EXPECT_EQ(OpenFilm(name)->Stats().DecodedFrames, 0) << name;
    EXPECT_EQ(OpenFilm("mpeg1-opengop.mpg")->Stats().DecodedFrames, 40);
}

TEST(FilmReader, ASecondReaderOpensFromTheIndexWithoutReadingTheFilm) {
    // A program stream is indexed by decoding it whole; a reader made from
    // that index decodes nothing while opening and shows the same frames.
    for (const char* name : {"mpeg1-opengop.mpg", "h264-rotated.mp4", "raw8-pal.avi"}) {
        auto first = OpenFilm(name);
        auto second = FilmReader::Open(DataFile(std::string("films/") + name), first->Index());
        EXPECT_EQ(second->Index(), first->Index()) << name;
        EXPECT_EQ(second->Stats().DecodedFrames, 0) << name;
        EXPECT_EQ(second->Stats().Seeks + second->Stats().Reopens, 0) << name;
        ASSERT_EQ(second->FrameCount(), first->FrameCount()) << name;
        EXPECT_EQ(second->HeaderFrameCount(), first->HeaderFrameCount()) << name;
        Bitmap a;
        Bitmap b;
        for (int i = first->FrameCount() - 1; i >= 0; i -= 2) {
            ASSERT_TRUE(first->GetFrame(i, a)) << name << " " << i;
            ASSERT_TRUE(second->GetFrame(i, b)) << name << " " << i;
            EXPECT_EQ(a, b) << name << " " << i;
            EXPECT_EQ(first->FrameTime(i), second->FrameTime(i)) << name << " " << i;
        }
    }
    // The frame source hands its film's index on the same way; a file that
    // changed since it was indexed is refused.
    FrameSource source;
    ASSERT_EQ(source.OpenVideo(DataFile("films/mjpeg-3.avi")), 2);
    FrameSource again;
    EXPECT_EQ(again.OpenVideo(DataFile("films/mjpeg-3.avi"), source.Index()), 2);
    EXPECT_EQ(again.Film()->Stats().DecodedFrames, 0);
    EXPECT_EQ(again.OpenVideo(DataFile("films/mjpeg-2.avi"), source.Index()), -1);
    EXPECT_FALSE(again.LastVideoError().empty());
}

TEST(DisplayOrientation, TurnsAndMirrorsAsTheFfmpegToolShows) {
    struct Case {
        double Angle; // clockwise, as av_display_rotation_set takes it
        bool MirrorX;
        bool MirrorY;
        DisplayOrientation Expected;
    };
    const Case cases[] = {
        {0, false, false, {}},
        {90, false, false, {true, false, true}},  // a quarter clockwise
        {-90, false, false, {true, true, false}}, // a quarter counterclockwise
        {180, false, false, {false, true, true}},
        {0, true, false, {false, true, false}},
        {0, false, true, {false, false, true}},
        {90, true, false, {true, false, false}}, // mirrored across the diagonal
        {-90, true, false, {true, true, true}},
        {45, false, false, {}}, // not a quarter turn: shown as stored
    };
    for (const Case& c : cases) {
        std::int32_t matrix[9];
        av_display_rotation_set(matrix, c.Angle);
        av_display_matrix_flip(matrix, c.MirrorX, c.MirrorY);
        const DisplayOrientation o = DisplayOrientation::FromDisplayMatrix(matrix);
        EXPECT_EQ(o, c.Expected) << c.Angle << " " << c.MirrorX << c.MirrorY << ": " << o.Transpose
                                 << o.FlipX << o.FlipY;
    }
    EXPECT_TRUE(DisplayOrientation::FromDisplayMatrix(nullptr).IsIdentity());
}

// The measurement's grey of a square, as the analysis reads it.
std::vector<std::uint8_t> SquareGrey(const Bitmap& frame, const PixelSquare& square) {
    std::vector<std::uint8_t> grey(static_cast<std::size_t>(square.Width * square.Height));
    for (int row = 0; row < square.Height; ++row)
        GreyRow(frame, square.Y0 + row, square.X0, square.Width,
                grey.data() + static_cast<std::ptrdiff_t>(row) * square.Width);
    return grey;
}

TEST(FilmReader, ASquareOfTheFrameHasTheGreyOfTheWholeFrame) {
    // The measurement pass asks only for the square around the centre: its
    // grey must be the whole frame's, in any order. Films of luma and chroma
    // carry the grey of their luma, and the square no colour conversion. The
    // Motion JPEG square decoder (reading on in order) may round a pixel's
    // luma one step otherwise than FFmpeg.
    const PixelSquare squares[] = {{70, 10, 61, 41}, {0, 0, 20, 20}, {150, 33, 42, 31}};
    for (const char* name : {"square-h264.mp4", "square-mjpeg.avi", "square-mjpeg422.avi"}) {
        const int step = std::strstr(name, "mjpeg") ? 1 : 0;
        auto whole = OpenFilm(name);
        auto part = OpenFilm(name);
        Bitmap reused;
        for (int i : {0, 1, 2, 3, 1, 0, 3}) {
            Bitmap full;
            ASSERT_TRUE(whole->GetFrame(i, full)) << name;
            ASSERT_TRUE(full.HasLumaGrey()) << name;
            for (const PixelSquare& square : squares) {
                ASSERT_TRUE(part->GetFrame(i, reused, &square)) << name;
                ASSERT_EQ(reused.Width(), full.Width());
                const std::vector<std::uint8_t> expected = SquareGrey(full, square);
                const std::vector<std::uint8_t> got = SquareGrey(reused, square);
                for (std::size_t k = 0; k < got.size(); ++k)
                    ASSERT_LE(std::abs(got[k] - expected[k]), step)
                        << name << " frame " << i << " pixel " << k;
            }
            // The whole frame as the square (the calibration's): FFmpeg's
            // grey exactly, and no colour converted at all.
            const PixelSquare all{0, 0, full.Width(), full.Height()};
            Bitmap greyOnly;
            ASSERT_TRUE(part->GetFrame(i, greyOnly, &all)) << name;
            EXPECT_FALSE(greyOnly.HasPixels()) << name;
            EXPECT_EQ(SquareGrey(greyOnly, all), SquareGrey(full, all)) << name << " frame " << i;
            // The same picture asked for whole again gets its pixels back.
            ASSERT_TRUE(part->GetFrame(i, greyOnly)) << name;
            EXPECT_TRUE(greyOnly == full) << name << " frame " << i;
        }
    }
}

TEST(FilmReader, MotionJpegSquaresReadOnInOrderAgreeWithFfmpeg) {
    // Reading on in order, the square decoder decodes the squares on two
    // threads; a frame it refuses (here one whose JPEG does not start where
    // the index says: the film goes on through FFmpeg) is FFmpeg's exactly.
    TempFolder folder;
    std::ifstream in(DataFile("films/mjpeg.avi"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    folder.Write("good.avi", bytes);
    // The sixth JPEG of the film loses its start marker.
    std::size_t at = 0;
    for (int n = 0; n < 6; ++n)
        at = bytes.find("\xFF\xD8\xFF", at + 1);
    ASSERT_NE(at, std::string::npos);
    bytes[at + 1] = '\0';
    folder.Write("damaged.avi", bytes);
    const PixelSquare square{4, 3, 24, 18};
    for (const char* name : {"good.avi", "damaged.avi"}) {
        auto whole = FilmReader::Open(folder.File(name));
        auto part = FilmReader::Open(folder.File(name));
        Bitmap frame;
        int differing = 0;
        for (int i = 0; i < part->FrameCount(); ++i) {
            Bitmap full;
            const bool wholeGot = whole->GetFrame(i, full);
            ASSERT_EQ(part->GetFrame(i, frame, i == 0 ? nullptr : &square), wholeGot)
                << name << " frame " << i;
            if (!wholeGot) continue;
            const std::vector<std::uint8_t> expected = SquareGrey(full, square);
            const std::vector<std::uint8_t> got = SquareGrey(frame, square);
            for (std::size_t k = 0; k < got.size(); ++k) {
                ASSERT_LE(std::abs(got[k] - expected[k]), 1) << name << " frame " << i;
                differing += got[k] != expected[k] ? 1 : 0;
                if (std::string(name) == "damaged.avi" && i >= 5) {
                    ASSERT_EQ(got[k], expected[k]) << "frame " << i;
                }
            }
        }
        EXPECT_LT(differing, part->FrameCount() * square.Width * square.Height / 100) << name;
    }
}

TEST(FilmReader, PaletteFilmsKeepTheirOwnColours) {
    // A grey laboratory film keeps all its grey levels; a 1-bit film whose
    // table maps 0 to white is not shown inverted.
    auto grey = OpenFilm("raw8-grey.avi");
    Bitmap frame;
    ASSERT_TRUE(grey->GetFrame(5, frame));
    ASSERT_EQ(frame.Format(), PixelFormat::Pf8Bit);
    EXPECT_FALSE(frame.HasLumaGrey());
    EXPECT_EQ(frame.Palette(), GreyPalette(8));
    EXPECT_EQ(frame.ScanLine(0)[2], 255); // bit 0 of 5
    EXPECT_EQ(frame.ScanLine(0)[6], 0);   // bit 1 of 5

    auto inverted = OpenFilm("raw1-inverted.avi");
    ASSERT_TRUE(inverted->GetFrame(1, frame));
    const Bitmap bgr = frame.ToBgr24();
    EXPECT_EQ(bgr.ScanLine(3)[3 * 2], 255); // bit 0 set: index 0, white in the film's table
    EXPECT_EQ(bgr.ScanLine(3)[3 * 6], 0);   // bit 1 clear: index 1, black
}

TEST(FilmReader, DroppedFramesShowThePictureBefore) {
    auto film = OpenFilm("raw24-dropped.avi");
    ASSERT_EQ(film->FrameCount(), 12);
    const int shown[12] = {0, 1, 2, 3, 3, 5, 6, 6, 8, 9, 10, 11};
    Bitmap frame;
    for (int i : {11, 4, 7, 0, 5, 8, 3, 6}) {
        ASSERT_TRUE(film->GetFrame(i, frame)) << i;
        EXPECT_EQ(FrameNumber(frame), shown[i]) << i;
    }
}

TEST(FilmReader, TellsWhenEachFrameIsShown) {
    // Seconds from the first frame: 25 frames a second in every test film;
    // a dropped frame's repeat keeps its own time; a cut film starts at 0.
    struct Expect {
        const char* Name;
        int Frame;
        double Seconds;
    };
    for (const Expect& e :
         {Expect{"raw24-dropped.avi", 4, 0.16}, Expect{"raw24-dropped.avi", 7, 0.28},
          Expect{"mpeg4-packed.avi", 10, 0.4}, Expect{"h264-cut.mp4", 0, 0},
          Expect{"h264-cut.mp4", 28, 1.12}, Expect{"h264.mkv", 39, 1.56},
          Expect{"mpeg2.mpg", 20, 0.8}}) {
        EXPECT_NEAR(OpenFilm(e.Name)->FrameTime(e.Frame), e.Seconds, 1e-6)
            << e.Name << " " << e.Frame;
    }
}

TEST(FilmReader, AFrameThatCannotBeDecodedKeepsFfmpegsReason) {
    // One Motion JPEG frame's data zeroed: that frame fails with the
    // decoder's reason, the others are read, and the measurement's error
    // names the frame and the reason.
    std::ifstream in(DataFile("films/mjpeg.avi"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    std::size_t chunk = 0;
    for (int n = 0; n < 6; ++n)
        chunk = bytes.find("00dc", chunk + 1);
    ASSERT_NE(chunk, std::string::npos);
    const auto size = static_cast<std::size_t>(static_cast<unsigned char>(bytes[chunk + 4]) |
                                               static_cast<unsigned char>(bytes[chunk + 5]) << 8);
    std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(chunk + 8), size, '\0');
    test::TempFolder folder;
    folder.Write("damaged.avi", bytes);

    FrameSource source;
    source.FileExt = ".AVI";
    ASSERT_EQ(source.OpenVideo(folder.File("damaged.avi")), 11);
    const FrameList frames = FilmFrameList(11);
    const FrameLoader loader = FrameSourceLoader(source, frames);
    int failed = 0;
    for (int i = 0; i < 12; ++i) {
        Bitmap frame;
        try {
            LoadAnalysisFrame(loader, i, frame);
        } catch (const Error& e) {
            ++failed;
            EXPECT_EQ(std::string(e.what()), "Cannot read frame " + std::to_string(i + 1));
            EXPECT_EQ(e.Detail(), source.LastFrameFailure());
            EXPECT_NE(source.LastFrameFailure().find("JPEG"), std::string::npos)
                << source.LastFrameFailure();
        }
    }
    EXPECT_EQ(failed, 1);
}

TEST(FilmReader, CountsTheFramesItHoldsNotTheHeaders) {
    auto film = OpenFilm("raw24-shortened.avi");
    EXPECT_EQ(film->FrameCount(), 12);
    EXPECT_EQ(film->HeaderFrameCount(), 20);

    // A film cut off in the middle keeps the frames that are complete.
    auto cut = OpenFilm("truncated.avi");
    ASSERT_GT(cut->FrameCount(), 0);
    ASSERT_LT(cut->FrameCount(), 40);
    Bitmap frame;
    for (int i = cut->FrameCount() - 1; i >= 0; --i) {
        ASSERT_TRUE(cut->GetFrame(i, frame)) << i;
        EXPECT_EQ(FrameNumber(frame), i);
    }
}

TEST(FilmReader, FilmCutFromALongerOneStartsAtItsFirstWholePicture) {
    // Cut at frame 9's keyframe: the B-frames after it that belong before it
    // cannot be decoded, so the film shows frames 9 to 39.
    auto film = OpenFilm("mpeg4-cut.avi");
    ASSERT_EQ(film->FrameCount(), 31);
    EXPECT_EQ(film->Stats().DecodedFrames, 0);
    Bitmap frame;
    for (int i : {30, 0, 15, 1, 29, 2}) {
        ASSERT_TRUE(film->GetFrame(i, frame)) << i;
        EXPECT_EQ(FrameNumber(frame), 9 + i);
    }
}

TEST(FilmReader, OddWidthsConvertEveryColumn) {
    auto film = OpenFilm("odd-width.avi");
    Bitmap frame;
    ASSERT_TRUE(film->GetFrame(1, frame));
    ASSERT_EQ(frame.Width(), 35);
    for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x)
            ASSERT_NEAR(frame.ScanLine(y)[3 * x + 1], 128, 3) << x << "," << y;
}

TEST(FilmReader, RefusesFilesItCannotUseWithAReason) {
    for (const char* name : {"not-a-film.avi", "no-such-film.avi"}) {
        try {
            OpenFilm(name);
            ADD_FAILURE() << name << " opened";
        } catch (const Error& e) {
            EXPECT_NE(std::string(e.what()).find("Cannot open file"), std::string::npos)
                << e.what();
        }
    }
}

TEST(FilmReader, ProgressCanAbandonTheOpening) {
    std::int64_t calls = 0;
    std::int64_t lastDone = -1;
    auto film = FilmReader::Open(DataFile("films/mpeg4-250.avi"),
                                 [&](std::int64_t done, std::int64_t total) {
                                     ++calls;
                                     EXPECT_LE(done, total);
                                     EXPECT_GE(done, lastDone);
                                     lastDone = done;
                                     return true;
                                 });
    EXPECT_GT(calls, 0);
    EXPECT_THROW(FilmReader::Open(DataFile("films/mpeg1-opengop.mpg"),
                                  [](std::int64_t, std::int64_t) { return false; }),
                 OpenAbandoned);
}

TEST(FrameSource, OpensReadsAndClosesOneFilm) {
    FrameSource source;
    source.FileExt = ".AVI";
    EXPECT_EQ(source.OpenVideo(DataFile("films/mpeg4-250.avi")), 249);
    EXPECT_TRUE(source.VideoOpen());
    Bitmap frame;
    EXPECT_TRUE(source.GetVideoFrame(249, frame));
    EXPECT_EQ(FrameNumber(frame), 249);
    EXPECT_TRUE(source.LoadFrame("0", frame));
    EXPECT_EQ(FrameNumber(frame), 0);

    // Frames that cannot be delivered leave the picture as it was and say so.
    const Bitmap before = frame;
    EXPECT_FALSE(source.GetVideoFrame(250, frame));
    EXPECT_FALSE(source.GetVideoFrame(-1, frame));
    EXPECT_FALSE(source.LoadFrame("250", frame));
    EXPECT_FALSE(source.LoadFrame("1x", frame));
    EXPECT_EQ(frame, before);

    source.CloseVideo();
    EXPECT_FALSE(source.VideoOpen());
    source.CloseVideo();
    source.GetVideoFrame(3, frame);
    EXPECT_EQ(frame, before);

    EXPECT_EQ(source.OpenVideo(DataFile("films/not-a-film.avi")), -1);
    EXPECT_FALSE(source.LastVideoError().empty());
    EXPECT_FALSE(source.VideoOpen());
    EXPECT_FALSE(source.LastOpenAbandoned());
    EXPECT_EQ(source.OpenVideo(DataFile("films/mjpeg-2.avi")), 1);

    // Abandoning a long opening is told apart from a film that cannot be used.
    EXPECT_EQ(source.OpenVideo(DataFile("films/mpeg4-250.avi"),
                               [](std::int64_t, std::int64_t) { return false; }),
              -1);
    EXPECT_TRUE(source.LastOpenAbandoned());
    EXPECT_FALSE(source.VideoOpen());
}

} // namespace
} // namespace torvi

namespace torvi {
namespace {

// Damaged films must give an error or missing frames, never a crash or hang.
TEST(FilmReader, SurvivesDamagedAndCutFilms) {
    test::TempFolder folder;
    std::mt19937 generator(2024);
    for (const char* name : {"mpeg4-bframes.avi", "mpeg1-opengop.mpg", "h264.mkv", "mjpeg.avi",
                             "raw8-pal.avi", "mpeg4-bframes.mp4", "msrle8.avi"}) {
        std::ifstream in(DataFile(std::string("films/") + name), std::ios::binary);
        const std::string original((std::istreambuf_iterator<char>(in)), {});
        for (int round = 0; round < 6; ++round) {
            std::string damaged = original;
            if (round < 3) {
                std::uniform_int_distribution<std::size_t> at(0, damaged.size() - 1);
                for (int i = 0; i < 20; ++i)
                    damaged[at(generator)] = static_cast<char>(generator());
            } else {
                damaged.resize(damaged.size() * static_cast<std::size_t>(round - 2) / 4);
            }
            const std::string file = std::string("damaged-") + std::to_string(round) + "-" + name;
            folder.Write(file, damaged);
            try {
                auto film = FilmReader::Open(folder.File(file));
                Bitmap frame;
                for (int i = film->FrameCount() - 1; i >= 0; i -= 3)
                    film->GetFrame(i, frame);
                for (int i = 0; i < film->FrameCount(); ++i)
                    film->GetFrame(i, frame);
            } catch (const Error& e) {
                EXPECT_NE(std::string(e.what()), "") << file;
            }
        }
    }
}

} // namespace
} // namespace torvi
