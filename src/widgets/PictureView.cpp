#include "PictureView.h"

#include "BitmapImage.h"

#include <QMouseEvent>
#include <QPainter>

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    resize(0, 0);
}

void PictureView::SetPicture(const torvi::Bitmap& picture) {
    picture_ = picture;
    image_ = torvi::gui::ToQImage(picture_);
    resize(picture_.Width(), picture_.Height());
    setFixedSize(picture_.Width(), picture_.Height());
    update();
}

QSize PictureView::sizeHint() const {
    return {picture_.Width(), picture_.Height()};
}

void PictureView::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}

void PictureView::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (p.x() < 0 || p.y() < 0 || p.x() >= picture_.Width() || p.y() >= picture_.Height()) return;
    Q_EMIT MouseDown(event->button(), p.x(), p.y());
}
