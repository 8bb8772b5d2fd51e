#pragma once

#include "Bitmap.h"

#include <QImage>
#include <QWidget>

// The picture view of the main window: shows one picture at its natural
// size, keeps the picture in the format it was given (so it can be saved as
// it is), and reports mouse presses in picture coordinates.
class PictureView : public QWidget {
    Q_OBJECT
public:
    explicit PictureView(QWidget* parent = nullptr);

    // Shows a copy of the picture and takes its size.
    void SetPicture(const torvi::Bitmap& picture);
    const torvi::Bitmap& Picture() const { return picture_; }
    const QImage& ShownImage() const { return image_; }

    QSize sizeHint() const override;

Q_SIGNALS:
    void MouseDown(Qt::MouseButton button, int x, int y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    torvi::Bitmap picture_;
    QImage image_;
};
