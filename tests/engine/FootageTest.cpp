// Fine mode on dials painted like lab footage, one condition at a time, each
// with its true angle on the dial's plane: a tilted camera, shake, motion
// blur, a second hand, a shadow, a tail, glare, flicker (also at a threshold
// where the whole-degree votes flood). Also what fine mode must leave alone
// (a dial seen square-on), the rim given by hand, the registration and the
// flood rule.

#include "analysis/Calibration.h"
#include "analysis/DialRim.h"
#include "analysis/DirectionTable.h"
#include "analysis/FineAngle.h"
#include "analysis/FrameRegistration.h"
#include "analysis/HandFlood.h"
#include "analysis/RegisteredBackground.h"
#include "analysis/RotationMeasurement.h"

#include "AnalysisTestSupport.h"
#include "DialPainter.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

using namespace torvi;

namespace {

struct Footage {
    std::function<void(DialStyle&)> Looks;
    double Shake = 0;    // pixels either way
    double Flicker = 0;  // share either way
    double Exposure = 0; // share of the turn between frames smeared
    double Turn = 61.3;
    int Contrast = 60;
    int ClickX = 0, ClickY = 0; // the click, pixels from the pivot's pixel
    double PivotX = 0, PivotY = 0;
    int Width = 320, Height = 240;
    double Hand = 3;
    bool Light = false;
    int Frames = 24;
};

struct Measured {
    std::vector<double> Painted;
    std::vector<int> Whole;
    std::vector<std::uint32_t> HandPixels;
    FineAngleMeasurement::Series Fine;
    int Radius = 0;
    Bitmap Reference; // the calibration's, which whole degrees measure against
    MeasurementSettings Settings;
};

double Difference(double a, double b) {
    return std::fmod(a - b + 900.0, 360.0) - 180.0;
}

// Across 12 o'clock clockwise, a stop, back across it 1.5 times as far.
double Motion(double index, int count, double turn) {
    return WanderAngle(index, count, 330.37, turn);
}

// Paints the film and measures it as a measurement does: the calibration's
// reference for the votes, a registered background beside it for the fine
// angle; `rim` given by hand when valid.
Measured PaintAndMeasure(const Footage& f, const DialEllipse& rim = {}) {
    DialStyle style;
    style.HandWidth = f.Hand;
    style.LightHand = f.Light;
    style.Printed = true;
    style.HubCap = true;
    style.Noise = 2;
    style.PivotX = f.PivotX;
    style.PivotY = f.PivotY;
    if (f.Looks) f.Looks(style);
    DialPainter painter(f.Width, f.Height, style);
    std::uint32_t state = 99;
    const auto random = [&] {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) / 8388608.0 - 1.0;
    };
    Measured m;
    std::vector<Bitmap> frames;
    for (int i = 0; i < f.Frames; ++i) {
        DialFrame shot;
        shot.Angle = Motion(i, f.Frames, f.Turn);
        shot.Smear = f.Exposure *
                     std::remainder(Motion(std::min(i + 1.0, f.Frames - 1.0), f.Frames, f.Turn) -
                                        Motion(std::max(i - 1.0, 0.0), f.Frames, f.Turn),
                                    360.0) /
                     2;
        shot.ShiftX = f.Shake * random();
        shot.ShiftY = f.Shake * random();
        shot.Gain = 1 + f.Flicker * random();
        m.Painted.push_back(shot.Angle);
        frames.push_back(PaintedPicture(painter.Paint(shot), f.Width, f.Height));
    }
    double pivotX = 0, pivotY = 0, tipX = 0, tipY = 0;
    painter.PlaneToPicture(0, 0, pivotX, pivotY);
    const double first = m.Painted[0] * std::numbers::pi / 180.0;
    painter.PlaneToPicture(std::sin(first) * painter.HandLength(),
                           -std::cos(first) * painter.HandLength(), tipX, tipY);
    MeasurementSettings settings;
    settings.CentreX = painter.CentreX() + f.ClickX;
    settings.CentreY = painter.CentreY() + f.ClickY;
    settings.HandRadius = static_cast<int>(std::lround(std::hypot(tipX - pivotX, tipY - pivotY)));
    settings.Hand = f.Light ? HandColour::Light : HandColour::Dark;
    settings.ContrastThreshold = f.Contrast;
    settings.Fine = true;
    m.Radius = settings.HandRadius;

