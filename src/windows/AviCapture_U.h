#pragma once

#include "widgets/UserDialogs.h"

#include <QDialog>
#include <QPointer>

class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;

namespace torvi::gui {

class CaptureWindowWidget;

// The "Record AVI" dialog: shows the first capture device's live picture and
// records it into an AVI file. Create it for one use and show it modally:
//     TAviCapture dialog(parent);
//     dialog.exec();
// The capture window lives from the showing until the dialog closes.
class TAviCapture : public QDialog {
    Q_OBJECT
public:
    explicit TAviCapture(QWidget* parent = nullptr);
    ~TAviCapture() override;

    QFrame* Panel1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QPushButton* BitBtn3;
    QPushButton* BitBtn1;
    QPushButton* BitBtn2;
    SaveFileRequest SaveDialog1;

    bool FileChosen = false;
    bool PreviewStarted = false;
    // The capture window while the dialog shows, and whether it is
    // connected to capture driver 0.
    QPointer<CaptureWindowWidget> CaptureWindow;
    bool DriverConnected = false;

    void ConnectDriver();
    void DisconnectDriver();
    // Creates the capture window in `parent`, connects it and asks for 16-bit
    // pictures of the given size; false when a capture window already exists.
    bool CreateCaptureWindow(QWidget* parent, int width, int height);
    void DestroyCaptureWindow();
    void StartOverlay();

    void BtnAVIOpenClick();
    void BitBtn3Click();
    void Button1Click();
    void Button2Click();
    void FormClose();
    void FormDestroy();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void EnableRecord();
    void RecordingFailed(const QString& reason);

    bool closing_ = false;
};

} // namespace torvi::gui
