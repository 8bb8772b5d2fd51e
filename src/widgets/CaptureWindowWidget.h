#pragma once

#include "Bitmap.h"
#include "capture/CaptureDevice.h"
#include "capture/CaptureSource.h"
#include "capture/VideoFormat.h"

#include <QByteArray>
#include <QImage>
#include <QWidget>

#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace torvi::gui {

// The devices behind the driver numbers: the computer's cameras, unless
// other sources were set (the tests set FFmpeg's test picture). std::nullopt
// goes back to the cameras.
void SetCaptureDrivers(std::optional<std::vector<torvi::CaptureSource>> drivers);
std::vector<torvi::CaptureSource> CaptureDriverList();

// A capture window: a child window that connects to a capture device, shows
// its live picture and records it into an AVI file. It owns the open device;
// the device grabs on a thread of its own and the window pulls the newest
// picture with a timer, so nothing here waits for the camera. Each call
// answers whether it succeeded; after false, LastError says why.
class CaptureWindowWidget : public QWidget {
    Q_OBJECT
public:
    explicit CaptureWindowWidget(QWidget* parent);
    ~CaptureWindowWidget() override;

    // Connects to capture driver `driverIndex` with the format asked for last.
    bool ConnectDriver(int driverIndex);
    bool DisconnectDriver();
    // The picture format asked of the driver; it takes effect at the next
    // connection, which is why the dialog reconnects after asking for one.
    bool SetVideoFormat(const torvi::BitmapInfoHeader& header);
    bool SetOverlay(bool on);
    bool SetCaptureFile(const QString& path);
    bool CaptureSequence();
    bool CaptureStop();
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
    bool Refuse(const QString& reason);
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
