// The fine angle on dials painted at known angles between whole degrees:
// how close it comes with the centre clicked on the pivot and 3 pixels
// beside it, and where it must land across 12 o'clock, for a light hand, for
// a circle cut by the picture's edge and among stray dark pixels.

#include "analysis/FineAngle.h"
#include "analysis/Calibration.h"
#include "analysis/RotationMeasurement.h"

#include "AnalysisTestSupport.h"
#include "DialPainter.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>

using namespace torvi;

namespace {

struct Dial {
    int Width = 320, Height = 240;
    DialStyle Style;
    int ClickX = 0, ClickY = 0; // the click, pixels from the picture's centre
};

struct Measured {
    std::vector<double> Painted;
    RotationResult Result;
};

// Paints the dial at each angle and measures it with the fine angle on.
Measured PaintAndMeasure(const Dial& dial, const std::vector<double>& angles,
                         const std::function<void(Bitmap&, int)>& spoil = {}) {
    DialPainter painter(dial.Width, dial.Height, dial.Style);
    std::vector<Bitmap> frames;
    for (const double angle : angles) {
        frames.push_back(PaintedPicture(painter.Paint(angle), dial.Width, dial.Height));
        if (spoil) spoil(frames.back(), static_cast<int>(frames.size()) - 1);
    }
    const FrameLoader loader = [&](int index, Bitmap& frame) {
        frame = frames[static_cast<std::size_t>(index)];
    };
    MeasurementSettings settings;
    settings.CentreX = painter.CentreX() + dial.ClickX;
    settings.CentreY = painter.CentreY() + dial.ClickY;
    settings.HandRadius = painter.HandLength();
    settings.Hand = dial.Style.LightHand ? HandColour::Light : HandColour::Dark;
    settings.Fine = true;
    const int count = static_cast<int>(frames.size());
    Bitmap reference;
    BuildReferenceImage(count, loader, settings.Hand, reference);
    return {angles, MeasureHandRotation(count, loader, reference, settings)};
}

double Difference(double a, double b) {
    return std::fmod(a - b + 900.0, 360.0) - 180.0;
}

// Across 12 o'clock clockwise, a stop, back across it further, a stop.
std::vector<double> Wander(int count) {
    std::vector<double> angles;
    for (int i = 0; i < count; ++i) {
        const double phase = static_cast<double>(i) / (count - 1);
        const auto smooth = [](double p) {
            return (1 - std::cos(3.14159265358979 * std::clamp(p, 0.0, 1.0))) / 2;
        };
        const double turned =
            phase < 0.5 ? 61.3 * smooth(phase / 0.4) : 61.3 - 92.0 * smooth((phase - 0.5) / 0.4);
        angles.push_back(std::fmod(330.37 + turned + 360.0, 360.0));
    }
    return angles;
}

struct Errors {
    double Rms = 0, Worst = 0;
};

// Errors of the fine directions, and of the fine turn against the painted one.
Errors FineErrors(const Measured& m) {
    double squares = 0, worst = 0;
    for (std::size_t i = 0; i < m.Painted.size(); ++i) {
        const double e = Difference(m.Result.FineDirections[i], m.Painted[i]);
        const double turn = m.Result.FineUnwrapped[i] - Difference(m.Painted[i], m.Painted[0]);
        squares += e * e;
        worst = std::max({worst, std::abs(e), std::abs(Difference(turn, 0) + 0.0)});
    }
    return {std::sqrt(squares / static_cast<double>(m.Painted.size())), worst};
}

} // namespace

TEST(FineAngle, PaintedDialsWithTheCentreOnThePivotAndThreePixelsOff) {
    struct Row {
        int Width, Height;
        double Hand;
        int ClickX, ClickY;
        double PivotX, PivotY;
        double MostRms, MostWorst;
    };
    const Row rows[] = {
        {320, 240, 2, 0, 0, 0, 0, 0.03, 0.3},        {320, 240, 5, 0, 0, 0, 0, 0.03, 0.3},
        {640, 480, 1, 0, 0, 0, 0, 0.03, 0.3},        {640, 480, 4, 0, 0, 0, 0, 0.03, 0.3},
        {320, 240, 2, 3, 0, 0.37, -0.21, 0.1, 0.5},  {320, 240, 5, -2, 2, 0.25, 0.3, 0.1, 0.5},
        {640, 480, 1, 0, -3, -0.18, 0.44, 0.1, 0.5}, {640, 480, 4, 2, -2, -0.4, -0.1, 0.1, 0.5},
    };
    for (const Row& row : rows) {
        Dial dial{row.Width, row.Height, {}, row.ClickX, row.ClickY};
        dial.Style.HandWidth = row.Hand;
        dial.Style.Detailed = true;
        dial.Style.Noise = 2;
        dial.Style.PivotX = row.PivotX;
        dial.Style.PivotY = row.PivotY;
        const Measured m = PaintAndMeasure(dial, Wander(24));
        const Errors e = FineErrors(m);
        SCOPED_TRACE(testing::Message() << row.Width << "x" << row.Height << " hand " << row.Hand
                                        << " click " << row.ClickX << "," << row.ClickY);
        EXPECT_LE(e.Rms, row.MostRms);
        EXPECT_LE(e.Worst, row.MostWorst);
        // The pivot found lies where the dial was painted.
        EXPECT_NEAR(m.Result.FinePivotX, row.Width / 2 + row.PivotX, 0.2);
        EXPECT_NEAR(m.Result.FinePivotY, row.Height / 2 + row.PivotY, 0.2);
        // The whole-degree series are those of a measurement without it.
        EXPECT_EQ(m.Result.AngleSeries.size(), m.Painted.size());
    }
}

