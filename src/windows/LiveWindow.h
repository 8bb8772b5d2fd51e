#pragma once

#include "Bitmap.h"
#include "measurement/Measurement.h"
#include "widgets/UserDialogs.h"

#include <QStringList>
#include <QWidget>

#include <chrono>
#include <cstdint>
#include <vector>

class QCheckBox;
class QChartView;
class QComboBox;
class QLabel;
class QLineEdit;
class QLineSeries;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTimer;
class QValueAxis;
class MeasurementMarks;
class MeasurementSignals;
class PictureView;
class UpDown;

// The "Live measurement" window: a capture device's live picture, marked and
// measured as it comes. It owns the live session (the model) and shows what
// the session reports; the controls of each step are those the session's
// table enables. The device and the analysis run on threads of their own; a
// timer of the window polls the session, so the window never waits for
// either, and the picture, the value and the graph are redrawn at most 30
// times a second. Closing the window stops the device and deletes the window.
class LiveWindow : public QWidget {
    Q_OBJECT
public:
    explicit LiveWindow(QWidget* parent = nullptr);
    ~LiveWindow() override;

    // The live measurement; its reports arrive through Signals, which polls it.
    torvi::Measurement Session{nullptr, torvi::Measurement::Source::Device};
    MeasurementSignals* Signals = nullptr;
    // "Save result..." writes the fine angle, as the main window's "&Fine
    // angle" asks; the main window keeps this in step with its menu item.
    bool FineAngle = false;

    // The entry of the device list that asks for a film to play.
    static QString PlayEntryText() { return QStringLiteral("Play a film as a camera..."); }

    QComboBox* DeviceList = nullptr;
    QLabel* CentreText = nullptr;
    QLabel* RadiusText = nullptr;
    QLineEdit* ContrastField = nullptr;
    UpDown* ContrastArrows = nullptr;
    QRadioButton* DarkHand = nullptr;  // "B"
    QRadioButton* LightHand = nullptr; // "W"
    QPushButton* ChangeButton = nullptr;
    QPushButton* LearnButton = nullptr;
    QPushButton* MeasureButton = nullptr;
    QPushButton* StopButton = nullptr;
    QCheckBox* RecordBox = nullptr;
    QLabel* Prompt = nullptr;
    QLabel* MaskView = nullptr;
    QPushButton* SaveResultButton = nullptr;
    QPushButton* SaveFramesButton = nullptr;
    QScrollArea* PictureBox = nullptr;
    PictureView* Picture = nullptr;
    MeasurementMarks* Marks = nullptr;
    QLabel* NoDeviceText = nullptr;
    QLabel* ValueText = nullptr;
    QLabel* RunText = nullptr; // time, frames, dropped, recorded
    QChartView* Chart = nullptr;
    QLineSeries* Series = nullptr;
    QValueAxis* AxisX = nullptr;
    QValueAxis* AxisY = nullptr;
    QLineEdit* SampleField = nullptr;
    QLineEdit* TicksField = nullptr;
    // Redraws the picture, the value and the graph as they come.
    QTimer* PollTimer = nullptr;

    // Handlers.
    void DeviceChosen(int index);
    void PictureClicked(Qt::MouseButton button, int x, int y);
    void ChangeClick();
    void ContrastChanging(int position);
    void HandChosen(torvi::HandColour hand);
    void LearnClick();
    void MeasureClick();
    void StopClick();
    void SaveResultClick();
    void SaveFramesClick();
    // One pass of the timer: the screen when due.
    void Poll();

Q_SIGNALS:
    // The value of a frame reached the screen; its arrival in the
    // measurement, on the steady clock (for the latency figure).
    void valuePainted(qint64 arrivalMicroseconds);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void FillDeviceList();
    void OpenSource(const torvi::CaptureSource& source);
    // Enables the step's controls and shows its prompt.
    void ApplyStep();
    // A failure the session reported, shown once no other box is up.
    void ShowMessage(const QString& text);
    void UpdateScreen();
    void UpdateValue();
    void UpdateGraph(bool whole);
    static bool MaskShown(torvi::Step step);
    void ShowMask();
    // Makes room for the device's picture at its own size.
    void FitPicture(int width, int height);

    torvi::gui::OpenDialogState filmDialog_;
    // The sources behind the device list's entries (the item data is the index).
    std::vector<torvi::CaptureSource> sources_;
    torvi::Bitmap picture_;
    std::uint64_t pictureSerial_ = 0;
    std::size_t shownFrames_ = 0;
    std::size_t graphFrames_ = 0;
    std::chrono::steady_clock::time_point lastScreen_;
    std::chrono::steady_clock::time_point lastValue_;
    std::chrono::steady_clock::time_point lastMask_;
    std::chrono::steady_clock::time_point lastGraph_;
    qint64 valueArrival_ = 0;
    bool valuePending_ = false;
    bool opened_ = false;
    bool showingMessage_ = false;
    bool floodsSaid_ = true; // the run's flooded frames have been said
    QStringList pendingMessages_;
};
