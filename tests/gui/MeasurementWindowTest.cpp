#include "GuiFixtures.h"
#include "ScriptedDialogs.h"
#include "app/Windows.h"

#include "measurement/Measurement.h"
#include "results/ResultTable.h"
#include "widgets/PictureView.h"
#include "widgets/UpDown.h"
#include "windows/Graf_U.h"
#include "windows/Maskovani_U.h"
#include "windows/MeasurementSignals.h"
#include "windows/Obrazek_U.h"

#include <QAction>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cmath>

namespace {
// The program of the running test, made as start-up makes it.
std::unique_ptr<TestProgram> program_;
TObrazek* W = nullptr;
} // namespace

// Calibration, the masking window, the measurement and what is made of it:
// the result file, the graph and the animation, driven through the windows.
class MeasurementWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dial_;
    ScriptedDialogs* dialogs_ = nullptr;
    const std::vector<double> angles_{0, 45, 90, 135, 180, 225, 270, 315, 0, 45};

    void OpenDial() {
        dialogs_->OpenAnswers.push_back({dial_.filePath(QStringLiteral("d001.bmp")), 3});
        W->OtevtGIF1Click();
        WaitForRun(W);
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 10));
    }
    void OpenAndCalibrate() {
        OpenDial();
        W->Button2->click();
        WaitForRun(W);
        QVERIFY(W->Model.Calibrated());
    }
    // The graph window is modal: close it as soon as it shows.
    static void CloseGraphWhenShown() {
        auto* poll = new QTimer(W->Graf);
        QObject::connect(poll, &QTimer::timeout, poll, [poll] {
            if (!W->Graf->isVisible()) return;
            W->Graf->accept();
            poll->deleteLater();
        });
        poll->start(5);
    }
    QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() { MakeDialSequence(dial_, angles_); }
    void init() {
        program_ = std::make_unique<TestProgram>();
        dialogs_ = &program_->Dialogs;
        W = &program_->Windows.Main;
    }
    void cleanup() {
        W = nullptr;
        dialogs_ = nullptr;
        program_.reset();
    }

    void okShowsTheMaskingWindowAndArrowsRedrawIt() {
        OpenAndCalibrate();
        QVERIFY(W->Maskovani->isVisible());
        QCOMPARE(W->Maskovani->windowTitle(), QStringLiteral("Masking"));
        QCOMPARE(W->Model.ContrastThreshold(), 60);
        QCOMPARE(W->Maskovani->Shown.Width(), 61); // 2R + 1 around (40, 40), R = 30
        QCOMPARE(W->Maskovani->Shown.Height(), 61);
        // The hand of frame 0 points up: white above the centre, black below.
        QCOMPARE(W->Maskovani->Shown.ScanLine(30 - 20)[3 * 30], 255);
        QCOMPARE(W->Maskovani->Shown.ScanLine(30 + 20)[3 * 30], 0);
        QVERIFY(W->Model.ReferenceImage().ScanLine(20)[3 * 40] == 220); // the hand is gone
        QVERIFY(W->ShowmaskedBMP1->isEnabled());

        W->UpDown1->Step(+1);
        QCOMPARE(W->Model.ContrastThreshold(), 61);
        QCOMPARE(W->Edit1->text(), QStringLiteral("61"));
        // A threshold above the hand's contrast (220 - 20) leaves nothing white.
        W->UpDown1->SetPosition(255);
        W->UpDown1->Step(+1);
        QCOMPARE(W->UpDown1->Position(), 255);
        W->UpDown1->Step(-1);
        QCOMPARE(W->Model.ContrastThreshold(), 254);
        QCOMPARE(W->Maskovani->Shown.ScanLine(10)[3 * 30], 0);
        W->UpDown1->SetPosition(0);
        W->UpDown1->Step(-1);
        QCOMPARE(W->UpDown1->Position(), 0);

        // A new frame redraws the square: frame 3 points right.
        W->UpDown1->SetPosition(59);
        W->UpDown1->Step(+1);
        W->BitBtn7->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("d010.bmp"));
        QCOMPARE(W->Maskovani->Shown.ScanLine(30 - 14)[3 * (30 + 14)], 255); // 45: up and right
    }

    void showMaskedBmpKeepsTheBackgroundWhileSteppingInTheContrastStep() {
        OpenAndCalibrate();
        W->ShowmaskedBMP1->trigger();
        WaitForRun(W);
        QVERIFY(W->ShowmaskedBMP1->isChecked());
        QCOMPARE(W->Image1->Picture(), W->Model.ReferenceImage());
        W->BitBtn2->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("d002.bmp"));
        QCOMPARE(W->Image1->Picture(), W->Model.ReferenceImage());
        W->ShowmaskedBMP1->trigger();
        WaitForRun(W);
        QVERIFY(!W->ShowmaskedBMP1->isChecked());
        QVERIFY(!(W->Image1->Picture() == W->Model.ReferenceImage()));
    }

    void handColourChoiceForcesANewCalibration() {
        OpenAndCalibrate();
        W->Button1->click();
        QVERIFY(!W->Model.Calibrated());
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 10));
        W->RadioButton1->click(); // "W": the light hand; the background keeps the darkest grey
        W->Button2->click();
        WaitForRun(W);
        QCOMPARE(W->Model.ReferenceImage().ScanLine(20)[3 * 40], 20);
    }

    void picturesOfAnotherSizeStopTheCalibration() {
        QTemporaryDir mixed;
        MakeDialSequence(mixed, {0, 10, 20});
        WriteDialPicture(mixed.filePath(QStringLiteral("d004.bmp")), 50, 50, 200);
        dialogs_->OpenAnswers.push_back({mixed.filePath(QStringLiteral("d001.bmp")), 3});
        W->OtevtGIF1Click();
        WaitForRun(W);
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 10));
        W->Button2->click();
        WaitForRun(W);
        QCOMPARE(dialogs_->Errors, QStringList{QStringLiteral("Size of pictures are not equal")});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::Stop);
        QVERIFY(!W->Maskovani->isVisible());
        QVERIFY(!W->Model.MaskingLive());
        QVERIFY(W->Button2->isEnabled());
        QVERIFY(W->Button1->isEnabled());
        QVERIFY(!W->RadioButton2->isEnabled());
        QVERIFY(!W->Edit2->isEnabled());
        QVERIFY(W->StatusPanel1->text().isEmpty());
    }

    void saveResultMeasuresOnceAndWritesTheTable() {
        OpenAndCalibrate();
        const QString target = dial_.filePath(QStringLiteral("result.txt"));
        dialogs_->SaveAnswers.push_back(target);
        W->BitBtn4->click();
        WaitForRun(W);
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(dialogs_->SaveRequests.constLast().Title, QStringLiteral("Save result as"));
        QCOMPARE(dialogs_->SaveRequests.constLast().FileName, QStringLiteral("result.txt"));
        QVERIFY(W->Model.ResultsValid());
        QCOMPARE(W->Model.UnwrappedSeries(),
                 (std::vector<std::int32_t>{0, 45, 90, 135, 180, 225, 270, 315, 360, 405}));
        const QByteArray file = ReadFile(target);
        QVERIFY(file.startsWith("Sample: \r\nNumber of frames per second    (x-axis): 25\r\n"
                                "Number of ticks per angle 360\xb0 (y-axis): 360\r\n\r\n"
                                "     x-axis              y-axis\r\n"
                                "     0.04000             0.00000\r\n"
                                "     0.08000            45.00000\r\n"));
        QVERIFY(file.endsWith("     0.40000           405.00000\r\n\x0c\r\n"));
        // Finished: the contrast step is over, the graph and the file stay at hand.
        QVERIFY(!W->Button1->isEnabled());
        QVERIFY(!W->UpDown1->isEnabled());
        QVERIFY(W->Edit1->isEnabled());
        QVERIFY(!W->Maskovani->isVisible());
        QCOMPARE(W->Model.CurrentIndex(), 0);
        QVERIFY(!W->Model.Calibrated());

        // The second save reuses the series: a frame deleted now is not read.
        QFile::rename(dial_.filePath(QStringLiteral("d005.bmp")),
                      dial_.filePath(QStringLiteral("d005.bak")));
        W->Edit5->setText(QStringLiteral("Probe"));
        dialogs_->SaveAnswers.push_back(target);
        W->UloitTXT1->trigger();
        WaitForRun(W);
        QFile::rename(dial_.filePath(QStringLiteral("d005.bak")),
                      dial_.filePath(QStringLiteral("d005.bmp")));
        QVERIFY(dialogs_->Errors.isEmpty());
        QVERIFY(ReadFile(target).startsWith("Sample: Probe\r\n"));
    }

    void fineAngleItemMakesTheResultsMeasureAgain() {
        QAction* fine = W->FineAngle1;
        QCOMPARE(fine->text(), QStringLiteral("&Fine angle"));
        QVERIFY(fine->isCheckable());
        QVERIFY(!fine->isChecked());
        bool inMasking = false;
        for (QAction* menu : W->menuBar()->actions())
            if (menu->menu() && menu->text() == QStringLiteral("&Masking"))
                inMasking = menu->menu()->actions().contains(fine);
        QVERIFY(inMasking);
        OpenAndCalibrate();
        const QString whole = dial_.filePath(QStringLiteral("whole.txt"));
        dialogs_->SaveAnswers.push_back(whole);
        W->BitBtn4->click();
        WaitForRun(W);
        QVERIFY(W->Model.ResultsValid() && !W->Model.Settings().Fine);

        fine->trigger();
        QVERIFY(fine->isChecked());
        QVERIFY(!W->Model.ResultsValid());
        const QString fineFile = dial_.filePath(QStringLiteral("fine.txt"));
        dialogs_->SaveAnswers.push_back(fineFile);
        W->BitBtn4->click();
        WaitForRun(W);
        QVERIFY(dialogs_->Errors.isEmpty());
        QVERIFY(W->Model.ResultsValid() && W->Model.Settings().Fine);
        const std::vector<double>& fineSeries = W->Model.Result().FineUnwrapped;
        // The table and the graph hold the fine angle: the painted turn of
        // 405 degrees, to a fraction of a degree, written as such.
        QCOMPARE(fineSeries.size(), std::size_t{10});
        QVERIFY(std::abs(fineSeries[9] - 405) < 0.5);
        QVERIFY(ReadFile(fineFile) == QByteArray::fromStdString(torvi::ResultFileBytes(
                                          {"", "25", "360"}, W->Model.Series(), ".")));
        CloseGraphWhenShown();
        W->BitBtn3->click();
        WaitForRun(W);
        QCOMPARE(W->Graf->Series1->points()[9].y(), fineSeries[9]);

        // Off again: measured again, the whole degrees as before.
        fine->trigger();
        QVERIFY(!W->Model.ResultsValid());
        dialogs_->SaveAnswers.push_back(fineFile);
        W->BitBtn4->click();
        WaitForRun(W);
        QVERIFY(W->Model.ResultsValid() && !W->Model.Settings().Fine);
        QCOMPARE(ReadFile(fineFile), ReadFile(whole));
    }

    void emptyFieldsBecomeOneAndAZeroRateIsRefused() {
        OpenAndCalibrate();
        W->Edit3->clear();
        W->Edit4->clear();
        const QString target = dial_.filePath(QStringLiteral("turns.txt"));
        dialogs_->SaveAnswers.push_back(target);
        W->BitBtn4->click();
        WaitForRun(W);
        QCOMPARE(W->Edit3->text(), QStringLiteral("1"));
        QCOMPARE(W->Edit4->text(), QStringLiteral("1"));
        QVERIFY(ReadFile(target).contains("     2.00000             0.12500\r\n"));

        W->Edit3->setText(QStringLiteral("0"));
        dialogs_->SaveAnswers.push_back(dial_.filePath(QStringLiteral("never.txt")));
        W->BitBtn4->click();
        WaitForRun(W);
        QCOMPARE(dialogs_->Errors, QStringList{QString::fromLatin1(torvi::ValuesNotValid)});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::None);
        QVERIFY(!QFile::exists(dial_.filePath(QStringLiteral("never.txt"))));
        QCOMPARE(dialogs_->SaveRequests.size(), 1);
    }

    void numberFieldsKeepOnlyDigitsAndOneSeparator() {
        QLineEdit* fps = W->Edit3;
        fps->clear();
        QTest::keyClicks(fps, QStringLiteral("2-9.9a7.1"));
        QCOMPARE(fps->text(), QStringLiteral("29.971"));
        fps->setText(QStringLiteral("12"));
        fps->setCursorPosition(1);
        QTest::keyClicks(fps, QStringLiteral("x"));
        QCOMPARE(fps->text(), QStringLiteral("12"));
        QCOMPARE(fps->cursorPosition(), 1);
    }

    void aFailedMeasurementLeavesNoSeriesBehind() {
        OpenAndCalibrate();
        QFile::rename(dial_.filePath(QStringLiteral("d007.bmp")),
                      dial_.filePath(QStringLiteral("d007.bak")));
        dialogs_->SaveAnswers.push_back(dial_.filePath(QStringLiteral("partial.txt")));
        W->BitBtn4->click();
        WaitForRun(W);
        QFile::rename(dial_.filePath(QStringLiteral("d007.bak")),
                      dial_.filePath(QStringLiteral("d007.bmp")));
        QCOMPARE(dialogs_->Errors.size(), 1);
        QVERIFY(dialogs_->Errors.constFirst().startsWith(QStringLiteral("Cannot open file")));
        QVERIFY(!W->Model.ResultsValid());
        QVERIFY(!QFile::exists(dial_.filePath(QStringLiteral("partial.txt"))));
    }

    void graphShowsThePointsFromTimeZero() {
        OpenAndCalibrate();
        W->Edit4->setText(QStringLiteral("60"));
        CloseGraphWhenShown();
        W->BitBtn3->click();
        WaitForRun(W);
        QCOMPARE(W->Graf->windowTitle(), QStringLiteral("Graph"));
        const auto points = W->Graf->Series1->points();
        QCOMPARE(points.size(), 10);
        QCOMPARE(points[0], QPointF(0, 0));
        QCOMPARE(points[1], QPointF(0.04, 7.5));
        QCOMPARE(points[9], QPointF(0.36, 67.5));
        QVERIFY(!W->Edit1->isEnabled());
        QVERIFY(!W->Edit2->isEnabled());
        QVERIFY(W->Graf->SaveGraph(dial_.filePath(QStringLiteral("graph.png"))));
        QVERIFY(ReadFile(dial_.filePath(QStringLiteral("graph.png"))).startsWith("\x89PNG"));
        QVERIFY(W->Graf->SaveGraph(dial_.filePath(QStringLiteral("graph.svg"))));
        QVERIFY(ReadFile(dial_.filePath(QStringLiteral("graph.svg"))).contains("<svg"));
        QVERIFY(!W->Graf->SaveGraph(dial_.filePath(QStringLiteral("no/such/folder/graph.png"))));

        // A changed rate takes effect at the next opening without measuring again.
        QFile::rename(dial_.filePath(QStringLiteral("d002.bmp")),
                      dial_.filePath(QStringLiteral("d002.bak")));
        W->Edit3->setText(QStringLiteral("50"));
        CloseGraphWhenShown();
        W->BitBtn3->click();
        WaitForRun(W);
        QFile::rename(dial_.filePath(QStringLiteral("d002.bak")),
                      dial_.filePath(QStringLiteral("d002.bmp")));
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(W->Graf->Series1->points()[1], QPointF(0.02, 7.5));

        // A graph that cannot be scaled is refused, the results stay valid.
        W->Edit3->clear();
        W->BitBtn3->click();
        WaitForRun(W);
        QCOMPARE(dialogs_->Errors, QStringList{QString::fromLatin1(torvi::ValuesNotValid)});
        QVERIFY(W->Model.ResultsValid());
    }

    void animationStepsUntilStopped() {
        OpenDial();
        W->BitBtn7->click();
        const int last = W->Model.CurrentIndex();
        W->Edit3->setText(QStringLiteral("200"));
        QSignalSpy steps(W->ProgressBar, &QProgressBar::valueChanged);
        W->BitBtn5->click();
        QVERIFY(!W->AnimationStopped);
        QCOMPARE(W->BitBtn5->text(), QStringLiteral("Stop"));
        QVERIFY(!W->BitBtn5->icon().isNull()); // the STOP picture
        QCOMPARE(W->StatusPanel1->text(), QStringLiteral("Animation ..."));
        QVERIFY(!W->BitBtn2->isEnabled());
        // From the last frame on to the first, and on.
        QTRY_COMPARE(W->Model.CurrentIndex(), 0);
        QTRY_VERIFY(W->Model.CurrentIndex() > 0 && W->Model.CurrentIndex() < last);
        QCOMPARE(W->Animation->interval(), 5);

        // A new rate takes effect at the next frame.
        W->Edit3->setText(QStringLiteral("50"));
        QTRY_COMPARE(W->Animation->interval(), 20);

        W->BitBtn5->click();
        QVERIFY(W->AnimationStopped);
        QVERIFY(!W->Animation->isActive());
        QVERIFY(W->BitBtn2->isEnabled());
        QCOMPARE(W->BitBtn5->text(), QStringLiteral("Animation"));
        QVERIFY(!W->BitBtn5->icon().isNull()); // the ANIMATE picture
        QVERIFY(W->StatusPanel1->text().isEmpty());
    }

    void animationWithoutARateWaitsATenthOfASecond() {
        OpenDial();
        W->Edit3->setText(QStringLiteral("0"));
        W->BitBtn5->click();
        QCOMPARE(W->Animation->interval(), 100);
        QCOMPARE(W->Model.CurrentIndex(), 0);
        W->BitBtn5->click();
    }

    // A long measurement runs beside the window: events are handled and
    // navigation goes on meanwhile, Esc cancels it and leaves no result.
    void longMeasurementStaysResponsiveAndEscCancelsIt() {
        QTemporaryDir many;
        MakeBmpSequence(many, 2000, 41, 41);
        dialogs_->OpenAnswers.push_back({many.filePath(QStringLiteral("p001.bmp")), 3});
        W->OtevtGIF1Click();
        WaitForRun(W);
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(20, 5));
        W->Button2->click();
        WaitForRun(W);
        QCOMPARE(W->Model.CurrentStep(), torvi::Step::ContrastSetting);

        W->BitBtn4->click();
        QVERIFY(W->Signals->RunGoing());
        QCOMPARE(W->StatusPanel1->text(), QStringLiteral("Calculation ..."));
        bool handled = false;
        QTimer::singleShot(0, W, [&handled] { handled = true; });
        QTRY_VERIFY_WITH_TIMEOUT(handled, 200);
        W->BitBtn2->click();
        QCOMPARE(W->Model.CurrentIndex(), 1);
        W->Button1->click(); // refused while it runs
        QVERIFY(W->Signals->RunGoing());
        QTest::keyClick(W, Qt::Key_Escape);
        WaitForRun(W);
        QVERIFY(!W->Model.ResultsValid());
        QVERIFY(W->StatusPanel1->text().isEmpty());
        QCOMPARE(W->Model.CurrentStep(), torvi::Step::ContrastSetting);
        QVERIFY(W->Label2->text().startsWith(QStringLiteral("Set contrast")));
        QVERIFY(dialogs_->SaveRequests.isEmpty());
        QVERIFY(dialogs_->Errors.isEmpty());

        // Closing the window during a run cancels it and ends cleanly.
        W->BitBtn3->click();
        QVERIFY(W->Signals->RunGoing());
        W->close();
        QVERIFY(!W->Signals->RunGoing());
        QVERIFY(!W->Model.ResultsValid());
    }

    void bothButtonPicturesLoad() {
        for (const char* name : {":/STOP.bmp", ":/ANIMATE.bmp"}) {
            const QIcon icon = TObrazek::ButtonPicture(QString::fromLatin1(name));
            QVERIFY2(!icon.isNull(), name);
            QVERIFY(!icon.pixmap(16, 16, QIcon::Normal).isNull());
            QVERIFY(!icon.pixmap(16, 16, QIcon::Disabled).isNull());
        }
    }

    void graphStopsARunningAnimation() {
        OpenAndCalibrate();
        W->BitBtn5->click();
        CloseGraphWhenShown();
        W->BitBtn3->click();
        WaitForRun(W);
        QVERIFY(W->AnimationStopped);
        QCOMPARE(W->BitBtn5->text(), QStringLiteral("Animation"));
        QVERIFY(W->Model.ResultsValid());
    }

    void closingEndsAnAnimationAtOnce() {
        OpenDial();
        // A frame period of a thousand seconds.
        W->Edit3->setText(QStringLiteral("0.001"));
        W->BitBtn5->click();
        W->close();
        QVERIFY(W->AnimationStopped);
        QVERIFY(!W->Animation->isActive());
        QCOMPARE(W->BitBtn5->text(), QStringLiteral("Animation"));
    }
};

QTEST_MAIN(MeasurementWindowTest)
#include "MeasurementWindowTest.moc"
