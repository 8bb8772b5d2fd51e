#pragma once

#include <QDialog>
#include <QList>
#include <QPointF>

#include <array>
#include <cstdint>
#include <vector>

// The "Graph" window, and the holder of the measured rotation that the graph
// and the result file show.
class QChartView;
class QLineSeries;
class QValueAxis;

class TGraf : public QDialog {
    Q_OBJECT
public:
    explicit TGraf(QWidget* parent = nullptr);

    std::array<std::uint16_t, 360> AngleHistogram{};
    std::vector<std::uint16_t> AngleSeries;
    std::vector<std::int32_t> UnwrappedSeries;
    bool ResultsValid = false;
    // Whether the last measurement took the fine angle ("&Fine angle"); the
    // graph and the result file then show FineUnwrappedSeries.
    bool MeasuredFine = false;
    std::vector<double> FineUnwrappedSeries;

    // Finds the hand's direction in every frame and the turned angle since
    // the first frame.
    void MeasureRotation();
    // Replaces the graph's points by the current series.
    void FillChart();
    // Hands the points to the chart and scales the axes to them.
    void SetPoints(const QList<QPointF>& points);
    // Writes the graph as drawn: an SVG drawing for a .svg name, else PNG.
    bool SaveGraph(const QString& path);

    QChartView* Chart1 = nullptr;
    QLineSeries* Series1 = nullptr;
    QValueAxis* AxisX = nullptr;
    QValueAxis* AxisY = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
};

extern TGraf* Graf;
