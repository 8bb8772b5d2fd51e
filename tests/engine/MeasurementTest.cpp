// The measurement as both front ends drive it: its steps, the controls each
// step enables, its runs and their cancelling, and what it reports.

#include "AnalysisTestSupport.h"
#include "TestSupport.h"

#include "Error.h"
#include "PictureFiles.h"
#include "measurement/ControlTable.h"
#include "measurement/Measurement.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace torvi;

namespace {

// Records what the measurement reports.
struct Recorder : MeasurementObserver {
    std::vector<Step> Steps;
    std::vector<std::string> Activities;
    std::vector<Error> Errors;
    int Maximum = -1;
    int Value = -1;
    int Masks = 0;
    int Contrast = -1;
    std::string FrameField;

    void StepChanged(Step step) override { Steps.push_back(step); }
    void ActivityChanged(const std::string& text) override { Activities.push_back(text); }
    void ProgressRangeChanged(int maximum) override { Maximum = maximum; }
    void ProgressChanged(int value) override { Value = value; }
    void MaskChanged(const Bitmap&) override { ++Masks; }
    void ContrastChanged(int value) override { Contrast = value; }
    void FrameFieldChanged(const std::string& text) override { FrameField = text; }
    void Failed(const Error& error) override { Errors.push_back(error); }
};

// A light dial 41 x 41, centre (20, 20), with a dark hand of length 15
// pointing up in every picture; `odd` pictures get another size.
void WriteDials(const test::TempFolder& folder, int count, int oddIndex = -1) {
    for (int i = 0; i < count; ++i) {
        const int size = i == oddIndex ? 31 : 41;
        Bitmap picture = test::GreyPicture(size, size, 200);
        for (int y = 5; y <= 20 && y < size; ++y)
            test::SetGrey(picture, 20, y, 20);
        char name[32];
        std::snprintf(name, sizeof name, "p%03d.bmp", i + 1);
        SavePicture(folder.File(name), picture);
    }
}

// Open, mark centre and tip, as the user does.
void OpenAndMark(Measurement& m, const std::string& path, const std::string& fileExt) {
    ASSERT_TRUE(m.Open(path, fileExt));
    m.ClickPicture(20, 20);
    m.ClickPicture(20, 5);
}

} // namespace

// The enabling of every step, column by column as the main window's workflow
// lists them (Keep: the reset of an Open leaves the control as it was).
TEST(ControlTable, EnablesWhatEachStepNeeds) {
    constexpr Enabling O = Enabling::Off, I = Enabling::On, K = Enabling::Keep;
    struct Row {
        Step S;
        Enabling Ok, Change, ContrastField, Arrows, BW, FrameField, Navigation, Animation, Results,
            Masking, SaveCaptured, Clicks;
        const char* Prompt;
    };
    const Row rows[] = {
        {Step::Start, O, O, O, O, O, O, O, O, O, O, O, O, ""},
        {Step::NoMeasurement, O, K, O, K, I, O, O, O, O, O, K, O, ""},
        {Step::OpenFailed, O, O, O, O, I, O, O, O, O, O, K, O, ""},
        {Step::MarkCentre, O, O, O, O, I, O, I, I, O, I, I, I, "Set centre of dial."},
        {Step::MarkRadius, O, O, O, O, I, O, I, I, O, I, I, I, "Set radius of hand."},
        {Step::Marked, I, I, O, O, I, O, I, I, O, I, I, O, ""},
        {Step::Confirmed, I, I, O, O, O, O, I, I, O, I, I, O, ""},
        {Step::ContrastSetting, O, I, I, I, O, I, I, I, I, I, I, O,
         "Set contrast of picture to the best visibility of hand, together with less error "
         "disturbance."},
        {Step::FinishedGraph, O, O, O, O, O, O, I, I, I, I, I, O, ""},
        {Step::FinishedSaved, O, O, K, O, O, K, I, I, I, I, I, O, ""},
    };
    for (const Row& r : rows) {
        const ControlEnabling e = EnabledControls(r.S);
        const Enabling want[] = {r.Ok,      r.Change,     r.ContrastField, r.Arrows,
                                 r.BW,      r.FrameField, r.Navigation,    r.Animation,
                                 r.Results, r.Masking,    r.SaveCaptured,  r.Clicks};
        for (std::size_t c = 0; c < e.size(); ++c)
            EXPECT_EQ(e[c], want[c]) << "step " << static_cast<int>(r.S) << " control " << c;
        EXPECT_STREQ(StepPrompt(r.S), r.Prompt);
        EXPECT_EQ(CrossCursor(r.S), r.S == Step::MarkCentre || r.S == Step::MarkRadius);
        // The animation stops navigation and nothing else.
        ControlEnabling playing = EnabledControls(r.S, Activity::Animating);
        EXPECT_NE(EnablingOf(playing, Control::Navigation), Enabling::On);
        playing[static_cast<std::size_t>(Control::Navigation)] = r.Navigation;
        EXPECT_EQ(playing, e);
    }
}

