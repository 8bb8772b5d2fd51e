#include "live/LiveMeasurement.h"
#include "AnalysisTestSupport.h"
#include "CaptureTestSupport.h"
#include "Error.h"
#include "FileTypes.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "PictureFiles.h"
#include "TestSupport.h"
#include "analysis/Calibration.h"
#include "capture/CaptureDevice.h"
#include "results/ResultTable.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace torvi;
using namespace torvi::test;

namespace {

// A dial of one grey with a hand: a bar of `hand` grey from the centre
// (32, 24) straight up, right, down or left (quarter 0..3), reaching 20
// pixels out. The bars do not touch, so a hand turned round leaves no pixel
// dark in every frame.
Bitmap DialFrame(std::uint8_t dial, std::uint8_t hand, int quarter) {
    Bitmap frame = GreyPicture(64, 48, dial);
    const int dx[] = {0, 1, 0, -1};
    const int dy[] = {-1, 0, 1, 0};
    for (int step = 2; step <= 20; ++step)
        for (int side = -1; side <= 1; ++side)
            SetGrey(frame, 32 + dx[quarter] * step + (dx[quarter] == 0 ? side : 0),
                    24 + dy[quarter] * step + (dy[quarter] == 0 ? side : 0), hand);
    return frame;
}

// The picture as a capture device delivers it: 15-bit.
Bitmap As15Bit(const Bitmap& picture) {
    Bitmap out(picture.Width(), picture.Height(), PixelFormat::Pf15Bit);
    for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
            const unsigned v = GreyAt(picture, x, y) >> 3u;
            const unsigned word = (v << 10) | (v << 5) | v;
            out.ScanLine(y)[2 * x] = static_cast<std::uint8_t>(word & 0xFFu);
            out.ScanLine(y)[2 * x + 1] = static_cast<std::uint8_t>(word >> 8);
        }
    return out;
}

MeasurementSettings DialSettings(HandColour hand = HandColour::Dark) {
    MeasurementSettings settings;
    settings.CentreX = 32;
    settings.CentreY = 24;
    settings.HandRadius = 20;
    settings.Hand = hand;
    return settings;
}

// Hands a picture over as a device does, and waits until the analysis has
// dealt with it, so that no picture replaces another.
void Deliver(LiveMeasurement& live, const Bitmap& frame, std::int64_t time) {
    const int before = live.LearnedFrames() + static_cast<int>(live.Frames().size());
    live.ReceiveFrame(frame, time);
    ASSERT_TRUE(WaitFor(
        [&] { return live.LearnedFrames() + static_cast<int>(live.Frames().size()) > before; }));
}

std::string SampleFilm() {
    return (std::filesystem::path(TORVI_TEST_DATA).parent_path().parent_path() / "samples" /
            "dial.avi")
        .string();
}

} // namespace

TEST(LiveMeasurement, LearnsTheBackgroundAsCalibrationFoldsAndThenMeasures) {
    struct Case {
        HandColour Hand;
        std::uint8_t Dial;
        std::uint8_t HandGrey;
    };
    for (const Case c : {Case{HandColour::Dark, 200, 20}, Case{HandColour::Light, 90, 250}}) {
        LiveMeasurement live(DialSettings(c.Hand));
        EXPECT_THROW(live.StartMeasuring(), Error); // nothing learned yet
        Bitmap expected;
        for (int quarter = 0; quarter < 4; ++quarter) {
            const Bitmap frame = DialFrame(c.Dial, c.HandGrey, quarter);
            Deliver(live, frame, quarter * 40000);
            FoldCalibrationFrame(expected, frame, quarter == 0, c.Hand);
        }
        EXPECT_EQ(live.LearnedFrames(), 4);
        const Bitmap background = live.Background();
        EXPECT_TRUE(SamePixels(background, expected));
        // The hand moved all round, so none of it is left in the background.
        EXPECT_TRUE(SamePixels(background, GreyPicture(64, 48, c.Dial)));

        live.StartMeasuring();
        EXPECT_EQ(live.CurrentPhase(), LiveMeasurement::Phase::Measuring);
        const int quarters[] = {1, 2, 3, 0, 1};
        std::int64_t time = 1'000'000;
        for (const int quarter : quarters) {
            Deliver(live, DialFrame(c.Dial, c.HandGrey, quarter), time);
            time += 40000;
        }
        live.Finish();
        // Measuring leaves the background as it was.
        EXPECT_TRUE(SamePixels(live.Background(), expected));
        const std::vector<LiveFrame> frames = live.Frames();
        ASSERT_EQ(frames.size(), 5u);
        const int directions[] = {90, 180, 270, 0, 90};
        const std::int64_t unwrapped[] = {0, 90, 180, 270, 360};
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].Direction, directions[i]) << i;
            EXPECT_EQ(frames[i].Unwrapped, unwrapped[i]) << i;
            EXPECT_EQ(frames[i].TimeMicroseconds, static_cast<std::int64_t>(i) * 40000) << i;
            EXPECT_GT(frames[i].HandPixels, 0u);
        }
        EXPECT_EQ(live.Rotation().UnwrappedSeries,
                  (std::vector<std::int32_t>{0, 90, 180, 270, 360}));
        EXPECT_DOUBLE_EQ(static_cast<double>(live.MeanRate()), 25.0);
        EXPECT_EQ(live.Failure(), "");
        EXPECT_EQ(live.DroppedFrames(), 0);
    }
}

