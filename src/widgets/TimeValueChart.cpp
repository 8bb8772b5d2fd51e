#include "TimeValueChart.h"

TimeValueChart NewTimeValueChart(QLineSeries* series) {
    TimeValueChart made;
    made.Chart = new QChart;
    made.Chart->legend()->hide();
    made.Chart->addSeries(series);
    made.AxisX = new QValueAxis;
    made.AxisX->setTitleText(QStringLiteral("Time(s)"));
    made.AxisY = new QValueAxis;
    made.AxisY->setTitleText(QStringLiteral("Value"));
    made.Chart->addAxis(made.AxisX, Qt::AlignBottom);
    made.Chart->addAxis(made.AxisY, Qt::AlignLeft);
    series->attachAxis(made.AxisX);
    series->attachAxis(made.AxisY);
    return made;
}

void ShowRange(QValueAxis* axis, double low, double high) {
    if (high - low < 1e-9) {
        low -= 1;
        high += 1;
    }
    axis->setRange(low, high);
    axis->applyNiceNumbers();
}
