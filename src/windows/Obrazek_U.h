#pragma once

#include "results/AnimationPace.h"
#include "widgets/UserDialogs.h"

#include <QIcon>
#include <QMainWindow>
#include <QPointer>

#include <functional>
#include <memory>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QTimer;
class QToolButton;
class LiveWindow;
class MeasurementMarks;
class MeasurementSignals;
class PictureView;
class TAbout;
class TGraf;
class TMaskovani;
class UpDown;
namespace torvi {
class Measurement;
class MeasurementRun;
} // namespace torvi

// The main window of the measurement: it shows what the measurement (the
// model, owned by the program's start-up) reports and passes the user's
// actions on to it. It owns the masking window, the graph window and the
// about box. At every step only the controls of that step are enabled, as
// the measurement's control table says, and the prompt box says what to do
// next. Calibration and measurement run on a worker thread; Esc or closing
// the window cancels them.
class TObrazek : public QMainWindow {
    Q_OBJECT
public:
    explicit TObrazek(torvi::Measurement& model, QWidget* parent = nullptr);
    ~TObrazek() override;

    torvi::Measurement& Model;
    MeasurementSignals* Signals = nullptr;
    TMaskovani* Maskovani = nullptr;
    TGraf* Graf = nullptr;
    TAbout* About = nullptr;

    bool AnimationStopped = true;
    // The animation's frame clock and pace.
    QTimer* Animation = nullptr;
    torvi::AnimationPace Pace;

    // Controls, named as the handlers refer to them.
    QLabel* Label2 = nullptr; // prompt
    QLabel* Label4 = nullptr; // centre text
    QLabel* Label5 = nullptr; // radius text
    QLabel* Label6 = nullptr;
    QLabel* Label7 = nullptr;
    QLabel* Label9 = nullptr;
    QLabel* Label10 = nullptr;
    QLineEdit* Edit1 = nullptr; // contrast
    QLineEdit* Edit2 = nullptr; // frame
    QLineEdit* Edit3 = nullptr; // frames per second
    QLineEdit* Edit4 = nullptr; // ticks per turn
    QLineEdit* Edit5 = nullptr; // sample name
    UpDown* UpDown1 = nullptr;
    QRadioButton* RadioButton1 = nullptr; // "W"
    QRadioButton* RadioButton2 = nullptr; // "B"
    QPushButton* Button1 = nullptr;       // "&Change"
    QPushButton* Button2 = nullptr;       // "OK"
    QFrame* Panel2 = nullptr;
    QPushButton* BitBtn6 = nullptr; // First
    QPushButton* BitBtn1 = nullptr; // Previous
    QPushButton* BitBtn2 = nullptr; // Next
    QPushButton* BitBtn7 = nullptr; // Last
    QPushButton* BitBtn5 = nullptr; // "&Animation"
    QPushButton* BitBtn3 = nullptr; // "&Graph"
    QPushButton* BitBtn4 = nullptr; // "&Save result"
    QScrollArea* ScrollBox1 = nullptr;
    PictureView* Image1 = nullptr;
    // The marks and the measured direction drawn over Image1.
    MeasurementMarks* Marks = nullptr;
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    QLabel* StatusPanel2 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QAction* OtevtGIF1 = nullptr;
    QAction* UloitTXT1 = nullptr;
    QAction* Konec1 = nullptr;
    QAction* SaveBMP2 = nullptr;
    QAction* RecordAVI1 = nullptr;
    QAction* LiveMeasurement1 = nullptr; // "&Live measurement..."
    QAction* ShowmaskedBMP1 = nullptr;
    QAction* SaveBMP1 = nullptr;
    QAction* FineAngle1 = nullptr; // "&Fine angle": measure the fine angle
    QAction* MarkRim1 = nullptr;   // "Mar&k the rim": the dial's rim by clicks
    QAction* ShowMarks1 = nullptr; // "Show ma&rks": the marks over the picture
    QAction* About3 = nullptr;

    // The open dialog's memory from one Open to the next.
    torvi::gui::OpenDialogState OpenPictureDialog1;

    // Handlers.
    void OtevtGIF1Click();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Button1Click();
    void Button2Click();
    void UpDown1Changing(int newPosition);
    void RadioButton2Click();
    void RadioButton1Click();
    void ShowFrame();
    void BitBtn6Click();
    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn7Click();
    void SaveBMP2Click();
    void SaveBMP1Click();
    void ShowmaskedBMP1Click();
    void BitBtn5Click();
    void BitBtn3Click();
    void BitBtn4Click();
    void UloitTXT1Click();
    void Edit3Change();
    void Edit4Change();
    void Konec1Click();
    void About3Click();
    void RecordAVI1Click();
    // Opens the live measurement window, or brings it to the front.
    void LiveMeasurement1Click();
    // Shows frame `index` (from 0), as stepping to it would.
    void GoToFrame(int index);

    // The live measurement window while it is open.
    QPointer<LiveWindow> Live;

    // True when the picture click handler is installed (marking runs).
    bool ClickHandlerInstalled() const { return clickHandlerInstalled_; }
    // The user's regional decimal separator, for the number fields.
    static std::string DecimalSeparator();
    // A button picture from the program's resources: two 16 x 16 halves,
    // normal and disabled.
    static QIcon ButtonPicture(const QString& resource);

Q_SIGNALS:
    // A file was dropped on the window; start-up opens it as it opens the
    // command line's file.
    void FileDropped(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void ConnectModel();
    // Enables the controls of the measurement's step and shows its prompt.
    void ApplyStep();
    bool LoadsPicture() const;
    // Runs a calibration or measurement on the worker; then() follows a success.
    void StartRun(std::unique_ptr<torvi::MeasurementRun> run, std::function<void()> then);
    void WhenCalibrated(std::function<void()> then);
    void WhenMeasured(std::function<void()> then);
    // Says after a measurement how many frames the contrast rule flooded, and
    // that whole degrees miss a dial seen askew.
    void ReportWarnings();
    void ShowGraph();
    void SaveResultFile();
    void AnimationPass();
    void StopAnimation();
    void FormCloseQuery();
    void FormClose();
    // Puts an opened film's own rate in the frames-per-second field.
    void ShowFilmRate();

    bool clickHandlerInstalled_ = false;
    // The rate ShowFilmRate last wrote, while the field may still hold it.
    QString filmRateText_;
};