TEST(LiveMeasurement, AFailingDeviceEndsTheRunAndKeepsWhatWasMeasuredAndRecorded) {
    TempFolder folder;
    const std::string film = folder.File("live.avi");
    LiveMeasurement live(DialSettings());
    for (int quarter = 0; quarter < 4; ++quarter)
        Deliver(live, As15Bit(DialFrame(200, 20, quarter)), 0);
    live.RecordTo(film, 64, 48, FrameRate{25, 1});
    live.StartMeasuring();
    EXPECT_THROW(live.RecordTo(film, 64, 48, FrameRate{25, 1}), Error);
    for (int i = 0; i < 3; ++i) {
        Deliver(live, As15Bit(DialFrame(200, 20, i)), i * 40000);
    }
    EXPECT_FALSE(live.WaitForEnd(std::chrono::milliseconds(0)));
    const std::string unplugged = "The capture device stopped delivering pictures: unplugged";
    live.DeviceEnded(unplugged);
    EXPECT_TRUE(live.WaitForEnd(std::chrono::seconds(30)));
    live.ReceiveFrame(DialFrame(200, 20, 3), 200000); // too late: ignored
    live.Finish();
    EXPECT_EQ(live.Failure(), unplugged);
    EXPECT_EQ(live.RecordingFailure(), "");
    ASSERT_EQ(live.Frames().size(), 3u);
    EXPECT_EQ(live.RecordedFrames(), 3);
    const FilmFacts facts = ProbeFilm(film);
    ASSERT_EQ(facts.Frames.size(), 3u);
    EXPECT_EQ(facts.Frames[1].Width(), 64);

    // A picture the analysis cannot take ends the run the same way.
    LiveMeasurement other(DialSettings());
    Deliver(other, DialFrame(200, 20, 0), 0);
    other.StartMeasuring();
    Deliver(other, DialFrame(200, 20, 1), 0);
    other.ReceiveFrame(GreyPicture(32, 32, 200), 40000);
    EXPECT_TRUE(other.WaitForEnd(std::chrono::seconds(30)));
    other.Finish();
    EXPECT_EQ(other.Failure(), "The measurement stopped: Size of pictures are not equal");
    EXPECT_EQ(other.Frames().size(), 1u);
}

// The sample film played as a camera: every frame the live run measured
// gives the same direction when its recording is measured as a film against
// the learned background, and the run ends normally with the film.
TEST(LiveMeasurement, AFullDiskStopsTheRecordingNotTheMeasurement) {
    TempFolder folder;
    const std::string film = folder.File("live.avi");
    LiveMeasurement live(DialSettings());
    for (int quarter = 0; quarter < 4; ++quarter)
        Deliver(live, As15Bit(DialFrame(200, 20, quarter)), 0);
    constexpr int Frames = 40; // 240 KB of pictures, four times what the disk takes
    {
        FileSizeLimit limit(64 << 10);
        live.RecordTo(film, 64, 48, FrameRate{25, 1});
        live.StartMeasuring();
        for (int i = 0; i < Frames; ++i)
            Deliver(live, As15Bit(DialFrame(200, 20, i % 4)), i * 40000);
        live.Finish();
    }
    EXPECT_EQ(live.Failure(), "");
    EXPECT_EQ(live.Frames().size(), static_cast<std::size_t>(Frames));
    const std::string failure = live.RecordingFailure();
    EXPECT_NE(failure.find("The recording"), std::string::npos) << failure;
    EXPECT_NE(failure.find(film), std::string::npos) << failure;
    // No half-written film is left behind.
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}

