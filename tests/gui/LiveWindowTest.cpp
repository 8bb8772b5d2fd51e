#include "ScriptedDialogs.h"
#include "app/Windows.h"

#include "widgets/CaptureWindowWidget.h"
#include "widgets/PictureView.h"
#include "widgets/UpDown.h"
#include "windows/LiveWindow.h"
#include "windows/Obrazek_U.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using torvi::Control;
using torvi::Step;

namespace {

QString SampleFilm() {
    return QStringLiteral(TORVI_TEST_DATA "/../../samples/dial.avi");
}

// The window shows what the session says of its controls in its step.
void CheckEnabling(const LiveWindow& w) {
    const Step step = w.Session.CurrentStep();
    const std::pair<Control, QWidget*> controls[] = {
        {Control::DeviceList, w.DeviceList},
        {Control::Change, w.ChangeButton},
        {Control::HandColour, w.DarkHand},
        {Control::HandColour, w.LightHand},
        {Control::ContrastArrows, w.ContrastArrows},
        {Control::Learn, w.LearnButton},
        {Control::Measure, w.MeasureButton},
        {Control::Stop, w.StopButton},
        {Control::Record, w.RecordBox}};
    for (const auto& [control, widget] : controls)
        QVERIFY2(widget->isEnabled() == w.Session.Enabled(control),
                 qPrintable(QStringLiteral("step %1, control %2")
                                .arg(static_cast<int>(step))
                                .arg(static_cast<int>(control))));
    const bool results = w.Session.Enabled(Control::Results);
    QCOMPARE(w.SaveResultButton->isEnabled(), results);
    QCOMPARE(w.SaveFramesButton->isEnabled(), results);
    QCOMPARE(w.Prompt->text(), QString::fromLatin1(torvi::StepPrompt(step)));
    QCOMPARE(w.Picture->cursor().shape() == Qt::CrossCursor, torvi::CrossCursor(step));
}

QStringList Lines(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(file.readAll()).split(QStringLiteral("\n"), Qt::SkipEmptyParts);
}

} // namespace

class LiveWindowTest : public QObject {
    Q_OBJECT

private:
    ScriptedDialogs dialogs_;
    QTemporaryDir folder_;
    std::unique_ptr<ProgramWindows> program_;
    QPointer<LiveWindow> w_;

    // Marks the dial of the sample film and learns until some pictures are in.
    void MarkAndLearn() {
        QTRY_COMPARE_WITH_TIMEOUT(w_->Picture->width(), 320, 30000);
        QTest::mouseClick(w_->Picture, Qt::LeftButton, {}, QPoint(160, 120));
        CheckEnabling(*w_);
        QTest::mouseClick(w_->Picture, Qt::LeftButton, {}, QPoint(73, 70));
        QCOMPARE(w_->Session.CurrentStep(), Step::Marked);
        QCOMPARE(w_->RadiusText->text(), QStringLiteral("100"));
        CheckEnabling(*w_);
        w_->LearnButton->click();
        QCOMPARE(w_->Session.CurrentStep(), Step::Learning);
        CheckEnabling(*w_);
        QTRY_VERIFY_WITH_TIMEOUT(w_->Session.LearnedFrames() >= 5, 30000);
    }

private Q_SLOTS:
    void init() {
        // No camera: the window waits for a film.
        torvi::gui::SetCaptureDrivers(std::vector<torvi::CaptureSource>{});
        dialogs_.Errors.clear();
        program_ = std::make_unique<ProgramWindows>();
        program_->Main.LiveMeasurement1->trigger();
        w_ = program_->Main.Live;
        QVERIFY(w_);
        QVERIFY(w_->isVisible());
        QVERIFY(!w_->isModal());
    }

    void cleanup() {
        program_.reset();
        torvi::gui::SetCaptureDrivers(std::nullopt);
    }

