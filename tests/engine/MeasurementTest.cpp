// The measurement as the windows and torvi-measure drive it, for films,
// pictures and capture devices: its steps, the controls each step enables
// and the operations it refuses, its runs and their cancelling, and what it
// reports.

#include "AnalysisTestSupport.h"
#include "CaptureTestSupport.h"
#include "FileIO.h"
#include "TestSupport.h"

#include "Error.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "PictureFiles.h"
#include "measurement/ControlTable.h"
#include "measurement/Measurement.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <numbers>

using namespace torvi;
using torvi::test::ProbeFilm;
using torvi::test::WaitFor;

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
    void ActivityChanged(Progress, const std::string& text) override { Activities.push_back(text); }
    void ProgressRangeChanged(int maximum) override { Maximum = maximum; }
    void ProgressChanged(int value) override { Value = value; }
    void MaskChanged(const Bitmap&) override { ++Masks; }
    void ContrastChanged(int value) override { Contrast = value; }
    void FrameFieldChanged(const std::string& text) override { FrameField = text; }
    void Failed(const Error& error) override { Errors.push_back(error); }
    // The last message, taken once.
    std::string TakeMessage() {
        if (Errors.empty()) return {};
        std::string text = Errors.back().what();
        Errors.clear();
        return text;
    }
};

// An operation of the measurement and the control it needs; refused, it
// answers false and changes nothing.
struct Operation {
    const char* Name;
    Control Needs;
    std::function<bool(Measurement&)> Try;
};

const std::vector<Operation>& Operations(const std::string& folder) {
    static std::vector<Operation> operations;
    operations = {
        {"OK", Control::Ok, [](Measurement& m) { return m.BeginCalibration(true) != nullptr; }},
        {"Change", Control::Change, [](Measurement& m) { return m.Change(); }},
        {"contrast", Control::ContrastArrows, [](Measurement& m) { return m.SetContrast(61); }},
        {"B/W", Control::HandColour, [](Measurement& m) { return m.ChooseHand(HandColour::Dark); }},
        {"First", Control::Navigation, [](Measurement& m) { return m.First(); }},
        {"Previous", Control::Navigation, [](Measurement& m) { return m.Previous(); }},
        {"Last", Control::Navigation, [](Measurement& m) { return m.Last(); }},
        {"Graph", Control::Results, [](Measurement& m) { return m.Finish(true); }},
        {"measure", Control::Results,
         [](Measurement& m) { return m.BeginMeasurement() != nullptr; }},
        {"masking", Control::MaskingItems,
         [](Measurement& m) { return m.BeginCalibration(false) != nullptr; }},
        {"click", Control::PictureClicks, [](Measurement& m) { return m.ClickPicture(1, 1); }},
        {"device", Control::DeviceList,
         [](Measurement& m) { return m.OpenDevice(CaptureSource::Synthetic(64, 48, 25)); }},
        {"learn", Control::Learn, [](Measurement& m) { return m.StartLearning(); }},
        {"start measuring", Control::Measure, [](Measurement& m) { return m.StartMeasuring(); }},
        {"Stop", Control::Stop, [](Measurement& m) { return m.Stop(); }},
        {"save", Control::Results,
         [folder](Measurement& m) {
             return m.WriteDeviceResult(folder + "/refused.txt", "", "360", ".");
         }},
    };
    return operations;
}

// The measurement applies its step's row of the table (Keep leaves what the
// step before left), and refuses every operation whose control is off.
void CheckRefusals(Measurement& m, const std::string& folder = "/nonexistent") {
    const Step step = m.CurrentStep();
    const ControlEnabling row = EnabledControls(step, m.CurrentActivity());
    for (std::size_t c = 0; c < ControlCount; ++c) {
        const auto control = static_cast<Control>(c);
        if (row[c] == Enabling::Keep) continue;
        if (control == Control::Results && m.SourceKind() == Measurement::Source::Device &&
            m.DeviceFrames().empty())
            EXPECT_FALSE(m.Enabled(control))
                << "results without frames, step " << static_cast<int>(step);
        else
            EXPECT_EQ(m.Enabled(control), row[c] == Enabling::On)
                << "step " << static_cast<int>(step) << " control " << c;
    }
    for (const Operation& op : Operations(folder)) {
        if (m.Enabled(op.Needs)) continue;
        EXPECT_FALSE(op.Try(m)) << op.Name << " in step " << static_cast<int>(step);
        EXPECT_EQ(m.CurrentStep(), step) << op.Name;
    }
}

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

