#include "GuiFixtures.h"
#include "ScriptedDialogs.h"
#include "app/Windows.h"
#include "measurement/ControlTable.h"
#include "measurement/Measurement.h"

#include "widgets/PictureView.h"
#include "widgets/UpDown.h"
#include "windows/Graf_U.h"
#include "windows/Maskovani_U.h"
#include "windows/Obrazek_U.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The program of the running test, made as start-up makes it.
std::unique_ptr<TestProgram> program_;
TObrazek* W = nullptr;
} // namespace

namespace {

enum class State {
    Start,
    MarkCentre,
    MarkRadius,
    Marked,
    ContrastSetting,
    NoMeasurementAfterCancel
};

torvi::Step StepOf(State state) {
    switch (state) {
    case State::Start:
        return torvi::Step::Start;
    case State::MarkCentre:
        return torvi::Step::MarkCentre;
    case State::MarkRadius:
        return torvi::Step::MarkRadius;
    case State::Marked:
        return torvi::Step::Marked;
    case State::ContrastSetting:
        return torvi::Step::ContrastSetting;
    case State::NoMeasurementAfterCancel:
        return torvi::Step::NoMeasurement;
    }
    return torvi::Step::Start;
}

// The measurement is in the step, and the window shows what the measurement
// says of its controls (which its own test checks against the table).
void CheckState(State state, int line) {
    using torvi::Control;
    TObrazek* w = W;
    const torvi::Step step = StepOf(state);
    const QString where =
        QStringLiteral(" (state %1, line %2)").arg(static_cast<int>(state)).arg(line);
    if (w->Model.CurrentStep() != step)
        QFAIL(qPrintable(QStringLiteral("the measurement is in step %1")
                             .arg(static_cast<int>(w->Model.CurrentStep())) +
                         where));
    auto check = [&](bool actual, Control control, const char* what) {
        if (actual != w->Model.Enabled(control))
            QFAIL(qPrintable(QString::fromLatin1(what) +
                             QStringLiteral(" is %1").arg(actual ? "on" : "off") + where));
    };
    check(w->Button2->isEnabled(), Control::Ok, "OK");
    check(w->Button1->isEnabled(), Control::Change, "&Change");
    check(w->Edit1->isEnabled(), Control::ContrastField, "contrast field");
    check(w->UpDown1->isEnabled(), Control::ContrastArrows, "contrast arrows");
    check(w->RadioButton2->isEnabled(), Control::HandColour, "B");
    check(w->RadioButton1->isEnabled(), Control::HandColour, "W");
    check(w->Edit2->isEnabled(), Control::FrameField, "frame field");
    for (QPushButton* b : {w->BitBtn6, w->BitBtn1, w->BitBtn2, w->BitBtn7})
        check(b->isEnabled(), Control::Navigation, "navigation");
    check(w->BitBtn5->isEnabled(), Control::Animation, "&Animation");
    check(w->BitBtn3->isEnabled(), Control::Results, "&Graph");
    check(w->BitBtn4->isEnabled(), Control::Results, "&Save result");
    check(w->UloitTXT1->isEnabled(), Control::Results, "&Save TXT");
    check(w->ShowmaskedBMP1->isEnabled(), Control::MaskingItems, "Show &masked BMP");
    check(w->SaveBMP1->isEnabled(), Control::MaskingItems, "Save masked BMP...");
    check(w->SaveBMP2->isEnabled(), Control::SaveCaptured, "Save captured BMP...");
    check(w->ClickHandlerInstalled(), Control::PictureClicks, "clicks on the picture");
    if ((w->Image1->cursor().shape() == Qt::CrossCursor) != torvi::CrossCursor(step))
        QFAIL(qPrintable(QStringLiteral("cross cursor") + where));
    if (w->Label2->text() != QString::fromLatin1(torvi::StepPrompt(step)))
        QFAIL(qPrintable(QStringLiteral("prompt is \"%1\"").arg(w->Label2->text()) + where));
}

#define CHECK_STATE(s)                                                                             \
    do {                                                                                           \
        CheckState(s, __LINE__);                                                                   \
        if (QTest::currentTestFailed()) return;                                                    \
    } while (false)

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    ScriptedDialogs* dialogs_ = nullptr;

    void OpenSequence(const QString& chosen, int filter = 3) {
        dialogs_->OpenAnswers.push_back({chosen, filter});
        W->OtevtGIF1Click();
        WaitForRun(W);
    }
    void Click(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(W->Image1, button, {}, QPoint(x, y));
    }

private Q_SLOTS:
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

    void initTestCase() {
        QVERIFY(dir_.isValid());
        for (int i = 1; i <= 5; ++i)
            WriteDialPicture(
                dir_.filePath(QStringLiteral("p%1.bmp").arg(i, 3, 10, QLatin1Char('0'))), 160, 120,
                100 + i);
    }

