#include "analysis/RotationMeasurement.h"
#include "AnalysisTestSupport.h"
#include "Error.h"
#include "FrameSource.h"
#include "TestSupport.h"
#include "analysis/Calibration.h"
#include "analysis/GreyValue.h"
#include "analysis/HandColour.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace torvi;
using namespace torvi::test;

namespace {

MeasurementSettings Settings(int centreX, int centreY, int radius, int threshold = 60) {
    MeasurementSettings settings;
    settings.CentreX = centreX;
    settings.CentreY = centreY;
    settings.HandRadius = radius;
    settings.ContrastThreshold = threshold;
    return settings;
}

FrameVotes Votes(const Bitmap& frame, const Bitmap& reference, const MeasurementSettings& s) {
    const DirectionTable table(s, reference.Width(), reference.Height());
    return CountVotes(frame, reference, table, s.ContrastThreshold, s.Hand);
}

} // namespace

TEST(RotationMeasurement, DirectionBinsRunClockwiseFromBelowOnScreen) {
    EXPECT_EQ(DirectionTable::DirectionBin(0, 0), DirectionTable::NoVote);
    EXPECT_EQ(DirectionTable::DirectionBin(0, 7), 0);    // below
    EXPECT_EQ(DirectionTable::DirectionBin(7, 0), 90);   // right
    EXPECT_EQ(DirectionTable::DirectionBin(0, -7), 180); // above
    EXPECT_EQ(DirectionTable::DirectionBin(-7, 0), 270); // left
    EXPECT_EQ(DirectionTable::DirectionBin(5, 5), 45);
    EXPECT_EQ(DirectionTable::DirectionBin(5, -5), 135);
    EXPECT_EQ(DirectionTable::DirectionBin(-5, -5), 225);
    EXPECT_EQ(DirectionTable::DirectionBin(-5, 5), 315);
    EXPECT_EQ(DirectionTable::DirectionBin(-1, -1000), 180); // -179.94 is bin 180
    EXPECT_EQ(DirectionTable::DirectionBin(-1, 1000), 0);    // -0.06 rounds to -0
    EXPECT_EQ(DirectionTable::DirectionBin(-20, 1000), 359); // -1.15
}

TEST(RotationMeasurement, DirectionBinsAgreeWithTheExtendedPrecisionRuleEverywhere) {
    // The table's quick double-precision arctangent must give every bin the
    // extended rule gives, the half-degree cases included (the offsets of a
    // hand reaching 1000 pixels, one octant and its neighbours).
    int differing = 0;
    for (long long dy = -1000; dy <= 1000; ++dy)
        for (long long dx = -30; dx <= 1000; ++dx)
            if (DirectionTable::DirectionBin(dx, dy) != DirectionTable::ExactDirectionBin(dx, dy))
                ++differing;
    EXPECT_EQ(differing, 0);
    // (1, 2): 26.565..., (2, 1): 63.43...; near the 0/360 seam
    EXPECT_EQ(DirectionTable::DirectionBin(1, 2), 27);
    EXPECT_EQ(DirectionTable::DirectionBin(-1, 200000), 0);
}

TEST(RotationMeasurement, ReachIsRSquaredPlusRAndCentreNeverVotes) {
    // R = 8: (6, 6) lies at 72 = R² + R and votes, (8, 3) at 73 does not.
    const MeasurementSettings settings = Settings(10, 10, 8);
    const Bitmap reference = GreyPicture(21, 21, 200);
    Bitmap frame = GreyPicture(21, 21, 200);
    SetGrey(frame, 16, 16, 0);
    SetGrey(frame, 18, 13, 0);
    SetGrey(frame, 10, 10, 0); // the centre
    const FrameVotes votes = Votes(frame, reference, settings);
    EXPECT_EQ(votes.HandPixels, 1u);
    EXPECT_EQ(votes.Histogram[45], 1);
    EXPECT_EQ(PeakBin(votes.Histogram), 45);
}

TEST(RotationMeasurement, ThresholdZeroLetsEveryPixelWithinReachVoteOnce) {
    // R = 1 reaches the eight neighbours (squared distance up to 2).
    const MeasurementSettings settings = Settings(2, 2, 1, 0);
    const Bitmap reference = GreyPicture(5, 5, 90);
    const FrameVotes votes = Votes(GreyPicture(5, 5, 90), reference, settings);
    EXPECT_EQ(votes.HandPixels, 8u);
    for (int bin = 0; bin < 360; ++bin)
        EXPECT_EQ(votes.Histogram[static_cast<std::size_t>(bin)], bin % 45 == 0 ? 1 : 0) << bin;
}