CaptureSource SampleFilm() {
    return CaptureSource::PlayedFilm(
        (std::filesystem::path(TORVI_TEST_DATA).parent_path().parent_path() / "samples" /
         "dial.avi")
            .string());
}

// Polls as the window does until the step is reached or a minute has passed.
bool PollUntil(Measurement& session, Step step) {
    return test::WaitFor(
        [&] {
            session.Poll();
            return session.CurrentStep() == step;
        },
        60);
}

std::string FileText(const std::string& path) {
    const std::vector<std::uint8_t> bytes = ReadWholeFile(path);
    return {bytes.begin(), bytes.end()};
}

} // namespace

// The enabling of every step, column by column as the main window's and the
// live window's workflows list them (Keep: the reset of an Open leaves the
// control as it was), and the prompts.
TEST(ControlTable, EnablesWhatEachStepNeeds) {
    constexpr Enabling O = Enabling::Off, I = Enabling::On, K = Enabling::Keep;
    struct FilmRow {
        Step S;
        Enabling Ok, Change, ContrastField, Arrows, BW, FrameField, Navigation, Animation, Results,
            Masking, SaveCaptured, Clicks;
        const char* Prompt;
    };
    const FilmRow film[] = {
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
    for (const FilmRow& r : film) {
        const ControlEnabling e = EnabledControls(r.S);
        const std::pair<Control, Enabling> want[] = {{Control::Ok, r.Ok},
                                                     {Control::Change, r.Change},
                                                     {Control::ContrastField, r.ContrastField},
                                                     {Control::ContrastArrows, r.Arrows},
                                                     {Control::HandColour, r.BW},
                                                     {Control::FrameField, r.FrameField},
                                                     {Control::Navigation, r.Navigation},
                                                     {Control::Animation, r.Animation},
                                                     {Control::Results, r.Results},
                                                     {Control::MaskingItems, r.Masking},
                                                     {Control::SaveCaptured, r.SaveCaptured},
                                                     {Control::PictureClicks, r.Clicks}};
        for (const auto& [control, enabling] : want)
            EXPECT_EQ(EnablingOf(e, control), enabling)
                << "step " << static_cast<int>(r.S) << " control " << static_cast<int>(control);
        EXPECT_STREQ(StepPrompt(r.S), r.Prompt);
        EXPECT_EQ(CrossCursor(r.S), r.S == Step::MarkCentre || r.S == Step::MarkRadius);
        // The animation stops navigation and nothing else.
        ControlEnabling playing = EnabledControls(r.S, Activity::Animating);
        EXPECT_NE(EnablingOf(playing, Control::Navigation), Enabling::On);
        playing[static_cast<std::size_t>(Control::Navigation)] = r.Navigation;
        EXPECT_EQ(playing, e);
    }

    struct LiveRow {
        Step S;
        Enabling Devices, Change, BW, Arrows, Learn, Measure, Stop, Record, Results, Clicks;
        const char* Prompt;
    };
    const LiveRow live[] = {
        {Step::ChooseDevice, I, O, O, O, O, O, O, I, O, O,
         "Choose a capture device, or a film to play as a camera."},
        {Step::MarkCentre, I, O, I, O, O, O, O, I, O, I, "Set centre of dial."},
        {Step::MarkRadius, I, O, I, O, O, O, O, I, O, I, "Set radius of hand."},
        {Step::Marked, I, I, I, O, I, O, O, I, O, O, ""},
        {Step::Learning, O, O, O, I, O, I, I, I, O, O,
         "Learning the background: keep the hand moving. Stop when only the hand shows white "
         "in the masking view."},
        {Step::Learned, I, I, O, I, I, I, O, I, O, O,
         "Set the contrast so that the hand stands out, then measure."},
        {Step::Measuring, O, O, O, O, O, O, I, O, O, O, "Measuring. Stop ends the run."},
        {Step::Finished, I, I, O, O, I, O, O, I, I, O,
         "Save the result, or learn the background again for a new run."},
        {Step::DeviceFailed, I, O, O, O, O, O, O, I, O, O, ""},
    };
    for (const LiveRow& r : live) {
        const ControlEnabling e = EnabledControls(r.S);
        const std::pair<Control, Enabling> want[] = {
            {Control::DeviceList, r.Devices}, {Control::Change, r.Change},
            {Control::HandColour, r.BW},      {Control::ContrastArrows, r.Arrows},
            {Control::Learn, r.Learn},        {Control::Measure, r.Measure},
            {Control::Stop, r.Stop},          {Control::Record, r.Record},
            {Control::Results, r.Results},    {Control::PictureClicks, r.Clicks}};
        for (const auto& [control, enabling] : want)
            EXPECT_EQ(EnablingOf(e, control), enabling)
                << "step " << static_cast<int>(r.S) << " control " << static_cast<int>(control);
        EXPECT_STREQ(StepPrompt(r.S), r.Prompt);
    }
}

TEST(Measurement, GoesThroughTheWorkflowToTheResult) {
    test::TempFolder folder;
    WriteDials(folder, 4);
    Recorder seen;
    Measurement m(&seen);
    EXPECT_EQ(m.CurrentStep(), Step::Start);
    CheckRefusals(m);
    m.ResetToNoMeasurement();
    EXPECT_EQ(m.CurrentStep(), Step::NoMeasurement);
    CheckRefusals(m);

    // The chosen picture is shown first.
    ASSERT_TRUE(m.Open(folder.File("p003.bmp"), ".BMP"));
    CheckRefusals(m);
    ASSERT_TRUE(m.ClickPicture(20, 20));
    CheckRefusals(m);
    ASSERT_TRUE(m.ClickPicture(20, 5));
    CheckRefusals(m);
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
    CheckRefusals(m);
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
    CheckRefusals(m);
    ASSERT_TRUE(m.Measure());
    EXPECT_TRUE(m.ResultsValid());
    EXPECT_FALSE(m.Calibrated());
    EXPECT_EQ(m.UnwrappedSeries(), (std::vector<std::int32_t>{0, 0, 0, 0}));
    EXPECT_EQ(m.CurrentIndex(), 0);
    ASSERT_TRUE(m.Next());
    EXPECT_EQ(m.CurrentIndex(), 1);
    // A frame picked on the graph, with the direction measured in it.
    ASSERT_TRUE(m.GoTo(3));
    EXPECT_EQ(m.CurrentIndex(), 3);
    EXPECT_FALSE(m.GoTo(4));
    ASSERT_TRUE(m.MeasuredDirection(3));
    EXPECT_EQ(m.MeasuredDirection(3)->Degrees, m.Result().AngleSeries[3]);
    EXPECT_EQ(m.MeasuredDirection(3)->PivotX, 20);
    EXPECT_FALSE(m.MeasuredDirection(4));
    EXPECT_FALSE(m.Change()); // only a new Open changes settings after the result
    EXPECT_TRUE(seen.Errors.empty());

    const std::string out = folder.File("result.txt");
    ASSERT_TRUE(m.Finish(false));
    EXPECT_EQ(m.CurrentStep(), Step::FinishedSaved);
    CheckRefusals(m);
    ASSERT_TRUE(m.WriteResult(out, {"s", "25", "360"}, "."));
    EXPECT_TRUE(std::filesystem::file_size(out) > 0);

    // While the animation plays only Next moves on, for it.
    m.SetAnimating(true);
    CheckRefusals(m);
    EXPECT_TRUE(m.Next());
    m.SetAnimating(false);
    EXPECT_TRUE(m.First());
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
    CheckRefusals(m);

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
    CheckRefusals(m);

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

    // An Open under way marks the measurement busy: no second Open, no run.
    auto opening = m.BeginOpen(folder.File("p002.bmp"), ".BMP");
    ASSERT_TRUE(opening);
    EXPECT_TRUE(m.Running());
    EXPECT_FALSE(m.BeginOpen(folder.File("p002.bmp"), ".BMP"));
    EXPECT_FALSE(m.BeginCalibration(true));
    EXPECT_FALSE(m.ClickPicture(20, 20));
    opening->Execute({});
    ASSERT_TRUE(m.FinishRun(*opening));
    EXPECT_EQ(m.CurrentIndex(), 1);
    ASSERT_TRUE(m.ClickPicture(20, 20));
    ASSERT_TRUE(m.ClickPicture(20, 5));

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

TEST(Measurement, APlayedFilmGoesThroughEveryStepToASavedResult) {
    test::TempFolder folder;
    Recorder seen;
    Measurement session(&seen, Measurement::Source::Device);
    CheckRefusals(session, folder.Path().string());
    ASSERT_TRUE(session.OpenDevice(SampleFilm())) << seen.TakeMessage();
    EXPECT_EQ(session.PictureWidth(), 320);
    CheckRefusals(session);
    session.ClickPicture(160, 120);
    EXPECT_EQ(session.CurrentStep(), Step::MarkRadius);
    CheckRefusals(session);
    session.ClickPicture(73, 70);
    EXPECT_EQ(session.CurrentStep(), Step::Marked);
    EXPECT_EQ(session.Settings().HandRadius, 100);
    CheckRefusals(session);
    EXPECT_FALSE(session.StartMeasuring()); // nothing learned yet: not its step

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
    EXPECT_EQ(session.CurrentStep(), Step::Learned);
    Bitmap picture;
    std::uint64_t serial = 0;
    ASSERT_TRUE(session.LatestPicture(picture, serial));
    const Bitmap mask = session.MaskingPicture(picture);
    EXPECT_EQ(mask.Width(), 201);
    EXPECT_EQ(mask.Height(), 201);

    const std::string film = folder.File("run.avi");
    ASSERT_TRUE(session.StartMeasuring(film)) << seen.TakeMessage();
    CheckRefusals(session);
    // The film's end ends the run normally, everything kept.
    ASSERT_TRUE(PollUntil(session, Step::Finished));
    EXPECT_EQ(seen.TakeMessage(), "");
    const std::vector<LiveFrame>& frames = session.DeviceFrames();
    ASSERT_GE(frames.size(), 5u);
    EXPECT_EQ(frames.front().TimeMicroseconds, 0);
    EXPECT_EQ(session.RecordedFrames(), static_cast<int>(frames.size()));
    EXPECT_EQ(ProbeFilm(film).Frames.size(), frames.size());
    CheckRefusals(session);

    ASSERT_TRUE(session.WriteDeviceResult(folder.File("result.txt"), "live", "", "."));
    ASSERT_TRUE(session.WriteDeviceFrames(folder.File("frames.csv")));
    const std::string table = FileText(folder.File("result.txt"));
    // The mean measured rate, the empty ticks field as "1". The film has 25
    // frames a second; on a loaded machine a frame may be dropped now and
    // then, which lowers the mean.
    const std::string rateLine = "Number of frames per second    (x-axis): ";
    const std::size_t rateAt = table.find(rateLine);
    ASSERT_NE(rateAt, std::string::npos) << table;
    const double rate = std::stod(table.substr(rateAt + rateLine.size(), 12));
    EXPECT_LE(rate, 25.0) << table;
    EXPECT_GE(rate, 25.0 * static_cast<double>(frames.size() - 1) / 49) << table;
    EXPECT_NE(table.find(": 1\r\n"), std::string::npos);
    // With "&Fine angle" the same rows at the same times hold the fine angle.
    session.SetFine(true);
    ASSERT_TRUE(session.WriteDeviceResult(folder.File("fine.txt"), "live", "", "."));
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
    EXPECT_FALSE(session.Enabled(Control::Results));
    session.CloseDevice();
    EXPECT_EQ(session.CurrentStep(), Step::ChooseDevice);
}

TEST(Measurement, DeviceRunsThatEndEarlyKeepWhatTheyHave) {
    Recorder seen;
    Measurement session(&seen, Measurement::Source::Device);
    // A film that ends while learning leaves nothing to measure.
    ASSERT_TRUE(session.OpenDevice(SampleFilm()));
    session.ClickPicture(160, 120);
    session.ClickPicture(73, 70);
    ASSERT_TRUE(session.StartLearning());
    ASSERT_TRUE(PollUntil(session, Step::DeviceFailed));
    EXPECT_EQ(seen.TakeMessage(), "The film ended before the background was learned");
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
        return session.DeviceFrames().size() >= 3;
    }));
    session.Relay().DeviceEnded("unplugged");
    ASSERT_TRUE(PollUntil(session, Step::Finished));
    EXPECT_EQ(seen.TakeMessage(), "unplugged");
    EXPECT_GE(session.DeviceFrames().size(), 3u);
    EXPECT_LT(session.DeviceFrames().size(), 40u);

    EXPECT_FALSE(session.OpenDevice(CaptureSource::PlayedFilm("/nonexistent/film.avi")));
    EXPECT_EQ(session.CurrentStep(), Step::DeviceFailed);
    EXPECT_NE(seen.TakeMessage().find("Cannot open the capture device"), std::string::npos);
}

