#include "results/ResultTable.h"
#include "Error.h"
#include "FileIO.h"
#include "TestSupport.h"
#include "results/GraphPoints.h"
#include "results/ResultNumber.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace torvi;
using torvi::test::DataFile;
using torvi::test::TempFolder;
using torvi::test::WholeSeries;

namespace {

std::string ReadText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return std::string(bytes.begin(), bytes.end());
}

void ExpectRefused(const ResultFields& fields, const std::string& separator) {
    const std::vector<std::int32_t> series{0, 1, 2};
    try {
        (void)ResultFileBytes(fields, WholeSeries(series), separator);
        ADD_FAILURE() << "accepted " << fields.FramesPerSecond.substr(0, 20) << " / "
                      << fields.TicksPerTurn.substr(0, 20);
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "The values you entered are not valid.");
    }
}

} // namespace

// The golden files were typed by hand, not written by this code: the numbers
// are the decimal values of i / rate and angle × ticks / 360.
TEST(ResultTable, GoldenFilesMatchByteForByte) {
    TempFolder dir;
    const std::vector<std::int32_t> series{0, 3, -2, 359, 720, -1};
    const ResultFields point{"K\xC3\xBCvette \xE2\x84\x96"
                             "5 \xE2\x80\x93 20\xC2\xB0"
                             "C",
                             "29.97", "360"};
    WriteResultFile(dir.File("point.txt"), point, WholeSeries(series), ".", 1252);
    EXPECT_EQ(ReadText(dir.File("point.txt")), ReadText(DataFile("results/point_separator.txt")));

    const std::vector<std::int32_t> second{0, 3, -1, 720, 359};
    const ResultFields comma{"", "12,5", "1000000"};
    WriteResultFile(dir.File("comma.txt"), comma, WholeSeries(second), ",", 1252);
    EXPECT_EQ(ReadText(dir.File("comma.txt")), ReadText(DataFile("results/comma_separator.txt")));
}

TEST(ResultTable, OneLinePerFrameAndDefaultsCountFramesAndTurns) {
    const ResultFields fields{"s", DefaultedFieldText(""), DefaultedFieldText("")};
    EXPECT_EQ(fields.FramesPerSecond, "1");
    EXPECT_EQ(DefaultedFieldText("25"), "25");
    const std::vector<std::int32_t> series{360, 90, -720};
    const std::string bytes = ResultFileBytes(fields, WholeSeries(series), ".", 1252);
    const std::string head = "Sample: s\r\n"
                             "Number of frames per second    (x-axis): 1\r\n"
                             "Number of ticks per angle 360\xB0 (y-axis): 1\r\n"
                             "\r\n"
                             "     x-axis              y-axis\r\n";
    EXPECT_EQ(bytes, head + "     1.00000             1.00000\r\n"
                            "     2.00000             0.25000\r\n"
                            "     3.00000            -2.00000\r\n"
                            "\f\r\n");
    EXPECT_EQ(ResultFileBytes(fields, WholeSeries({}), ".", 1252), head + "\f\r\n");
}

TEST(ResultTable, RefusesFieldsThatGiveNoNumbers) {
    ExpectRefused({"", "", "360"}, ",");
    ExpectRefused({"", "25", ""}, ",");
    ExpectRefused({"", "0", "360"}, ",");
    ExpectRefused({"", ",", "360"}, ",");
    ExpectRefused({"", "000,000", "360"}, ",");
    ExpectRefused({"", "1.5", "360"}, ",");
    ExpectRefused({"", "25", "1,5"}, ".");
    // Values beyond the range of numbers: an enormous tick count.
    ExpectRefused({"", "25", "1" + std::string(4932, '0')}, ",");
    ExpectRefused({"", "25", "180000000000000000000"}, ","); // 2 × that / 360 is 10^18
    ExpectRefused({"", "0,000000000000000001", "360"}, ",");
    EXPECT_NO_THROW((void)ResultFileBytes({"", "0,00000000000000001", "179999999999999999"},
                                          WholeSeries({-9}), ","));
    // A tick count of 0 or a lone separator is fine: every value is 0.
    EXPECT_NO_THROW((void)ResultFileBytes({"", "25", ","}, WholeSeries({5}), ","));
}

