#include "capture/CaptureDevice.h"
#include "CaptureTestSupport.h"
#include "Error.h"
#include "TestSupport.h"
#include "video/FilmReader.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

using namespace torvi;
using namespace torvi::test;

namespace {

constexpr std::uint16_t White = 0x7FFF;
constexpr std::uint16_t Black = 0x0000;

// The test picture with a white band at the top and a black one at the
// bottom, so that a picture turned over shows at once; the scrolling band
// between them stays visible.
CaptureSource MarkedSource(int width = 320, int height = 240, const std::string& more = {}) {
    std::string filters = "drawbox=x=0:y=0:w=iw:h=ih/10:color=white:t=fill,"
                          "drawbox=x=0:y=ih*9/10:w=iw:h=ih/10:color=black:t=fill";
    if (!more.empty()) filters += "," + more;
    return CaptureSource::Synthetic(width, height, 25, filters);
}

void ExpectUpright(const Bitmap& frame, const std::string& what) {
    ASSERT_EQ(frame.Format(), PixelFormat::Pf15Bit) << what;
    ASSERT_EQ(frame.Width(), 320) << what;
    ASSERT_EQ(frame.Height(), 240) << what;
    EXPECT_EQ(Pixel15(frame, 160, 10), White) << what;
    EXPECT_EQ(Pixel15(frame, 160, 230), Black) << what;
}

// Waits until the device has delivered `count` more pictures.
void WaitForFrames(const CaptureDevice& device, int count) {
    Bitmap frame;
    std::uint64_t serial = 0;
    int seen = 0;
    ASSERT_TRUE(WaitFor([&] {
        if (device.LatestFrame(frame, serial)) ++seen;
        return seen > count;
    }));
}

std::string Failure(const std::function<void()>& action) {
    try {
        action();
    } catch (const Error& e) {
        return e.what();
    }
    return {};
}

} // namespace

TEST(CaptureDevice, DeliversUprightPicturesScaledToTheRequestedSize) {
    auto device = CaptureDevice::Open(MarkedSource(640, 480), CaptureFormat{320, 240});
    EXPECT_EQ(device->Rate().Num, 25);
    EXPECT_EQ(device->Rate().Den, 1);
    Bitmap frame;
    std::uint64_t serial = 0;
    ASSERT_TRUE(WaitFor([&] { return device->LatestFrame(frame, serial); }));
    ExpectUpright(frame, "preview");
    const std::uint64_t first = serial;
    EXPECT_FALSE(device->LatestFrame(frame, serial) && serial == first);
    EXPECT_EQ(device->DeviceFailure(), "");
}