// A phone film stored on its side is shown upright; played as a camera it is
// measured upright too, frame for frame as the film itself.
TEST(Measurement, APlayedTurnedFilmGivesTheFilmsDirections) {
    const std::string film = test::DataFile("films/dial-turned.mp4");
    Recorder seen;
    Measurement live(&seen, Measurement::Source::Device);
    ASSERT_TRUE(live.OpenDevice(CaptureSource::PlayedFilm(film))) << seen.TakeMessage();
    EXPECT_EQ(live.PictureWidth(), 240);
    EXPECT_EQ(live.PictureHeight(), 320);
    // The sample's centre and tip, turned a quarter as the film is shown.
    ASSERT_TRUE(live.ClickPicture(120, 159));
    ASSERT_TRUE(live.ClickPicture(70, 246));
    ASSERT_TRUE(live.StartLearning());
    ASSERT_TRUE(WaitFor([&] { return live.LearnedFrames() >= 15; }));
    ASSERT_TRUE(live.StartMeasuring());
    ASSERT_TRUE(PollUntil(live, Step::Finished));
    const std::vector<LiveFrame>& frames = live.DeviceFrames();
    ASSERT_GE(frames.size(), 5u);

    FrameSource source;
    source.FileExt = ".MP4";
    const int last = source.OpenVideo(film);
    ASSERT_EQ(last, 49) << source.LastVideoError();
    const RotationResult measured =
        MeasureHandRotation(last + 1, FrameSourceLoader(source, FilmFrameList(last)),
                            live.Background(), live.Settings());
    // The run began with some frame of the film: with that one first, every
    // frame measured gives the direction the film's frame at its time has.
    // (A film's grey is its luma, a played film's comes from its colours: a
    // pixel at the threshold may vote the other way, never by more than a
    // degree.) Unturned, the directions would be a quarter turn off.
    std::size_t best = 0;
    for (int firstFrame = 0; firstFrame <= last; ++firstFrame) {
        std::size_t near = 0;
        for (const LiveFrame& frame : frames) {
            const auto at = static_cast<std::size_t>(firstFrame) +
                            static_cast<std::size_t>(std::llround(
                                static_cast<double>(frame.TimeMicroseconds) * 25 / 1e6));
            near += at < measured.AngleSeries.size() &&
                    std::abs((measured.AngleSeries[at] - frame.Direction + 540) % 360 - 180) <= 1;
        }
        best = std::max(best, near);
    }
    EXPECT_EQ(best, frames.size());
}

