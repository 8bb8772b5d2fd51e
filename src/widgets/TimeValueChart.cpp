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