    void startsWithNothingToDo() {
        CHECK_STATE(State::Start);
        QCOMPARE(W->windowTitle(), QStringLiteral("Torvi"));
        QCOMPARE(W->StatusPanel0->text(), QStringLiteral("Count of opened pictures *.AVI: 0"));
        QCOMPARE(W->Edit3->text(), QStringLiteral("25"));
        QCOMPARE(W->Edit4->text(), QStringLiteral("360"));
        QVERIFY(W->RadioButton2->isChecked());
        QVERIFY(W->AnimationStopped);
        QVERIFY(W->isVisible());
        QVERIFY(!W->Maskovani->isVisible());
    }

    void wholeWorkflowFollowsTheEnablingTable() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        CHECK_STATE(State::MarkCentre);
        QCOMPARE(W->Model.Frames(),
                 (torvi::FrameList{"p001.bmp", "p002.bmp", "p003.bmp", "p004.bmp", "p005.bmp"}));
        QCOMPARE(W->Model.FileExt(), std::string(".BMP"));
        QCOMPARE(W->StatusPanel0->text(), QStringLiteral("Count of opened pictures *.BMP: 5"));
        QCOMPARE(W->Edit2->text(), QStringLiteral("p001.bmp"));
        QCOMPARE(W->Image1->size(), QSize(160, 120));
        QCOMPARE(W->ProgressBar->maximum(), 4);

        Click(120, 45, Qt::RightButton);
        QCOMPARE(W->Label4->text(), QStringLiteral("120:45"));
        CHECK_STATE(State::MarkRadius);
        Click(123, 49);
        QCOMPARE(W->Label5->text(), QStringLiteral("5"));
        CHECK_STATE(State::Marked);
        Click(10, 10); // ignored after the radius
        QCOMPARE(W->Label4->text(), QStringLiteral("120:45"));
        QCOMPARE(W->Model.HandRadius(), 5);

        W->RadioButton1->click();
        QVERIFY(!W->Model.Calibrated());
        CHECK_STATE(State::Marked);

        W->Button2->click();

        WaitForRun(W);
        CHECK_STATE(State::ContrastSetting);
        QVERIFY(W->Maskovani->isVisible());
        QCOMPARE(W->Edit1->text(), QStringLiteral("60"));
        QCOMPARE(W->Edit2->text(), QStringLiteral("p001.bmp"));

        W->UpDown1->Step(+1);
        QCOMPARE(W->Edit1->text(), QStringLiteral("61"));
        QCOMPARE(W->Model.ContrastThreshold(), 61);

        // "&Change" keeps the marks' texts until they are clicked again.
        W->Button1->click();
        CHECK_STATE(State::MarkCentre);
        QVERIFY(!W->Maskovani->isVisible());
        QCOMPARE(W->Label4->text(), QStringLiteral("120:45"));
        QCOMPARE(W->Label5->text(), QStringLiteral("5"));

