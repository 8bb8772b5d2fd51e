#pragma once

#include "Bitmap.h"
#include "FrameList.h"
#include "FrameSource.h"
#include "analysis/FrameLoader.h"
#include "analysis/HandColour.h"
#include "analysis/MeasurementSettings.h"
#include "analysis/PixelSquare.h"
#include "analysis/RotationMeasurement.h"
#include "measurement/MeasurementObserver.h"
#include "measurement/Step.h"
#include "results/ResultTable.h"

#include <atomic>
#include <exception>
#include <functional>
#include <memory>
#include <string>

namespace torvi {

// A calibration or a measurement packed to run on any thread. It holds
// copies of everything it reads and, unless given a frame source, opens its
// own (a film a second time), so the measurement stays usable meanwhile:
// navigation goes on while the run works. Made by Measurement::Begin...,
// run once with Execute, handed back to Measurement::FinishRun.
class MeasurementRun {
public:
    enum class Kind { Calibration, Measurement };

    Kind What() const { return kind_; }
    int FrameCount() const { return static_cast<int>(frames_.size()); }

    // Does the work, calling progress with each frame's index. A source, when
    // given, must be one no one else uses meanwhile. Never throws: the outcome
    // waits for FinishRun.
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
    std::shared_ptr<const FilmIndex> filmIndex_; // the open film's, shared
    FrameList frames_;
    MeasurementSettings settings_;
    Bitmap reference_;
    RotationResult result_;
    std::exception_ptr failure_;
    std::atomic<bool> cancel_{false};
};

// One measurement from Open to the result file: what the user opened,
// marked and chose, the workflow step, the reference picture and the
// measured series. The window and torvi-measure both drive it through its
// operations, which are the user's actions; it tells its observer what
// changed. An operation that fails reports the error to the observer,
// keeps the state it had reached and answers false. Not thread-safe: use it
// from one thread, and hand long runs to another through MeasurementRun.
class Measurement {
public:
    explicit Measurement(MeasurementObserver* observer = nullptr);
    ~Measurement();
    Measurement(const Measurement&) = delete;
    Measurement& operator=(const Measurement&) = delete;

    void SetObserver(MeasurementObserver* observer);

    // The state.
    Step CurrentStep() const { return step_; }
    Activity CurrentActivity() const { return activity_; }
    bool Running() const { return activity_ == Activity::Running; }
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
    const Bitmap& ReferenceImage() const { return reference_; }
    // The reference picture fits the frames and the hand colour.
    bool Calibrated() const { return calibrated_; }
    bool ResultsValid() const { return resultsValid_; }
    const RotationResult& Result() const { return result_; }
    const std::vector<std::int32_t>& UnwrappedSeries() const { return result_.UnwrappedSeries; }
    // The picture last shown (the frame on view).
    const Bitmap& Picture() const { return picture_; }
    const std::string& ActivityText() const { return activityText_; }
    int ProgressMaximum() const { return progressMaximum_; }
    int ProgressValue() const { return progressValue_; }
    // The frame field's text for a frame reference: the picture's name, or
    // for a film "name.avi (12)".
    std::string FrameFieldText(const std::string& reference) const;
    // The open film's reader (its frames' own times), null for pictures.
    const FilmReader* Film() const { return source_.Film(); }
    // The square the masking window shows, clipped to the picture on view.
    PixelSquare MaskingSquare() const;

    // Opening. The reset comes first, before the file is asked for.
    void ResetToNoMeasurement();
    // Opens the file as a measurement of pictures or a film of type fileExt
    // (the open dialog's choice). keepGoing is asked now and then while a
    // film is indexed; false abandons the Open quietly.
    bool Open(const std::string& path, const std::string& fileExt,
              const std::function<bool()>& keepGoing = {});

    // Marking.
    void ClickPicture(int x, int y);
    // Sets centre and radius at once, as the command-line tool's options do.
    void Mark(int centreX, int centreY, int radius);
    bool Change();
    void ChooseHand(HandColour hand);
    bool SetContrast(int threshold);

    // Frames. ShowFrame shows the frame at CurrentIndex (and its masking
    // picture while MaskingLive); loadPicture false keeps the view's picture.
    bool ShowFrame(bool loadPicture = true);
    bool First(bool loadPicture = true);
    bool Previous(bool loadPicture = true);
    bool Next(bool loadPicture = true);
    bool Last(bool loadPicture = true);
    // The frame at index as the analysis reads it ("Cannot read frame N" for
    // a film frame that cannot be delivered).
    Bitmap LoadFrame(int index);

    // Long runs. Begin... gives nothing when the run is refused (another runs,
    // no frames); FinishRun applies the outcome and answers whether it
    // succeeded. A cancelled run leaves no results and the step it began in.
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
                     const std::string& separator);

    // Measures the fine angle beside the whole-degree direction; the graph and
    // the result file then hold it. A change makes earlier series invalid.
    void SetFine(bool fine);
    void SetAnimating(bool animating);
    void CloseVideo();

private:
    void SetStep(Step step);
    void SetActivity(const std::string& text);
    void SetProgressRange(int maximum);
    void SetProgress(int value);
    void Fail(const std::exception& error);
    void Fail(const Error& error);
    bool MovedTo(int index, bool loadPicture);
    bool RunHere(std::unique_ptr<MeasurementRun> run);
    std::unique_ptr<MeasurementRun> NewRun(MeasurementRun::Kind kind);

    MeasurementObserver* observer_;
    Step step_ = Step::Start;
    Activity activity_ = Activity::Idle;
    Step stepBeforeRun_ = Step::Start;
    Step stepBeforeFinish_ = Step::Start;
    FrameSource source_;
    FrameList frames_;
    bool hasFrameList_ = false;
    std::string fileExt_;
    std::string folder_;
    std::string filmPath_;
    std::string openedFileName_;
    int currentIndex_ = 0;
    MeasurementSettings settings_;
    Bitmap reference_;
    bool changeAllowed_ = false;
    bool calibrated_ = false;
    bool resultsValid_ = false;
    RotationResult result_;
    Bitmap picture_;
    std::string activityText_;
    int progressMaximum_ = 100;
    int progressValue_ = 0;
};

} // namespace torvi