    Bitmap reference;
    RegisteredBackground background(settings);
    bool firstSample = true;
    for (const int index : CalibrationSamples(f.Frames)) {
        FoldCalibrationFrame(reference, frames[static_cast<std::size_t>(index)], firstSample,
                             settings.Hand);
        background.Fold(frames[static_cast<std::size_t>(index)]);
        firstSample = false;
    }
    const DirectionTable table(settings, reference.Width(), reference.Height());
    const VoteCounter counter(reference, table, settings.ContrastThreshold, settings.Hand);
    FineAngleMeasurement fine(settings, background.Picture());
    if (rim.Valid()) fine.SetRim(rim);
    for (const Bitmap& frame : frames) {
        const FrameVotes votes = counter.Count(frame);
        m.Whole.push_back(AngleOfPeak(PeakBin(votes.Histogram)));
        m.HandPixels.push_back(votes.HandPixels);
        fine.AddFrame(frame, m.Whole.back());
    }
    m.Fine = fine.Finish();
    m.Reference = std::move(reference);
    m.Settings = settings;
    return m;
}

struct Errors {
    double Rms = 0, Worst = 0;
};

Errors FineErrors(const Measured& m) {
    double squares = 0, worst = 0;
    for (std::size_t i = 0; i < m.Painted.size(); ++i) {
        const double e = Difference(m.Fine.Directions[i], m.Painted[i]);
        squares += e * e;
        worst = std::max(worst, std::abs(e));
    }
    return {std::sqrt(squares / static_cast<double>(m.Painted.size())), worst};
}

} // namespace

TEST(Footage, EachConditionOnTheDialsPlaneWithinItsBounds) {
    struct Row {
        const char* Name;
        std::function<void(Footage&)> Make;
        double MostRms, MostWorst;
    };
    const Row rows[] = {
        {"clean", [](Footage&) {}, 0.05, 0.3},
        {"tilt 30", [](Footage& f) { f.Looks = [](DialStyle& s) { s.Tilt = 30; }; }, 0.05, 0.3},
        {"shake 1.5 px", [](Footage& f) { f.Shake = 1.5; }, 0.05, 0.3},
        {"blur 22/frame",
         [](Footage& f) {
             f.Exposure = 1;
             f.Turn = 22 * 0.4 * (f.Frames - 1) / (1.5 * std::numbers::pi / 2);
         },
         0.3, 1.0},
        {"second hand",
         [](Footage& f) {
             f.Looks = [](DialStyle& s) {
                 s.SecondShare = 0.4;
                 s.SecondStart = 345;
             };
         },
         0.05, 0.3},
        // The needle at its size: at 320 x 240 a 3-pixel needle's
        // shadow still leaves 0.12° RMS.
        {"shadow 4 px",
         [](Footage& f) {
             f.Looks = [](DialStyle& s) { s.Shadow = 4; };
             f.Width = 640;
             f.Height = 480;
             f.Hand = 4.5;
             f.Frames = 16;
         },
         0.05, 0.3},
        {"tail", [](Footage& f) { f.Looks = [](DialStyle& s) { s.TailShare = 0.28; }; }, 0.05, 0.3},
        {"glare", [](Footage& f) { f.Looks = [](DialStyle& s) { s.Glare = true; }; }, 0.05, 0.3},
        {"flicker 8 %", [](Footage& f) { f.Flicker = 0.08; }, 0.05, 0.3},
        {"light hand, shake and flicker",
         [](Footage& f) {
             f.Light = true;
             f.Shake = 1;
             f.Flicker = 0.05;
         },
         0.05, 0.3},
    };
    for (const Row& row : rows) {
        for (const bool off : {false, true}) {
            Footage f;
            if (off) {
                f.ClickX = 2;
                f.ClickY = -2;
                f.PivotX = -0.4;
                f.PivotY = -0.1;
            }
            row.Make(f);
            SCOPED_TRACE(testing::Message() << row.Name << (off ? ", click 2-3 px off" : ""));
            const Errors e = FineErrors(PaintAndMeasure(f));
            EXPECT_LE(e.Rms, row.MostRms);
            EXPECT_LE(e.Worst, row.MostWorst);
        }
    }
}

