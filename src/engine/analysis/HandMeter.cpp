#include "HandMeter.h"

#include "Error.h"
#include "HandFlood.h"

#include <limits>

namespace torvi {

HandMeter::HandMeter(const MeasurementSettings& settings, const Bitmap& reference,
                     const FineAngleSetup& fine)
    : settings_(settings), reference_(reference),
      table_(settings, reference.Width(), reference.Height()),
      votes_(reference, table_, settings.ContrastThreshold, settings.Hand) {
    if (!settings.Fine) return;
    fine_.emplace(settings,
                  fine.Background && !fine.Background->Empty() ? *fine.Background : reference);
    if (fine.Rim.Valid()) fine_->SetRim(fine.Rim);
}

MeasuredFrame HandMeter::Measure(Bitmap& frame) {
    if (frame.Width() != reference_.Width() || frame.Height() != reference_.Height())
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    frame.ConvertTo24();
    const FrameVotes votes = votes_.Count(frame);
    const int peak = PeakBin(votes.Histogram);
    MeasuredFrame measured;
    measured.Direction = static_cast<std::uint16_t>(AngleOfPeak(peak));
    // Whole degrees stay exact in a double far beyond what 64 bits can count
    // of turns made frame by frame.
    measured.Unwrapped = static_cast<std::int64_t>(unwrapper_.Next(measured.Direction));
    measured.PeakVotes = votes.Histogram[static_cast<std::size_t>(peak)];
    measured.HandPixels = votes.HandPixels;
    if (fine_) fine_->AddFrame(frame, measured.Direction);
    result_.AngleSeries.push_back(measured.Direction);
    result_.PeakVotes.push_back(measured.PeakVotes);
    result_.HandPixels.push_back(measured.HandPixels);
    result_.AngleHistogram = votes.Histogram;
    unwrapped_.push_back(measured.Unwrapped);
    return measured;
}

RotationResult HandMeter::Result() const {
    RotationResult result = result_;
    result.Flooded = FloodedFrames(result.HandPixels, settings_.HandRadius);
    result.UnwrappedSeries.reserve(unwrapped_.size());
    for (const std::int64_t turned : unwrapped_) {
        if (turned > std::numeric_limits<std::int32_t>::max() ||
            turned < std::numeric_limits<std::int32_t>::min())
            throw Error("The hand turned too far to be recorded");
        result.UnwrappedSeries.push_back(static_cast<std::int32_t>(turned));
    }
    if (fine_) {
        FineAngleMeasurement::Series series = fine_->Finish();
        result.FineDirections = std::move(series.Directions);
        result.FineUnwrapped = std::move(series.Unwrapped);
        result.FinePivotX = settings_.CentreX + series.Pivot.X;
        result.FinePivotY = settings_.CentreY + series.Pivot.Y;
        result.FineQuality = std::move(series.Quality);
        result.FineRim = series.Rim;
        result.FineRimEllipse = series.RimEllipse;
    }
    return result;
}

} // namespace torvi
