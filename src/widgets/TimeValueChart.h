#pragma once

#include <QChart>
#include <QChartView>
#include <QLineSeries>
#include <QPoint>
#include <QTimer>
#include <QValueAxis>

// A chart of one series over time: "Time(s)" along the bottom, "Value" up
// the left, no legend. The chart takes the series; the axes belong to it.
struct TimeValueChart {
    QChart* Chart = nullptr;
    QValueAxis* AxisX = nullptr;
    QValueAxis* AxisY = nullptr;
};

TimeValueChart NewTimeValueChart(QLineSeries* series);

// Gives the axis the range from low to high widened to round numbers; a
// flat range (a single point, a hand that never moved) is widened by 1 each
// way, so that it still shows.
void ShowRange(QValueAxis* axis, double low, double high);

// A view of a time-value chart that leads back to the points: a click in the
// plot reports the point of the chart's first series nearest in time (its
// index, which is the frame's); a dragged rectangle zooms in and a double
// click shows everything again. The right button is left to the owner.
class TimeValueChartView : public QChartView {
    Q_OBJECT
public:
    TimeValueChartView(QChart* chart, QWidget* parent = nullptr);

    // The index of the first series' point nearest in time to a point of the
    // view, -1 outside the plot or without points.
    int PointNear(QPoint viewPoint) const;

Q_SIGNALS:
    void PointClicked(int index);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    QPoint pressedAt_;
    bool pressed_ = false;
    // A click counts once no double click follows it.
    QTimer clickWait_;
    int clicked_ = -1;
};