TEST(Footage, FlickerAtALowThresholdFloodsTheVotesButNotTheFineAngle) {
    Footage f;
    f.Flicker = 0.1;
    f.Contrast = 35;
    const Measured m = PaintAndMeasure(f);
    const Errors e = FineErrors(m);
    EXPECT_LE(e.Rms, 0.05);
    EXPECT_LE(e.Worst, 0.3);
    const std::vector<bool> flooded = FloodedFrames(m.HandPixels, m.Radius);
    EXPECT_GT(std::count(flooded.begin(), flooded.end(), true), 0);
    // The steady lamp's film floods nothing at the same threshold.
    f.Flicker = 0;
    const Measured steady = PaintAndMeasure(f);
    const std::vector<bool> none = FloodedFrames(steady.HandPixels, steady.Radius);
    EXPECT_EQ(std::count(none.begin(), none.end(), true), 0);
}

TEST(Footage, ADialSeenSquareOnIsNotCorrected) {
    Footage f;
    const Measured found = PaintAndMeasure(f);
    EXPECT_EQ(found.Fine.Rim, RimSource::None);
    EXPECT_FALSE(found.Fine.RimEllipse.Valid());
    // Nor is a warning about whole degrees given.
    EXPECT_FALSE(AskewRim(found.Reference, found.Settings).Valid());
    // A circle given by hand changes no direction either.
    DialEllipse circle;
    circle.CentreX = 160;
    circle.CentreY = 120;
    circle.SemiAxisA = circle.SemiAxisB = 110;
    const Measured given = PaintAndMeasure(f, circle);
    EXPECT_EQ(given.Fine.Rim, RimSource::Given);
    for (std::size_t i = 0; i < found.Painted.size(); ++i)
        EXPECT_NEAR(Difference(given.Fine.Directions[i], found.Fine.Directions[i]), 0, 1e-5);
}

TEST(Footage, TheRimGivenByHandOverridesTheOneFound) {
    Footage f;
    f.Looks = [](DialStyle& s) { s.Tilt = 30; };
    const Measured found = PaintAndMeasure(f);
    ASSERT_EQ(found.Fine.Rim, RimSource::Found);
    // The rim of a dial 30° off square, seen with perspective.
    EXPECT_NEAR(found.Fine.RimEllipse.SemiAxisB / found.Fine.RimEllipse.SemiAxisA, 0.87, 0.02);
    // Whole degrees, taken in the picture, are said to be off the dial's.
    EXPECT_TRUE(AskewRim(found.Reference, found.Settings).Valid());
    EXPECT_LE(FineErrors(found).Worst, 0.3);
    // The same rim given: the same directions, said to be given.
    const Measured same = PaintAndMeasure(f, found.Fine.RimEllipse);
    EXPECT_EQ(same.Fine.Rim, RimSource::Given);
    for (std::size_t i = 0; i < found.Painted.size(); ++i)
        EXPECT_NEAR(Difference(same.Fine.Directions[i], found.Fine.Directions[i]), 0, 1e-9);
    // A circle given: the directions as seen in the picture, degrees off.
    DialEllipse circle = found.Fine.RimEllipse;
    circle.SemiAxisB = circle.SemiAxisA;
    const Measured uncorrected = PaintAndMeasure(f, circle);
    EXPECT_EQ(uncorrected.Fine.Rim, RimSource::Given);
    EXPECT_GT(FineErrors(uncorrected).Worst, 2.0);
}

