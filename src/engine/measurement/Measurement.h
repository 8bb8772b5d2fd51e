#pragma once

#include "Bitmap.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "analysis/FrameLoader.h"
#include "analysis/HandColour.h"
#include "analysis/MeasurementSettings.h"
#include "analysis/PixelSquare.h"
#include "analysis/RotationMeasurement.h"
#include "capture/CaptureSource.h"
#include "capture/VideoFormat.h"
#include "live/FrameRelay.h"
#include "live/LiveMeasurement.h"
#include "measurement/ControlTable.h"
#include "measurement/MeasurementObserver.h"
#include "measurement/Step.h"
#include "results/GraphPoints.h"
#include "results/MeasuredSeries.h"
#include "results/ResultTable.h"

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace torvi {

class CaptureDevice;

// The contrast threshold a calibration or a newly learned background starts from.
inline constexpr int DefaultContrast = 60;

// The opening of a film (its index is built), a calibration or a
// measurement, packed to run on any thread. It holds copies of everything it
// reads and, unless given a frame source, opens its own (a film a second
// time), so the measurement stays usable meanwhile: navigation goes on while
// a calibration or measurement works. Made by Measurement::Begin..., run once
// with Execute, handed back to Measurement::FinishRun.
class MeasurementRun {
public:
    enum class Kind { Opening, Calibration, Measurement };

    Kind What() const { return kind_; }
    int FrameCount() const { return static_cast<int>(frames_.size()); }

    // Does the work, calling progress with each frame's index (an Opening
    // with its part done of 1000). A source, when given, must be one no one
    // else uses meanwhile. Never throws: the outcome waits for FinishRun.
    void Execute(const FrameProgress& progress, FrameSource* source = nullptr);
    // Asks the run to end at its next frame; safe from any thread.
    void Cancel() { cancel_ = true; }
    bool CancelRequested() const { return cancel_; }

private:
    friend class Measurement;
    MeasurementRun() = default;

    Kind kind_ = Kind::Calibration;
    bool confirm_ = false; // a calibration started by "OK"
    std::string fileExt_;
    std::string folder_;
    std::string filmPath_;
    std::string openPath_; // the file an Opening opens
    FrameSource opened_;   // the film an Opening opened, for the measurement to take
    std::shared_ptr<const FilmIndex> filmIndex_; // the open film's, shared
    FrameList frames_;
    MeasurementSettings settings_;
    int width_ = 0; // the frame on view when the run began
    int height_ = 0;
    Bitmap reference_; // what a calibration builds
    // The measurement's reference, shared with the session: a copy of a
    // 3840 x 2160 picture would cost 25 MB.
    std::shared_ptr<const Bitmap> measuredReference_;
    Bitmap fineReference_; // folded from registered samples, for the fine angle
    DialEllipse rim_;      // the rim the user marked
    RotationResult result_;
    std::exception_ptr failure_;
    std::atomic<bool> cancel_{false};
};

// One measurement from its source to the result file, for every source: a
// film or a picture sequence (whose frames the measurement reads one by one)
// or a capture device, a camera or a film played as one (which delivers its
// pictures as they come). It holds what the user opened, marked and chose,
// the workflow step and the controls the steps have left enabled, the
// reference picture (a film's calibration, a device's learned background)
// and the measured series. The windows and torvi-measure drive it through
// its operations, which are the user's actions; an operation whose control
// the step has off is refused (false). It tells its observer what changed;
// an operation that fails reports the error there, keeps the state it had
// reached and answers false. Not thread-safe: use it from one thread, hand
// long runs to another through MeasurementRun, and call Poll regularly while
// a device is open.
class Measurement {
public:
    enum class Source { Film, Device };

    explicit Measurement(MeasurementObserver* observer = nullptr, Source source = Source::Film);
    // Closes the device and ends its run.
    ~Measurement();
    Measurement(const Measurement&) = delete;
    Measurement& operator=(const Measurement&) = delete;

    void SetObserver(MeasurementObserver* observer);

    // The state.
    Source SourceKind() const { return sourceKind_; }
    Step CurrentStep() const { return step_; }
    Activity CurrentActivity() const { return activity_; }
    bool Running() const { return activity_ == Activity::Running; }
    // Whether the control is on, as the steps so far left it; the results of
    // a device's run only once it measured a frame.
    bool Enabled(Control control) const;
    bool HasFrameList() const { return hasFrameList_; }
    const FrameList& Frames() const { return frames_; }
    const std::string& FileExt() const { return fileExt_; }
    const std::string& OpenedFileName() const { return openedFileName_; }
    int CurrentIndex() const { return currentIndex_; }
    bool FrameIndexValid() const;
    int CentreX() const { return settings_.CentreX; }
    int CentreY() const { return settings_.CentreY; }
    int HandRadius() const { return settings_.HandRadius; }
    HandColour Hand() const { return settings_.Hand; }
    int ContrastThreshold() const { return settings_.ContrastThreshold; }
    const MeasurementSettings& Settings() const { return settings_; }
    // Every frame is shown in the masking window too (the contrast step).
    bool MaskingLive() const { return step_ == Step::ContrastSetting; }
    const Bitmap& ReferenceImage() const { return *reference_; }
    // The reference picture fits the frames and the hand colour.
    bool Calibrated() const { return calibrated_; }
    bool ResultsValid() const { return resultsValid_; }
    const RotationResult& Result() const { return series_.Frames; }
    // The measured series as the graph and the result file show it.
    const MeasuredSeries& Series() const { return series_; }
    const std::vector<std::int32_t>& UnwrappedSeries() const {
        return series_.Frames.UnwrappedSeries;
    }
    // The picture last shown (the frame on view).
    const Bitmap& Picture() const { return picture_; }
    const std::string& ActivityText() const { return activityText_; }
    int ProgressMaximum() const { return progressMaximum_; }
    int ProgressValue() const { return progressValue_; }
    // The frame field's text for a frame reference: the picture's name, or
    // for a film "name.avi (12)".
    std::string FrameFieldText(const std::string& reference) const;
    // The open film's reader (its frames' own times), null for pictures.
    const FilmReader* Film() const { return frameSource_.Film(); }
    // The square the masking window shows, clipped to the picture on view.
    PixelSquare MaskingSquare() const;
    // What the valid series says of frame `index`: the hand's direction
    // (degrees clockwise from up, fine or whole as the series holds) and the
    // point it was measured from (the pivot found, or the marked centre), for
    // a window that draws it over the frame. Nothing without a valid series.
    struct FrameDirection {
        double Degrees = 0;
        double Turned = 0; // since the first frame
        double PivotX = 0;
        double PivotY = 0;
    };
    std::optional<FrameDirection> MeasuredDirection(int index) const;
    // The direction to draw over the picture on view: a film's frame on
    // view, a device's newest frame while it measures (whole degrees, from
    // the marked centre) or its last when the run has ended.
    std::optional<FrameDirection> ShownDirection() const;
    // Where the tip of the hand was clicked; nothing when the radius was
    // given otherwise or the marking began again.
    std::optional<std::pair<int, int>> Tip() const { return tip_; }

    // Opening a film or pictures. The reset comes first, before the file is
    // asked for.
    void ResetToNoMeasurement();
    // Opens the file as a measurement of pictures or a film of type fileExt
    // (the open dialog's choice), on the caller's thread.
    bool Open(const std::string& path, const std::string& fileExt);
    // The same in two halves, for a window that indexes a long film on a
    // worker: the run (nothing while another runs) indexes the film, and
    // FinishRun shows its first frame. A cancelled Open ends quietly.
    std::unique_ptr<MeasurementRun> BeginOpen(const std::string& path, const std::string& fileExt);

    // Marking.
    bool ClickPicture(int x, int y);
    // Sets centre and radius at once, as the command-line tool's options do.
    bool Mark(int centreX, int centreY, int radius);
    bool Change();
    bool ChooseHand(HandColour hand);
    // 0..255, one step of the arrows at a time or any value.
    bool SetContrast(int threshold);

    // Frames. ShowFrame shows the frame at CurrentIndex (and its masking
    // picture while MaskingLive); loadPicture false keeps the view's picture.
    // Next also serves the animation, which turns the other three off.
    bool ShowFrame(bool loadPicture = true);
    bool First(bool loadPicture = true);
    bool Previous(bool loadPicture = true);
    bool Next(bool loadPicture = true);
    bool Last(bool loadPicture = true);
    // Shows frame `index` (from 0), as a click on the graph asks.
    bool GoTo(int index, bool loadPicture = true);
    // The frame at index as the analysis reads it ("Cannot read frame N" for
    // a film frame that cannot be delivered).
    Bitmap LoadFrame(int index);

    // Long runs. Begin... gives nothing when the run is refused (another runs,
    // no frames, its control off); FinishRun applies the outcome and answers
    // whether it succeeded. A cancelled run leaves no results and the step it
    // began in.
    std::unique_ptr<MeasurementRun> BeginCalibration(bool confirm);
    std::unique_ptr<MeasurementRun> BeginMeasurement();
    bool FinishRun(MeasurementRun& run);
    // Progress of a run executed elsewhere, passed on to the observer here.
    void RunProgress(int index) { SetProgress(index); }
    // The same on the caller's thread with the measurement's own frames.
    bool Confirm();   // "OK": calibrate, then the contrast step
    bool Calibrate(); // the reference picture for the masking items
    bool Measure();   // the series, when they are not valid

    // "&Graph" (forGraph) and "&Save result" begin here.
    bool Finish(bool forGraph);
    // Writes the result table of the valid series.
    bool WriteResult(const std::string& path, const ResultFields& fields,
                     const std::string& separator, int codePage = UserCodePage());

    // Measures the fine angle beside the whole-degree direction; the graph and
    // the result file then hold it. A change makes earlier series invalid.
    void SetFine(bool fine);
    // The dial's rim as the user marked it (not Valid() for none): the fine
    // angle then takes directions on the plane it gives instead of the rim
    // it finds. A change makes earlier series invalid.
    void SetRim(const DialEllipse& rim);
    const DialEllipse& Rim() const { return rim_; }
    // Marking the rim by clicks, for a dial seen askew whose rim the
    // background does not show: while it runs, a click on the picture adds
    // a point of the rim; its end fits the ellipse through five or more
    // points and gives it as the rim (fewer forget the rim). Refused while a
    // run works or before a picture is on view.
    bool StartRimMarking();
    bool MarkingRim() const { return markingRim_; }
    bool AddRimPoint(int x, int y);
    bool EndRimMarking();
    const std::vector<RimPoint>& RimPoints() const { return rimPoints_; }
    // The prompt and the cursor of the step, or of the rim marking.
    const char* Prompt() const;
    bool CrossCursorShown() const;
    void SetAnimating(bool animating);
    void CloseVideo();

    // A capture device. Opens it (a camera or "play:PATH") at its own size;
    // the marking begins. A failure ends in DeviceFailed.
    bool OpenDevice(const CaptureSource& source);
    // Closes the device, ends a run and forgets it: back to ChooseDevice.
    void CloseDevice();
    const CaptureSource& Device() const { return device_; }
    int PictureWidth() const { return width_; }
    int PictureHeight() const { return height_; }
    FrameRate DeviceRate() const { return rate_; }
    // Begins learning a new background (a new run), or goes on learning the
    // one learned so far. Reopens a device that ended, and a played film
    // (which starts again from its beginning, so that the marking can take
    // its time).
    bool StartLearning();
    // Stops learning; the background stays for measuring.
    bool StopLearning();
    // Begins measuring; the measured frames also go into an AVI film at
    // `recordPath` when one is given. Refused while no picture has been
    // learned or when the film cannot be created.
    bool StartMeasuring(const std::optional<std::string>& recordPath = std::nullopt);
    // Stops learning or measuring, as the "Stop" button does.
    bool Stop();
    // Takes the device's news: the frames measured since, the end of the run
    // or of the device. Answers whether the step changed.
    bool Poll();
    // The newest picture of the device when it is newer than `serial`.
    bool LatestPicture(Bitmap& picture, std::uint64_t& serial) const;
    // The masking square of a device's picture at the current contrast
    // against the background learned so far; empty while there is none.
    Bitmap MaskingPicture(const Bitmap& picture);
    // The background learned so far.
    Bitmap Background() const;
    // The device run's measured frames so far (taken by Poll).
    const std::vector<LiveFrame>& DeviceFrames() const { return liveFrames_; }
    int DroppedFrames() const;
    int LearnedFrames() const;
    int RecordedFrames() const;
    // The graph's points of the device's frames between two times
    // (ThinnedGraphPoints). Throws Error(ValuesNotValid) for ticks that do
    // not convert.
    std::vector<GraphPoint> GraphPointsBetween(double fromSeconds, double toSeconds,
                                               std::size_t maxPoints,
                                               const std::string& ticksPerTurn,
                                               const std::string& separator) const;
    // The device run's result table (time column from the device's
    // timestamps, line 2 the mean measured rate, the fine angle with Fine)
    // and the per-frame CSV of torvi-measure --frames.
    bool WriteDeviceResult(const std::string& path, const std::string& sampleName,
                           const std::string& ticksPerTurn, const std::string& separator,
                           int codePage = UserCodePage());
    bool WriteDeviceFrames(const std::string& path);
    // What the device delivers to; a test stands in for a device through it.
    FrameRelay& Relay() { return relay_; }

private:
    void SetStep(Step step);
    void SetActivity(Progress kind);
    void SetProgressRange(int maximum);
    void SetProgress(int value);
    void Fail(const std::exception& error);
    void Fail(const Error& error);
    bool Allowed(Control control) const;
    bool MovedTo(int index, bool loadPicture);
    bool RunHere(std::unique_ptr<MeasurementRun> run);
    bool FinishOpen(MeasurementRun& run);
    std::unique_ptr<MeasurementRun> NewRun(MeasurementRun::Kind kind);
    // The device's part.
    void DeviceFailure(const std::string& message);
    void OpenDeviceAgain();
    void ReleaseDevice();
    void DropRun();
    void EndRun();
    void TakeDeviceFrames();

    MeasurementObserver* observer_;
    const Source sourceKind_;
    Step step_;
    Activity activity_ = Activity::Idle;
    EnabledState enabled_;
    Step stepBeforeRun_;
    Step stepBeforeFinish_;
    MeasurementSettings settings_;
    // Never null; shared with a measurement run, replaced (not changed) by
    // a calibration.
    std::shared_ptr<const Bitmap> reference_ = std::make_shared<const Bitmap>();
    Bitmap fineReference_; // folded from registered samples, for the fine angle
    DialEllipse rim_;
    bool markingRim_ = false;
    std::vector<RimPoint> rimPoints_;
    bool calibrated_ = false;
    bool resultsValid_ = false;
    MeasuredSeries series_;
    Bitmap picture_;
    std::optional<std::pair<int, int>> tip_;

    // A film or pictures.
    FrameSource frameSource_;
    FrameList frames_;
    bool hasFrameList_ = false;
    std::string fileExt_;
    std::string folder_;
    std::string filmPath_;
    std::string openedFileName_;
    int currentIndex_ = 0;
    std::string activityText_;
    int progressMaximum_ = 100;
    int progressValue_ = 0;
    // The bar as it was before an Open showed the indexing on it.
    int progressMaximumBeforeOpen_ = 100;
    int progressValueBeforeOpen_ = 0;

    // A device. The relay outlives the device that delivers to it, and the
    // run outlives both.
    CaptureSource device_;
    int width_ = 0;
    int height_ = 0;
    FrameRate rate_;
    std::unique_ptr<LiveMeasurement> live_;
    FrameRelay relay_;
    std::unique_ptr<CaptureDevice> capture_;
    std::vector<LiveFrame> liveFrames_;
    int backgroundLearned_ = -1;
};

} // namespace torvi
