#include "live/LiveSession.h"
#include "CaptureTestSupport.h"
#include "FileIO.h"
#include "TestSupport.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using namespace torvi;
using namespace torvi::test;

namespace {

CaptureSource SampleFilm() {
    return CaptureSource::PlayedFilm(
        (std::filesystem::path(TORVI_TEST_DATA).parent_path().parent_path() / "samples" /
         "dial.avi")
            .string());
}

// Polls as the window does until the step is reached or a minute has passed.
bool PollUntil(LiveSession& session, LiveStep step) {
    return WaitFor(
        [&] {
            session.Poll();
            return session.Step() == step;
        },
        60);
}

// What each operation of the session needs enabled; an operation of a step
// whose control is off is refused and changes nothing.
struct Refusal {
    const char* Name;
    LiveControl Control;
    bool (*Try)(LiveSession&);
};
const Refusal Operations[] = {
    {"Change", LiveControl::Change, [](LiveSession& s) { return s.Change(); }},
    {"B/W", LiveControl::HandColour, [](LiveSession& s) { return s.ChooseHand(HandColour::Dark); }},
    {"contrast", LiveControl::ContrastArrows, [](LiveSession& s) { return s.SetContrast(61); }},
    {"learn", LiveControl::Learn, [](LiveSession& s) { return s.StartLearning(); }},
    {"measure", LiveControl::Measure, [](LiveSession& s) { return s.StartMeasuring(); }},
};

// Every operation whose control the step has off is refused and leaves the step.
void CheckRefusals(LiveSession& session) {
    const LiveStep step = session.Step();
    for (const Refusal& r : Operations) {
        if (LiveEnabled(step, r.Control)) continue;
        EXPECT_FALSE(r.Try(session)) << r.Name << " in step " << static_cast<int>(step);
        EXPECT_EQ(session.Step(), step) << r.Name;
    }
}

std::string FileText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(LiveSession, APlayedFilmGoesThroughEveryStepToASavedResult) {
    TempFolder folder;
    LiveSession session;
    CheckRefusals(session);
    ASSERT_TRUE(session.OpenDevice(SampleFilm())) << session.TakeMessage();
    EXPECT_EQ(session.PictureWidth(), 320);
    CheckRefusals(session);
    session.ClickPicture(160, 120);
    EXPECT_EQ(session.Step(), LiveStep::MarkRadius);
    CheckRefusals(session);
    session.ClickPicture(73, 70);
    EXPECT_EQ(session.Step(), LiveStep::Marked);
    EXPECT_EQ(session.Settings().HandRadius, 100);
    CheckRefusals(session);
    EXPECT_FALSE(session.StartMeasuring()); // nothing learned yet

    // The film starts again for learning; the arrows' rules hold meanwhile.
    ASSERT_TRUE(session.StartLearning());
    EXPECT_EQ(session.ContrastThreshold(), 60);
    CheckRefusals(session);
    for (const auto& [asked, kept] : {std::pair{300, 255}, {-4, 0}, {60, 60}}) {
        EXPECT_TRUE(session.SetContrast(asked));
        EXPECT_EQ(session.ContrastThreshold(), kept);
    }
    ASSERT_TRUE(WaitFor([&] { return session.LearnedFrames() >= 20; }));
    ASSERT_TRUE(session.Stop());
    EXPECT_EQ(session.Step(), LiveStep::Learned);
    Bitmap picture;
    std::uint64_t serial = 0;
    ASSERT_TRUE(session.LatestPicture(picture, serial));
    const Bitmap mask = session.MaskingPicture(picture);
    EXPECT_EQ(mask.Width(), 201);
    EXPECT_EQ(mask.Height(), 201);

    const std::string film = folder.File("run.avi");
    ASSERT_TRUE(session.StartMeasuring(film)) << session.TakeMessage();
    CheckRefusals(session);
    // The film's end ends the run normally, everything kept.
    ASSERT_TRUE(PollUntil(session, LiveStep::Finished));
    EXPECT_EQ(session.TakeMessage(), "");
    const std::vector<LiveFrame>& frames = session.Frames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(frames.front().TimeMicroseconds, 0);
    EXPECT_EQ(session.RecordedFrames(), static_cast<int>(frames.size()));
    EXPECT_EQ(ProbeFilm(film).Frames.size(), frames.size());
    CheckRefusals(session);

    session.WriteResult(folder.File("result.txt"), "live", "", ".");
    session.WriteFrames(folder.File("frames.csv"));
    const std::string table = FileText(folder.File("result.txt"));
    // 25 frames per second measured, the empty ticks field as "1".
    EXPECT_NE(table.find("Number of frames per second    (x-axis): 25.00000\r\n"),
              std::string::npos)
        << table;
    EXPECT_NE(table.find(": 1\r\n"), std::string::npos);
    // With "&Fine angle" the same rows at the same times hold the fine angle.
    session.WriteResult(folder.File("fine.txt"), "live", "", ".", true);
    const std::string fine = FileText(folder.File("fine.txt"));
    EXPECT_NE(fine, table);
    // The first field of every line: the rows' times, and the header lines.
    const auto times = [](const std::string& text) {
        std::vector<std::string> column;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find("\r\n", at), text.size());
            const std::string line = text.substr(at, end - at);
            column.push_back(line.substr(0, line.find(' ')));
            at = end + 2;
        }
        return column;
    };
    EXPECT_EQ(times(fine), times(table));
    EXPECT_EQ(times(fine).size(), frames.size() + 6); // five lines above the rows, one below
    const std::string csv = FileText(folder.File("frames.csv"));
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(frames.size()) + 1);
    // The fine angle fills its two columns; the first frame has turned 0.
    const std::string second = csv.substr(csv.find('\n') + 1);
    std::vector<std::string> fields;
    for (std::size_t at = 0, comma; fields.size() < 10; at = comma + 1) {
        comma = std::min(second.find_first_of(",\n", at), second.size());
        fields.push_back(second.substr(at, comma - at));
    }
    EXPECT_FALSE(fields[7].empty()) << second;
    EXPECT_EQ(fields[8], "0.000") << second;

    // A new run learns anew: the result of the last is gone.
    ASSERT_TRUE(session.StartLearning());
    EXPECT_FALSE(session.HasResult());
    session.CloseDevice();
    EXPECT_EQ(session.Step(), LiveStep::ChooseDevice);
}