TEST(ResultTable, RefusedOrFailedWriteLeavesEarlierFileUntouched) {
    TempFolder dir;
    const std::string path = dir.File("result.txt");
    dir.Write("result.txt", "earlier result");
    const std::vector<std::int32_t> series{1, 2};
    EXPECT_THROW(WriteResultFile(path, {"", "0", "360"}, WholeSeries(series), ","), Error);
    EXPECT_EQ(ReadText(path), "earlier result");
    EXPECT_THROW(WriteResultFile(dir.File("missing/result.txt"), {"", "25", "360"},
                                 WholeSeries(series), ","),
                 Error);
    WriteResultFile(path, {"", "25", "360"}, WholeSeries(series), ",");
    EXPECT_NE(ReadText(path), "earlier result");
    EXPECT_EQ(std::filesystem::directory_iterator(dir.Path())->path().filename(), "result.txt");
}

TEST(ResultTable, LineBreaksInTheSampleNameBecomeSpaces) {
    const std::string bytes = ResultFileBytes({"line\r\nbreak", "25", "360"}, WholeSeries({}), ".");
    EXPECT_EQ(bytes.substr(0, 21), "Sample: line  break\r\n");
}

TEST(ResultTable, NamesWithoutExtensionGetTxt) {
    EXPECT_EQ(CompleteResultFileName("result"), "result.txt");
    EXPECT_EQ(CompleteResultFileName("/data/run.2/result"), "/data/run.2/result.txt");
    EXPECT_EQ(CompleteResultFileName(".result"), ".result.txt");
    EXPECT_EQ(CompleteResultFileName("result.txt"), "result.txt");
    EXPECT_EQ(CompleteResultFileName("result.csv"), "result.csv");
    EXPECT_EQ(CompleteResultFileName("result."), "result.");
    EXPECT_EQ(CompleteResultFileName("/data/"), "/data/");
    EXPECT_EQ(CompleteResultFileName(""), "");
    EXPECT_EQ(CompleteResultFileName(".."), "..");
}

TEST(ResultTable, GraphStartsAtTimeZeroInTicks) {
    const std::vector<std::int32_t> series{0, 10, -5, 359};
    const std::vector<GraphPoint> degrees = GraphPoints(WholeSeries(series), "25", "360", ",");
    ASSERT_EQ(degrees.size(), 4u);
    EXPECT_EQ(degrees[0], (GraphPoint{0, 0}));
    EXPECT_DOUBLE_EQ(degrees[1].X, 0.04);
    EXPECT_DOUBLE_EQ(degrees[3].X, 0.12);
    EXPECT_EQ(degrees[2].Y, -5.0);
    EXPECT_EQ(degrees[3].Y, 359.0);

    const std::vector<GraphPoint> sixty = GraphPoints(WholeSeries(series), "25", "60", ",");
    for (std::size_t k = 0; k < series.size(); ++k) {
        EXPECT_EQ(sixty[k].X, degrees[k].X);
        EXPECT_EQ(sixty[k].Y, static_cast<double>(series[k] * 60.0L / 360.0L));
    }
    EXPECT_EQ(GraphPoints(WholeSeries(series), "12.5", "1", ".")[1],
              (GraphPoint{0.08, static_cast<double>(10.0L / 360.0L)}));

    for (const auto& [rate, ticks] : std::vector<std::pair<std::string, std::string>>{
             {"", "360"}, {"0", "360"}, {",", "360"}, {"2x", "360"}, {"25", ""}, {"25", "1.5"}})
        EXPECT_THROW((void)GraphPoints(WholeSeries(series), rate, ticks, ","), Error)
            << rate << "/" << ticks;
    // Beyond a double though within the extended type.
    EXPECT_THROW((void)GraphPoints(WholeSeries(series), "25", "1" + std::string(400, '0'), ","),
                 Error);
}

TEST(ResultTable, ThinnedGraphKeepsEverySwing) {
    std::vector<std::int32_t> turned;
    std::vector<long double> times;
    for (int i = 0; i < 100; ++i) {
        times.push_back(i / 10.0L);          // 0.1 s apart
        turned.push_back(i == 57 ? 900 : i); // one spike
    }
    const MeasuredSeries series = WholeSeries(turned, times);
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

TEST(ResultTable, LiveValuesAreShownInTicksWithTwoDecimalsAtMost) {
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
        EXPECT_EQ(TurnValueText(c.Unwrapped, c.Ticks, c.Separator), c.Shown)
            << c.Unwrapped << ' ' << c.Ticks;
    }
}