TEST(LiveMeasurement, APlayedFilmMeasuresAsItsRecordingDoes) {
    TempFolder folder;
    const std::string recording = folder.File("measured.avi");
    MeasurementSettings settings;
    settings.CentreX = 160;
    settings.CentreY = 120;
    settings.HandRadius = 100;
    settings.Fine = true;
    LiveMeasurement live(settings);
    auto device = CaptureDevice::Open(CaptureSource::Named(std::string("play:") + SampleFilm()),
                                      CaptureFormat{0, 0}, &live);
    ASSERT_EQ(device->Format(), (CaptureFormat{320, 240}));
    live.RecordTo(recording, 320, 240, device->Rate());
    // Half the film to learn from: the hand has left where it started.
    ASSERT_TRUE(WaitFor([&] { return live.LearnedFrames() >= 25; }));
    live.StartMeasuring();
    ASSERT_TRUE(live.WaitForEnd(std::chrono::seconds(60)));
    device->Close();
    live.Finish();
    EXPECT_EQ(live.Failure(), "");
    const std::vector<LiveFrame> frames = live.Frames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(live.RecordedFrames(), static_cast<int>(frames.size()));
    EXPECT_LE(live.LearnedFrames() + frames.size() + live.DroppedFrames(), 50u);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        // The film's own timestamps, 25 frames per second.
        EXPECT_EQ(frames[i].TimeMicroseconds % 40000, 0) << i;
        if (i > 0) {
            EXPECT_GT(frames[i].TimeMicroseconds, frames[i - 1].TimeMicroseconds);
        }
    }

    FrameSource source;
    source.FileExt = FileExtForName(recording);
    source.Folder = FolderOf(recording);
    const int last = source.OpenVideo(recording);
    ASSERT_EQ(last + 1, static_cast<int>(frames.size())) << source.LastVideoError();
    // The same background, and the same registered one for the fine angle.
    const Bitmap fineBackground = live.FineBackground();
    FineAngleSetup fine;
    fine.Background = &fineBackground;
    const RotationResult film =
        MeasureHandRotation(last + 1, FrameSourceLoader(source, FilmFrameList(last)),
                            live.Background(), settings, {}, fine);
    const RotationResult measured = live.Rotation();
    EXPECT_EQ(measured.AngleSeries, film.AngleSeries);
    EXPECT_EQ(measured.UnwrappedSeries, film.UnwrappedSeries);
    EXPECT_EQ(measured.HandPixels, film.HandPixels);
    // The fine angle too, its pivot found from the same frames.
    EXPECT_EQ(measured.FineDirections, film.FineDirections);
    EXPECT_EQ(measured.FineUnwrapped, film.FineUnwrapped);
    EXPECT_EQ(measured.FineDirections.size(), frames.size());
}

TEST(LiveMeasurement, ResultTableTakesTheTimesOfTheFrames) {
    const ResultFields fields{"live", "24.5", "360"};
    const std::vector<std::int32_t> unwrapped = {0, 5, 12};
    const std::vector<long double> times = {0, 0.04L, 0.12L};
    const std::string table =
        ResultFileBytes(fields, test::WholeSeries(unwrapped, times), ".", 1252);
    EXPECT_NE(table.find("Number of frames per second    (x-axis): 24.5\r\n"), std::string::npos);
    EXPECT_NE(table.find("     0.00000             0.00000\r\n"
                         "     0.04000             5.00000\r\n"
                         "     0.12000            12.00000\r\n\f\r\n"),
              std::string::npos)
        << table;
    EXPECT_THROW(ResultFileBytes(fields, test::WholeSeries(unwrapped, std::vector<long double>(2)),
                                 ".", 1252),
                 Error);
}
