#pragma once

#include <QDialog>
#include <QList>
#include <QPointF>

#include <string>

class QChartView;
class QLineSeries;
class QValueAxis;
namespace torvi {
class Measurement;
}

// The "Graph" window: the measured rotation over time, scaled by the frame
// rate and ticks texts that the main window hands over before showing it.

class TGraf : public QDialog {
    Q_OBJECT
public:
    explicit TGraf(const torvi::Measurement& model, QWidget* parent = nullptr);

    // The frames per second and ticks texts, with the decimal separator.
    void SetScale(const std::string& framesPerSecond, const std::string& ticksPerTurn,
                  const std::string& separator);
    // Replaces the graph's points by the measurement's series. Throws
    // torvi::Error when a scale text does not convert.
    void FillChart();
    // Hands the points to the chart and scales the axes to them.
    void SetPoints(const QList<QPointF>& points);
    // Writes the graph as drawn: an SVG drawing for a .svg name, else PNG.
    bool SaveGraph(const QString& path);

    QChartView* Chart1 = nullptr;
    QLineSeries* Series1 = nullptr;
    QValueAxis* AxisX = nullptr;
    QValueAxis* AxisY = nullptr;

Q_SIGNALS:
    // A point of the graph was clicked: the frame it stands for (from 0).
    void FrameClicked(int index);

protected:
    void showEvent(QShowEvent* event) override;

private:
    const torvi::Measurement& model_;
    std::string framesPerSecond_;
    std::string ticksPerTurn_;
    std::string separator_ = ".";
};
