#include "MeasurementMarks.h"

#include "PictureView.h"
#include "analysis/MeasurementSettings.h"
#include "measurement/Measurement.h"

#include <cmath>

MeasurementMarks::MeasurementMarks(PictureView& view, const torvi::Measurement& model,
                                   QObject* parent)
    : QObject(parent), view_(view), model_(model) {}

void MeasurementMarks::Update() {
    using torvi::Step;
    const Step step = model_.CurrentStep();
    const bool centre = step != Step::Start && step != Step::NoMeasurement &&
                        step != Step::OpenFailed && step != Step::ChooseDevice &&
                        step != Step::MarkCentre && step != Step::DeviceFailed;
    const bool radius = centre && step != Step::MarkRadius;
    const QPoint middle(model_.CentreX(), model_.CentreY());
    const auto tip = model_.Tip();
    view_.SetMarks(
        centre ? std::optional<QPoint>(middle) : std::nullopt, radius ? model_.HandRadius() : 0,
        radius && tip ? std::optional<QPoint>(QPoint(tip->first, tip->second)) : std::nullopt);

    const auto shown = model_.ShownDirection();
    const bool pivotFound = shown && model_.Series().Fine && model_.Series().HasFine();
    // The dial's rim: the one the user marked, or the one the fine angle found.
    const torvi::RotationResult& result = model_.Result();
    const torvi::DialEllipse rim = model_.Rim().Valid() ? model_.Rim()
                                   : pivotFound && result.FineRim != torvi::RimSource::None
                                       ? result.FineRimEllipse
                                       : torvi::DialEllipse{};
    if (rim.Valid())
        view_.SetDialOutline(DialOutline{QPointF(rim.CentreX, rim.CentreY), rim.SemiAxisA,
                                         rim.SemiAxisB, rim.Angle});
    else
        view_.SetDialOutline(std::nullopt);
    view_.SetFinePivot(pivotFound ? std::optional<QPointF>(QPointF(shown->PivotX, shown->PivotY))
                                  : std::nullopt);
    if (!shown) {
        view_.SetMeasuredDirection(std::nullopt);
        return;
    }
    const int decimals = pivotFound ? 2 : 0;
    view_.SetMeasuredDirection(shown->Degrees, QString::fromUtf8("%1\u00b0  turned %2\u00b0")
                                                   .arg(shown->Degrees, 0, 'f', decimals)
                                                   .arg(shown->Turned, 0, 'f', decimals));
}
