#include "analysis/Masking.h"
#include "AnalysisTestSupport.h"
#include "Error.h"

#include <gtest/gtest.h>

using namespace torvi;
using namespace torvi::test;

TEST(Masking, KontrastCountsEqualityAsHand) {
    EXPECT_EQ(Kontrast(60, 60, HandColour::Dark), 255);
    EXPECT_EQ(Kontrast(59, 60, HandColour::Dark), 0);
    EXPECT_EQ(Kontrast(-60, 60, HandColour::Light), 255);
    EXPECT_EQ(Kontrast(-59, 60, HandColour::Light), 0);
    EXPECT_EQ(Kontrast(60, 60, HandColour::Light), 0);
    // Threshold 0: anything not brighter (dark hand) or not darker (light hand).
    EXPECT_EQ(Kontrast(0, 0, HandColour::Dark), 255);
    EXPECT_EQ(Kontrast(-1, 0, HandColour::Dark), 0);
    EXPECT_EQ(Kontrast(0, 0, HandColour::Light), 255);
    EXPECT_EQ(Kontrast(1, 0, HandColour::Light), 0);
    // Threshold 255: only reference 255 over frame 0.
    EXPECT_EQ(Kontrast(255, 255, HandColour::Dark), 255);
    EXPECT_EQ(Kontrast(254, 255, HandColour::Dark), 0);
}

TEST(Masking, SquareIsCutByThePictureEdges) {
    MeasurementSettings settings;
    settings.HandRadius = 10;
    settings.CentreX = 3;
    settings.CentreY = 40;
    EXPECT_EQ(MaskingSquare(settings, 100, 100), (PixelSquare{0, 30, 14, 21}));
    settings.CentreX = 50;
    EXPECT_EQ(MaskingSquare(settings, 100, 100), (PixelSquare{40, 30, 21, 21}));
    settings.CentreX = 95;
    settings.CentreY = 98;
    EXPECT_EQ(MaskingSquare(settings, 100, 100), (PixelSquare{85, 88, 15, 12}));
    settings.CentreX = -2000000000;
    EXPECT_TRUE(MaskingSquare(settings, 100, 100).Empty());
}

TEST(Masking, PictureShowsHandWhiteInsideCircleOnly) {
    // Frame darker than the reference by exactly the threshold everywhere but
    // one pixel, which is one short of it.
    const Bitmap reference = GreyPicture(30, 30, 160);
    Bitmap frame = GreyPicture(30, 30, 100);
    SetGrey(frame, 14, 15, 101);
    MeasurementSettings settings;
    settings.CentreX = 12;
    settings.CentreY = 15;
    settings.HandRadius = 5;
    const Bitmap out = MaskingPicture(frame, reference, settings);
    ASSERT_EQ(out.Width(), 11);
    ASSERT_EQ(out.Height(), 11);
    const auto at = [&](int dx, int dy) { return GreyAt(out, 5 + dx, 5 + dy); };
    EXPECT_EQ(at(0, 0), 255);
    EXPECT_EQ(at(3, 4), 255);  // squared distance 25 = R²
    EXPECT_EQ(at(-5, 0), 255); // R²
    EXPECT_EQ(at(5, 1), 0);    // R² + 1
    EXPECT_EQ(at(-5, -5), 0);
    EXPECT_EQ(at(2, 0), 0); // one grey level short of the threshold
    EXPECT_EQ(out.ScanLine(0)[1], 0);

    settings.Hand = HandColour::Light;
    EXPECT_EQ(GreyAt(MaskingPicture(frame, reference, settings), 5, 5), 0);
}

TEST(Masking, EachReferenceByteGoesThroughTheRule) {
    Bitmap reference = GreyPicture(1, 1, 0);
    std::uint8_t* p = reference.ScanLine(0);
    p[0] = 100, p[1] = 50, p[2] = 100;
    MeasurementSettings settings;
    settings.ContrastThreshold = 40;
    const Bitmap out = MaskingPicture(GreyPicture(1, 1, 60), reference, settings);
    const std::uint8_t* q = out.ScanLine(0);
    EXPECT_EQ((std::vector<int>{q[0], q[1], q[2]}), (std::vector<int>{255, 0, 255}));
}

TEST(Masking, RefusesFrameOfAnotherSizeAndAbsurdRadius) {
    MeasurementSettings settings;
    settings.HandRadius = 3;
    EXPECT_THROW(MaskingPicture(GreyPicture(10, 9, 0), GreyPicture(10, 10, 0), settings), Error);
    EXPECT_THROW(MaskingPicture(GreyPicture(10, 10, 0), Bitmap(), settings), Error);
    settings.HandRadius = -1;
    EXPECT_THROW(MaskingPicture(GreyPicture(10, 10, 0), GreyPicture(10, 10, 0), settings), Error);
}
