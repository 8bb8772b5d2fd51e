#include "Graf_U.h"

#include "measurement/Measurement.h"
#include "results/GraphPoints.h"
#include "widgets/TimeValueChart.h"
#include "widgets/UserDialogs.h"

#include <QChart>
#include <QChartView>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineSeries>
#include <QMenu>
#include <QScreen>
#include <QSvgGenerator>
#include <QVBoxLayout>
#include <QValueAxis>

#include <algorithm>

namespace {

// The chart view of the graph window: the time-value chart's clicks and
// zoom, and a menu to save the graph.
class GraphView : public TimeValueChartView {
public:
    GraphView(QChart* chart, QWidget* parent) : TimeValueChartView(chart, parent) {
        setRenderHint(QPainter::Antialiasing);
        setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    }

protected:
    void contextMenuEvent(QContextMenuEvent* event) override {
        QMenu menu(this);
        QAction* save = menu.addAction(QStringLiteral("Save graph as..."));
        if (menu.exec(event->globalPos()) == save) SaveGraph();
    }

private:
    void SaveGraph() {
        torvi::gui::SaveFileRequest request;
        request.Title = QStringLiteral("Save graph as");
        request.FileName = QStringLiteral("graph.png");
        request.Filters = QStringLiteral("PNG picture (*.png);;SVG drawing (*.svg)");
        request.DefaultSuffix = QStringLiteral("png");
        const auto name = torvi::gui::Dialogs().SaveFile(window(), request);
        if (!name) return;
        auto* graph = qobject_cast<TGraf*>(window());
        if (graph && !graph->SaveGraph(*name))
            torvi::gui::Dialogs().ShowError(window(), QStringLiteral("Cannot write file ") + *name,
                                            torvi::gui::MessageIcon::Stop);
    }
};

} // namespace

TGraf::TGraf(const torvi::Measurement& model, QWidget* parent) : QDialog(parent), model_(model) {
    setWindowTitle(QStringLiteral("Graph"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(true);
    setMinimumHeight(50);
    resize(537, 339);

    Series1 = new QLineSeries;
    QPen pen(Qt::green);
    pen.setWidth(1);
    Series1->setPen(pen);
    Series1->setName(QStringLiteral("Y"));

    const TimeValueChart made = NewTimeValueChart(Series1);
    QChart* chart = made.Chart;
    chart->setTitle(QString());
    chart->setPlotAreaBackgroundVisible(false);
    AxisX = made.AxisX;
    AxisY = made.AxisY;

    auto* view = new GraphView(chart, this);
    Chart1 = view;
    connect(view, &TimeValueChartView::PointClicked, this, &TGraf::FrameClicked);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Chart1);
}

void TGraf::SetScale(const std::string& framesPerSecond, const std::string& ticksPerTurn,
                     const std::string& separator) {
    framesPerSecond_ = framesPerSecond;
    ticksPerTurn_ = ticksPerTurn;
    separator_ = separator;
}

void TGraf::SetPoints(const QList<QPointF>& points) {
    Series1->replace(points);
    // Automatic ranges: the axes take the points' extent, widened to round
    // numbers; a flat or single-point series still gets a visible range.
    if (points.isEmpty()) return;
    auto [minX, maxX] =
        std::minmax_element(points.begin(), points.end(),
                            [](const QPointF& a, const QPointF& b) { return a.x() < b.x(); });
    auto [minY, maxY] =
        std::minmax_element(points.begin(), points.end(),
                            [](const QPointF& a, const QPointF& b) { return a.y() < b.y(); });
    ShowRange(AxisX, minX->x(), maxX->x());
    ShowRange(AxisY, minY->y(), maxY->y());
    Chart1->chart()->zoomReset();
}

bool TGraf::SaveGraph(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QStringLiteral("svg")) {
        QSvgGenerator svg;
        svg.setFileName(path);
        svg.setSize(Chart1->size());
        svg.setViewBox(Chart1->rect());
        svg.setTitle(QStringLiteral("Graph"));
        QPainter painter;
        if (!painter.begin(&svg)) return false;
        Chart1->render(&painter);
        return painter.end() && QFileInfo(path).size() > 0;
    }
    return Chart1->grab().save(path, "PNG");
}

void TGraf::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    torvi::gui::Guarded(this, [&] { FillChart(); });
}

void TGraf::FillChart() {
    const auto points =
        torvi::GraphPoints(model_.Series(), framesPerSecond_, ticksPerTurn_, separator_);
    QList<QPointF> list;
    list.reserve(static_cast<qsizetype>(points.size()));
    for (const auto& p : points)
        list.append(QPointF(p.X, p.Y));
    SetPoints(list);
}
