#pragma once

#include "Bitmap.h"
#include "CaptureService.h"
#include "capture/CaptureDevice.h"
#include "capture/VideoFormat.h"

#include <QByteArray>
#include <QImage>
#include <QWidget>

#include <memory>

class QTimer;

namespace torvi::gui {

// A capture window: a child window that connects to a capture device, shows
// its live picture and records it into an AVI file, driven by capture
// messages (see AVICap.h). It owns the open device; the device grabs on a
// thread of its own and the window pulls the newest picture with a timer, so
// nothing here waits for the camera.
class CaptureWindowWidget : public QWidget {
    Q_OBJECT
public:
    explicit CaptureWindowWidget(QWidget* parent);
    ~CaptureWindowWidget() override;

    // Handles one capture message; 0 means refused, LastError says why.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam);
    QString LastError() const { return lastError_; }

    bool Connected() const { return device_ != nullptr; }
    bool Overlay() const { return overlay_; }
    const torvi::CaptureFormat& Format() const { return format_; }
    // The picture on show; null when there is none.
    const QImage& Picture() const { return picture_; }

Q_SIGNALS:
    // A recording ended without "Stop": the disk filled up, the camera went
    // away, or the film could not be completed when the device was closed.
    void RecordingFailed(const QString& reason);
    // A new live picture is on show.
    void PictureShown();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    LRESULT Connect(WPARAM driverIndex);
    LRESULT Disconnect();
    LRESULT SetVideoFormat(WPARAM length, LPARAM block);
    LRESULT SetOverlay(bool on);
    LRESULT SetCaptureFile(LPARAM path);
    LRESULT Sequence();
    LRESULT Stop();
    LRESULT Refuse(const QString& reason);
    void Poll();

    std::unique_ptr<torvi::CaptureDevice> device_;
    torvi::CaptureFormat format_;
    QByteArray captureFile_;
    bool overlay_ = false;
    QTimer* timer_;
    torvi::Bitmap frame_;
    std::uint64_t serial_ = 0;
    QImage picture_;
    QString status_; // shown in place of a picture
    QString lastError_;
};

} // namespace torvi::gui
