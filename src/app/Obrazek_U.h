#pragma once

#include "FrameList.h"
#include "UserDialogs.h"

#include <QMainWindow>

#include <cstdint>
#include <string>

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QScrollArea;
class QToolButton;
class PictureView;
class UpDown;

// The main window: owner of the open measurement (its frames, the marked
// centre and radius, the frame on view) and of the workflow that leads from
// opening a film or picture sequence to the graph and the result file. At
// every step only the controls of that step are enabled and the prompt box
// says what to do next.
class TObrazek : public QMainWindow {
    Q_OBJECT
public:
    explicit TObrazek(QWidget* parent = nullptr);
    ~TObrazek() override;

    // Measurement state.
    bool AnimationStopped = true;
    torvi::FrameList FrameList;
    bool HasFrameList = false; // false until the first confirmed Open
    std::uint8_t ClickStep = 0;
    std::int32_t CentreX = 0;
    std::int32_t CentreY = 0;
    std::uint16_t HandRadius = 0;
    std::int32_t CurrentIndex = 0;
    std::string FileExt;
    std::string OpenedFileName;
    std::string OpenedFolder; // folder of the opened file, where picture names are resolved
    bool MaskingLive = false;
    // True while a calibration or measurement lets window events run; commands
    // that would change the measurement under it are refused meanwhile.
    bool Busy = false;
    // Set when the window is closing, so a running long operation ends early.
    bool Closing = false;

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
    QLabel* StatusPanel0 = nullptr;
    QLabel* StatusPanel1 = nullptr;
    QLabel* StatusPanel2 = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QAction* OtevtGIF1 = nullptr;
    QAction* UloitTXT1 = nullptr;
    QAction* Konec1 = nullptr;
    QAction* SaveBMP2 = nullptr;
    QAction* RecordAVI1 = nullptr;
    QAction* ShowmaskedBMP1 = nullptr;
    QAction* SaveBMP1 = nullptr;
    QAction* FineAngle1 = nullptr; // "&Fine angle": measure the fine angle
    QAction* About3 = nullptr;

    // The open dialog's memory from one Open to the next.
    torvi::gui::OpenDialogState OpenPictureDialog1;

    // Handlers.
    void OtevtGIF1Click();
    void BeginMarking();
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

    // The text of the frame field for a frame reference.
    QString FrameFieldText(const std::string& reference) const;
    // True when the picture click handler is installed (marking runs).
    bool ClickHandlerInstalled() const { return clickHandlerInstalled_; }
    // Lets pending window events run, as the long operations do.
    static void ProcessMessages();
    // The user's regional decimal separator, for the number fields.
    static std::string DecimalSeparator();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void ResetToNoMeasurement();
    void SetClickHandler(bool installed);
    void SetPictureCursor(bool cross);
    void ReportErrorBox(const QString& text);
    bool FrameIndexValid() const;
    void FormCloseQuery();
    void EnterFinished(bool forGraph);
    bool MeasureIfNeeded();
    void FilterNumberText(QLineEdit* field);
    void FormClose();

    bool clickHandlerInstalled_ = false;
};

// The program's windows, created once at start-up and reachable from every unit.
extern TObrazek* Obrazek;
