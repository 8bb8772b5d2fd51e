#include "PicturePane.h"

#include "PictureView.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QScrollArea>
#include <QScrollBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>

namespace {

// The zoom steps of + and -: 100 % and the usual fractions and multiples, so
// a few steps from any fitted zoom reach a round one.
constexpr std::array ZoomSteps{1.0 / 16, 1.0 / 12, 1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2,
                               2.0 / 3,  1.0,      1.5,     2.0,     3.0,     4.0,     6.0,
                               8.0,      12.0,     16.0,    24.0,    32.0};

QToolButton* ZoomButton(QWidget* parent, const QString& caption, const QString& tip) {
    auto* button = new QToolButton(parent);
    button->setText(caption);
    button->setToolTip(tip);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

PicturePane::PicturePane(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    scroll_ = new QScrollArea(this);
    scroll_->setWidgetResizable(false);
    scroll_->setAlignment(Qt::AlignCenter);
    scroll_->setFocusPolicy(Qt::StrongFocus);
    view_ = new PictureView;
    scroll_->setWidget(view_);
    layout->addWidget(scroll_, 1);

    bar_ = new QWidget(this);
    auto* bar = new QHBoxLayout(bar_);
    bar->setContentsMargins(4, 0, 4, 0);
    bar->setSpacing(0);
    bar->addStretch();
    zoomText_ = new QLabel(bar_);
    bar->addWidget(zoomText_);
    auto* fit = ZoomButton(bar_, QStringLiteral("Fit"), QStringLiteral("Fit the picture"));
    auto* natural = ZoomButton(bar_, QStringLiteral("100 %"), QStringLiteral("Natural size"));
    auto* out = ZoomButton(bar_, QStringLiteral("-"), QStringLiteral("Zoom out (-)"));
    auto* in = ZoomButton(bar_, QStringLiteral("+"), QStringLiteral("Zoom in (+, Ctrl + wheel)"));
    for (QToolButton* b : {fit, natural, out, in})
        bar->addWidget(b);
    layout->addWidget(bar_);
    connect(fit, &QToolButton::clicked, this, [this] { Fit(); });
    connect(natural, &QToolButton::clicked, this, [this] { ZoomTo(1); });
    connect(out, &QToolButton::clicked, this, [this] { ZoomOut(); });
    connect(in, &QToolButton::clicked, this, [this] { ZoomIn(); });
    connect(view_, &PictureView::PictureSizeChanged, this, [this] {
        fitting_ = true;
        Refit();
    });

    // The scroll bars come and go after a zoom has changed the view's size,
    // which changes the viewport and the ranges: the point under the mouse
    // is put back each time, until the user moves the picture.
    for (QScrollBar* scrollBar : {scroll_->horizontalScrollBar(), scroll_->verticalScrollBar()}) {
        connect(scrollBar, &QScrollBar::rangeChanged, this, [this] { KeepAnchor(); });
        connect(scrollBar, &QScrollBar::actionTriggered, this, [this] { anchor_.reset(); });
        connect(scrollBar, &QScrollBar::sliderPressed, this, [this] { anchor_.reset(); });
    }
    scroll_->installEventFilter(this);
    scroll_->viewport()->installEventFilter(this);
    view_->installEventFilter(this);
    ShowZoom();
}

double PicturePane::FitZoom() const {
    const QSize picture(view_->Picture().Width(), view_->Picture().Height());
    if (picture.isEmpty()) return 1;
    const QSize space = scroll_->maximumViewportSize();
    const double zoom = std::min(static_cast<double>(space.width()) / picture.width(),
                                 static_cast<double>(space.height()) / picture.height());
    return std::clamp(zoom, MinZoom, 1.0);
}

QSize PicturePane::SizeFor(QSize viewSize) const {
    const int frame = 2 * scroll_->frameWidth();
    return viewSize + QSize(frame, frame + bar_->sizeHint().height());
}

void PicturePane::Refit() {
    if (fitting_) view_->SetZoom(FitZoom());
    ShowZoom();
}

void PicturePane::Fit() {
    fitting_ = true;
    anchor_.reset();
    Refit();
}

void PicturePane::ZoomTo(double zoom, std::optional<QPoint> anchor) {
    fitting_ = false;
    zoom = std::clamp(zoom, MinZoom, MaxZoom);
    const QPoint at = anchor.value_or(scroll_->viewport()->rect().center());
    const QPointF onPicture = QPointF(at - view_->pos()) / view_->Zoom();
    anchor_ = Anchor{onPicture, at};
    view_->SetZoom(zoom);
    KeepAnchor();
    ShowZoom();
}

void PicturePane::KeepAnchor() {
    if (!anchor_) return;
    const double zoom = view_->Zoom();
    scroll_->horizontalScrollBar()->setValue(
        static_cast<int>(std::lround(anchor_->OnPicture.x() * zoom - anchor_->At.x())));
    scroll_->verticalScrollBar()->setValue(
        static_cast<int>(std::lround(anchor_->OnPicture.y() * zoom - anchor_->At.y())));
}

void PicturePane::ZoomIn(std::optional<QPoint> anchor) {
    const double now = view_->Zoom();
    const auto next = std::find_if(ZoomSteps.begin(), ZoomSteps.end(),
                                   [&](double step) { return step > now * 1.001; });
    ZoomTo(next == ZoomSteps.end() ? MaxZoom : *next, anchor);
}

void PicturePane::ZoomOut(std::optional<QPoint> anchor) {
    const double now = view_->Zoom();
    const auto next = std::find_if(ZoomSteps.rbegin(), ZoomSteps.rend(),
                                   [&](double step) { return step < now / 1.001; });
    ZoomTo(next == ZoomSteps.rend() ? MinZoom : *next, anchor);
}

void PicturePane::ShowZoom() {
    zoomText_->setText(QString::number(std::lround(view_->Zoom() * 100)) + QStringLiteral(" %  "));
}

bool PicturePane::eventFilter(QObject* watched, QEvent* event) {
    QWidget* viewport = scroll_->viewport();
    switch (event->type()) {
    case QEvent::Resize:
        if (watched == scroll_ && fitting_) Refit();
        break;
    case QEvent::KeyPress: {
        if (watched != scroll_) break;
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Plus || key == Qt::Key_Equal) {
            ZoomIn();
            return true;
        }
        if (key == Qt::Key_Minus) {
            ZoomOut();
            return true;
        }
        break;
    }
    case QEvent::Wheel: {
        // Wheel events over the picture reach the viewport too.
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (watched != viewport || !(wheel->modifiers() & Qt::ControlModifier)) break;
        const QPoint at = wheel->position().toPoint();
        if (wheel->angleDelta().y() > 0)
            ZoomIn(at);
        else if (wheel->angleDelta().y() < 0)
            ZoomOut(at);
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if ((watched != view_ && watched != viewport) || mouse->button() != Qt::MiddleButton) break;
        panning_ = true;
        anchor_.reset();
        panFrom_ = mouse->globalPosition().toPoint();
        // The window's own cursor (the cross of the marking steps) comes back after.
        auto* widget = static_cast<QWidget*>(watched);
        cursorBefore_ = widget->testAttribute(Qt::WA_SetCursor)
                            ? std::optional<QCursor>(widget->cursor())
                            : std::nullopt;
        widget->setCursor(Qt::ClosedHandCursor);
        return true;
    }
    case QEvent::MouseMove: {
        if (!panning_) break;
        const QPoint now = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
        const QPoint moved = now - panFrom_;
        panFrom_ = now;
        QScrollBar* h = scroll_->horizontalScrollBar();
        QScrollBar* v = scroll_->verticalScrollBar();
        h->setValue(h->value() - moved.x());
        v->setValue(v->value() - moved.y());
        return true;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (!panning_ || mouse->button() != Qt::MiddleButton) break;
        panning_ = false;
        auto* widget = static_cast<QWidget*>(watched);
        if (cursorBefore_)
            widget->setCursor(*cursorBefore_);
        else
            widget->unsetCursor();
        return true;
    }
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}