TEST(FineAngle, CrossingTwelveBothWaysTurnsOnAndBack) {
    Dial dial;
    dial.Style.HandWidth = 3;
    dial.Style.Noise = 2;
    // The later frames move the hand away so that the dial is seen without it.
    const Measured m =
        PaintAndMeasure(dial, {359.6, 0.45, 1.2, 0.3, 359.1, 358.75, 250.5, 130.2, 10.6});
    const std::vector<double> turned{0, 0.85, 1.6, 0.7, -0.5, -0.85, -109.1, -229.4, -349};
    for (std::size_t i = 0; i < turned.size(); ++i) {
        EXPECT_NEAR(m.Result.FineUnwrapped[i], turned[i], 0.05) << i;
        EXPECT_GE(m.Result.FineDirections[i], 0.0);
        EXPECT_LT(m.Result.FineDirections[i], 360.0);
    }
}

TEST(FineAngle, LightHandOverPaleNumerals) {
    Dial dial;
    dial.Style.HandWidth = 2;
    dial.Style.LightHand = true;
    dial.Style.Detailed = true;
    dial.Style.Noise = 2;
    // 90° and 120° lie over the numerals 3 and 4.
    const Measured m = PaintAndMeasure(dial, {88.6, 90.2, 119.7, 150.35, 200.81});
    for (std::size_t i = 0; i < m.Painted.size(); ++i)
        EXPECT_NEAR(Difference(m.Result.FineDirections[i], m.Painted[i]), 0, 0.05) << i;
}

TEST(FineAngle, CircleCutByThePictureEdgeIsNoWorseThanWholeDegrees) {
    // The pivot 40 pixels from the left edge: pointing left, only the hub
    // end of the hand is in the picture.
    for (const int click : {0, 3}) {
        Dial dial;
        dial.Style.HandWidth = 3;
        dial.Style.Noise = 2;
        dial.Style.PivotX = -120;
        dial.ClickX = -120 + click;
        const Measured m = PaintAndMeasure(dial, {10.4, 80.2, 180.7, 250.3, 271.6, 290.15});
        for (std::size_t i = 0; i < m.Painted.size(); ++i) {
            const double fine = std::abs(Difference(m.Result.FineDirections[i], m.Painted[i]));
            const double whole = std::abs(Difference(m.Result.AngleSeries[i], m.Painted[i]));
            EXPECT_LE(fine, std::max(whole, 0.1)) << "click " << click << ", frame " << i;
        }
    }
}

TEST(FineAngle, StrayDarkPixelsBesideTheHandAreLeftOut) {
    Dial dial;
    dial.Style.HandWidth = 2;
    dial.Style.Noise = 2;
    // Dark pixels strewn over the dial, other ones in every frame, and in the
    // frames at 45° a dark speck 6 pixels beside the hand half-way along it.
    const auto spoil = [](Bitmap& frame, int index) {
        std::uint32_t state = 12345u + static_cast<std::uint32_t>(index);
        for (int k = 0; k < 60; ++k) {
            state = state * 1664525u + 1013904223u;
            const int x = 70 + static_cast<int>((state >> 16) % 180);
            state = state * 1664525u + 1013904223u;
            const int y = 30 + static_cast<int>((state >> 16) % 180);
            std::uint8_t* p = frame.ScanLine(y) + 3 * x;
            p[0] = p[1] = p[2] = 20;
        }
        if (index > 2) return;
        for (int y = 88; y <= 90; ++y)
            for (int x = 199; x <= 201; ++x) {
                std::uint8_t* p = frame.ScanLine(y) + 3 * x;
                p[0] = p[1] = p[2] = 20;
            }
    };
    const Measured m = PaintAndMeasure(dial, {45.3, 45.3, 44.8, 300.2, 130.6}, spoil);
    for (std::size_t i = 0; i < m.Painted.size(); ++i)
        EXPECT_NEAR(Difference(m.Result.FineDirections[i], m.Painted[i]), 0, 0.1) << i;
}

TEST(FineAngle, AFrameWithoutHandKeepsItsWholeDegreeDirection) {
    const Bitmap reference = [] {
        Bitmap b(40, 40, PixelFormat::Pf24Bit);
        b.Fill(200);
        return b;
    }();
    MeasurementSettings settings;
    settings.CentreX = settings.CentreY = 20;
    settings.HandRadius = 15;
    settings.Fine = true;
    const FrameLoader loader = [&](int, Bitmap& frame) { frame = reference; };
    const RotationResult r = MeasureHandRotation(3, loader, reference, settings);
    ASSERT_EQ(r.FineDirections.size(), 3u);
    EXPECT_EQ(r.FineDirections[0], 180.0); // no votes: peak 0, angle 180
    EXPECT_EQ(r.FineUnwrapped, (std::vector<double>{0, 0, 0}));
    settings.Fine = false;
    EXPECT_TRUE(MeasureHandRotation(3, loader, reference, settings).FineDirections.empty());
}

TEST(FineAngle, UnwrapCountsStepsBeyondHalfATurn) {
    EXPECT_EQ(UnwrapFineAngles({350.5, 10.25, 30.0}), (std::vector<double>{0, 19.75, 39.5}));
    EXPECT_EQ(UnwrapFineAngles({10.0, 349.5}), (std::vector<double>{0, -20.5}));
    EXPECT_EQ(UnwrapFineAngles({0.0, 180.0, 0.0}), (std::vector<double>{0, 180, 0}));
    EXPECT_EQ(UnwrapFineAngles({0.0, 180.5}), (std::vector<double>{0, -179.5}));
    EXPECT_TRUE(UnwrapFineAngles({}).empty());
}
