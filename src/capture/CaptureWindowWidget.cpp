#include "CaptureWindowWidget.h"

#include "AVICap.h"
#include "BitmapImage.h"
#include "Error.h"

#include <QPainter>
#include <QTimer>

namespace torvi::gui {

namespace {

// Often enough for a 60 Hz camera; a pull that finds no new picture costs
// one lock.
constexpr int PollMilliseconds = 15;

QString Text(const std::exception& error) {
    return QString::fromUtf8(error.what());
}

} // namespace

CaptureWindowWidget::CaptureWindowWidget(QWidget* parent)
    : QWidget(parent), timer_(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_->setInterval(PollMilliseconds);
    connect(timer_, &QTimer::timeout, this, &CaptureWindowWidget::Poll);
}

CaptureWindowWidget::~CaptureWindowWidget() {
    if (device_) Disconnect();
}

LRESULT CaptureWindowWidget::Dispatch(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CAP_DRIVER_CONNECT:
        return Connect(wParam);
    case WM_CAP_DRIVER_DISCONNECT:
        return Disconnect();
    case WM_CAP_SET_VIDEOFORMAT:
        return SetVideoFormat(wParam, lParam);
    case WM_CAP_SET_OVERLAY:
        return SetOverlay(wParam != 0);
    case WM_CAP_FILE_SET_CAPTURE_FILEA:
        return SetCaptureFile(lParam);
    case WM_CAP_SEQUENCE:
        return Sequence();
    case WM_CAP_STOP:
        return Stop();
    default:
        return Refuse(
            QStringLiteral("The capture window does not know message 0x%1").arg(message, 0, 16));
    }
}

LRESULT CaptureWindowWidget::Refuse(const QString& reason) {
    lastError_ = reason;
    return 0;
}

LRESULT CaptureWindowWidget::Connect(WPARAM driverIndex) {
    if (device_) return 1;
    const std::vector<torvi::CaptureSource> drivers = CaptureDriverList();
    if (driverIndex >= drivers.size()) {
        status_ = QStringLiteral("No video capture device was found");
        update();
        return Refuse(status_);
    }
    try {
        device_ = torvi::CaptureDevice::Open(drivers[driverIndex], format_);
    } catch (const torvi::Error& e) {
        status_ = Text(e);
        update();
        return Refuse(status_);
    }
    status_.clear();
    serial_ = 0;
    timer_->start();
    return 1;
}

LRESULT CaptureWindowWidget::Disconnect() {
    if (!device_) return Refuse(QStringLiteral("No capture device is connected"));
    timer_->stop();
    const std::unique_ptr<torvi::CaptureDevice> device = std::move(device_);
    picture_ = QImage();
    update();
    try {
        device->Close();
    } catch (const torvi::Error& e) {
        Q_EMIT RecordingFailed(Text(e));
    }
    return 1;
}

// The driver takes a new format when it is next connected, which is why the
// dialog reconnects after asking for one.
LRESULT CaptureWindowWidget::SetVideoFormat(WPARAM length, LPARAM block) {
    try {
        format_ = torvi::ParseVideoFormat(reinterpret_cast<const std::uint8_t*>(block), length);
    } catch (const torvi::Error& e) {
        return Refuse(Text(e));
    }
    return 1;
}

LRESULT CaptureWindowWidget::SetOverlay(bool on) {
    overlay_ = on;
    if (!on) {
        picture_ = QImage();
        update();
    }
    return device_ ? 1 : Refuse(QStringLiteral("No capture device is connected"));
}

LRESULT CaptureWindowWidget::SetCaptureFile(LPARAM path) {
    const char* text = reinterpret_cast<const char*>(path);
    if (text == nullptr || *text == '\0')
        return Refuse(QStringLiteral("No file was named for the recording"));
    captureFile_ = QByteArray(text);
    return 1;
}

LRESULT CaptureWindowWidget::Sequence() {
    if (!device_) {
        const QString reason =
            status_.isEmpty() ? QStringLiteral("No capture device is connected") : status_;
        return Refuse(
            QStringLiteral("Cannot record: no capture device is connected (%1).").arg(reason));
    }
    if (captureFile_.isEmpty()) return Refuse(QStringLiteral("Cannot record: no file was named."));
    try {
        device_->StartRecording(captureFile_.toStdString());
    } catch (const torvi::Error& e) {
        return Refuse(Text(e));
    }
    return 1;
}

LRESULT CaptureWindowWidget::Stop() {
    if (!device_) return 1;
    try {
        device_->StopRecording();
    } catch (const torvi::Error& e) {
        return Refuse(Text(e));
    }
    return 1;
}

void CaptureWindowWidget::Poll() {
    if (!device_) return;
    const std::string failure = device_->TakeRecordingFailure();
    if (!failure.empty()) Q_EMIT RecordingFailed(QString::fromStdString(failure));
    if (!device_) return; // the report may have closed the window's dialog
    if (overlay_ && device_->LatestFrame(frame_, serial_)) {
        picture_ = ToQImage(frame_);
        update();
        Q_EMIT PictureShown();
    }
    if (status_.isEmpty()) {
        const std::string ended = device_->DeviceFailure();
        if (!ended.empty()) {
            status_ = QString::fromStdString(ended);
            picture_ = QImage();
            update();
        }
    }
}

void CaptureWindowWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    if (!picture_.isNull()) {
        painter.drawImage(rect(), picture_);
    } else if (!status_.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                         status_);
    }
}

} // namespace torvi::gui