TEST(Footage, TheRimMarkedByClicksIsTheEllipseThroughThem) {
    DialEllipse rim;
    rim.CentreX = 300.5;
    rim.CentreY = 210.25;
    rim.SemiAxisA = 180;
    rim.SemiAxisB = 150;
    rim.Angle = 20;
    std::vector<RimPoint> clicks;
    for (const double t : {0.1, 1.3, 2.2, 3.0, 4.4, 5.5}) {
        const double a = rim.Angle * std::numbers::pi / 180;
        const double u = rim.SemiAxisA * std::cos(t), v = rim.SemiAxisB * std::sin(t);
        clicks.push_back({rim.CentreX + u * std::cos(a) - v * std::sin(a),
                          rim.CentreY + u * std::sin(a) + v * std::cos(a)});
    }
    const DialEllipse fitted = EllipseThrough(clicks);
    ASSERT_TRUE(fitted.Valid());
    EXPECT_NEAR(fitted.CentreX, rim.CentreX, 1e-6);
    EXPECT_NEAR(fitted.CentreY, rim.CentreY, 1e-6);
    EXPECT_NEAR(fitted.SemiAxisA, rim.SemiAxisA, 1e-6);
    EXPECT_NEAR(fitted.SemiAxisB, rim.SemiAxisB, 1e-6);
    EXPECT_NEAR(std::fmod(fitted.Angle + 360, 180), rim.Angle, 1e-6);
    // Four clicks, or five on a line, give no ellipse.
    clicks.resize(4);
    EXPECT_FALSE(EllipseThrough(clicks).Valid());
    EXPECT_FALSE(EllipseThrough({{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}).Valid());
}

TEST(Footage, RegistrationFindsTheShiftAndTheGain) {
    DialStyle style;
    style.HandWidth = 3;
    style.Printed = true;
    style.Noise = 2;
    DialPainter painter(320, 240, style);
    DialFrame still;
    still.Angle = 30;
    // The background as the calibration keeps it: one grey per pixel.
    Bitmap background;
    FoldCalibrationFrame(background, PaintedPicture(painter.Paint(still), 320, 240), true,
                         HandColour::Dark);
    MeasurementSettings settings;
    settings.CentreX = 160;
    settings.CentreY = 120;
    settings.HandRadius = 100;
    const FrameRegistration registration(background, settings);
    for (const double shift : {0.3, -1.2, 2.4})
        for (const double gain : {1.0, 0.93}) {
            DialFrame moved;
            moved.Angle = 140;
            moved.ShiftX = shift;
            moved.ShiftY = -shift / 2;
            moved.Gain = gain;
            const Registration r =
                registration.Register(PaintedPicture(painter.Paint(moved), 320, 240));
            SCOPED_TRACE(testing::Message() << "shift " << shift << ", gain " << gain);
            EXPECT_NEAR(r.ShiftX, shift, 0.05);
            EXPECT_NEAR(r.ShiftY, -shift / 2, 0.05);
            EXPECT_NEAR(r.Gain, gain, 0.01);
        }
    // A frame of the still camera is still: no shift, no gain.
    const Registration none = registration.Register(PaintedPicture(painter.Paint(still), 320, 240));
    EXPECT_TRUE(none.Still());
}

TEST(Footage, AStillCameraFoldsTheCalibrationsReference) {
    DialStyle style;
    style.HandWidth = 3;
    style.Printed = true;
    style.Noise = 2;
    DialPainter painter(320, 240, style);
    MeasurementSettings settings;
    settings.CentreX = 160;
    settings.CentreY = 120;
    settings.HandRadius = 100;
    Bitmap reference;
    RegisteredBackground background(settings);
    for (int i = 0; i < 6; ++i) {
        const Bitmap frame = PaintedPicture(painter.Paint(i * 50.0), 320, 240);
        FoldCalibrationFrame(reference, frame, i == 0, settings.Hand);
        background.Fold(frame);
    }
    EXPECT_TRUE(test::SamePixels(background.Picture(), reference));
    EXPECT_THROW(background.Fold(Bitmap(20, 20, PixelFormat::Pf24Bit)), Error);
}

TEST(HandFlood, FlagsFramesBeyondWhatAHandCovers) {
    // R = 100: the disc holds about 31,700 pixels.
    std::vector<std::uint32_t> counts(20, 550);
    counts[3] = 9000; // far above the others and beyond 8 % of the disc
    counts[7] = 2000; // a wide or smeared hand: more than usual, not a flood
    counts[11] = 30000;
    std::vector<bool> expected(20, false);
    expected[3] = expected[11] = true;
    EXPECT_EQ(FloodedFrames(counts, 100), expected);
    // Every frame flooded: the median does not hide it.
    EXPECT_EQ(FloodedFrames(std::vector<std::uint32_t>(5, 20000), 100), std::vector<bool>(5, true));
    EXPECT_TRUE(FloodedFrames({}, 100).empty());
    EXPECT_EQ(FloodedFrames({0, 0}, 0), std::vector<bool>(2, false));
}
