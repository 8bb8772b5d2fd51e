#pragma once

#include <QChart>
#include <QLineSeries>
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
