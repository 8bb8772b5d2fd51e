#include "analysis/Calibration.h"
#include "AnalysisTestSupport.h"
#include "Error.h"

#include <algorithm>
#include <gtest/gtest.h>

using namespace torvi;
using namespace torvi::test;

namespace {

std::vector<int> Range(int first, int last, int step) {
    std::vector<int> values;
    for (int i = first; i <= last; i += step)
        values.push_back(i);
    return values;
}

} // namespace

TEST(Calibration, SamplesSpreadOverTheMeasurement) {
    EXPECT_EQ(CalibrationSamples(1), (std::vector<int>{0}));
    EXPECT_EQ(CalibrationSamples(11), Range(0, 10, 1));
    EXPECT_EQ(CalibrationSamples(20), Range(0, 19, 1));
    EXPECT_EQ(CalibrationSamples(21), Range(0, 20, 2));
    // Frame 21 of 22 is never sampled.
    EXPECT_EQ(CalibrationSamples(22), Range(0, 20, 2));
    const std::vector<int> hundred = CalibrationSamples(100);
    EXPECT_EQ(hundred, Range(0, 99, 9));
    EXPECT_EQ(hundred.size(), 12u);
    EXPECT_TRUE(CalibrationSamples(0).empty());
    for (int n = 21; n < 400; ++n) {
        const std::size_t count = CalibrationSamples(n).size();
        EXPECT_TRUE(count >= 11 && count <= 15) << n << " frames give " << count;
    }
}

TEST(Calibration, DarkHandKeepsBrightestGreyLightHandDarkest) {
    // Pixel 0 runs 200, 90, 210; pixel 1 stays 77; pixel 2 is coloured.
    const std::uint8_t values[3] = {200, 90, 210};
    for (const HandColour hand : {HandColour::Dark, HandColour::Light}) {
        Bitmap reference;
        for (int sample = 0; sample < 3; ++sample) {
            Bitmap frame = GreyPicture(3, 1, 77);
            SetGrey(frame, 0, 0, values[sample]);
            std::uint8_t* blue = frame.ScanLine(0) + 6;
            blue[0] = 250, blue[1] = 0, blue[2] = 0;
            FoldCalibrationFrame(reference, frame, sample == 0, hand);
        }
        const int expected = hand == HandColour::Dark ? 210 : 90;
        const std::uint8_t* p = reference.ScanLine(0);
        EXPECT_EQ(reference.Format(), PixelFormat::Pf24Bit);
        EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8]}),
                  (std::vector<int>{expected, expected, expected, 77, 77, 77, 28, 28, 28}));
    }
}

TEST(Calibration, FirstSampleReplacesAnOldReferenceOfAnotherSize) {
    Bitmap reference = GreyPicture(9, 9, 1);
    FoldCalibrationFrame(reference, GreyPicture(2, 3, 140), true, HandColour::Light);
    EXPECT_TRUE(SamePixels(reference, GreyPicture(2, 3, 140)));
}

TEST(Calibration, BuildLoadsEachSampleOnceConvertsAndReports) {
    std::vector<int> loaded;
    std::vector<int> reported;
    Bitmap reference;
    BuildReferenceImage(
        22,
        [&](int index, Bitmap& frame) {
            loaded.push_back(index);
            // An 8-bit palette frame: calibration works on its 24-bit colours.
            frame = Bitmap(4, 2, PixelFormat::Pf8Bit);
            frame.SetPalette(GreyPalette(8));
            frame.Fill(static_cast<std::uint8_t>(index * 10));
        },
        HandColour::Dark, reference, [&](int index) { reported.push_back(index); });
    EXPECT_EQ(loaded, Range(0, 20, 2));
    EXPECT_EQ(reported, Range(0, 20, 2));
    EXPECT_TRUE(SamePixels(reference, GreyPicture(4, 2, 200)));
}

TEST(Calibration, TwoLoadersShareTheSamplesAndBuildTheSameReference) {
    // A film's second reader takes samples on its own thread as it is free;
    // every sample is read once, and the reference is the one a single
    // loader builds, whichever hand.
    const auto loader = [](std::vector<int>& loaded) {
        return [&loaded](int index, Bitmap& frame) {
            loaded.push_back(index);
            frame = GreyPicture(3, 2, static_cast<std::uint8_t>(100 + (index * 37) % 150));
            frame.ScanLine(1)[3 * (index % 3)] = static_cast<std::uint8_t>(index); // the hand
        };
    };
    for (const HandColour hand : {HandColour::Dark, HandColour::Light}) {
        std::vector<int> alone;
        std::vector<int> first;
        std::vector<int> second;
        std::vector<int> reported;
        Bitmap expected;
        Bitmap reference;
        BuildReferenceImage(22, loader(alone), hand, expected);
        BuildReferenceImage(
            22, loader(first), hand, reference, [&](int index) { reported.push_back(index); },
            loader(second));
        EXPECT_TRUE(SamePixels(reference, expected));
        EXPECT_EQ(first.front(), 0);
        std::vector<int> both = first;
        both.insert(both.end(), second.begin(), second.end());
        std::sort(both.begin(), both.end());
        EXPECT_EQ(both, alone);
        EXPECT_TRUE(std::is_sorted(first.begin(), first.end()));
        EXPECT_TRUE(std::is_sorted(second.begin(), second.end()));
        EXPECT_EQ(reported.back(), 20);
    }
    // The error of the earliest sample wins, whichever thread met it.
    const auto failingAt = [](int bad) {
        return [bad](int index, Bitmap& frame) {
            if (index >= bad) throw CannotReadFrame(index);
            frame = GreyPicture(3, 2, 9);
        };
    };
    Bitmap reference;
    for (const int bad : {2, 4, 6}) {
        try {
            BuildReferenceImage(22, failingAt(bad), HandColour::Dark, reference, {},
                                failingAt(bad));
            FAIL() << "no error";
        } catch (const Error& error) {
            EXPECT_EQ(std::string(error.what()), CannotReadFrame(bad).what());
        }
    }
}

TEST(Calibration, SizeErrorStopsAtFirstOddSampleKeepingEarlierOnes) {
    std::vector<int> loaded;
    Bitmap reference = GreyPicture(1, 1, 0);
    const auto loader = [&](int index, Bitmap& frame) {
        loaded.push_back(index);
        if (index == 3) {
            frame = GreyPicture(5, 4, 255);
            return;
        }
        frame = GreyPicture(4, 4, 100);
        SetGrey(frame, index, 0, 10); // a dark hand wandering along row 0
    };
    try {
        BuildReferenceImage(5, loader, HandColour::Light, reference);
        FAIL() << "no size error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Size of pictures are not equal");
    }
    EXPECT_EQ(loaded, (std::vector<int>{0, 1, 2, 3}));
    Bitmap expected = GreyPicture(4, 4, 100);
    for (int x = 0; x < 3; ++x)
        SetGrey(expected, x, 0, 10);
    EXPECT_TRUE(SamePixels(reference, expected));

    EXPECT_THROW(BuildReferenceImage(0, loader, HandColour::Dark, reference), Error);
}
