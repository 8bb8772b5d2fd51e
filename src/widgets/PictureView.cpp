#include "PictureView.h"

#include "BitmapImage.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

// Marks stay visible on any picture: a light stroke over a dark one.
const QColor MarkColour(255, 230, 0);
const QColor DirectionColour(255, 70, 30);
const QColor PivotColour(0, 230, 255);
const QColor Shade(0, 0, 0, 190);

void Stroke(QPainter& painter, const QPainterPath& path, const QColor& colour) {
    painter.strokePath(path, QPen(Shade, 3.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.strokePath(path, QPen(colour, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
}

} // namespace

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    resize(0, 0);
}

void PictureView::SetPicture(const torvi::Bitmap& picture) {
    const QSize before(picture_.Width(), picture_.Height());
    picture_ = picture;
    image_ = torvi::gui::ToQImage(picture_);
    reduced_ = QImage();
    setFixedSize(ZoomedSize());
    update();
    const QSize now(picture_.Width(), picture_.Height());
    if (now != before) Q_EMIT PictureSizeChanged(now);
}

void PictureView::SetZoom(double zoom) {
    if (!(zoom > 0) || zoom == zoom_) return;
    zoom_ = zoom;
    reduced_ = QImage();
    setFixedSize(ZoomedSize());
    update();
}

QSize PictureView::ZoomedSize() const {
    // Rounded down, so a picture zoomed to fit a space never overflows it.
    return {static_cast<int>(std::floor(picture_.Width() * zoom_ + 1e-9)),
            static_cast<int>(std::floor(picture_.Height() * zoom_ + 1e-9))};
}

QSize PictureView::sizeHint() const {
    return ZoomedSize();
}

std::optional<QPoint> PictureView::PicturePixel(QPointF viewPoint) const {
    if (viewPoint.x() < 0 || viewPoint.y() < 0 || viewPoint.x() >= width() ||
        viewPoint.y() >= height())
        return std::nullopt;
    const int x =
        std::min(static_cast<int>(std::floor(viewPoint.x() / zoom_)), picture_.Width() - 1);
    const int y =
        std::min(static_cast<int>(std::floor(viewPoint.y() / zoom_)), picture_.Height() - 1);
    if (x < 0 || y < 0) return std::nullopt;
    return QPoint(x, y);
}

QPointF PictureView::ViewPoint(QPointF picturePoint) const {
    return picturePoint * zoom_;
}

void PictureView::SetMarks(std::optional<QPoint> centre, int radius, std::optional<QPoint> tip) {
    centre_ = centre;
    radius_ = radius;
    tip_ = tip;
    update();
}

void PictureView::SetFinePivot(std::optional<QPointF> pivot) {
    pivot_ = pivot;
    update();
}

void PictureView::SetDialOutline(std::optional<DialOutline> outline) {
    outline_ = outline;
    update();
}

void PictureView::SetMeasuredDirection(std::optional<double> degrees, const QString& text) {
    direction_ = degrees;
    directionText_ = text;
    update();
}

void PictureView::SetMarksShown(bool shown) {
    marksShown_ = shown;
    update();
}

void PictureView::paintEvent(QPaintEvent* event) {
    if (image_.isNull()) return;
    QPainter painter(this);
    const QRect exposed = event->rect();
    if (zoom_ >= 1) {
        // Only the exposed pixels, each drawn as a square (no smoothing).
        const int x0 = std::max(0, static_cast<int>(std::floor(exposed.left() / zoom_)));
        const int y0 = std::max(0, static_cast<int>(std::floor(exposed.top() / zoom_)));
        const int x1 =
            std::min(image_.width(), static_cast<int>(std::ceil((exposed.right() + 1) / zoom_)));
        const int y1 =
            std::min(image_.height(), static_cast<int>(std::ceil((exposed.bottom() + 1) / zoom_)));
        if (x1 > x0 && y1 > y0) {
            const QRectF source(x0, y0, x1 - x0, y1 - y0);
            const QRectF target(x0 * zoom_, y0 * zoom_, (x1 - x0) * zoom_, (y1 - y0) * zoom_);
            painter.drawImage(target, image_, source);
        }
    } else {
        // Reduced at the screen's own resolution, so that it stays sharp
        // where a logical pixel is several device pixels.
        const qreal ratio = devicePixelRatioF();
        if (reduced_.isNull() || reduced_.devicePixelRatio() != ratio) {
            reduced_ =
                image_.scaled(size() * ratio, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            reduced_.setDevicePixelRatio(ratio);
        }
        painter.drawImage(QRectF(exposed), reduced_,
                          QRectF(exposed.topLeft() * ratio, exposed.size() * ratio));
    }
    if (marksShown_) PaintMarks(painter);
}

void PictureView::PaintMarks(QPainter& painter) const {
    painter.setRenderHint(QPainter::Antialiasing);
    // Marks sit on pixel centres.
    auto at = [&](QPointF p) { return ViewPoint(p + QPointF(0.5, 0.5)); };
    if (outline_) {
        QPainterPath ellipse;
        ellipse.addEllipse(QPointF(0, 0), outline_->RadiusX * zoom_, outline_->RadiusY * zoom_);
        QTransform turn;
        const QPointF c = at(outline_->Centre);
        turn.translate(c.x(), c.y());
        turn.rotate(outline_->Angle);
        Stroke(painter, turn.map(ellipse), PivotColour);
    }
    if (centre_) {
        const QPointF c = at(*centre_);
        const double arm = std::max(8.0, zoom_ * 1.5);
        QPainterPath cross;
        cross.moveTo(c.x() - arm, c.y());
        cross.lineTo(c.x() + arm, c.y());
        cross.moveTo(c.x(), c.y() - arm);
        cross.lineTo(c.x(), c.y() + arm);
        if (radius_ > 0) cross.addEllipse(c, radius_ * zoom_, radius_ * zoom_);
        Stroke(painter, cross, MarkColour);
    }
    if (tip_) {
        QPainterPath tip;
        tip.addEllipse(at(*tip_), 4, 4);
        Stroke(painter, tip, MarkColour);
    }
    if (pivot_) {
        const QPointF p = ViewPoint(*pivot_ + QPointF(0.5, 0.5));
        QPainterPath x;
        x.moveTo(p + QPointF(-5, -5));
        x.lineTo(p + QPointF(5, 5));
        x.moveTo(p + QPointF(-5, 5));
        x.lineTo(p + QPointF(5, -5));
        Stroke(painter, x, PivotColour);
    }
    const std::optional<QPointF> from = pivot_    ? std::optional<QPointF>(at(*pivot_))
                                        : centre_ ? std::optional<QPointF>(at(*centre_))
                                                  : std::nullopt;
    if (direction_ && from) {
        const double turn = *direction_ * std::numbers::pi / 180;
        const double length = std::max(24.0, radius_ * zoom_);
        const QPointF end = *from + QPointF(std::sin(turn), -std::cos(turn)) * length;
        QPainterPath line;
        line.moveTo(*from);
        line.lineTo(end);
        Stroke(painter, line, DirectionColour);
        if (!directionText_.isEmpty()) {
            const QFontMetrics metrics = painter.fontMetrics();
            QRectF box = metrics.boundingRect(directionText_);
            box.adjust(-3, -1, 3, 1);
            // Beyond the line's end, kept inside the view.
            QPointF corner = end + QPointF(std::sin(turn), -std::cos(turn)) * 6;
            if (std::sin(turn) < 0) corner.rx() -= box.width();
            if (-std::cos(turn) < 0) corner.ry() -= box.height();
            corner.setX(std::clamp(corner.x(), 0.0, std::max(0.0, width() - box.width())));
            corner.setY(std::clamp(corner.y(), 0.0, std::max(0.0, height() - box.height())));
            box.moveTopLeft(corner);
            painter.fillRect(box, Shade);
            painter.setPen(DirectionColour);
            painter.drawText(box, Qt::AlignCenter, directionText_);
        }
    }
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    const std::optional<QPoint> pixel = PicturePixel(event->position());
    if (!pixel) return;
    Q_EMIT MouseDown(event->button(), pixel->x(), pixel->y());
}
