#include "GuiFixtures.h"
#include "ScriptedDialogs.h"

#include "Graf_U.h"
#include "Jadro_U.h"
#include "Maskovani_U.h"
#include "Obrazek_U.h"
#include "PictureView.h"
#include "UpDown.h"
#include "Windows.h"
#include "results/ResultTable.h"

#include <QAction>
#include <QFile>
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
        Obrazek->OtevtGIF1Click();
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 10));
    }
    void OpenAndCalibrate() {
        OpenDial();
        Obrazek->Button2->click();
        QVERIFY(Jadro_U::Calibrated);
    }
    // The graph window is modal: close it as soon as it shows.
    static void CloseGraphWhenShown() {
        auto* poll = new QTimer(Graf);
        QObject::connect(poll, &QTimer::timeout, poll, [poll] {
            if (!Graf->isVisible()) return;
            Graf->accept();
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
        dialogs_ = new ScriptedDialogs;
        CreateWindows();
    }
    void cleanup() {
        DestroyWindows();
        delete dialogs_;
    }

    void okShowsTheMaskingWindowAndArrowsRedrawIt() {
        OpenAndCalibrate();
        QVERIFY(Maskovani->isVisible());
        QCOMPARE(Maskovani->windowTitle(), QStringLiteral("Masking"));
        QCOMPARE(Maskovani->ContrastThreshold, 60);
        QCOMPARE(Maskovani->Shown.Width(), 61); // 2R + 1 around (40, 40), R = 30
        QCOMPARE(Maskovani->Shown.Height(), 61);
        // The hand of frame 0 points up: white above the centre, black below.
        QCOMPARE(Maskovani->Shown.ScanLine(30 - 20)[3 * 30], 255);
        QCOMPARE(Maskovani->Shown.ScanLine(30 + 20)[3 * 30], 0);
        QVERIFY(Jadro_U::ReferenceImage.ScanLine(20)[3 * 40] == 220); // the hand is gone
        QVERIFY(Obrazek->ShowmaskedBMP1->isEnabled());

        Obrazek->UpDown1->Step(+1);
        QCOMPARE(Maskovani->ContrastThreshold, 61);
        QCOMPARE(Obrazek->Edit1->text(), QStringLiteral("61"));
        // A threshold above the hand's contrast (220 - 20) leaves nothing white.
        Obrazek->UpDown1->SetPosition(255);
        Obrazek->UpDown1->Step(+1);
        QCOMPARE(Obrazek->UpDown1->Position(), 255);
        Obrazek->UpDown1->Step(-1);
        QCOMPARE(Maskovani->ContrastThreshold, 254);
        QCOMPARE(Maskovani->Shown.ScanLine(10)[3 * 30], 0);
        Obrazek->UpDown1->SetPosition(0);
        Obrazek->UpDown1->Step(-1);
        QCOMPARE(Obrazek->UpDown1->Position(), 0);

        // A new frame redraws the square: frame 3 points right.
        Obrazek->UpDown1->SetPosition(59);
        Obrazek->UpDown1->Step(+1);
        Obrazek->BitBtn7->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("d010.bmp"));
        QCOMPARE(Maskovani->Shown.ScanLine(30 - 14)[3 * (30 + 14)], 255); // 45: up and right
    }

    void showMaskedBmpKeepsTheBackgroundWhileSteppingInTheContrastStep() {
        OpenAndCalibrate();
        Obrazek->ShowmaskedBMP1->trigger();
        QVERIFY(Obrazek->ShowmaskedBMP1->isChecked());
        QCOMPARE(Obrazek->Image1->Picture(), Jadro_U::ReferenceImage);
        Obrazek->BitBtn2->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("d002.bmp"));
        QCOMPARE(Obrazek->Image1->Picture(), Jadro_U::ReferenceImage);
        Obrazek->ShowmaskedBMP1->trigger();
        QVERIFY(!Obrazek->ShowmaskedBMP1->isChecked());
        QVERIFY(!(Obrazek->Image1->Picture() == Jadro_U::ReferenceImage));
    }

    void handColourChoiceForcesANewCalibration() {
        OpenAndCalibrate();
        Obrazek->Button1->click();
        QVERIFY(!Jadro_U::Calibrated);
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 10));
        Obrazek->RadioButton1
            ->click(); // "W": the light hand; the background keeps the darkest grey
        Obrazek->Button2->click();
        QCOMPARE(Jadro_U::ReferenceImage.ScanLine(20)[3 * 40], 20);
    }

    void picturesOfAnotherSizeStopTheCalibration() {
        QTemporaryDir mixed;
        MakeDialSequence(mixed, {0, 10, 20});
        WriteDialPicture(mixed.filePath(QStringLiteral("d004.bmp")), 50, 50, 200);
        dialogs_->OpenAnswers.push_back({mixed.filePath(QStringLiteral("d001.bmp")), 3});
        Obrazek->OtevtGIF1Click();
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 10));
        Obrazek->Button2->click();
        QCOMPARE(dialogs_->Errors, QStringList{QStringLiteral("Size of pictures are not equal")});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::Stop);
        QVERIFY(!Maskovani->isVisible());
        QVERIFY(!Obrazek->MaskingLive);
        QVERIFY(Obrazek->Button2->isEnabled());
        QVERIFY(Obrazek->Button1->isEnabled());
        QVERIFY(!Obrazek->RadioButton2->isEnabled());
        QVERIFY(!Obrazek->Edit2->isEnabled());
        QVERIFY(Obrazek->StatusPanel1->text().isEmpty());
    }

    void saveResultMeasuresOnceAndWritesTheTable() {
        OpenAndCalibrate();
        const QString target = dial_.filePath(QStringLiteral("result.txt"));
        dialogs_->SaveAnswers.push_back(target);
        Obrazek->BitBtn4->click();
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(dialogs_->SaveRequests.constLast().Title, QStringLiteral("Save result as"));
        QCOMPARE(dialogs_->SaveRequests.constLast().FileName, QStringLiteral("result.txt"));
        QVERIFY(Graf->ResultsValid);
        QCOMPARE(Graf->UnwrappedSeries,
                 (std::vector<std::int32_t>{0, 45, 90, 135, 180, 225, 270, 315, 360, 405}));
        const QByteArray file = ReadFile(target);
        QVERIFY(file.startsWith("Sample: \r\nNumber of frames per second    (x-axis): 25\r\n"
                                "Number of ticks per angle 360\xb0 (y-axis): 360\r\n\r\n"
                                "     x-axis              y-axis\r\n"
                                "     0.04000             0.00000\r\n"
                                "     0.08000            45.00000\r\n"));
        QVERIFY(file.endsWith("     0.40000           405.00000\r\n\x0c\r\n"));
        // Finished: the contrast step is over, the graph and the file stay at hand.
        QVERIFY(!Obrazek->Button1->isEnabled());
        QVERIFY(!Obrazek->UpDown1->isEnabled());
        QVERIFY(Obrazek->Edit1->isEnabled());
        QVERIFY(!Maskovani->isVisible());
        QCOMPARE(Obrazek->CurrentIndex, 0);
        QVERIFY(!Jadro_U::Calibrated);

        // The second save reuses the series: a frame deleted now is not read.
        QFile::rename(dial_.filePath(QStringLiteral("d005.bmp")),
                      dial_.filePath(QStringLiteral("d005.bak")));
        Obrazek->Edit5->setText(QStringLiteral("Probe"));
        dialogs_->SaveAnswers.push_back(target);
        Obrazek->UloitTXT1->trigger();
        QFile::rename(dial_.filePath(QStringLiteral("d005.bak")),
                      dial_.filePath(QStringLiteral("d005.bmp")));
        QVERIFY(dialogs_->Errors.isEmpty());
        QVERIFY(ReadFile(target).startsWith("Sample: Probe\r\n"));
    }

    void fineAngleItemMakesTheResultsMeasureAgain() {
        QAction* fine = Obrazek->FineAngle1;
        QCOMPARE(fine->text(), QStringLiteral("&Fine angle"));
        QVERIFY(fine->isCheckable());
        QVERIFY(!fine->isChecked());
        bool inMasking = false;
        for (QAction* menu : Obrazek->menuBar()->actions())
            if (menu->menu() && menu->text() == QStringLiteral("&Masking"))
                inMasking = menu->menu()->actions().contains(fine);
        QVERIFY(inMasking);
        OpenAndCalibrate();
        const QString whole = dial_.filePath(QStringLiteral("whole.txt"));
        dialogs_->SaveAnswers.push_back(whole);
        Obrazek->BitBtn4->click();
        QVERIFY(Graf->ResultsValid && !Graf->MeasuredFine);

        fine->trigger();
        QVERIFY(fine->isChecked());
        QVERIFY(!Graf->ResultsValid);
        const QString fineFile = dial_.filePath(QStringLiteral("fine.txt"));
        dialogs_->SaveAnswers.push_back(fineFile);
        Obrazek->BitBtn4->click();
        QVERIFY(dialogs_->Errors.isEmpty());
        QVERIFY(Graf->ResultsValid && Graf->MeasuredFine);
        // The table and the graph hold the fine angle: the painted turn of
        // 405 degrees, to a fraction of a degree, written as such.
        QCOMPARE(Graf->FineUnwrappedSeries.size(), std::size_t{10});
        QVERIFY(std::abs(Graf->FineUnwrappedSeries[9] - 405) < 0.5);
        QVERIFY(ReadFile(fineFile) == QByteArray::fromStdString(torvi::FineResultFileBytes(
                                          {"", "25", "360"}, Graf->FineUnwrappedSeries, ".")));
        CloseGraphWhenShown();
        Obrazek->BitBtn3->click();
        QCOMPARE(Graf->Series1->points()[9].y(), Graf->FineUnwrappedSeries[9]);

        // Off again: measured again, the whole degrees as before.
        fine->trigger();
        QVERIFY(!Graf->ResultsValid);
        dialogs_->SaveAnswers.push_back(fineFile);
        Obrazek->BitBtn4->click();
        QVERIFY(!Graf->MeasuredFine);
        QCOMPARE(ReadFile(fineFile), ReadFile(whole));
    }

    void emptyFieldsBecomeOneAndAZeroRateIsRefused() {
        OpenAndCalibrate();
        Obrazek->Edit3->clear();
        Obrazek->Edit4->clear();
        const QString target = dial_.filePath(QStringLiteral("turns.txt"));
        dialogs_->SaveAnswers.push_back(target);
        Obrazek->BitBtn4->click();
        QCOMPARE(Obrazek->Edit3->text(), QStringLiteral("1"));
        QCOMPARE(Obrazek->Edit4->text(), QStringLiteral("1"));
        QVERIFY(ReadFile(target).contains("     2.00000             0.12500\r\n"));

        Obrazek->Edit3->setText(QStringLiteral("0"));
        dialogs_->SaveAnswers.push_back(dial_.filePath(QStringLiteral("never.txt")));
        Obrazek->BitBtn4->click();
        QCOMPARE(dialogs_->Errors, QStringList{QString::fromLatin1(torvi::ValuesNotValid)});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::None);
        QVERIFY(!QFile::exists(dial_.filePath(QStringLiteral("never.txt"))));
        QCOMPARE(dialogs_->SaveRequests.size(), 1);
    }

    void numberFieldsKeepOnlyDigitsAndOneSeparator() {
        QLineEdit* fps = Obrazek->Edit3;
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
        Obrazek->BitBtn4->click();
        QFile::rename(dial_.filePath(QStringLiteral("d007.bak")),
                      dial_.filePath(QStringLiteral("d007.bmp")));
        QCOMPARE(dialogs_->Errors.size(), 1);
        QVERIFY(dialogs_->Errors.constFirst().startsWith(QStringLiteral("Cannot open file")));
        QVERIFY(!Graf->ResultsValid);
        QVERIFY(!QFile::exists(dial_.filePath(QStringLiteral("partial.txt"))));
    }

    void graphShowsThePointsFromTimeZero() {
        OpenAndCalibrate();
        Obrazek->Edit4->setText(QStringLiteral("60"));
        CloseGraphWhenShown();
        Obrazek->BitBtn3->click();
        QCOMPARE(Graf->windowTitle(), QStringLiteral("Graph"));
        const auto points = Graf->Series1->points();
        QCOMPARE(points.size(), 10);
        QCOMPARE(points[0], QPointF(0, 0));
        QCOMPARE(points[1], QPointF(0.04, 7.5));
        QCOMPARE(points[9], QPointF(0.36, 67.5));
        QVERIFY(!Obrazek->Edit1->isEnabled());
        QVERIFY(!Obrazek->Edit2->isEnabled());
        QVERIFY(Graf->SaveGraph(dial_.filePath(QStringLiteral("graph.png"))));
        QVERIFY(ReadFile(dial_.filePath(QStringLiteral("graph.png"))).startsWith("\x89PNG"));
        QVERIFY(Graf->SaveGraph(dial_.filePath(QStringLiteral("graph.svg"))));
        QVERIFY(ReadFile(dial_.filePath(QStringLiteral("graph.svg"))).contains("<svg"));
        QVERIFY(!Graf->SaveGraph(dial_.filePath(QStringLiteral("no/such/folder/graph.png"))));

        // A changed rate takes effect at the next opening without measuring again.
        QFile::rename(dial_.filePath(QStringLiteral("d002.bmp")),
                      dial_.filePath(QStringLiteral("d002.bak")));
        Obrazek->Edit3->setText(QStringLiteral("50"));
        CloseGraphWhenShown();
        Obrazek->BitBtn3->click();
        QFile::rename(dial_.filePath(QStringLiteral("d002.bak")),
                      dial_.filePath(QStringLiteral("d002.bmp")));
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(Graf->Series1->points()[1], QPointF(0.02, 7.5));

        // A graph that cannot be scaled is refused, the results stay valid.
        Obrazek->Edit3->clear();
        Obrazek->BitBtn3->click();
        QCOMPARE(dialogs_->Errors, QStringList{QString::fromLatin1(torvi::ValuesNotValid)});
        QVERIFY(Graf->ResultsValid);
    }

    void animationStepsUntilStopped() {
        OpenDial();
        Obrazek->Edit3->setText(QStringLiteral("200"));
        QTimer::singleShot(60, Obrazek, [] {
            QVERIFY(!Obrazek->AnimationStopped);
            QCOMPARE(Obrazek->BitBtn5->text(), QStringLiteral("Stop"));
            QCOMPARE(Obrazek->StatusPanel1->text(), QStringLiteral("Animation ..."));
            QVERIFY(!Obrazek->BitBtn2->isEnabled());
            Obrazek->BitBtn5->click();
            QVERIFY(Obrazek->BitBtn2->isEnabled());
        });
        QSignalSpy steps(Obrazek->ProgressBar, &QProgressBar::valueChanged);
        Obrazek->BitBtn5->click(); // returns when the playing loop ends
        QCOMPARE(Obrazek->BitBtn5->text(), QStringLiteral("Animation"));
        QVERIFY(Obrazek->StatusPanel1->text().isEmpty());
        QVERIFY(steps.count() > 0);
    }

    void graphStopsARunningAnimation() {
        OpenAndCalibrate();
        QTimer::singleShot(50, Obrazek, [] {
            CloseGraphWhenShown();
            Obrazek->BitBtn3->click();
        });
        Obrazek->BitBtn5->click();
        QVERIFY(Obrazek->AnimationStopped);
        QCOMPARE(Obrazek->BitBtn5->text(), QStringLiteral("Animation"));
        QVERIFY(Graf->ResultsValid);
    }

    void closingEndsAnAnimationAtOnce() {
        OpenDial();
        // A frame period of a thousand seconds: the loop must not sit it out
        // once the window is closing.
        Obrazek->Edit3->setText(QStringLiteral("0.001"));
        QTimer::singleShot(50, Obrazek, [] { Obrazek->close(); });
        Obrazek->BitBtn5->click();
        QVERIFY(Obrazek->AnimationStopped);
        QCOMPARE(Obrazek->BitBtn5->text(), QStringLiteral("Animation"));
    }
};

QTEST_MAIN(MeasurementWindowTest)
#include "MeasurementWindowTest.moc"
