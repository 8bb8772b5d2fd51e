#pragma once

#include <QObject>
#include <QPoint>

#include <optional>

class PictureView;
namespace torvi {
class Measurement;
}

// Draws what the measurement knows over its picture view: the marked centre
// and the hand's radius once they are clicked, the tip where it was clicked,
// the pivot the fine angle found and, while the results hold, the direction
// measured on the frame shown with its value. Update() reads the measurement
// again; the window calls it whenever the measurement reports a change.
class MeasurementMarks : public QObject {
    Q_OBJECT
public:
    MeasurementMarks(PictureView& view, const torvi::Measurement& model, QObject* parent = nullptr);

    void Update();

private:
    PictureView& view_;
    const torvi::Measurement& model_;
};