TEST(CaptureDevice, RecordsAboutASecondIntoAFrameExactFilmAndAgainIntoTheSameFile) {
    TempFolder folder;
    const std::string path = folder.File("Capture.avi");
    auto device = CaptureDevice::Open(MarkedSource(), CaptureFormat{320, 240});
    WaitForFrames(*device, 1);
    device->StartRecording(path);
    EXPECT_TRUE(device->Recording());
    WaitForFrames(*device, 25);
    device->StopRecording();
    EXPECT_FALSE(device->Recording());

    const FilmFacts film = ProbeFilm(path);
    EXPECT_EQ(film.Width, 320);
    EXPECT_EQ(film.Height, 240);
    EXPECT_EQ(film.BitsPerSample, 16);
    EXPECT_EQ(film.PixelFormat, "rgb555le");
    EXPECT_EQ(film.HeaderHeight, 240);
    EXPECT_EQ(film.RateNum, 25);
    EXPECT_EQ(film.RateDen, 1);
    ASSERT_GE(film.Frames.size(), 3u);
    for (const Bitmap& frame : film.Frames)
        ExpectUpright(frame, "recorded frame");
    // The test picture moves, so neighbouring frames differ and a seek that
    // lands one off is seen.
    EXPECT_NE(film.Frames[2], film.Frames[3]);
    EXPECT_EQ(SeekFrame(path, 3), film.Frames[3]);
    EXPECT_EQ(SeekFrame(path, 1), film.Frames[1]);

    device->StartRecording(path);
    WaitForFrames(*device, 3);
    device->StopRecording();
    const FilmFacts again = ProbeFilm(path);
    EXPECT_GE(again.Frames.size(), 3u);
    EXPECT_LT(again.Frames.size(), film.Frames.size()) << "the second recording replaced the first";
    device->Close();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST(CaptureDevice, ReportsWhatCannotStartAndGoesOn) {
    const std::string open =
        Failure([] { CaptureDevice::Open(CaptureSource::VideoDevice("/dev/no-such-camera"), {}); });
    EXPECT_EQ(open.rfind("Cannot open the capture device /dev/no-such-camera: ", 0), 0u) << open;

    TempFolder folder;
    auto device = CaptureDevice::Open(MarkedSource(), CaptureFormat{320, 240});
    const std::string create =
        Failure([&] { device->StartRecording(folder.File("missing/Capture.avi")); });
    EXPECT_NE(create.find("Cannot create file"), std::string::npos) << create;
    EXPECT_FALSE(device->Recording());
    EXPECT_NO_THROW(device->StopRecording());

    device->StartRecording(folder.File("Capture.avi"));
    EXPECT_NE(Failure([&] { device->StartRecording(folder.File("Other.avi")); }), "");
    WaitForFrames(*device, 2);
    device->StopRecording();
    EXPECT_GE(ProbeFilm(folder.File("Capture.avi")).Frames.size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(folder.File("Other.avi")));
}

TEST(CaptureDevice, ADeviceThatStopsLeavesACompleteFilmOfTheFramesSoFar) {
    TempFolder folder;
    const std::string path = folder.File("Capture.avi");
    auto device =
        CaptureDevice::Open(MarkedSource(320, 240, "trim=end_frame=40"), CaptureFormat{320, 240});
    device->StartRecording(path);
    std::string failure;
    ASSERT_TRUE(WaitFor([&] { return !(failure = device->TakeRecordingFailure()).empty(); }));
    EXPECT_NE(failure.find("stopped delivering pictures"), std::string::npos) << failure;
    EXPECT_EQ(device->TakeRecordingFailure(), "") << "told once";
    EXPECT_FALSE(device->Recording());
    EXPECT_NE(device->DeviceFailure(), "");

    const FilmFacts film = ProbeFilm(path);
    EXPECT_GE(film.Frames.size(), 1u);
    EXPECT_LE(film.Frames.size(), 40u);
    EXPECT_NE(failure.find("after " + std::to_string(film.Frames.size()) + " frames"),
              std::string::npos)
        << failure;
    for (const Bitmap& frame : film.Frames)
        ExpectUpright(frame, "recorded frame");

    EXPECT_NE(Failure([&] { device->StartRecording(folder.File("More.avi")); }), "");
}

TEST(CaptureDevice, AFailureNotYetTakenIsToldByStop) {
    TempFolder folder;
    const std::string path = folder.File("Capture.avi");
    auto device = CaptureDevice::Open(MarkedSource(), CaptureFormat{320, 240});
    {
        FileSizeLimit limit(1 << 20);
        device->StartRecording(path);
        ASSERT_TRUE(WaitFor([&] { return !device->Recording(); }));
    }
    const std::string failure = Failure([&] { device->StopRecording(); });
    EXPECT_NE(failure.find("Cannot write file " + path), std::string::npos) << failure;
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
    EXPECT_NO_THROW(device->StopRecording()) << "told once";
}

TEST(CaptureDevice, APlayedFilmIsShownTurnedAsTheFilmReaderShowsIt) {
    // A phone film stored on its side plays upright, at the size it is shown
    // at, picture for picture the film reader's frames.
    struct Collector : FrameReceiver {
        std::mutex Lock;
        std::vector<Bitmap> Pictures;
        std::atomic<bool> Ended{false};
        void ReceiveFrame(const Bitmap& picture, std::int64_t) override {
            const std::lock_guard guard(Lock);
            Pictures.push_back(picture);
        }
        void DeviceEnded(const std::string&) override { Ended = true; }
    } collector;
    const std::string film = DataFile("films/h264-rotated.mp4");
    auto device =
        CaptureDevice::Open(CaptureSource::PlayedFilm(film), CaptureFormat{0, 0}, &collector);
    EXPECT_EQ(device->Format().Width, 32);
    EXPECT_EQ(device->Format().Height, 24);
    ASSERT_TRUE(WaitFor([&] { return collector.Ended.load(); }));
    device->Close();

    auto reader = FilmReader::Open(film);
    ASSERT_EQ(static_cast<int>(collector.Pictures.size()), reader->FrameCount());
    Bitmap frame;
    for (int i = 0; i < reader->FrameCount(); ++i) {
        ASSERT_TRUE(reader->GetFrame(i, frame));
        const Bitmap played = collector.Pictures[static_cast<std::size_t>(i)].ToBgr24();
        ASSERT_EQ(played.Width(), frame.Width());
        ASSERT_EQ(played.Height(), frame.Height());
        // The same picture, up to the 5 bits a channel of the capture path.
        for (int y = 0; y < frame.Height(); ++y)
            for (int x = 0; x < 3 * frame.Width(); ++x)
                ASSERT_NEAR(played.ScanLine(y)[x], frame.ScanLine(y)[x], 12)
                    << "frame " << i << " at " << x / 3 << "," << y;
    }
}