        // Every "OK" starts the contrast step again from 60.
        Click(50, 50);
        Click(60, 50);
        W->Button2->click();
        WaitForRun(W);
        QCOMPARE(W->Edit1->text(), QStringLiteral("60"));
        QCOMPARE(W->UpDown1->Position(), 60);
    }

    void radiusRoundsToNearest_data() {
        QTest::addColumn<QPoint>("tip");
        QTest::addColumn<int>("radius");
        QTest::newRow("3-4-5") << QPoint(13, 14) << 5;
        QTest::newRow("root 1.414") << QPoint(11, 11) << 1;
        QTest::newRow("root 3.606") << QPoint(13, 12) << 4;
        QTest::newRow("centre itself") << QPoint(10, 10) << 0;
    }
    void radiusRoundsToNearest() {
        QFETCH(QPoint, tip);
        QFETCH(int, radius);
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        Click(10, 10);
        Click(tip.x(), tip.y());
        QCOMPARE(static_cast<int>(W->Model.HandRadius()), radius);
        QCOMPARE(W->Label5->text(), QString::number(radius));
    }

    void navigationWrapsAndFollowsTheFrameField() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        W->BitBtn1->click(); // Previous from the first
        QCOMPARE(W->Model.CurrentIndex(), 4);
        QCOMPARE(W->Edit2->text(), QStringLiteral("p005.bmp"));
        QCOMPARE(W->ProgressBar->value(), 4);
        W->BitBtn2->click(); // Next from the last
        QCOMPARE(W->Model.CurrentIndex(), 0);
        W->BitBtn7->click();
        QCOMPARE(W->Model.CurrentIndex(), 4);
        W->BitBtn6->click();
        QCOMPARE(W->Model.CurrentIndex(), 0);
        W->BitBtn2->click();
        W->BitBtn2->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("p003.bmp"));
        QCOMPARE(W->Image1->Picture().ToBgr24().ScanLine(0)[0], 103);
    }

    void chosenPictureIsShownFirstAtItsPlace() {
        OpenSequence(dir_.filePath(QStringLiteral("p003.bmp")));
        QCOMPARE(W->Model.CurrentIndex(), 2);
        QCOMPARE(W->Edit2->text(), QStringLiteral("p003.bmp"));
        QCOMPARE(W->ProgressBar->value(), 2);
        QCOMPARE(W->Image1->Picture().ToBgr24().ScanLine(0)[0], 103);
    }

    void cancelledOpenKeepsTheMeasurementForChange() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        Click(20, 20);
        Click(30, 20);
        W->BitBtn2->click();
        dialogs_->OpenAnswers.push_back({std::nullopt, 3});
        W->OtevtGIF1Click();
        WaitForRun(W);
        CHECK_STATE(State::NoMeasurementAfterCancel);
        QCOMPARE(W->Model.Frames().size(), std::size_t{5});
        QCOMPARE(W->Image1->size(), QSize(160, 120));

        W->Button1->click();
        CHECK_STATE(State::MarkCentre);
        QCOMPARE(W->Model.CurrentIndex(), 1);
        W->BitBtn2->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("p003.bmp"));
    }

    void folderOfTwoIsRefusedAndNothingCanResumeIt() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        Click(20, 20);
        Click(30, 20);
        QTemporaryDir two;
        MakeBmpSequence(two, 2);
        OpenSequence(two.filePath(QStringLiteral("p001.bmp")));
        QCOMPARE(dialogs_->Errors,
                 QStringList{QStringLiteral("More than two files *.BMP in directory are needed")});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::Stop);
        QVERIFY(!W->Button1->isEnabled());
        QVERIFY(!W->BitBtn2->isEnabled());
        // "B" and "W" stay usable and do no harm without frames.
        W->RadioButton1->click();
        W->RadioButton2->click();
        QCOMPARE(dialogs_->Errors.size(), 1);
    }

    void undecodableFirstPictureIsReported() {
        QTemporaryDir bad;
        for (const char* name : {"a.bmp", "b.bmp", "c.bmp"}) {
            QFile f(bad.filePath(QString::fromLatin1(name)));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("not a picture");
        }
        OpenSequence(bad.filePath(QStringLiteral("a.bmp")));
        QCOMPARE(dialogs_->Errors, QStringList{QStringLiteral("Bitmap image is not valid")});
        QCOMPARE(W->StatusPanel0->text(), QStringLiteral("Count of opened pictures *.BMP: 3"));
        QVERIFY(!W->BitBtn2->isEnabled());
        QVERIFY(!W->ClickHandlerInstalled());
    }

    // A picture that cannot be decoded on the way: its place and name are
    // taken, the picture before stays on view.
    void unreadableFrameDuringNavigationKeepsThePictureBefore() {
        QTemporaryDir seq;
        MakeBmpSequence(seq, 3);
        QFile bad(seq.filePath(QStringLiteral("p002.bmp")));
        QVERIFY(bad.open(QIODevice::WriteOnly | QIODevice::Truncate));
        bad.write("not a picture");
        bad.close();
        OpenSequence(seq.filePath(QStringLiteral("p001.bmp")));
        const torvi::Bitmap before = W->Image1->Picture();
        W->BitBtn2->click();
        QCOMPARE(dialogs_->Errors, QStringList{QStringLiteral("Bitmap image is not valid")});
        QCOMPARE(W->Model.CurrentIndex(), 1);
        QCOMPARE(W->Edit2->text(), QStringLiteral("p002.bmp"));
        QVERIFY(W->Image1->Picture() == before);
        W->BitBtn2->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("p003.bmp"));
        QCOMPARE(W->Image1->Picture().ToBgr24().ScanLine(0)[0], 103);
    }

    void savesTheShownPictureAndRefusesUnknownNames() {
        OpenSequence(dir_.filePath(QStringLiteral("p002.bmp")));
        const QString target = dir_.filePath(QStringLiteral("out/Captured.bmp"));
        QDir(dir_.path()).mkdir(QStringLiteral("out"));
        dialogs_->SaveAnswers.push_back(target);
        W->SaveBMP2->trigger();
        QCOMPARE(dialogs_->SaveRequests.size(), 1);
        QCOMPARE(dialogs_->SaveRequests[0].Title, QStringLiteral("Save captured BMP as"));
        QCOMPARE(dialogs_->SaveRequests[0].FileName, QStringLiteral("Captured"));
        QCOMPARE(dialogs_->SaveRequests[0].Captions,
                 (QStringList{QStringLiteral("Bitmaps (*.bmp)"),
                              QStringLiteral("Tiff (*.tif, *.tiff)")}));
        QVERIFY(QFile::exists(target));
        QVERIFY(dialogs_->Errors.isEmpty());

        dialogs_->SaveAnswers.push_back(dir_.filePath(QStringLiteral("out/x.txt")));
        W->SaveBMP2->trigger();
        QCOMPARE(dialogs_->Errors,
                 QStringList{QStringLiteral("Unknown picture file extension (.TXT)")});
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("out/x.txt"))));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
