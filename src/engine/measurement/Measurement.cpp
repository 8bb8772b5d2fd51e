#include "measurement/Measurement.h"

#include "Error.h"
#include "FileIO.h"
#include "FileTypes.h"
#include "analysis/Calibration.h"
#include "analysis/FrameRegistration.h"
#include "analysis/Masking.h"
#include "analysis/RegisteredBackground.h"
#include "capture/CaptureDevice.h"
#include "results/FramesTable.h"
#include "results/NumberText.h"

#include <algorithm>
#include <chrono>
#include <utility>

namespace torvi {

namespace {

MeasurementObserver silentObserver;

// How often a background that is being learned is copied for the masking
// view: every few pictures, not every one.
constexpr int BackgroundCopyEvery = 5;

Error RunCancelled() {
    return Error(ErrorKind::Cancelled, "Cancelled");
}

} // namespace

void MeasurementRun::Execute(const FrameProgress& progress, FrameSource* source) {
    try {
        if (cancel_) throw RunCancelled();
        if (kind_ == Kind::Opening) {
            if (!IsFilmExt(fileExt_)) return;
            // The index counts bytes of the file; the bar counts to 1000.
            opened_.OpenVideo(openPath_, [&](std::int64_t done, std::int64_t total) {
                if (cancel_) return false;
                if (progress && total > 0)
                    progress(static_cast<int>(std::min<std::int64_t>(done * 1000 / total, 1000)));
                return true;
            });
            if (opened_.LastOpenAbandoned()) throw RunCancelled();
            return;
        }
        FrameSource own;
        if (!source) {
            own.FileExt = fileExt_;
            own.Folder = folder_;
            // The film open in the measurement is read again from its index.
            if (IsFilmExt(fileExt_) && own.OpenVideo(filmPath_, filmIndex_) < 0)
                throw Error(ErrorKind::NoVideoCodec, "Missing system video codec",
                            own.LastVideoError());
            source = &own;
        }
        const FrameLoader frames = FrameSourceLoader(*source, frames_);
        const FrameLoader loader = [&](int index, Bitmap& frame) {
            if (cancel_) throw RunCancelled();
            frames(index, frame);
        };
        const FrameProgress step = [&](int index) {
            if (cancel_) throw RunCancelled();
            if (progress) progress(index);
        };
        const int count = FrameCount();
        // Runs read only grey: a film of luma and chroma gives just that, with
        // no colour converted; the whole frame for the calibration's samples,
        // the square around the centre for the measurement. The source shows
        // whole frames again afterwards.
        struct GreyOnly {
            FrameSource& Source;
            ~GreyOnly() { Source.Square.reset(); }
        } greyOnly{*source};
        if (width_ > 0 && height_ > 0) source->Square = PixelSquare{0, 0, width_, height_};
        // For the fine angle the same samples also fold, registered, into a
        // background that keeps a moving camera's printed marks in place.
        const auto foldRegistered = [&](const FrameLoader& load) {
            RegisteredBackground registered(settings_);
            Bitmap sample;
            for (const int index : CalibrationSamples(count)) {
                LoadAnalysisFrame(load, index, sample);
                registered.Fold(sample);
            }
            fineReference_ = registered.Picture();
        };
        if (kind_ == Kind::Calibration) {
            if (settings_.Fine) {
                // The registered background folds the samples in their
                // order, on this one reader.
                RegisteredBackground registered(settings_);
                const FrameLoader folding = [&](int index, Bitmap& frame) {
                    loader(index, frame);
                    if (!frame.Empty()) registered.Fold(frame);
                };
                BuildReferenceImage(count, folding, settings_.Hand, reference_, step);
                fineReference_ = registered.Picture();
                return;
            }
            // A film's samples are jumps: a second reader of the same index
            // decodes every other one at the same time. Only where the samples
            // lie a GOP or more apart: closer ones, one reader decodes on from
            // the sample before, and two would decode more, each holding its
            // own pictures (a short 3840 x 2160 film: 2.8 s and 359 MB on one
            // reader, 3.4 s and 483 MB on two).
            FrameSource second;
            FrameLoader secondLoader;
            const std::vector<int> samples = CalibrationSamples(count);
            if (source->VideoOpen() && samples.size() > 1 &&
                samples[1] - samples[0] >= source->Film()->LongestGop()) {
                second.FileExt = fileExt_;
                second.Square = source->Square;
                if (second.OpenVideo(filmPath_, source->Index()) >= 0) {
                    secondLoader = [&, frames = FrameSourceLoader(second, frames_)](int index,
                                                                                    Bitmap& frame) {
                        if (cancel_) throw RunCancelled();
                        frames(index, frame);
                    };
                }
            }
            BuildReferenceImage(count, loader, settings_.Hand, reference_, step, secondLoader);
        } else {
            // A calibration made before the fine angle was asked for left no
            // registered background: its samples are read again for one.
            if (settings_.Fine && fineReference_.Empty()) foldRegistered(loader);
            // The measurement reads only the square around the centre (a
            // margin keeps it safe): the hand's reach, and for the fine angle
            // the registration's.
            const Bitmap& reference = *measuredReference_;
            const int reach = settings_.Fine ? std::max(settings_.HandRadius,
                                                        FrameRegistration::Reach(settings_))
                                             : settings_.HandRadius;
            source->Square = ClippedSquare(settings_.CentreX, settings_.CentreY, reach + 2,
                                           reference.Width(), reference.Height());
            FineAngleSetup fine;
            fine.Background = &fineReference_;
            fine.Rim = rim_;
            result_ = MeasureHandRotation(count, loader, reference, settings_, step, fine);
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
}

Measurement::Measurement(MeasurementObserver* observer, Source source)
    : observer_(observer ? observer : &silentObserver), sourceKind_(source),
      step_(source == Source::Film ? Step::Start : Step::ChooseDevice), stepBeforeRun_(step_),
      stepBeforeFinish_(step_) {
    enabled_.Apply(EnabledControls(step_));
}

Measurement::~Measurement() {
    // The observer may be gone already: nothing is reported from here.
    ReleaseDevice();
    DropRun();
}

void Measurement::SetObserver(MeasurementObserver* observer) {
    observer_ = observer ? observer : &silentObserver;
}

bool Measurement::FrameIndexValid() const {
    return hasFrameList_ && currentIndex_ >= 0 && currentIndex_ < static_cast<int>(frames_.size());
}

std::string Measurement::FrameFieldText(const std::string& reference) const {
    const auto cut = reference.find_last_of("\\:/");
    const std::string name = cut == std::string::npos ? reference : reference.substr(cut + 1);
    if (IsFilmExt(fileExt_)) return openedFileName_ + " (" + name + ')';
    return name;
}

PixelSquare Measurement::MaskingSquare() const {
    return torvi::MaskingSquare(settings_, picture_.Width(), picture_.Height());
}

bool Measurement::Enabled(Control control) const {
    if (sourceKind_ == Source::Device && control == Control::Results && liveFrames_.empty())
        return false;
    return enabled_.On(control);
}

bool Measurement::Allowed(Control control) const {
    return !Running() && Enabled(control);
}

void Measurement::SetStep(Step step) {
    step_ = step;
    // A reset keeps what the step before allowed where its row says Keep.
    enabled_.Apply(EnabledControls(step, activity_));
    observer_->StepChanged(step);
}

void Measurement::SetActivity(Progress kind) {
    static constexpr const char* Texts[] = {"", "Opening ...", "Calibration ...",
                                            "Calculation ..."};
    activityText_ = Texts[static_cast<int>(kind)];
    observer_->ActivityChanged(kind, activityText_);
}

void Measurement::SetProgressRange(int maximum) {
    progressMaximum_ = maximum;
    observer_->ProgressRangeChanged(maximum);
}

void Measurement::SetProgress(int value) {
    progressValue_ = value;
    observer_->ProgressChanged(value);
}

void Measurement::Fail(const Error& error) {
    observer_->Failed(error);
}

void Measurement::Fail(const std::exception& error) {
    if (const auto* engineError = dynamic_cast<const Error*>(&error))
        observer_->Failed(*engineError);
    else
        observer_->Failed(Error(error.what()));
}

// Opening -----------------------------------------------------------------------

void Measurement::ResetToNoMeasurement() {
    if (Running() || sourceKind_ != Source::Film) return;
    calibrated_ = false;
    resultsValid_ = false;
    SetStep(Step::NoMeasurement);
}

std::unique_ptr<MeasurementRun> Measurement::BeginOpen(const std::string& path,
                                                       const std::string& fileExt) {
    if (Running() || sourceKind_ != Source::Film) return nullptr;
    frameSource_.CloseVideo();
    frames_.clear();
    hasFrameList_ = true;
    fileExt_ = fileExt;
    folder_ = FolderOf(path);
    filmPath_.clear();
    frameSource_.FileExt = fileExt_;
    frameSource_.Folder = folder_;
    calibrated_ = false;
    resultsValid_ = false;
    markingRim_ = false;
    rimPoints_.clear();
    // The measurement on view before is gone from here on: nothing is left
    // for "&Change" or the contrast arrows to resume if this Open fails.
    SetStep(Step::OpenFailed);

    std::unique_ptr<MeasurementRun> run(new MeasurementRun);
    run->kind_ = MeasurementRun::Kind::Opening;
    run->fileExt_ = fileExt;
    run->folder_ = folder_;
    run->openPath_ = path;
    run->opened_.FileExt = fileExt_;
    run->opened_.Folder = folder_;
    stepBeforeRun_ = step_;
    activity_ = Activity::Running;
    if (IsFilmExt(fileExt_)) {
        // Indexing a long film takes a while: its progress shows on the bar,
        // which the Open gives back as it was.
        progressMaximumBeforeOpen_ = progressMaximum_;
        progressValueBeforeOpen_ = progressValue_;
        SetActivity(Progress::Opening);
        SetProgressRange(1000);
        SetProgress(0);
    }
    observer_->StepChanged(step_);
    return run;
}

bool Measurement::Open(const std::string& path, const std::string& fileExt) {
    return RunHere(BeginOpen(path, fileExt));
}

bool Measurement::FinishOpen(MeasurementRun& run) {
    const std::string& path = run.openPath_;
    if (IsFilmExt(fileExt_)) {
        SetActivity(Progress::None);
        SetProgressRange(progressMaximumBeforeOpen_);
        SetProgress(progressValueBeforeOpen_);
    }
    if (run.failure_) {
        try {
            std::rethrow_exception(run.failure_);
        } catch (const Error& e) {
            // An Open abandoned (Esc, the window closing) ends quietly.
            if (e.Kind() != ErrorKind::Cancelled) Fail(e);
        } catch (const std::exception& e) {
            Fail(e);
        }
        observer_->StepChanged(step_);
        return false;
    }
    if (!IsFilmExt(fileExt_)) {
        try {
            frames_ = ListPictureSequence(folder_, fileExt_, NameCollator());
        } catch (const std::exception& e) {
            Fail(e);
            observer_->StepChanged(step_);
            return false;
        }
        if (frames_.size() < 3) {
            Fail(Error(ErrorKind::TooFewFrames,
                       "More than two files *" + fileExt_ + " in directory are needed"));
            observer_->StepChanged(step_);
            return false;
        }
    } else {
        FrameSource& opened = run.opened_;
        const int last = opened.VideoOpen() ? opened.Film()->FrameCount() - 1 : -1;
        // A film of one picture is not taken for a film at all.
        if (last <= 1) {
            if (last < 1)
                Fail(Error(ErrorKind::NoVideoCodec, "Missing system video codec",
                           opened.LastVideoError()));
            else
                Fail(Error(ErrorKind::TooFewFrames,
                           "More than two pictures in *" + fileExt_ + " file are needed"));
            observer_->StepChanged(step_);
            return false;
        }
        frameSource_ = std::move(opened);
        frames_ = FilmFrameList(last);
        filmPath_ = path;
    }

    // The chosen picture is shown first, so the frame on view, the frame field
    // and the progress bar start at its place in the sequence.
    currentIndex_ = 0;
    openedFileName_ = BareName(path);
    if (!IsFilmExt(fileExt_)) {
        const auto it = std::find(frames_.begin(), frames_.end(), openedFileName_);
        if (it != frames_.end()) currentIndex_ = static_cast<int>(it - frames_.begin());
    }
    observer_->FrameCountChanged("Count of opened pictures *" + fileExt_ + ": " +
                                 std::to_string(frames_.size()));
    try {
        Bitmap first;
        if (!frameSource_.LoadFrame(IsFilmExt(fileExt_) ? frames_[0] : path, first))
            first = Bitmap();
        picture_ = std::move(first);
        observer_->PictureChanged(picture_);
    } catch (const std::exception& e) {
        Fail(e);
        observer_->StepChanged(step_);
        return false;
    }
    observer_->FrameFieldChanged(FrameFieldText(frames_[static_cast<std::size_t>(currentIndex_)]));
    SetProgressRange(static_cast<int>(frames_.size()) - 1);
    SetProgress(currentIndex_);
    SetStep(Step::MarkCentre);
    return true;
}

// Marking -------------------------------------------------------------------------

bool Measurement::ClickPicture(int x, int y) {
    if (!Allowed(Control::PictureClicks)) return false;
    if (step_ == Step::MarkCentre) {
        settings_.CentreX = x;
        settings_.CentreY = y;
        tip_.reset();
        observer_->CentreChanged(x, y);
        SetStep(Step::MarkRadius);
    } else {
        settings_.HandRadius = RadiusOfClick(settings_.CentreX, settings_.CentreY, x, y);
        tip_ = std::pair{x, y};
        observer_->RadiusChanged(settings_.HandRadius);
        SetStep(Step::Marked);
    }
    return true;
}

bool Measurement::Mark(int centreX, int centreY, int radius) {
    if (!Allowed(Control::PictureClicks)) return false;
    settings_.CentreX = centreX;
    settings_.CentreY = centreY;
    settings_.HandRadius = std::clamp(radius, 0, MeasurementSettings::MaxHandRadius);
    tip_.reset();
    observer_->CentreChanged(centreX, centreY);
    observer_->RadiusChanged(settings_.HandRadius);
    SetStep(Step::Marked);
    return true;
}

bool Measurement::Change() {
    if (!Allowed(Control::Change)) return false;
    calibrated_ = false;
    resultsValid_ = false;
    if (sourceKind_ == Source::Device) DropRun();
    SetStep(Step::MarkCentre);
    return true;
}

bool Measurement::ChooseHand(HandColour hand) {
    if (!Enabled(Control::HandColour)) return false;
    settings_.Hand = hand;
    // The reference picture depends on the hand colour; one being built now
    // is not taken (FinishRun compares the colours).
    calibrated_ = false;
    return true;
}

bool Measurement::SetContrast(int threshold) {
    if (!Allowed(Control::ContrastArrows)) return false;
    settings_.ContrastThreshold = std::clamp(threshold, 0, 255);
    observer_->ContrastChanged(settings_.ContrastThreshold);
    if (sourceKind_ == Source::Device || !FrameIndexValid()) return true;
    try {
        const Bitmap masked =
            torvi::MaskingPicture(LoadFrame(currentIndex_), *reference_, settings_);
        observer_->MaskChanged(masked);
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    return true;
}

// Frames ------------------------------------------------------------------------

Bitmap Measurement::LoadFrame(int index) {
    Bitmap frame;
    LoadAnalysisFrame(FrameSourceLoader(frameSource_, frames_), index, frame);
    return frame;
}

bool Measurement::ShowFrame(bool loadPicture) {
    if (!FrameIndexValid()) return true; // no usable frame list after a failed Open
    const std::string& reference = frames_[static_cast<std::size_t>(currentIndex_)];
    observer_->FrameFieldChanged(FrameFieldText(reference));
    try {
        Bitmap frame;
        if (MaskingLive()) {
            frame = LoadFrame(currentIndex_);
            observer_->MaskChanged(torvi::MaskingPicture(frame, *reference_, settings_));
        }
        if (loadPicture) {
            if (frame.Empty() && !frameSource_.LoadFrame(reference, frame)) frame = Bitmap();
            picture_ = std::move(frame);
            observer_->PictureChanged(picture_);
        }
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    SetProgress(currentIndex_);
    return true;
}

bool Measurement::MovedTo(int index, bool loadPicture) {
    if (!hasFrameList_ || frames_.empty()) return false;
    const int count = static_cast<int>(frames_.size());
    currentIndex_ = index < 0 ? count - 1 : index >= count ? 0 : index;
    return ShowFrame(loadPicture);
}

bool Measurement::First(bool loadPicture) {
    return Enabled(Control::Navigation) && MovedTo(0, loadPicture);
}

bool Measurement::Previous(bool loadPicture) {
    return Enabled(Control::Navigation) && MovedTo(currentIndex_ - 1, loadPicture);
}

bool Measurement::Next(bool loadPicture) {
    const bool playing = activity_ == Activity::Animating && Enabled(Control::Animation);
    return (Enabled(Control::Navigation) || playing) && MovedTo(currentIndex_ + 1, loadPicture);
}

bool Measurement::GoTo(int index, bool loadPicture) {
    if (!Enabled(Control::Navigation) || index < 0 || index >= static_cast<int>(frames_.size()))
        return false;
    return MovedTo(index, loadPicture);
}

std::optional<Measurement::FrameDirection> Measurement::MeasuredDirection(int index) const {
    if (!resultsValid_ || index < 0 || static_cast<std::size_t>(index) >= series_.Size())
        return std::nullopt;
    const auto k = static_cast<std::size_t>(index);
    FrameDirection d;
    d.Turned = series_.Turned(k);
    if (series_.Fine && series_.HasFine()) {
        d.Degrees = series_.Frames.FineDirections[k];
        d.PivotX = series_.Frames.FinePivotX;
        d.PivotY = series_.Frames.FinePivotY;
    } else {
        d.Degrees = series_.Frames.AngleSeries[k];
        d.PivotX = settings_.CentreX;
        d.PivotY = settings_.CentreY;
    }
    return d;
}

std::optional<Measurement::FrameDirection> Measurement::ShownDirection() const {
    if (sourceKind_ == Source::Film) return MeasuredDirection(currentIndex_);
    if (liveFrames_.empty()) return std::nullopt;
    if (step_ == Step::Finished) return MeasuredDirection(static_cast<int>(liveFrames_.size()) - 1);
    if (step_ != Step::Measuring) return std::nullopt;
    FrameDirection d;
    d.Degrees = liveFrames_.back().Direction;
    d.Turned = static_cast<double>(liveFrames_.back().Unwrapped);
    d.PivotX = settings_.CentreX;
    d.PivotY = settings_.CentreY;
    return d;
}

bool Measurement::Last(bool loadPicture) {
    return Enabled(Control::Navigation) &&
           MovedTo(static_cast<int>(frames_.size()) - 1, loadPicture);
}

// Long runs -----------------------------------------------------------------------

std::unique_ptr<MeasurementRun> Measurement::NewRun(MeasurementRun::Kind kind) {
    std::unique_ptr<MeasurementRun> run(new MeasurementRun);
    run->kind_ = kind;
    run->fileExt_ = fileExt_;
    run->folder_ = folder_;
    run->filmPath_ = filmPath_;
    run->filmIndex_ = frameSource_.Index();
    run->frames_ = frames_;
    run->settings_ = settings_;
    run->width_ = picture_.Width();
    run->height_ = picture_.Height();
    if (kind == MeasurementRun::Kind::Measurement) {
        run->measuredReference_ = reference_;
        run->fineReference_ = fineReference_;
        run->rim_ = rim_;
    }
    stepBeforeRun_ = step_;
    activity_ = Activity::Running;
    SetActivity(kind == MeasurementRun::Kind::Calibration ? Progress::Calibration
                                                          : Progress::Measurement);
    SetProgressRange(std::max(static_cast<int>(frames_.size()) - 1, 0));
    return run;
}

std::unique_ptr<MeasurementRun> Measurement::BeginCalibration(bool confirm) {
    if (!Allowed(confirm ? Control::Ok : Control::MaskingItems) || !hasFrameList_) return nullptr;
    auto run = NewRun(MeasurementRun::Kind::Calibration);
    run->confirm_ = confirm;
    // "OK" turns "B", "W" and the frame field off before the calibration
    // starts; they stay off when it fails.
    if (confirm) SetStep(Step::Confirmed);
    return run;
}

std::unique_ptr<MeasurementRun> Measurement::BeginMeasurement() {
    if (!Allowed(Control::Results) || !hasFrameList_) return nullptr;
    resultsValid_ = false;
    auto run = NewRun(MeasurementRun::Kind::Measurement);
    observer_->StepChanged(step_);
    return run;
}

bool Measurement::FinishRun(MeasurementRun& run) {
    activity_ = Activity::Idle;
    if (run.kind_ == MeasurementRun::Kind::Opening) return FinishOpen(run);
    SetActivity(Progress::None);
    SetProgress(0);
    const bool calibration = run.kind_ == MeasurementRun::Kind::Calibration;
    if (run.failure_) {
        try {
            std::rethrow_exception(run.failure_);
        } catch (const Error& e) {
            if (e.Kind() == ErrorKind::Cancelled) {
                // As if the command had not been given: the step it began in.
                if (!calibration) resultsValid_ = false;
                SetStep(calibration ? stepBeforeRun_ : stepBeforeFinish_);
                return false;
            }
            Fail(e);
        } catch (const std::exception& e) {
            Fail(e);
        }
        if (!calibration) resultsValid_ = false;
        observer_->StepChanged(step_);
        return false;
    }

    if (!calibration) {
        series_.Frames = std::move(run.result_);
        if (!run.fineReference_.Empty()) fineReference_ = std::move(run.fineReference_);
        series_.Fine = run.settings_.Fine;
        // "&Fine angle" toggled while the frames were measured: the series
        // are of the other kind and the next use measures again.
        resultsValid_ = settings_.Fine == run.settings_.Fine;
        calibrated_ = false;
        currentIndex_ = 0;
        observer_->StepChanged(step_);
        return true;
    }

    reference_ = std::make_shared<const Bitmap>(std::move(run.reference_));
    fineReference_ = std::move(run.fineReference_);
    // "B" or "W" chosen while the samples were read: the picture was built
    // for the other hand colour and the next use calibrates again.
    calibrated_ = settings_.Hand == run.settings_.Hand;
    if (!run.confirm_) {
        observer_->StepChanged(step_);
        return true;
    }
    // The contrast step starts at 60 with the masking picture of the frame
    // on view; when that picture cannot be built "OK" ends here.
    settings_.ContrastThreshold = DefaultContrast;
    observer_->ContrastChanged(DefaultContrast);
    if (FrameIndexValid()) {
        try {
            const Bitmap masked =
                torvi::MaskingPicture(LoadFrame(currentIndex_), *reference_, settings_);
            observer_->MaskChanged(masked);
        } catch (const std::exception& e) {
            Fail(e);
            observer_->StepChanged(step_);
            return false;
        }
        observer_->FrameFieldChanged(
            FrameFieldText(frames_[static_cast<std::size_t>(currentIndex_)]));
    }
    SetStep(Step::ContrastSetting);
    return true;
}

bool Measurement::RunHere(std::unique_ptr<MeasurementRun> run) {
    if (!run) return false;
    run->Execute([this](int index) { SetProgress(index); }, &frameSource_);
    return FinishRun(*run);
}

bool Measurement::Confirm() {
    return RunHere(BeginCalibration(true));
}

bool Measurement::Calibrate() {
    return RunHere(BeginCalibration(false));
}

bool Measurement::Measure() {
    if (resultsValid_) return true;
    return RunHere(BeginMeasurement());
}

bool Measurement::Finish(bool forGraph) {
    if (!Allowed(Control::Results) || sourceKind_ != Source::Film) return false;
    if (step_ != Step::ContrastSetting && step_ != Step::FinishedGraph &&
        step_ != Step::FinishedSaved)
        return false;
    stepBeforeFinish_ = step_;
    SetStep(forGraph ? Step::FinishedGraph : Step::FinishedSaved);
    return true;
}

bool Measurement::WriteResult(const std::string& path, const ResultFields& fields,
                              const std::string& separator, int codePage) {
    if (!Allowed(Control::Results)) return false;
    try {
        if (!resultsValid_) throw Error("There is no result to write");
        WriteResultFile(path, fields, series_, separator, codePage);
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    return true;
}

void Measurement::SetFine(bool fine) {
    if (settings_.Fine == fine) return;
    settings_.Fine = fine;
    // A film's series of the other kind of angle no longer answer: the next
    // "&Graph" or "&Save result" measures again. A device's run measures both
    // and writes what is asked.
    if (sourceKind_ == Source::Film) resultsValid_ = false;
}

void Measurement::SetRim(const DialEllipse& rim) {
    rim_ = rim;
    if (sourceKind_ == Source::Film) resultsValid_ = false;
}

bool Measurement::StartRimMarking() {
    if (Running() || (picture_.Empty() && !capture_)) return false;
    markingRim_ = true;
    rimPoints_.clear();
    observer_->StepChanged(step_);
    return true;
}

bool Measurement::AddRimPoint(int x, int y) {
    if (!markingRim_) return false;
    rimPoints_.push_back({static_cast<double>(x), static_cast<double>(y)});
    observer_->StepChanged(step_);
    return true;
}

bool Measurement::EndRimMarking() {
    if (!markingRim_) return false;
    markingRim_ = false;
    if (rimPoints_.size() < 5) {
        SetRim({});
        observer_->StepChanged(step_);
        return true;
    }
    const DialEllipse rim = EllipseThrough(rimPoints_);
    if (!rim.Valid()) {
        observer_->StepChanged(step_);
        Fail(Error("The points marked lie on no ellipse: mark five or more spread around the "
                   "whole rim"));
        return false;
    }
    SetRim(rim);
    observer_->StepChanged(step_);
    return true;
}

const char* Measurement::Prompt() const {
    if (markingRim_)
        return "Click five or more points around the dial's rim, then choose Mark the rim again.";
    return StepPrompt(step_);
}

bool Measurement::CrossCursorShown() const {
    return markingRim_ || CrossCursor(step_);
}

void Measurement::SetAnimating(bool animating) {
    if (Running()) return;
    activity_ = animating ? Activity::Animating : Activity::Idle;
    enabled_.Apply(EnabledControls(step_, activity_));
    observer_->StepChanged(step_);
}

void Measurement::CloseVideo() {
    frameSource_.CloseVideo();
}

// A capture device ------------------------------------------------------------

void Measurement::DeviceFailure(const std::string& message) {
    SetStep(Step::DeviceFailed);
    Fail(Error(message));
}

bool Measurement::OpenDevice(const CaptureSource& source) {
    if (sourceKind_ != Source::Device || !Allowed(Control::DeviceList)) return false;
    CloseDevice();
    device_ = source;
    try {
        relay_.Reset();
        capture_ = CaptureDevice::Open(source, CaptureFormat{0, 0}, &relay_);
    } catch (const Error& e) {
        DeviceFailure(e.what());
        return false;
    }
    width_ = capture_->Format().Width;
    height_ = capture_->Format().Height;
    rate_ = capture_->Rate();
    settings_.CentreX = settings_.CentreY = settings_.HandRadius = 0;
    SetStep(Step::MarkCentre);
    return true;
}

void Measurement::CloseDevice() {
    if (sourceKind_ != Source::Device) return;
    // The device first, so that nothing is delivered to a run that ends.
    ReleaseDevice();
    DropRun();
    SetStep(Step::ChooseDevice);
}

void Measurement::ReleaseDevice() {
    if (!capture_) return;
    try {
        capture_->Close();
    } catch (const Error&) {
        // Only a recording of the device's own could fail here; the
        // measurement's recordings are the run's.
    }
    capture_.reset();
}

void Measurement::DropRun() {
    relay_.Attach(nullptr);
    if (live_) live_->Finish();
    live_.reset();
    liveFrames_.clear();
    series_ = MeasuredSeries();
    resultsValid_ = false;
    if (sourceKind_ == Source::Device) reference_ = std::make_shared<const Bitmap>();
    backgroundLearned_ = -1;
}

void Measurement::OpenDeviceAgain() {
    ReleaseDevice();
    relay_.Reset();
    capture_ = CaptureDevice::Open(device_, CaptureFormat{0, 0}, &relay_);
    if (capture_->Format().Width != width_ || capture_->Format().Height != height_)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    rate_ = capture_->Rate();
}

bool Measurement::StartLearning() {
    if (sourceKind_ != Source::Device || !Allowed(Control::Learn)) return false;
    const bool newRun = step_ != Step::Learned;
    try {
        if (newRun) {
            DropRun();
            settings_.ContrastThreshold = DefaultContrast;
            observer_->ContrastChanged(DefaultContrast);
            // The per-frame table holds the fine angle whichever the result
            // table is asked for; it costs a few per cent.
            MeasurementSettings analysed = settings_;
            analysed.Fine = true;
            live_ = std::make_unique<LiveMeasurement>(analysed, nullptr, rim_);
            if (!capture_ || relay_.Ended() || device_.Type == CaptureSource::Kind::PlayedFilm)
                OpenDeviceAgain();
        }
    } catch (const Error& e) {
        ReleaseDevice();
        DeviceFailure(e.what());
        return false;
    }
    relay_.Attach(live_.get());
    relay_.SetForwarding(true);
    SetStep(Step::Learning);
    return true;
}

bool Measurement::StopLearning() {
    if (step_ != Step::Learning || !Allowed(Control::Stop)) return false;
    relay_.SetForwarding(false);
    SetStep(Step::Learned);
    return true;
}

bool Measurement::StartMeasuring(const std::optional<std::string>& recordPath) {
    if (sourceKind_ != Source::Device || !Allowed(Control::Measure) || !live_) return false;
    try {
        if (live_->LearnedFrames() == 0)
            throw Error("No picture has come from the capture device yet");
        if (recordPath) live_->RecordTo(*recordPath, width_, height_, rate_);
        live_->StartMeasuring(settings_.ContrastThreshold);
    } catch (const Error& e) {
        Fail(e);
        return false;
    }
    relay_.SetForwarding(true);
    reference_ = std::make_shared<const Bitmap>(live_->Background());
    SetStep(Step::Measuring);
    return true;
}

bool Measurement::Stop() {
    if (step_ == Step::Learning) return StopLearning();
    if (step_ != Step::Measuring || !Allowed(Control::Stop)) return false;
    EndRun();
    return true;
}

void Measurement::EndRun() {
    // A camera goes on showing its picture; the run takes no more of it.
    relay_.Attach(nullptr);
    live_->Finish();
    TakeDeviceFrames();
    std::string message = live_->Failure();
    const std::string recording = live_->RecordingFailure();
    if (!recording.empty()) message += (message.empty() ? "" : "\n") + recording;
    if (relay_.Ended()) ReleaseDevice();
    // The run's whole series, its fine angle found from all its frames.
    try {
        series_ = live_->Series(settings_.Fine);
        resultsValid_ = true;
    } catch (const Error& e) {
        message += (message.empty() ? "" : "\n") + std::string(e.what());
    }
    SetStep(Step::Finished);
    if (!message.empty()) Fail(Error(message));
}

void Measurement::TakeDeviceFrames() {
    if (!live_) return;
    std::vector<LiveFrame> fresh = live_->FramesFrom(liveFrames_.size());
    if (fresh.empty()) return;
    // The series grows with the run, for the graph while it goes on.
    if (!series_.Times) series_.Times.emplace();
    for (const LiveFrame& frame : fresh) {
        series_.Frames.AngleSeries.push_back(frame.Direction);
        series_.Frames.UnwrappedSeries.push_back(static_cast<std::int32_t>(frame.Unwrapped));
        series_.Frames.PeakVotes.push_back(frame.PeakVotes);
        series_.Frames.HandPixels.push_back(frame.HandPixels);
        series_.Times->push_back(static_cast<long double>(frame.TimeMicroseconds) / 1e6L);
    }
    liveFrames_.insert(liveFrames_.end(), fresh.begin(), fresh.end());
    observer_->FramesMeasured(liveFrames_.size());
}

bool Measurement::Poll() {
    if (sourceKind_ != Source::Device) return false;
    const Step before = step_;
    if (step_ == Step::Measuring) TakeDeviceFrames();
    switch (step_) {
    case Step::Measuring:
        if (live_->WaitForEnd(std::chrono::milliseconds(0))) EndRun();
        break;
    case Step::Learning:
    case Step::Learned:
        if (live_->WaitForEnd(std::chrono::milliseconds(0))) {
            const std::string failure = live_->Failure();
            relay_.Attach(nullptr);
            live_->Finish();
            DeviceFailure(!failure.empty() ? failure
                          : step_ == Step::Learning
                              ? "The film ended before the background was learned"
                              : "The film ended before the measurement began");
        }
        break;
    case Step::MarkCentre:
    case Step::MarkRadius:
    case Step::Marked:
    case Step::Finished:
        // A played film that ends keeps its last picture for the marking;
        // learning plays it again. A camera that fails is gone.
        if (relay_.Ended() && !relay_.Failure().empty() && capture_) {
            ReleaseDevice();
            if (step_ == Step::Finished)
                Fail(Error(relay_.Failure()));
            else
                DeviceFailure(relay_.Failure());
        }
        break;
    default:
        break;
    }
    return step_ != before;
}

bool Measurement::LatestPicture(Bitmap& picture, std::uint64_t& serial) const {
    return capture_ && capture_->LatestFrame(picture, serial);
}

Bitmap Measurement::MaskingPicture(const Bitmap& picture) {
    if (!live_ || picture.Empty()) return {};
    // A background being learned changes with every picture: a fresh copy
    // every few of them is close enough for the view.
    const int learned = live_->LearnedFrames();
    if (learned == 0) return {};
    if (backgroundLearned_ < 0 || learned - backgroundLearned_ >= BackgroundCopyEvery ||
        (step_ != Step::Learning && learned != backgroundLearned_)) {
        reference_ = std::make_shared<const Bitmap>(live_->Background());
        backgroundLearned_ = learned;
    }
    if (reference_->Width() != picture.Width() || reference_->Height() != picture.Height())
        return {};
    return torvi::MaskingPicture(picture, *reference_, settings_);
}

Bitmap Measurement::Background() const {
    return live_ ? live_->Background() : *reference_;
}

int Measurement::DroppedFrames() const {
    return live_ ? live_->DroppedFrames() : 0;
}

int Measurement::LearnedFrames() const {
    return live_ ? live_->LearnedFrames() : 0;
}

int Measurement::RecordedFrames() const {
    return live_ ? live_->RecordedFrames() : 0;
}

std::vector<GraphPoint> Measurement::GraphPointsBetween(double fromSeconds, double toSeconds,
                                                        std::size_t maxPoints,
                                                        const std::string& ticksPerTurn,
                                                        const std::string& separator) const {
    const std::optional<long double> ticks = ConvertNumberText(ticksPerTurn, separator);
    if (!ticks) throw Error(ValuesNotValid);
    MeasuredSeries whole;
    const MeasuredSeries* shown = &series_;
    if (series_.Fine) {
        // The graph of a run shows whole degrees while it goes on.
        whole = series_;
        whole.Fine = false;
        shown = &whole;
    }
    return ThinnedGraphPoints(*shown, fromSeconds, toSeconds, maxPoints, ResultScale{1, *ticks});
}

bool Measurement::WriteDeviceResult(const std::string& path, const std::string& sampleName,
                                    const std::string& ticksPerTurn, const std::string& separator,
                                    int codePage) {
    if (sourceKind_ != Source::Device || !Allowed(Control::Results) || !live_) return false;
    try {
        if (!resultsValid_) throw Error("There is no result to write");
        const ResultFields fields{sampleName, live_->RateText(rate_, separator),
                                  DefaultedFieldText(ticksPerTurn)};
        MeasuredSeries series = series_;
        series.Fine = settings_.Fine;
        WriteResultFile(path, fields, series, separator, codePage);
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    return true;
}

bool Measurement::WriteDeviceFrames(const std::string& path) {
    if (sourceKind_ != Source::Device || !Allowed(Control::Results) || !live_) return false;
    try {
        MeasuredSeries series = series_;
        series.Fine = false;
        const std::string csv = FramesTableText(series, 1);
        WriteFileAtomically(path, csv.data(), csv.size());
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    return true;
}

} // namespace torvi
