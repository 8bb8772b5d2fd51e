#include "GuiFixtures.h"
#include "ScriptedDialogs.h"

#include "Graf_U.h"
#include "Jadro_U.h"
#include "Maskovani_U.h"
#include "Obrazek_U.h"
#include "PictureView.h"
#include "UpDown.h"
#include "Windows.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

enum class State {
    Start,
    MarkCentre,
    MarkRadius,
    Marked,
    ContrastSetting,
    NoMeasurementAfterCancel
};

struct Expected {
    bool Ok, Change, ContrastField, Arrows, BW, FrameField, Navigation, Animation, Results,
        MaskMenu, SaveCaptured, Clicks;
    const char* Prompt;
    bool Cross, MaskingLive;
};

Expected ExpectedFor(State state) {
    switch (state) {
    case State::Start:
        return {false, false, false, false, false, false, false, false,
                false, false, false, false, "",    false, false};
    case State::MarkCentre:
        return {false,
                false,
                false,
                false,
                true,
                false,
                true,
                true,
                false,
                true,
                true,
                true,
                "Set centre of dial.",
                true,
                false};
    case State::MarkRadius:
        return {false,
                false,
                false,
                false,
                true,
                false,
                true,
                true,
                false,
                true,
                true,
                true,
                "Set radius of hand.",
                true,
                false};
    case State::Marked:
        return {true,  true, false, false, true, false, true, true,
                false, true, true,  false, "",   false, false};
    case State::ContrastSetting:
        return {false,
                true,
                true,
                true,
                false,
                true,
                true,
                true,
                true,
                true,
                true,
                false,
                "Set contrast of picture to the best visibility of hand, together with less error "
                "disturbance.",
                false,
                true};
    case State::NoMeasurementAfterCancel:
        return {false, true,  false, false, true, false, false, false,
                false, false, true,  false, "",   false, false};
    }
    return {};
}

void CheckState(State state, int line) {
    const Expected e = ExpectedFor(state);
    TObrazek* w = Obrazek;
    const QString where =
        QStringLiteral(" (state %1, line %2)").arg(static_cast<int>(state)).arg(line);
    auto check = [&](bool actual, bool expected, const char* what) {
        if (actual != expected)
            QFAIL(qPrintable(QString::fromLatin1(what) +
                             QStringLiteral(" is %1").arg(actual ? "on" : "off") + where));
    };
    check(w->Button2->isEnabled(), e.Ok, "OK");
    check(w->Button1->isEnabled(), e.Change, "&Change");
    check(w->Edit1->isEnabled(), e.ContrastField, "contrast field");
    check(w->UpDown1->isEnabled(), e.Arrows, "contrast arrows");
    check(w->RadioButton2->isEnabled(), e.BW, "B");
    check(w->RadioButton1->isEnabled(), e.BW, "W");
    check(w->Edit2->isEnabled(), e.FrameField, "frame field");
    for (QPushButton* b : {w->BitBtn6, w->BitBtn1, w->BitBtn2, w->BitBtn7})
        check(b->isEnabled(), e.Navigation, "navigation");
    check(w->BitBtn5->isEnabled(), e.Animation, "&Animation");
    check(w->BitBtn3->isEnabled(), e.Results, "&Graph");
    check(w->BitBtn4->isEnabled(), e.Results, "&Save result");
    check(w->UloitTXT1->isEnabled(), e.Results, "&Save TXT");
    check(w->ShowmaskedBMP1->isEnabled(), e.MaskMenu, "Show &masked BMP");
    check(w->SaveBMP1->isEnabled(), e.MaskMenu, "Save masked BMP...");
    check(w->SaveBMP2->isEnabled(), e.SaveCaptured, "Save captured BMP...");
    check(w->ClickHandlerInstalled(), e.Clicks, "clicks on the picture");
    check(w->Image1->cursor().shape() == Qt::CrossCursor, e.Cross, "cross cursor");
    check(w->MaskingLive, e.MaskingLive, "MaskingLive");
    if (w->Label2->text() != QString::fromLatin1(e.Prompt))
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
        Obrazek->OtevtGIF1Click();
    }
    void Click(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(Obrazek->Image1, button, {}, QPoint(x, y));
    }

