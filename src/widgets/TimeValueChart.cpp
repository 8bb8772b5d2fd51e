#include "TimeValueChart.h"

#include <QApplication>
#include <QMouseEvent>
#include <QRubberBand>
#include <QXYSeries>

#include <cmath>

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

TimeValueChartView::TimeValueChartView(QChart* chart, QWidget* parent) : QChartView(chart, parent) {
    setRubberBand(QChartView::RectangleRubberBand);
    clickWait_.setSingleShot(true);
    clickWait_.setInterval(QApplication::doubleClickInterval());
    connect(&clickWait_, &QTimer::timeout, this, [this] { Q_EMIT PointClicked(clicked_); });
}

int TimeValueChartView::PointNear(QPoint viewPoint) const {
    const QPointF onChart = mapToScene(viewPoint);
    if (chart()->series().isEmpty() || !chart()->plotArea().contains(onChart)) return -1;
    auto* series = qobject_cast<QXYSeries*>(chart()->series().first());
    if (!series || series->count() == 0) return -1;
    const QList<QPointF> points = series->points();
    int nearest = -1;
    double best = 0;
    for (int i = 0; i < points.size(); ++i) {
        const double distance =
            std::abs(chart()->mapToPosition(points[i], series).x() - onChart.x());
        if (nearest < 0 || distance < best) {
            nearest = i;
            best = distance;
        }
    }
    return nearest;
}

void TimeValueChartView::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    pressedAt_ = event->position().toPoint();
    QChartView::mousePressEvent(event);
}

void TimeValueChartView::mouseReleaseEvent(QMouseEvent* event) {
    // The right button opens the owner's menu; it must not zoom out as well.
    if (event->button() == Qt::RightButton) {
        event->accept();
        return;
    }
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       (event->position().toPoint() - pressedAt_).manhattanLength() <
                           QApplication::startDragDistance();
    pressed_ = false;
    if (!click) {
        QChartView::mouseReleaseEvent(event);
        return;
    }
    // A click is no rectangle to zoom to.
    if (auto* band = findChild<QRubberBand*>()) band->hide();
    event->accept();
    clicked_ = PointNear(pressedAt_);
    if (clicked_ >= 0) clickWait_.start();
}

void TimeValueChartView::mouseDoubleClickEvent(QMouseEvent* event) {
    clickWait_.stop();
    chart()->zoomReset();
    QChartView::mouseDoubleClickEvent(event);
}
