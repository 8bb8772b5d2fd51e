#include "CaptureWindowWidget.h"

#include "BitmapImage.h"
#include "Error.h"

#include <QFile>
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

std::optional<std::vector<torvi::CaptureSource>> chosenDrivers;

} // namespace

void SetCaptureDrivers(std::optional<std::vector<torvi::CaptureSource>> drivers) {
    chosenDrivers = std::move(drivers);
}

std::vector<torvi::CaptureSource> CaptureDriverList() {
    return chosenDrivers ? *chosenDrivers : torvi::CaptureDrivers();
}

CaptureWindowWidget::CaptureWindowWidget(QWidget* parent)
    : QWidget(parent), timer_(new QTimer(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    timer_->setInterval(PollMilliseconds);
    connect(timer_, &QTimer::timeout, this, &CaptureWindowWidget::Poll);
}

CaptureWindowWidget::~CaptureWindowWidget() {
    if (device_) DisconnectDriver();
}

bool CaptureWindowWidget::Refuse(const QString& reason) {
    lastError_ = reason;
    return false;
}

bool CaptureWindowWidget::ConnectDriver(int driverIndex) {
    if (device_) return true;
    const std::vector<torvi::CaptureSource> drivers = CaptureDriverList();
    if (driverIndex < 0 || static_cast<std::size_t>(driverIndex) >= drivers.size()) {
        status_ = QStringLiteral("No video capture device was found");
        update();
        return Refuse(status_);
    }
    try {
        device_ =
            torvi::CaptureDevice::Open(drivers[static_cast<std::size_t>(driverIndex)], format_);
    } catch (const torvi::Error& e) {
        status_ = Text(e);
        update();
        return Refuse(status_);
    }
    status_.clear();
    serial_ = 0;
    timer_->start();
    return true;
}

bool CaptureWindowWidget::DisconnectDriver() {
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
    return true;
}

bool CaptureWindowWidget::SetVideoFormat(const torvi::BitmapInfoHeader& header) {
    // Checked as a driver checks the format block it receives.
    try {
        const auto block = torvi::VideoFormatBlock(header);
        format_ = torvi::ParseVideoFormat(block.data(), block.size());
    } catch (const torvi::Error& e) {
        return Refuse(Text(e));
    }
    return true;
}

bool CaptureWindowWidget::SetOverlay(bool on) {
    overlay_ = on;
    if (!on) {
        picture_ = QImage();
        update();
    }
    return device_ ? true : Refuse(QStringLiteral("No capture device is connected"));
}

bool CaptureWindowWidget::SetCaptureFile(const QString& path) {
    if (path.isEmpty()) return Refuse(QStringLiteral("No file was named for the recording"));
    captureFile_ = QFile::encodeName(path);
    return true;
}

bool CaptureWindowWidget::CaptureSequence() {
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
    return true;
}

bool CaptureWindowWidget::CaptureStop() {
    if (!device_) return true;
    try {
        device_->StopRecording();
    } catch (const torvi::Error& e) {
        return Refuse(Text(e));
    }
    return true;
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
