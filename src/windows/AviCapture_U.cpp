#include "AviCapture_U.h"

#include "capture/VideoFormat.h"
#include "widgets/CaptureWindowWidget.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

namespace torvi::gui {

void TAviCapture::ConnectDriver() {
    if (CaptureWindow && !DriverConnected) DriverConnected = CaptureWindow->ConnectDriver(0);
}

void TAviCapture::DisconnectDriver() {
    if (CaptureWindow && DriverConnected) CaptureWindow->DisconnectDriver();
    DriverConnected = false;
}

bool TAviCapture::CreateCaptureWindow(QWidget* parent, int width, int height) {
    if (CaptureWindow) return false;
    CaptureWindow = new CaptureWindowWidget(parent);
    CaptureWindow->setObjectName(QStringLiteral("Capture Window"));
    CaptureWindow->setGeometry(0, 0, width, height);
    CaptureWindow->show();
    connect(CaptureWindow, &CaptureWindowWidget::RecordingFailed, this,
            &TAviCapture::RecordingFailed);
    ConnectDriver();
    CaptureWindow->SetVideoFormat(torvi::RgbVideoFormat(width, height));
    DisconnectDriver();
    ConnectDriver();
    return true;
}

void TAviCapture::DestroyCaptureWindow() {
    DisconnectDriver();
    delete CaptureWindow.data();
    CaptureWindow = nullptr;
}

void TAviCapture::StartOverlay() {
    ConnectDriver();
    if (CaptureWindow) CaptureWindow->SetOverlay(true);
}

TAviCapture::TAviCapture(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Record AVI"));
    setFixedSize(320, 297);

    Panel1 = new QFrame(this);
    Panel1->setGeometry(0, 0, 320, 240);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);

    Label1 = new QLabel(QStringLiteral(" AVI File:"), this);
    Label1->move(27, 254);
    Label1->adjustSize();
    // The layout was drawn for a narrow 8-point font; with a wider one the
    // label moves left so that the field does not hide its end.
    if (Label1->geometry().right() >= 70) Label1->move(70 - Label1->width(), 254);

    Edit1 = new QLineEdit(this);
    Edit1->setGeometry(72, 248, 219, 21);
    Edit1->setReadOnly(true);

    auto button = [this](const QString& text, int x, int width, bool enabled) {
        auto* b = new QPushButton(text, this);
        b->setGeometry(x, 272, width, 25);
        b->setEnabled(enabled);
        b->setAutoDefault(false);
        return b;
    };
    BitBtn3 = button(QStringLiteral("Select &File"), 27, 105, true);
    BitBtn1 = button(QStringLiteral("&Record"), 131, 81, false);
    BitBtn2 = button(QStringLiteral("&Stop"), 211, 81, false);
    connect(BitBtn3, &QPushButton::clicked, this, &TAviCapture::BitBtn3Click);
    connect(BitBtn1, &QPushButton::clicked, this, &TAviCapture::Button1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TAviCapture::Button2Click);

    SaveDialog1.Title = QStringLiteral("Record to AVI");
    SaveDialog1.FileName = QStringLiteral("Capture.avi");
    SaveDialog1.Filters = QStringLiteral("AVI File (*.avi)");
    SaveDialog1.DefaultSuffix = QStringLiteral("avi");
    SaveDialog1.ConfirmOverwrite = true;

    // Centred on the screen rather than over the main window.
    if (QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TAviCapture::~TAviCapture() {
    FormDestroy();
}

void TAviCapture::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) BtnAVIOpenClick();
}

void TAviCapture::done(int result) {
    FormClose();
    QDialog::done(result);
}

void TAviCapture::EnableRecord() {
    if (FileChosen && PreviewStarted) BitBtn1->setEnabled(true);
}

void TAviCapture::BtnAVIOpenClick() {
    closing_ = false;
    CreateCaptureWindow(Panel1, Panel1->width(), Panel1->height());
    StartOverlay();
    PreviewStarted = true;
    EnableRecord();
}

void TAviCapture::BitBtn3Click() {
    if (const std::optional<QString> file = Dialogs().SaveFile(this, SaveDialog1)) {
        Edit1->setText(*file);
        FileChosen = true;
    }
    EnableRecord();
}

void TAviCapture::Button1Click() {
    BitBtn3->setEnabled(false);
    BitBtn1->setEnabled(false);
    BitBtn2->setEnabled(true);

    const bool started = CaptureWindow && CaptureWindow->SetCaptureFile(Edit1->text()) &&
                         CaptureWindow->CaptureSequence();
    if (!started) {
        // Nothing is recording: say why and offer the recording again.
        const QString reason = CaptureWindow ? CaptureWindow->LastError()
                                             : QStringLiteral("There is no capture window");
        BitBtn2->setEnabled(false);
        BitBtn3->setEnabled(true);
        EnableRecord();
        Dialogs().ShowError(this, reason, MessageIcon::Stop);
    }
}

void TAviCapture::Button2Click() {
    BitBtn2->setEnabled(false);
    const bool stopped = !CaptureWindow || CaptureWindow->CaptureStop();
    BitBtn3->setEnabled(true);
    BitBtn1->setEnabled(true);
    if (!stopped) Dialogs().ShowError(this, CaptureWindow->LastError(), MessageIcon::Stop);
}

// The recording ended without "Stop": the dialog returns to the stopped state
// and says why.
void TAviCapture::RecordingFailed(const QString& reason) {
    if (BitBtn2->isEnabled()) {
        BitBtn2->setEnabled(false);
        BitBtn3->setEnabled(true);
        BitBtn1->setEnabled(true);
    }
    if (closing_) {
        Dialogs().ShowError(this, reason, MessageIcon::Stop);
        return;
    }
    // The report comes from the capture window's timer; the box waits for the
    // event loop so that closing the dialog from it cannot pull the window
    // away under that timer.
    QMetaObject::invokeMethod(
        this, [this, reason] { Dialogs().ShowError(this, reason, MessageIcon::Stop); },
        Qt::QueuedConnection);
}

void TAviCapture::FormClose() {
    closing_ = true;
    DestroyCaptureWindow();
}

void TAviCapture::FormDestroy() {
    // Errors of a capture window closed only now have nobody left to see them.
    if (CaptureWindow) disconnect(CaptureWindow, nullptr, this, nullptr);
    DestroyCaptureWindow();
}

} // namespace torvi::gui
