#include "measurement/Measurement.h"

#include "Error.h"
#include "FileTypes.h"
#include "analysis/Calibration.h"
#include "analysis/Masking.h"
#include "measurement/ControlTable.h"

#include <algorithm>

namespace torvi {

namespace {

MeasurementObserver silentObserver;

Error RunCancelled() {
    return Error(ErrorKind::Cancelled, "Cancelled");
}

} // namespace

void MeasurementRun::Execute(const FrameProgress& progress, FrameSource* source) {
    try {
        if (cancel_) throw RunCancelled();
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
        if (kind_ == Kind::Calibration) {
            BuildReferenceImage(count, loader, settings_.Hand, reference_, step);
        } else {
            // The measurement reads only the square around the centre, so the
            // film reader converts just that (a margin keeps it safe); the
            // source shows whole frames again afterwards.
            struct SquareOnly {
                FrameSource& Source;
                ~SquareOnly() { Source.Square.reset(); }
            } squareOnly{*source};
            source->Square =
                ClippedSquare(settings_.CentreX, settings_.CentreY, settings_.HandRadius + 2,
                              reference_.Width(), reference_.Height());
            result_ = MeasureHandRotation(count, loader, reference_, settings_, step);
        }
    } catch (...) {
        failure_ = std::current_exception();
    }
}

Measurement::Measurement(MeasurementObserver* observer)
    : observer_(observer ? observer : &silentObserver) {}

Measurement::~Measurement() = default;

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

void Measurement::SetStep(Step step) {
    step_ = step;
    // "&Change" follows its button: a reset keeps what the step before allowed.
    const Enabling change = EnablingOf(EnabledControls(step), Control::Change);
    if (change != Enabling::Keep) changeAllowed_ = change == Enabling::On;
    observer_->StepChanged(step);
}

void Measurement::SetActivity(const std::string& text) {
    activityText_ = text;
    observer_->ActivityChanged(text);
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
    if (Running()) return;
    calibrated_ = false;
    resultsValid_ = false;
    SetStep(Step::NoMeasurement);
}

bool Measurement::Open(const std::string& path, const std::string& fileExt,
                       const std::function<bool()>& keepGoing) {
    if (Running()) return false;
    source_.CloseVideo();
    frames_.clear();
    hasFrameList_ = true;
    fileExt_ = fileExt;
    folder_ = FolderOf(path);
    filmPath_.clear();
    source_.FileExt = fileExt_;
    source_.Folder = folder_;
    calibrated_ = false;
    resultsValid_ = false;
    // The measurement on view before is gone from here on: nothing is left
    // for "&Change" or the contrast arrows to resume if this Open fails.
    SetStep(Step::OpenFailed);

    if (!IsFilmExt(fileExt_)) {
        frames_ = ListPictureSequence(folder_, fileExt_, NameCollator());
        if (frames_.size() < 3) {
            Fail(Error(ErrorKind::TooFewFrames,
                       "More than two files *" + fileExt_ + " in directory are needed"));
            return false;
        }
    } else {
        // Indexing a long film takes a while: its progress shows on the bar,
        // which a failed Open gives back as it was.
        const int range = progressMaximum_;
        const int value = progressValue_;
        SetActivity("Opening ...");
        SetProgressRange(1000);
        SetProgress(0);
        const int last = source_.OpenVideo(path, [&](std::int64_t done, std::int64_t total) {
            if (total > 0)
                SetProgress(static_cast<int>(std::min<std::int64_t>(done * 1000 / total, 1000)));
            return !keepGoing || keepGoing();
        });
        SetActivity("");
        SetProgressRange(range);
        SetProgress(value);
        if (source_.LastOpenAbandoned()) return false;
        if (last < 1) {
            Fail(Error(ErrorKind::NoVideoCodec, "Missing system video codec",
                       source_.LastVideoError()));
            return false;
        }
        if (last == 1) {
            Fail(Error(ErrorKind::TooFewFrames,
                       "More than two pictures in *" + fileExt_ + " file are needed"));
            return false;
        }
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
        if (!source_.LoadFrame(IsFilmExt(fileExt_) ? frames_[0] : path, first)) first = Bitmap();
        picture_ = std::move(first);
        observer_->PictureChanged(picture_);
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    observer_->FrameFieldChanged(FrameFieldText(frames_[static_cast<std::size_t>(currentIndex_)]));
    SetProgressRange(static_cast<int>(frames_.size()) - 1);
    SetProgress(currentIndex_);
    SetStep(Step::MarkCentre);
    return true;
}

// Marking -------------------------------------------------------------------------

void Measurement::ClickPicture(int x, int y) {
    if (step_ == Step::MarkCentre) {
        settings_.CentreX = x;
        settings_.CentreY = y;
        observer_->CentreChanged(x, y);
        SetStep(Step::MarkRadius);
    } else if (step_ == Step::MarkRadius) {
        settings_.HandRadius = RadiusOfClick(settings_.CentreX, settings_.CentreY, x, y);
        observer_->RadiusChanged(settings_.HandRadius);
        SetStep(Step::Marked);
    }
}

void Measurement::Mark(int centreX, int centreY, int radius) {
    settings_.CentreX = centreX;
    settings_.CentreY = centreY;
    settings_.HandRadius = std::clamp(radius, 0, MeasurementSettings::MaxHandRadius);
    observer_->CentreChanged(centreX, centreY);
    observer_->RadiusChanged(settings_.HandRadius);
    SetStep(Step::Marked);
}

bool Measurement::Change() {
    if (Running() || !changeAllowed_) return false;
    calibrated_ = false;
    resultsValid_ = false;
    SetStep(Step::MarkCentre);
    return true;
}

void Measurement::ChooseHand(HandColour hand) {
    settings_.Hand = hand;
    // The reference picture depends on the hand colour; one being built now
    // is not taken (FinishRun compares the colours).
    calibrated_ = false;
}

bool Measurement::SetContrast(int threshold) {
    if (Running()) return false;
    settings_.ContrastThreshold = std::clamp(threshold, 0, 255);
    observer_->ContrastChanged(settings_.ContrastThreshold);
    if (!FrameIndexValid()) return true;
    try {
        const Bitmap masked = MaskingPicture(LoadFrame(currentIndex_), reference_, settings_);
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
    LoadAnalysisFrame(FrameSourceLoader(source_, frames_), index, frame);
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
            observer_->MaskChanged(MaskingPicture(frame, reference_, settings_));
        }
        if (loadPicture) {
            if (frame.Empty() && !source_.LoadFrame(reference, frame)) frame = Bitmap();
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
    return MovedTo(0, loadPicture);
}

bool Measurement::Previous(bool loadPicture) {
    return MovedTo(currentIndex_ - 1, loadPicture);
}

bool Measurement::Next(bool loadPicture) {
    return MovedTo(currentIndex_ + 1, loadPicture);
}

bool Measurement::Last(bool loadPicture) {
    return MovedTo(static_cast<int>(frames_.size()) - 1, loadPicture);
}

// Long runs -----------------------------------------------------------------------

std::unique_ptr<MeasurementRun> Measurement::NewRun(MeasurementRun::Kind kind) {
    std::unique_ptr<MeasurementRun> run(new MeasurementRun);
    run->kind_ = kind;
    run->fileExt_ = fileExt_;
    run->folder_ = folder_;
    run->filmPath_ = filmPath_;
    run->filmIndex_ = source_.Index();
    run->frames_ = frames_;
    run->settings_ = settings_;
    if (kind == MeasurementRun::Kind::Measurement) run->reference_ = reference_;
    stepBeforeRun_ = step_;
    activity_ = Activity::Running;
    SetActivity(kind == MeasurementRun::Kind::Calibration ? "Calibration ..." : "Calculation ...");
    SetProgressRange(std::max(static_cast<int>(frames_.size()) - 1, 0));
    return run;
}

std::unique_ptr<MeasurementRun> Measurement::BeginCalibration(bool confirm) {
    if (Running()) return nullptr;
    auto run = NewRun(MeasurementRun::Kind::Calibration);
    run->confirm_ = confirm;
    // "OK" turns "B", "W" and the frame field off before the calibration
    // starts; they stay off when it fails.
    if (confirm) SetStep(Step::Confirmed);
    return run;
}

std::unique_ptr<MeasurementRun> Measurement::BeginMeasurement() {
    if (Running()) return nullptr;
    resultsValid_ = false;
    auto run = NewRun(MeasurementRun::Kind::Measurement);
    observer_->StepChanged(step_);
    return run;
}

bool Measurement::FinishRun(MeasurementRun& run) {
    activity_ = Activity::Idle;
    SetActivity("");
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
        result_ = std::move(run.result_);
        // "&Fine angle" toggled while the frames were measured: the series
        // are of the other kind and the next use measures again.
        resultsValid_ = settings_.Fine == run.settings_.Fine;
        calibrated_ = false;
        currentIndex_ = 0;
        observer_->StepChanged(step_);
        return true;
    }

    reference_ = std::move(run.reference_);
    // "B" or "W" chosen while the samples were read: the picture was built
    // for the other hand colour and the next use calibrates again.
    calibrated_ = settings_.Hand == run.settings_.Hand;
    if (!run.confirm_) {
        observer_->StepChanged(step_);
        return true;
    }
    // The contrast step starts at 60 with the masking picture of the frame
    // on view; when that picture cannot be built "OK" ends here.
    settings_.ContrastThreshold = 60;
    observer_->ContrastChanged(60);
    if (FrameIndexValid()) {
        try {
            const Bitmap masked = MaskingPicture(LoadFrame(currentIndex_), reference_, settings_);
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
    run->Execute([this](int index) { SetProgress(index); }, &source_);
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
    if (Running()) return false;
    if (step_ != Step::ContrastSetting && step_ != Step::FinishedGraph &&
        step_ != Step::FinishedSaved)
        return false;
    stepBeforeFinish_ = step_;
    SetStep(forGraph ? Step::FinishedGraph : Step::FinishedSaved);
    return true;
}

bool Measurement::WriteResult(const std::string& path, const ResultFields& fields,
                              const std::string& separator) {
    try {
        if (!resultsValid_) throw Error("There is no result to write");
        if (settings_.Fine)
            WriteFineResultFile(path, fields, result_.FineUnwrapped, separator);
        else
            WriteResultFile(path, fields, result_.UnwrappedSeries, separator);
    } catch (const std::exception& e) {
        Fail(e);
        return false;
    }
    return true;
}

void Measurement::SetFine(bool fine) {
    if (settings_.Fine == fine) return;
    settings_.Fine = fine;
    // The series of the other kind of angle no longer answer: the next
    // "&Graph" or "&Save result" measures again.
    resultsValid_ = false;
}

void Measurement::SetAnimating(bool animating) {
    if (Running()) return;
    activity_ = animating ? Activity::Animating : Activity::Idle;
    observer_->StepChanged(step_);
}

void Measurement::CloseVideo() {
    source_.CloseVideo();
}

} // namespace torvi
