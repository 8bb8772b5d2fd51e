#pragma once

#include <QCursor>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QWidget>

#include <optional>

class QLabel;
class QScrollArea;
class QToolButton;
class PictureView;

// A PictureView in a scroll area with the zoom of a picture viewer: a
// picture larger than the space is fitted to it (aspect kept) until the user
// zooms, and fitted again when it changes size. Ctrl + wheel zooms about the
// mouse, + and - about the middle of the space; the "Fit" and "100 %"
// buttons under the picture do what they say. The scroll bars, the wheel and
// a drag with the middle button move the picture. A picture smaller than
// the space stands in its middle.
class PicturePane : public QWidget {
    Q_OBJECT
public:
    explicit PicturePane(QWidget* parent = nullptr);

    PictureView* View() const { return view_; }
    QScrollArea* Scroll() const { return scroll_; }

    // Fits the picture to the space (never above 100 %) and keeps it fitted.
    void Fit();
    bool Fitting() const { return fitting_; }
    // Zooms to `zoom` keeping the picture point under `anchor` (a point of
    // the scroll area's viewport) where it is; the middle of the viewport
    // when none is given. Ends fitting.
    void ZoomTo(double zoom, std::optional<QPoint> anchor = std::nullopt);
    // The next larger or smaller of the usual zoom steps.
    void ZoomIn(std::optional<QPoint> anchor = std::nullopt);
    void ZoomOut(std::optional<QPoint> anchor = std::nullopt);

    // The pane's size that shows a view of `viewSize` without scroll bars.
    QSize SizeFor(QSize viewSize) const;

    static constexpr double MinZoom = 1.0 / 16;
    static constexpr double MaxZoom = 32;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The zoom that fits the picture in the viewport without scroll bars.
    double FitZoom() const;
    void Refit();
    void ShowZoom();
    void KeepAnchor();

    QScrollArea* scroll_ = nullptr;
    PictureView* view_ = nullptr;
    QWidget* bar_ = nullptr;
    QLabel* zoomText_ = nullptr;
    bool fitting_ = true;
    QSize pictureSize_;
    bool panning_ = false;
    QPoint panFrom_;
    std::optional<QCursor> cursorBefore_;
    // The picture point that stays under a viewport point after a zoom.
    struct Anchor {
        QPointF OnPicture;
        QPoint At;
    };
    std::optional<Anchor> anchor_;
};