    void measuresAPlayedFilmToItsEndAndSavesEverything() {
        QCOMPARE(w_->Session.CurrentStep(), Step::ChooseDevice);
        QCOMPARE(w_->DeviceList->count(), 1);
        QVERIFY(w_->NoDeviceText->text().startsWith(QStringLiteral("No video capture device")));
        CheckEnabling(*w_);

        dialogs_.OpenAnswers.push_back({SampleFilm()});
        Q_EMIT w_->DeviceList->activated(0);
        QCOMPARE(w_->Session.CurrentStep(), Step::MarkCentre);
        QCOMPARE(w_->DeviceList->currentText(), QStringLiteral("dial.avi"));
        CheckEnabling(*w_);
        MarkAndLearn();
        w_->ContrastArrows->Step(+1);
        QCOMPARE(w_->ContrastField->text(), QStringLiteral("61"));
        QTRY_VERIFY(!w_->MaskView->pixmap().isNull());

        w_->RecordBox->setChecked(true);
        const QString film = folder_.filePath(QStringLiteral("live.avi"));
        dialogs_.SaveAnswers.push_back(film);
        w_->MeasureButton->click();
        QCOMPARE(w_->Session.CurrentStep(), Step::Measuring);
        CheckEnabling(*w_);
        // The film's end ends the run normally.
        QTRY_COMPARE_WITH_TIMEOUT(w_->Session.CurrentStep(), Step::Finished, 60000);
        CheckEnabling(*w_);
        QVERIFY(dialogs_.Errors.isEmpty());
        const int frames = static_cast<int>(w_->Session.DeviceFrames().size());
        QVERIFY(frames >= 5);
        QCOMPARE(w_->Session.RecordedFrames(), frames);
        QVERIFY(QFile::exists(film));
        QCOMPARE(w_->Series->count(), frames);
        QCOMPARE(w_->ValueText->text(),
                 QString::number(w_->Session.DeviceFrames().back().Unwrapped)); // 360 ticks a turn

        const QString result = folder_.filePath(QStringLiteral("result.txt"));
        const QString csv = folder_.filePath(QStringLiteral("frames.csv"));
        dialogs_.SaveAnswers = {result, csv};
        w_->SaveResultButton->click();
        w_->SaveFramesButton->click();
        QVERIFY(dialogs_.Errors.isEmpty());
        const QStringList table = Lines(result);
        QVERIFY(table.size() > 5);
        QVERIFY(table[1].startsWith(QStringLiteral("Number of frames per second")));
        QVERIFY(table[1].contains(QStringLiteral("25")));
        QCOMPARE(Lines(csv).size(), frames + 1);

        w_->close();
        QTRY_VERIFY(!w_);
    }

    void aDeviceThatFailsMidRunKeepsWhatWasMeasured() {
        dialogs_.OpenAnswers.push_back({SampleFilm()});
        Q_EMIT w_->DeviceList->activated(0);
        MarkAndLearn();
        w_->MeasureButton->click();
        QTRY_VERIFY_WITH_TIMEOUT(w_->Session.DeviceFrames().size() >= 3, 30000);
        w_->Session.Relay().DeviceEnded("The capture device stopped delivering pictures: gone");
        QTRY_COMPARE_WITH_TIMEOUT(w_->Session.CurrentStep(), Step::Finished, 30000);
        // The message comes after the timer's call that found it.
        QTRY_COMPARE(dialogs_.Errors, QStringList{QStringLiteral(
                                          "The capture device stopped delivering pictures: gone")});
        QVERIFY(w_->Session.DeviceFrames().size() >= 3);
        QVERIFY(w_->SaveResultButton->isEnabled());
        CheckEnabling(*w_);
    }

    void theFirstDeviceFoundIsOpenedAtOnce() {
        w_->close();
        QTRY_VERIFY(!w_);
        torvi::gui::SetCaptureDrivers(std::vector{torvi::CaptureSource::Synthetic(64, 48, 25)});
        program_->Main.LiveMeasurement1->trigger();
        w_ = program_->Main.Live;
        QCOMPARE(w_->DeviceList->count(), 2);
        QCOMPARE(w_->Session.CurrentStep(), Step::MarkCentre);
        QTRY_COMPARE_WITH_TIMEOUT(w_->Picture->width(), 64, 30000);
        QVERIFY(dialogs_.Errors.isEmpty());
        // Closing the main window closes this one and stops its device.
        program_->Main.close();
        QTRY_VERIFY(!w_);
    }

    void aFilmThatCannotBePlayedSaysWhy() {
        dialogs_.OpenAnswers.push_back({folder_.filePath(QStringLiteral("missing.avi"))});
        Q_EMIT w_->DeviceList->activated(0);
        QCOMPARE(w_->Session.CurrentStep(), Step::DeviceFailed);
        QTRY_COMPARE(dialogs_.Errors.size(), 1);
        QVERIFY(dialogs_.Errors[0].startsWith(QStringLiteral("Cannot open the capture device")));
        CheckEnabling(*w_);
    }
};

QTEST_MAIN(LiveWindowTest)
#include "LiveWindowTest.moc"