TEST(LiveSession, RunsThatEndEarlyKeepWhatTheyHave) {
    LiveSession session;
    // A film that ends while learning leaves nothing to measure.
    ASSERT_TRUE(session.OpenDevice(SampleFilm()));
    session.ClickPicture(160, 120);
    session.ClickPicture(73, 70);
    ASSERT_TRUE(session.StartLearning());
    ASSERT_TRUE(PollUntil(session, LiveStep::Failed));
    EXPECT_EQ(session.TakeMessage(), "The film ended before the background was learned");
    CheckRefusals(session);

    // A device that fails while measuring: its message, the frames measured.
    ASSERT_TRUE(session.OpenDevice(SampleFilm()));
    session.ClickPicture(160, 120);
    session.ClickPicture(73, 70);
    ASSERT_TRUE(session.StartLearning());
    ASSERT_TRUE(WaitFor([&] { return session.LearnedFrames() >= 10; }));
    ASSERT_TRUE(session.StartMeasuring());
    ASSERT_TRUE(WaitFor([&] {
        session.Poll();
        return session.Frames().size() >= 3;
    }));
    session.Relay().DeviceEnded("unplugged");
    ASSERT_TRUE(PollUntil(session, LiveStep::Finished));
    EXPECT_EQ(session.TakeMessage(), "unplugged");
    EXPECT_GE(session.Frames().size(), 3u);
    EXPECT_LT(session.Frames().size(), 40u);

    EXPECT_FALSE(session.OpenDevice(CaptureSource::PlayedFilm("/nonexistent/film.avi")));
    EXPECT_EQ(session.Step(), LiveStep::Failed);
    EXPECT_NE(session.TakeMessage().find("Cannot open the capture device"), std::string::npos);
}

TEST(LiveSession, GraphPointsKeepEverySwingWhenThinned) {
    std::vector<std::int32_t> turned;
    std::vector<long double> times;
    for (int i = 0; i < 100; ++i) {
        times.push_back(i / 10.0L);          // 0.1 s apart
        turned.push_back(i == 57 ? 900 : i); // one spike
    }
    const MeasuredSeries series = test::WholeSeries(turned, times);
    struct Case {
        double From, To;
        std::size_t Max;
        std::size_t Count;
        double FirstX, LastY;
    };
    for (const Case& c : {Case{0, 100, 1000, 100, 0, 99 * 0.5}, Case{2, 3, 1000, 11, 2, 15},
                          Case{0, 100, 10, 10, 0, 99 * 0.5}, Case{20, 5, 10, 0, 0, 0}}) {
        const auto points = ThinnedGraphPoints(series, c.From, c.To, c.Max, ResultScale{1, 180});
        ASSERT_EQ(points.size(), c.Count) << c.From << ' ' << c.Max;
        if (points.empty()) continue;
        EXPECT_DOUBLE_EQ(points.front().X, c.FirstX);
        EXPECT_DOUBLE_EQ(points.back().Y, c.LastY);
        // Thinned or not, the spike is there.
        if (c.To >= 6) {
            EXPECT_TRUE(std::any_of(points.begin(), points.end(),
                                    [](const GraphPoint& p) { return p.Y == 450; }));
        }
    }
}

TEST(LiveSession, ValuesAreShownInTicksWithTwoDecimalsAtMost) {
    struct Case {
        std::int64_t Unwrapped;
        const char* Ticks;
        const char* Separator;
        const char* Shown;
    };
    for (const Case& c :
         {Case{150, "360", ".", "150"}, Case{-45, "360", ".", "-45"}, Case{1, "100", ".", "0.28"},
          Case{18, "100", ",", "5"}, Case{9, "100", ",", "2,5"}, Case{0, "100", ".", "0"},
          Case{10, "x", ".", ""}}) {
        LiveFrame frame;
        frame.Unwrapped = c.Unwrapped;
        EXPECT_EQ(LiveSession::ValueText(frame, c.Ticks, c.Separator), c.Shown)
            << c.Unwrapped << ' ' << c.Ticks;
    }
}