TEST(RotationMeasurement, CircleIsCutToThePicture) {
    // Centre in the top-left corner: only directions between below and right exist.
    const MeasurementSettings settings = Settings(0, 0, 6, 0);
    const FrameVotes votes = Votes(GreyPicture(4, 5, 50), GreyPicture(4, 5, 50), settings);
    EXPECT_EQ(votes.HandPixels, 4u * 5u - 1u);
    for (int bin = 91; bin < 360; ++bin)
        EXPECT_EQ(votes.Histogram[static_cast<std::size_t>(bin)], 0);
}

TEST(RotationMeasurement, LightHandVotesWhereFrameIsBrighter) {
    MeasurementSettings settings = Settings(5, 5, 4);
    settings.Hand = HandColour::Light;
    Bitmap frame = GreyPicture(11, 11, 40);
    for (int x = 6; x <= 9; ++x)
        SetGrey(frame, x, 5, 100); // to the right
    SetGrey(frame, 5, 1, 99);      // one short of the threshold
    const FrameVotes votes = Votes(frame, GreyPicture(11, 11, 40), settings);
    EXPECT_EQ(votes.HandPixels, 4u);
    EXPECT_EQ(AngleOfPeak(PeakBin(votes.Histogram)), 90);
}

TEST(RotationMeasurement, ThirdReferenceByteDecides) {
    // Only the third byte says "hand" here (200 - 100 >= 60); the first two
    // would not.
    Bitmap reference = GreyPicture(5, 5, 0);
    reference.ScanLine(2)[3 * 4 + 2] = 200;
    const FrameVotes votes = Votes(GreyPicture(5, 5, 100), reference, Settings(2, 2, 2));
    EXPECT_EQ(votes.HandPixels, 1u);
    EXPECT_EQ(votes.Histogram[90], 1);
}

TEST(RotationMeasurement, PeakAndAngle) {
    // A frame like its reference has no hand: peak 0, angle 180.
    const FrameVotes none =
        Votes(GreyPicture(9, 9, 100), GreyPicture(9, 9, 100), Settings(4, 4, 3));
    EXPECT_EQ(none.HandPixels, 0u);
    EXPECT_EQ(AngleOfPeak(PeakBin(none.Histogram)), 180);
    VoteHistogram histogram{};
    histogram[10] = 7;
    histogram[200] = 7;
    histogram[300] = 6;
    EXPECT_EQ(PeakBin(histogram), 10);
    EXPECT_EQ(AngleOfPeak(10), 170);
    EXPECT_EQ(AngleOfPeak(180), 0);
    EXPECT_EQ(AngleOfPeak(181), 359);
    EXPECT_EQ(AngleOfPeak(270), 270);
    EXPECT_EQ(AngleOfPeak(359), 181);
}

TEST(RotationMeasurement, UnwrapCrossesTwelveOClockOnlyBeyondHalfATurn) {
    using Angles = std::vector<std::uint16_t>;
    using Turned = std::vector<std::int32_t>;
    EXPECT_EQ(UnwrapAngles(Angles{350, 10, 30}), (Turned{0, 20, 40}));
    EXPECT_EQ(UnwrapAngles(Angles{10, 350}), (Turned{0, -20}));
    EXPECT_EQ(UnwrapAngles(Angles{0, 180, 0}), (Turned{0, 180, 0}));
    EXPECT_EQ(UnwrapAngles(Angles{0, 181}), (Turned{0, -179}));
    EXPECT_EQ(UnwrapAngles(Angles{123}), (Turned{0}));
    EXPECT_TRUE(UnwrapAngles(Angles{}).empty());
    // Three full clockwise turns in quarter steps.
    Angles quarters;
    for (int i = 0; i <= 12; ++i)
        quarters.push_back(static_cast<std::uint16_t>(i * 90 % 360));
    EXPECT_EQ(UnwrapAngles(quarters).back(), 1080);
}

TEST(RotationMeasurement, CountersStopAt65535) {
    // A column straight below the centre, 65534 pixels long, plus its two
    // neighbouring columns: far more than 65535 votes for bin 0.
    const int height = Bitmap::MaxDimension;
    const MeasurementSettings settings = Settings(1, 0, MeasurementSettings::MaxHandRadius);
    const FrameVotes votes =
        Votes(GreyPicture(3, height, 0), GreyPicture(3, height, 200), settings);
    EXPECT_EQ(votes.Histogram[0], 65535);
    EXPECT_GT(votes.HandPixels, 65535u * 2);
    EXPECT_EQ(PeakBin(votes.Histogram), 0);
}

