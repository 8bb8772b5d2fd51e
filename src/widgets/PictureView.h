#pragma once

#include "Bitmap.h"

#include <QImage>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QWidget>

#include <optional>

// The dial's outline as found on the picture: an ellipse about its centre,
// its half axes in picture pixels, turned clockwise by Angle degrees.
struct DialOutline {
    QPointF Centre;
    double RadiusX = 0;
    double RadiusY = 0;
    double Angle = 0;
};

// The picture of a window (the main window's frame, a camera's picture, the
// masking square) drawn at a zoom, with the marks of the measurement over it.
// It keeps the picture in the format it was given, so Picture() can be saved
// as it is: the marks are drawn on the screen only. The view is as large as
// the zoomed picture; a PicturePane around it scrolls and chooses the zoom.
// Above 100 % every picture pixel is a square of screen pixels. Mouse presses
// are reported in picture pixels; a press beside the picture reports nothing.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // Shows a copy of the picture at the current zoom.
    void SetPicture(const torvi::Bitmap& picture);
    const torvi::Bitmap& Picture() const { return picture_; }
    const QImage& ShownImage() const { return image_; }

    // Screen pixels per picture pixel; the view takes the zoomed size.
    double Zoom() const { return zoom_; }
    void SetZoom(double zoom);
    // The picture pixel under a point of the view, if the point is on the picture.
    std::optional<QPoint> PicturePixel(QPointF viewPoint) const;
    // Where a picture point lies on the view.
    QPointF ViewPoint(QPointF picturePoint) const;

    // The marks: the dial centre, the hand's radius about it (0: none) and
    // where the tip was clicked.
    void SetMarks(std::optional<QPoint> centre, int radius, std::optional<QPoint> tip);
    // The pivot the fine angle found, in picture coordinates.
    void SetFinePivot(std::optional<QPointF> pivot);
    void SetDialOutline(std::optional<DialOutline> outline);
    // The direction measured on the frame shown, in degrees clockwise from
    // straight up, drawn from the pivot (the centre without one), with its text.
    void SetMeasuredDirection(std::optional<double> degrees, const QString& text = {});
    std::optional<double> MeasuredDirection() const { return direction_; }
    void SetMarksShown(bool shown);
    bool MarksShown() const { return marksShown_; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void MouseDown(Qt::MouseButton button, int x, int y);
    // The picture shown now has another size than the one before.
    void PictureSizeChanged(QSize size);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QSize ZoomedSize() const;
    void PaintMarks(QPainter& painter) const;

    torvi::Bitmap picture_;
    QImage image_;
    // The picture smoothed down to the view's size, for zooms below 100 %.
    mutable QImage reduced_;
    double zoom_ = 1;

    bool marksShown_ = true;
    std::optional<QPoint> centre_;
    int radius_ = 0;
    std::optional<QPoint> tip_;
    std::optional<QPointF> pivot_;
    std::optional<DialOutline> outline_;
    std::optional<double> direction_;
    QString directionText_;
};