// The rim marked by clicks becomes the fine angle's rim; fewer than five
// points forget it, and points on no ellipse are refused with a message.
TEST(Measurement, TheRimMarkedByClicksIsTheFineAnglesRim) {
    test::TempFolder folder;
    WriteDials(folder, 3);
    Recorder seen;
    Measurement m(&seen);
    EXPECT_FALSE(m.StartRimMarking()); // nothing on view
    OpenAndMark(m, folder.File("p001.bmp"), ".BMP");
    ASSERT_TRUE(m.StartRimMarking());
    EXPECT_TRUE(m.CrossCursorShown());
    EXPECT_NE(std::string(m.Prompt()).find("rim"), std::string::npos);
    for (int k = 0; k < 8; ++k) {
        const double a = k * std::numbers::pi / 4;
        ASSERT_TRUE(m.AddRimPoint(static_cast<int>(std::lround(20 + 18 * std::cos(a))),
                                  static_cast<int>(std::lround(20 + 12 * std::sin(a)))));
    }
    ASSERT_TRUE(m.EndRimMarking());
    EXPECT_FALSE(m.MarkingRim());
    ASSERT_TRUE(m.Rim().Valid());
    EXPECT_NEAR(m.Rim().CentreX, 20, 0.5);
    EXPECT_NEAR(std::max(m.Rim().SemiAxisA, m.Rim().SemiAxisB), 18, 0.7);
    EXPECT_NEAR(std::min(m.Rim().SemiAxisA, m.Rim().SemiAxisB), 12, 0.7);
    EXPECT_STREQ(m.Prompt(), StepPrompt(m.CurrentStep()));

    ASSERT_TRUE(m.StartRimMarking());
    for (int k = 0; k < 6; ++k)
        m.AddRimPoint(k, k);
    EXPECT_FALSE(m.EndRimMarking());
    EXPECT_NE(seen.TakeMessage().find("no ellipse"), std::string::npos);
    EXPECT_TRUE(m.Rim().Valid()); // the rim before stays

    ASSERT_TRUE(m.StartRimMarking());
    m.AddRimPoint(1, 1);
    ASSERT_TRUE(m.EndRimMarking());
    EXPECT_FALSE(m.Rim().Valid());
}