TEST(RotationMeasurement, VotesOfNoisyPicturesMatchAPixelByPixelCount) {
    // Random colours everywhere, many rows of many lengths, thresholds at the
    // edges of the contrast rule: the row-at-a-time vote counting must agree
    // with the rule applied to each pixel on its own.
    const int width = 93;
    const int height = 71;
    std::uint32_t state = 99;
    const auto noise = [&state](int w, int h) {
        Bitmap picture(w, h, PixelFormat::Pf24Bit);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < 3 * w; ++x) {
                state = state * 1664525u + 1013904223u;
                picture.ScanLine(y)[x] = static_cast<std::uint8_t>(state >> 24);
            }
        return picture;
    };
    const Bitmap frame = noise(width, height);
    const Bitmap reference = noise(width, height);
    for (const HandColour hand : {HandColour::Dark, HandColour::Light}) {
        for (const int threshold : {-300, -255, -1, 0, 1, 60, 254, 255, 256, 400}) {
            MeasurementSettings settings = Settings(47, 33, 40, threshold);
            settings.Hand = hand;
            const DirectionTable table(settings, width, height);
            const FrameVotes votes = CountVotes(frame, reference, table, threshold, hand);

            VoteHistogram expected{};
            std::uint32_t handPixels = 0;
            const PixelSquare& square = table.Square();
            for (int row = 0; row < square.Height; ++row) {
                for (int col = 0; col < square.Width; ++col) {
                    const int bin = table.Row(row)[col];
                    if (bin < 0) continue;
                    const std::uint8_t* f = frame.ScanLine(square.Y0 + row) + 3 * (square.X0 + col);
                    const std::uint8_t* r =
                        reference.ScanLine(square.Y0 + row) + 3 * (square.X0 + col);
                    if (Kontrast(r[2] - ExactGreyValue(f[0], f[1], f[2]), threshold, hand) == 0)
                        continue;
                    ++expected[static_cast<std::size_t>(bin)];
                    ++handPixels;
                }
            }
            EXPECT_EQ(votes.Histogram, expected) << "threshold " << threshold;
            EXPECT_EQ(votes.HandPixels, handPixels) << "threshold " << threshold;
        }
    }
}

TEST(RotationMeasurement, FrameOfAnotherSizeEndsTheRun) {
    std::vector<int> loaded;
    const auto loader = [&](int index, Bitmap& frame) {
        loaded.push_back(index);
        frame = GreyPicture(index == 2 ? 9 : 10, 10, 0);
    };
    try {
        MeasureHandRotation(5, loader, GreyPicture(10, 10, 200), Settings(5, 5, 3));
        FAIL() << "no size error";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Size of pictures are not equal");
    }
    EXPECT_EQ(loaded, (std::vector<int>{0, 1, 2}));
    EXPECT_THROW(MeasureHandRotation(1, loader, GreyPicture(10, 10, 200), Settings(5, 5, -4)),
                 Error);
}

TEST(RotationMeasurement, EmptyFrameIsRefusedByCalibrationAndMeasurement) {
    // A film delivers nothing for a frame it cannot decode.
    const auto loader = [](int index, Bitmap& frame) {
        frame = index == 1 ? Bitmap() : GreyPicture(8, 8, 120);
    };
    Bitmap reference;
    try {
        BuildReferenceImage(3, loader, HandColour::Dark, reference);
        FAIL() << "empty frame accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Cannot read frame 2");
    }
    try {
        MeasureHandRotation(3, loader, GreyPicture(8, 8, 120), Settings(4, 4, 3));
        FAIL() << "empty frame accepted";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Cannot read frame 2");
    }
}

namespace {

// A dial whose dark or light hand points `angle` degrees clockwise from 12
// o'clock: a textured, slightly coloured face and a needle about 1.5 pixels
// wide. (A wider hand spreads its votes over several bins and the strongest
// of them may lie more than a degree off.)
Bitmap DrawDial(int size, double angle, HandColour hand) {
    Bitmap picture(size, size, PixelFormat::Pf24Bit);
    const double centre = size / 2;
    const double reach = 0.45 * size;
    const double rad = angle * 3.14159265358979323846 / 180.0;
    for (int y = 0; y < size; ++y) {
        std::uint8_t* p = picture.ScanLine(y);
        for (int x = 0; x < size; ++x, p += 3) {
            const double dx = x - centre;
            const double dy = y - centre;
            const double along = dx * std::sin(rad) - dy * std::cos(rad);
            const double across = std::fabs(dx * std::cos(rad) + dy * std::sin(rad));
            const bool isHand = along >= 0 && along <= reach && across <= 0.75;
            const int texture = (x * 7 + y * 13) % 23;
            const int face = hand == HandColour::Dark ? 170 + texture : 40 + texture;
            const int value = isHand ? (hand == HandColour::Dark ? 30 : 235) : face;
            p[0] = static_cast<std::uint8_t>(value);
            p[1] = static_cast<std::uint8_t>(value);
            p[2] = static_cast<std::uint8_t>(isHand ? value : value - 10);
        }
    }
    return picture;
}

} // namespace