private Q_SLOTS:
    void init() {
        dialogs_ = new ScriptedDialogs;
        CreateWindows();
    }
    void cleanup() {
        DestroyWindows();
        delete dialogs_;
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
        QCOMPARE(Obrazek->windowTitle(), QStringLiteral("Torvi"));
        QCOMPARE(Obrazek->StatusPanel0->text(),
                 QStringLiteral("Count of opened pictures *.AVI: 0"));
        QCOMPARE(Obrazek->Edit3->text(), QStringLiteral("25"));
        QCOMPARE(Obrazek->Edit4->text(), QStringLiteral("360"));
        QVERIFY(Obrazek->RadioButton2->isChecked());
        QVERIFY(Obrazek->AnimationStopped);
        QVERIFY(Obrazek->isVisible());
        QVERIFY(!Maskovani->isVisible());
    }

    void wholeWorkflowFollowsTheEnablingTable() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        CHECK_STATE(State::MarkCentre);
        QCOMPARE(Obrazek->FrameList,
                 (torvi::FrameList{"p001.bmp", "p002.bmp", "p003.bmp", "p004.bmp", "p005.bmp"}));
        QCOMPARE(Obrazek->FileExt, std::string(".BMP"));
        QCOMPARE(Obrazek->StatusPanel0->text(),
                 QStringLiteral("Count of opened pictures *.BMP: 5"));
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("p001.bmp"));
        QCOMPARE(Obrazek->Image1->size(), QSize(160, 120));
        QCOMPARE(Obrazek->ProgressBar->maximum(), 4);

        Click(120, 45, Qt::RightButton);
        QCOMPARE(Obrazek->Label4->text(), QStringLiteral("120:45"));
        CHECK_STATE(State::MarkRadius);
        Click(123, 49);
        QCOMPARE(Obrazek->Label5->text(), QStringLiteral("5"));
        CHECK_STATE(State::Marked);
        Click(10, 10); // ignored after the radius
        QCOMPARE(Obrazek->Label4->text(), QStringLiteral("120:45"));
        QCOMPARE(Obrazek->HandRadius, 5);

        Obrazek->RadioButton1->click();
        QVERIFY(!Jadro_U::Calibrated);
        CHECK_STATE(State::Marked);

        Obrazek->Button2->click();
        CHECK_STATE(State::ContrastSetting);
        QVERIFY(Maskovani->isVisible());
        QCOMPARE(Obrazek->Edit1->text(), QStringLiteral("60"));
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("p001.bmp"));

        Obrazek->UpDown1->Step(+1);
        QCOMPARE(Obrazek->Edit1->text(), QStringLiteral("61"));
        QCOMPARE(Maskovani->ContrastThreshold, 61);

        // "&Change" keeps the marks' texts until they are clicked again.
        Obrazek->Button1->click();
        CHECK_STATE(State::MarkCentre);
        QVERIFY(!Maskovani->isVisible());
        QCOMPARE(Obrazek->Label4->text(), QStringLiteral("120:45"));
        QCOMPARE(Obrazek->Label5->text(), QStringLiteral("5"));

        // Every "OK" starts the contrast step again from 60.
        Click(50, 50);
        Click(60, 50);
        Obrazek->Button2->click();
        QCOMPARE(Obrazek->Edit1->text(), QStringLiteral("60"));
        QCOMPARE(Obrazek->UpDown1->Position(), 60);
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
        QCOMPARE(static_cast<int>(Obrazek->HandRadius), radius);
        QCOMPARE(Obrazek->Label5->text(), QString::number(radius));
    }

    void navigationWrapsAndFollowsTheFrameField() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        Obrazek->BitBtn1->click(); // Previous from the first
        QCOMPARE(Obrazek->CurrentIndex, 4);
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("p005.bmp"));
        QCOMPARE(Obrazek->ProgressBar->value(), 4);
        Obrazek->BitBtn2->click(); // Next from the last
        QCOMPARE(Obrazek->CurrentIndex, 0);
        Obrazek->BitBtn7->click();
        QCOMPARE(Obrazek->CurrentIndex, 4);
        Obrazek->BitBtn6->click();
        QCOMPARE(Obrazek->CurrentIndex, 0);
        Obrazek->BitBtn2->click();
        Obrazek->BitBtn2->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("p003.bmp"));
        QCOMPARE(Obrazek->Image1->Picture().ToBgr24().ScanLine(0)[0], 103);
    }

    void chosenPictureIsShownFirstAtItsPlace() {
        OpenSequence(dir_.filePath(QStringLiteral("p003.bmp")));
        QCOMPARE(Obrazek->CurrentIndex, 2);
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("p003.bmp"));
        QCOMPARE(Obrazek->ProgressBar->value(), 2);
        QCOMPARE(Obrazek->Image1->Picture().ToBgr24().ScanLine(0)[0], 103);
    }

    void cancelledOpenKeepsTheMeasurementForChange() {
        OpenSequence(dir_.filePath(QStringLiteral("p001.bmp")));
        Click(20, 20);
        Click(30, 20);
        Obrazek->BitBtn2->click();
        dialogs_->OpenAnswers.push_back({std::nullopt, 3});
        Obrazek->OtevtGIF1Click();
        CHECK_STATE(State::NoMeasurementAfterCancel);
        QCOMPARE(Obrazek->FrameList.size(), std::size_t{5});
        QCOMPARE(Obrazek->Image1->size(), QSize(160, 120));

        Obrazek->Button1->click();
        CHECK_STATE(State::MarkCentre);
        QCOMPARE(Obrazek->CurrentIndex, 1);
        Obrazek->BitBtn2->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("p003.bmp"));
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
        QVERIFY(!Obrazek->Button1->isEnabled());
        QVERIFY(!Obrazek->BitBtn2->isEnabled());
        // "B" and "W" stay usable and do no harm without frames.
        Obrazek->RadioButton1->click();
        Obrazek->RadioButton2->click();
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
        QCOMPARE(Obrazek->StatusPanel0->text(),
                 QStringLiteral("Count of opened pictures *.BMP: 3"));
        QVERIFY(!Obrazek->BitBtn2->isEnabled());
        QVERIFY(!Obrazek->ClickHandlerInstalled());
    }

    void savesTheShownPictureAndRefusesUnknownNames() {
        OpenSequence(dir_.filePath(QStringLiteral("p002.bmp")));
        const QString target = dir_.filePath(QStringLiteral("out/Captured.bmp"));
        QDir(dir_.path()).mkdir(QStringLiteral("out"));
        dialogs_->SaveAnswers.push_back(target);
        Obrazek->SaveBMP2->trigger();
        QCOMPARE(dialogs_->SaveRequests.size(), 1);
        QCOMPARE(dialogs_->SaveRequests[0].Title, QStringLiteral("Save captured BMP as"));
        QCOMPARE(dialogs_->SaveRequests[0].FileName, QStringLiteral("Captured"));
        QVERIFY(QFile::exists(target));
        QVERIFY(dialogs_->Errors.isEmpty());

        dialogs_->SaveAnswers.push_back(dir_.filePath(QStringLiteral("out/x.txt")));
        Obrazek->SaveBMP2->trigger();
        QCOMPARE(dialogs_->Errors,
                 QStringList{QStringLiteral("Unknown picture file extension (.TXT)")});
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("out/x.txt"))));
    }
};

QTEST_MAIN(MainWindowTest)
#include "MainWindowTest.moc"