TEST(Measurement, TheFineAngleOfALumaFilmFollowsTheHandInEveryFrame) {
    // The sample film is MPEG-4 (luma and chroma): its measurement pass reads
    // only the grey around the dial. The fine angle must read every frame's
    // own grey there too, not what the picture held before.
    const std::filesystem::path samples =
        std::filesystem::path(TORVI_TEST_DATA).parent_path().parent_path() / "samples";
    std::ifstream list(samples / "dial-angles.txt");
    std::vector<int> painted;
    for (int frame = 0, angle = 0; list >> frame >> angle;)
        painted.push_back(angle);
    Recorder seen;
    Measurement m(&seen);
    ASSERT_TRUE(m.Open((samples / "dial.avi").string(), ".AVI")) << seen.TakeMessage();
    m.SetFine(true);
    ASSERT_TRUE(m.ClickPicture(160, 120)); // the README's clicks
    ASSERT_TRUE(m.ClickPicture(73, 70));
    ASSERT_TRUE(m.Confirm()) << seen.TakeMessage();
    ASSERT_TRUE(m.Measure()) << seen.TakeMessage();
    const RotationResult& result = m.Result();
    ASSERT_EQ(result.FineDirections.size(), painted.size());
    for (std::size_t i = 0; i < painted.size(); ++i) {
        const double off = std::remainder(result.FineDirections[i] - painted[i], 360.0);
        EXPECT_LE(std::abs(off), 1.0) << "frame " << i + 1;
    }
}