TEST(RotationMeasurement, DrawnHandIsFoundWithinADegreeAndUnwrapped) {
    const std::vector<double> angles{10, 55.4, 130, 199.6, 275, 330, 15, 80.3, 44};
    // The hand passes 12 o'clock between frames 5 and 6.
    const std::vector<int> turns{0, 0, 0, 0, 0, 0, 1, 1, 1};
    const int size = 121;
    for (const HandColour hand : {HandColour::Dark, HandColour::Light}) {
        std::vector<int> loaded;
        std::vector<int> reported;
        const auto loader = [&](int index, Bitmap& frame) {
            loaded.push_back(index);
            frame = DrawDial(size, angles[static_cast<std::size_t>(index)], hand);
        };
        const int count = static_cast<int>(angles.size());
        Bitmap reference;
        BuildReferenceImage(count, loader, hand, reference);
        loaded.clear();

        MeasurementSettings settings = Settings(size / 2, size / 2, 50);
        settings.Hand = hand;
        const RotationResult result = MeasureHandRotation(
            count, loader, reference, settings, [&](int index) { reported.push_back(index); });

        std::vector<int> everyFrame(angles.size());
        for (int i = 0; i < count; ++i)
            everyFrame[static_cast<std::size_t>(i)] = i;
        EXPECT_EQ(loaded, everyFrame);
        EXPECT_EQ(reported, everyFrame);
        ASSERT_EQ(result.AngleSeries.size(), angles.size());
        ASSERT_EQ(result.UnwrappedSeries.size(), angles.size());
        ASSERT_EQ(result.PeakVotes.size(), angles.size());
        ASSERT_EQ(result.HandPixels.size(), angles.size());
        for (std::size_t i = 0; i < angles.size(); ++i) {
            EXPECT_NEAR(result.AngleSeries[i], angles[i], 1.0) << "frame " << i;
            EXPECT_EQ(result.UnwrappedSeries[i],
                      result.AngleSeries[i] - result.AngleSeries[0] + 360 * turns[i])
                << "frame " << i;
            EXPECT_GT(result.PeakVotes[i], 10) << "frame " << i;
            EXPECT_GE(result.HandPixels[i], result.PeakVotes[i]);
        }
        const VoteHistogram last =
            Votes(DrawDial(size, angles.back(), hand), reference, settings).Histogram;
        EXPECT_EQ(result.AngleHistogram, last);
    }
}

TEST(RotationMeasurement, FrameSourceLoaderStaysInsideTheList) {
    TempFolder folder;
    const FrameList frames{"missing.bmp"};
    FrameSource source;
    source.FileExt = ".BMP";
    source.Folder = folder.Path().string();
    const FrameLoader loader = FrameSourceLoader(source, frames);
    Bitmap frame;
    EXPECT_THROW(loader(0, frame), Error); // the decoder's own error
    for (const int index : {-1, 1}) {
        try {
            loader(index, frame);
            FAIL() << "index " << index << " accepted";
        } catch (const Error& error) {
            EXPECT_STREQ(error.what(), index < 0 ? "Cannot read frame 0" : "Cannot read frame 2");
        }
    }
}

TEST(RotationMeasurement, FilmFrameThatCannotBeReadNeverPassesForThePreviousOne) {
    // The measurement hands the loader the previous frame's picture to fill
    // again; a film frame that cannot be delivered must not leave it there.
    FrameSource source;
    source.FileExt = ".AVI";
    ASSERT_EQ(source.OpenVideo(test::DataFile("films/mjpeg-3.avi")), 2);
    const FrameList frames{"0", "1", "7", "2"};
    const FrameLoader loader = FrameSourceLoader(source, frames);
    Bitmap frame;
    loader(1, frame);
    EXPECT_FALSE(frame.Empty());
    loader(2, frame);
    EXPECT_TRUE(frame.Empty());

    Bitmap reference;
    BuildReferenceImage(2, loader, HandColour::Dark, reference);
    try {
        MeasureHandRotation(4, loader, reference, Settings(4, 4, 3));
        FAIL() << "the previous frame was measured again";
    } catch (const Error& error) {
        EXPECT_STREQ(error.what(), "Cannot read frame 3");
    }
}
