#include "MeasurementMarks.h"

#include "PictureView.h"
#include "analysis/MeasurementSettings.h"
#include "measurement/Measurement.h"

#include <cmath>

MeasurementMarks::MeasurementMarks(PictureView& view, const torvi::Measurement& model,
                                   QObject* parent)
    : QObject(parent), view_(view), model_(model) {
    connect(&view_, &PictureView::MouseDown, this, [this](Qt::MouseButton, int x, int y) {
        if (model_.CurrentStep() == torvi::Step::MarkRadius) tip_ = QPoint(x, y);
    });
}

void MeasurementMarks::Update() {
    using torvi::Step;
    const Step step = model_.CurrentStep();
    const bool centre = step == Step::MarkRadius || step == Step::Marked ||
                        step == Step::Confirmed || step == Step::ContrastSetting ||
                        step == Step::FinishedGraph || step == Step::FinishedSaved;
    const bool radius = centre && step != Step::MarkRadius;
    const QPoint middle(model_.CentreX(), model_.CentreY());
    // A tip clicked for another centre or radius (one set by other means) is not shown.
    const bool tip =
        radius && tip_ &&
        torvi::RadiusOfClick(middle.x(), middle.y(), tip_->x(), tip_->y()) == model_.HandRadius();
    view_.SetMarks(centre ? std::optional<QPoint>(middle) : std::nullopt,
                   radius ? model_.HandRadius() : 0, tip ? tip_ : std::nullopt);

    const torvi::RotationResult& result = model_.Result();
    const auto index = static_cast<std::size_t>(model_.CurrentIndex());
    const bool measured = model_.ResultsValid() && model_.CurrentIndex() >= 0;
    const bool fine = measured && model_.Settings().Fine && index < result.FineDirections.size();
    view_.SetFinePivot(fine ? std::optional<QPointF>(QPointF(result.FinePivotX, result.FinePivotY))
                            : std::nullopt);
    if (fine) {
        view_.SetMeasuredDirection(result.FineDirections[index],
                                   QString::fromUtf8("%1\u00b0  turned %2\u00b0")
                                       .arg(result.FineDirections[index], 0, 'f', 2)
                                       .arg(result.FineUnwrapped[index], 0, 'f', 2));
    } else if (measured && index < result.AngleSeries.size()) {
        view_.SetMeasuredDirection(result.AngleSeries[index],
                                   QString::fromUtf8("%1\u00b0  turned %2\u00b0")
                                       .arg(result.AngleSeries[index])
                                       .arg(result.UnwrappedSeries[index]));
    } else {
        view_.SetMeasuredDirection(std::nullopt);
    }
}