TEST(Measurement, GoesThroughTheWorkflowToTheResult) {
    test::TempFolder folder;
    WriteDials(folder, 4);
    Recorder seen;
    Measurement m(&seen);
    EXPECT_EQ(m.CurrentStep(), Step::Start);
    m.ResetToNoMeasurement();
    EXPECT_EQ(m.CurrentStep(), Step::NoMeasurement);

    // The chosen picture is shown first.
    OpenAndMark(m, folder.File("p003.bmp"), ".BMP");
    EXPECT_EQ(m.CurrentIndex(), 2);
    EXPECT_EQ(seen.Maximum, 3);
    EXPECT_EQ(m.CurrentStep(), Step::Marked);
    EXPECT_EQ(m.HandRadius(), 15);
    EXPECT_EQ(seen.FrameField, "p003.bmp");

    // "OK" after a change of hand colour builds the reference for that colour.
    m.ChooseHand(HandColour::Light);
    m.ChooseHand(HandColour::Dark);
    EXPECT_FALSE(m.Calibrated());
    ASSERT_TRUE(m.Confirm());
    EXPECT_EQ(m.CurrentStep(), Step::ContrastSetting);
    EXPECT_TRUE(m.Calibrated());
    EXPECT_TRUE(m.MaskingLive());
    EXPECT_EQ(m.ContrastThreshold(), 60);
    EXPECT_EQ(seen.Contrast, 60);
    EXPECT_EQ(seen.Activities.back(), "");
    const int masks = seen.Masks;
    ASSERT_TRUE(m.Next());
    EXPECT_EQ(seen.Masks, masks + 1); // every frame shown is masked too

    // "&Change" returns to marking and forgets the calibration; the next "OK"
    // starts the contrast step at 60 again.
    ASSERT_TRUE(m.SetContrast(90));
    ASSERT_TRUE(m.Change());
    EXPECT_EQ(m.CurrentStep(), Step::MarkCentre);
    EXPECT_FALSE(m.Calibrated());
    m.ClickPicture(20, 20);
    m.ClickPicture(20, 5);
    ASSERT_TRUE(m.Confirm());
    EXPECT_EQ(m.ContrastThreshold(), 60);

    // "&Graph" measures once; Next then shows frame 1.
    ASSERT_TRUE(m.Finish(true));
    EXPECT_EQ(m.CurrentStep(), Step::FinishedGraph);
    ASSERT_TRUE(m.Measure());
    EXPECT_TRUE(m.ResultsValid());
    EXPECT_FALSE(m.Calibrated());
    EXPECT_EQ(m.UnwrappedSeries(), (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(m.CurrentIndex(), 0);
    ASSERT_TRUE(m.Next());
    EXPECT_EQ(m.CurrentIndex(), 1);
    EXPECT_FALSE(m.Change()); // only a new Open changes settings after the result
    EXPECT_TRUE(seen.Errors.empty());

    const std::string out = folder.File("result.txt");
    ASSERT_TRUE(m.WriteResult(out, {"s", "25", "360"}, "."));
    EXPECT_TRUE(std::filesystem::file_size(out) > 0);
}

TEST(Measurement, FailedOpensSayWhyAndLeaveTheStatusAsTheyFoundIt) {
    test::TempFolder folder;
    WriteDials(folder, 2);
    Recorder seen;
    Measurement m(&seen);
    EXPECT_FALSE(m.Open(folder.File("p001.bmp"), ".BMP"));
    ASSERT_EQ(seen.Errors.size(), 1u);
    EXPECT_STREQ(seen.Errors[0].what(), "More than two files *.BMP in directory are needed");
    EXPECT_EQ(seen.Errors[0].Kind(), ErrorKind::TooFewFrames);
    EXPECT_EQ(m.CurrentStep(), Step::OpenFailed);

    // A film FFmpeg cannot read: the message of the program, FFmpeg's reason
    // beside it, and the bar as before the Open.
    EXPECT_FALSE(m.Open(test::DataFile("films/not-a-film.avi"), ".AVI"));
    ASSERT_EQ(seen.Errors.size(), 2u);
    EXPECT_STREQ(seen.Errors[1].what(), "Missing system video codec");
    EXPECT_EQ(seen.Errors[1].Kind(), ErrorKind::NoVideoCodec);
    EXPECT_FALSE(seen.Errors[1].Detail().empty());
    EXPECT_EQ(m.ActivityText(), "");
    EXPECT_EQ(m.ProgressMaximum(), 100);
    EXPECT_EQ(seen.Maximum, 100);
    EXPECT_EQ(seen.Value, 0);
}

TEST(Measurement, FailedStepsEndWhereTheyFailed) {
    // 22 pictures: the calibration samples every second one, so the last,
    // of another size, is left for the masking picture to meet.
    test::TempFolder folder;
    WriteDials(folder, 22, 21);
    Recorder seen;
    Measurement m(&seen);
    OpenAndMark(m, folder.File("p022.bmp"), ".BMP");
    EXPECT_FALSE(m.Confirm());
    ASSERT_EQ(seen.Errors.size(), 1u);
    EXPECT_EQ(seen.Errors[0].Kind(), ErrorKind::SizesNotEqual);
    EXPECT_EQ(m.CurrentStep(), Step::Confirmed);

    // Calibration failing on frame 0 clears its activity as well.
    test::TempFolder other;
    WriteDials(other, 3, 0);
    Measurement n(&seen);
    OpenAndMark(n, other.File("p002.bmp"), ".BMP");
    EXPECT_FALSE(n.Confirm());
    EXPECT_EQ(seen.Errors.back().Kind(), ErrorKind::SizesNotEqual);
    EXPECT_EQ(n.ActivityText(), "");
    EXPECT_EQ(seen.Activities.back(), "");
    EXPECT_EQ(n.CurrentStep(), Step::Confirmed);
}

TEST(Measurement, MaskingAFrameThatCannotBeReadSaysWhichOne) {
    // 24 GIF pictures, the last one without an image (as a film frame that
    // cannot be delivered gives no picture) and not among the calibration's
    // samples (every second one).
    test::TempFolder folder;
    for (int i = 0; i < 23; ++i)
        std::filesystem::copy_file(test::DataFile("pictures/gif-global-palette.gif"),
                                   folder.File("g" + std::to_string(100 + i) + ".gif"));
    const std::string empty = {'G',    'I', 'F', '8', '9', 'a', 4,      0,      3,      0,
                               '\x80', 0,   0,   0,   0,   0,   '\xff', '\xff', '\xff', 0x3B};
    folder.Write("z.gif", empty);
    Recorder seen;
    Measurement m(&seen);
    ASSERT_TRUE(m.Open(folder.File("g100.gif"), ".GIF"));
    m.ClickPicture(1, 1);
    m.ClickPicture(1, 2);
    ASSERT_TRUE(m.Confirm());
    EXPECT_FALSE(m.Last());
    ASSERT_EQ(seen.Errors.size(), 1u);
    EXPECT_STREQ(seen.Errors[0].what(), "Cannot read frame 24");
    EXPECT_EQ(seen.Errors[0].Kind(), ErrorKind::FrameUnreadable);
}

TEST(Measurement, CancelledRunsLeaveNoResultAndTheStepTheyBeganIn) {
    test::TempFolder folder;
    WriteDials(folder, 5);
    Recorder seen;
    Measurement m(&seen);
    OpenAndMark(m, folder.File("p001.bmp"), ".BMP");

    auto calibration = m.BeginCalibration(true);
    ASSERT_TRUE(calibration);
    EXPECT_TRUE(m.Running());
    EXPECT_FALSE(m.BeginMeasurement()); // one run at a time
    EXPECT_FALSE(m.Change());           // nor a change under it
    ASSERT_TRUE(m.Next());              // navigation goes on
    calibration->Execute([&](int i) {
        if (i == 1) calibration->Cancel();
    });
    EXPECT_FALSE(m.FinishRun(*calibration));
    EXPECT_EQ(m.CurrentStep(), Step::Marked);
    EXPECT_FALSE(m.Calibrated());

    ASSERT_TRUE(m.Confirm());
    ASSERT_TRUE(m.Finish(false));
    auto measurement = m.BeginMeasurement();
    ASSERT_TRUE(measurement);
    EXPECT_EQ(m.ActivityText(), "Calculation ...");
    measurement->Cancel();
    measurement->Execute({}); // on its own frame source, as a worker runs it
    EXPECT_FALSE(m.FinishRun(*measurement));
    EXPECT_FALSE(m.ResultsValid());
    EXPECT_EQ(m.CurrentStep(), Step::ContrastSetting);
    EXPECT_EQ(m.ActivityText(), "");
    EXPECT_TRUE(seen.Errors.empty());

    // A run on its own frame source gives what a run on the measurement's gives.
    ASSERT_TRUE(m.Finish(false));
    auto again = m.BeginMeasurement();
    again->Execute({});
    ASSERT_TRUE(m.FinishRun(*again));
    EXPECT_EQ(m.UnwrappedSeries().size(), 5u);
}
