#include "../engine/CaptureTestSupport.h"
#include "widgets/CaptureWindowWidget.h"
#include "widgets/UserDialogs.h"
#include "windows/AviCapture_U.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <deque>

using namespace torvi::gui;

namespace {

// Answers the save dialog from a script and keeps the error boxes shown.
class ScriptedDialogs final : public UserDialogs {
public:
    std::deque<std::optional<QString>> SaveAnswers;
    QList<SaveFileRequest> SaveRequests;
    QStringList Errors;
    QList<MessageIcon> ErrorIcons;

    void ShowError(QWidget*, const QString& text, MessageIcon icon, const QString&) override {
        Errors.append(text);
        ErrorIcons.append(icon);
    }
    std::optional<QString> OpenPicture(QWidget*, OpenDialogState&) override { return {}; }
    std::optional<QString> SaveFile(QWidget*, const SaveFileRequest& request) override {
        SaveRequests.append(request);
        if (SaveAnswers.empty()) return std::nullopt;
        auto answer = SaveAnswers.front();
        SaveAnswers.pop_front();
        return answer;
    }
};

// A film that was completed: RIFF AVI with its index written at the end.
bool CompleteFilm(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    const QByteArray bytes = file.readAll();
    return bytes.startsWith("RIFF") && bytes.mid(8, 4) == "AVI " && bytes.contains("idx1");
}

enum class Buttons { PreviewingNoFile, Ready, Recording };

void CheckButtons(const TAviCapture& dialog, Buttons state) {
    QCOMPARE(dialog.BitBtn3->isEnabled(), state != Buttons::Recording);
    QCOMPARE(dialog.BitBtn1->isEnabled(), state == Buttons::Ready);
    QCOMPARE(dialog.BitBtn2->isEnabled(), state == Buttons::Recording);
}

} // namespace

class CaptureDialogTest : public QObject {
    Q_OBJECT

private:
    ScriptedDialogs dialogs_;
    QTemporaryDir folder_;

    QString Film(const QString& name) const { return folder_.filePath(name); }
    // Waits for some live pictures, which a running recording also writes.
    static void WaitForPictures(const TAviCapture& dialog, int count) {
        QVERIFY(dialog.CaptureWindow);
        QSignalSpy shown(dialog.CaptureWindow.data(), &CaptureWindowWidget::PictureShown);
        QTRY_VERIFY_WITH_TIMEOUT(shown.count() >= count, 30000);
    }

private Q_SLOTS:
    void init() {
        dialogs_ = ScriptedDialogs();
        SetDialogs(&dialogs_);
        SetCaptureDrivers(std::vector{torvi::CaptureSource::Synthetic(
            320, 240, 25, "drawbox=x=0:y=0:w=iw:h=ih/10:color=white:t=fill")});
    }
    void cleanup() {
        SetCaptureDrivers(std::nullopt);
        SetDialogs(nullptr);
    }

    void WindowAndFileDialog() {
        TAviCapture dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Record AVI"));
        QCOMPARE(dialog.size(), QSize(320, 297));
        QCOMPARE(dialog.Panel1->geometry(), QRect(0, 0, 320, 240));
        QVERIFY(dialog.Edit1->isReadOnly());
        QVERIFY(!dialog.FileChosen);
        QVERIFY(!dialog.PreviewStarted);
        QVERIFY(!dialog.CaptureWindow); // nothing is created before the showing

        dialog.show();
        QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
        QCOMPARE(dialogs_.SaveRequests.size(), 1);
        const SaveFileRequest& request = dialogs_.SaveRequests.front();
        QCOMPARE(request.Title, QStringLiteral("Record to AVI"));
        QCOMPARE(request.FileName, QStringLiteral("Capture.avi"));
        QCOMPARE(request.Filters, QStringLiteral("AVI File (*.avi)"));
        QCOMPARE(request.DefaultSuffix, QStringLiteral("avi"));
        QVERIFY(request.ConfirmOverwrite);
        dialog.close();
    }

    // Showing creates the capture window over the panel, connects driver 0,
    // asks for 320 x 240 16-bit pictures, reconnects and starts the live picture.
    void ShowingStartsTheLivePicture() {
        TAviCapture dialog;
        dialog.show();
        QVERIFY(dialog.PreviewStarted);
        QVERIFY(dialog.DriverConnected);
        const QPointer<CaptureWindowWidget> window = dialog.CaptureWindow;
        QVERIFY(window);
        QCOMPARE(window->parentWidget(), dialog.Panel1);
        QCOMPARE(window->geometry(), dialog.Panel1->rect());
        QVERIFY(window->isVisible());

        QVERIFY(window->Connected());
        QVERIFY(window->Overlay());
        QCOMPARE(window->Format(), (torvi::CaptureFormat{320, 240}));

        WaitForPictures(dialog, 2);
        const QImage picture = window->Picture();
        QCOMPARE(picture.size(), QSize(320, 240));
        QCOMPARE(picture.pixelColor(160, 10), QColor(248, 248, 248)); // 5-bit white
        QVERIFY(picture.pixelColor(160, 230) != QColor(248, 248, 248));

        dialog.close();
        QVERIFY(window.isNull());
        QVERIFY(!dialog.DriverConnected);
        QVERIFY(dialogs_.Errors.isEmpty());
    }

    void StateTableFromChoosingToRecordingAgain() {
        TAviCapture dialog;
        dialog.show();
        CheckButtons(dialog, Buttons::PreviewingNoFile);
        QVERIFY(dialog.Edit1->text().isEmpty());

        dialogs_.SaveAnswers = {std::nullopt};
        QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
        CheckButtons(dialog, Buttons::PreviewingNoFile);
        QVERIFY(!dialog.FileChosen);

        const QString film = Film("Capture.avi");
        dialogs_.SaveAnswers = {film, std::nullopt};
        QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
        QCOMPARE(dialog.Edit1->text(), film);
        QVERIFY(dialog.FileChosen);
        CheckButtons(dialog, Buttons::Ready);
        QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton); // cancelled: the file stays
        QCOMPARE(dialog.Edit1->text(), film);
        CheckButtons(dialog, Buttons::Ready);

        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Recording);
        WaitForPictures(dialog, 5);
        QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Ready);
        QVERIFY(CompleteFilm(film));
        const qint64 firstSize = QFileInfo(film).size();

        // Stopped: "Record" records again into the same file.
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Recording);
        WaitForPictures(dialog, 2);
        QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Ready);
        QVERIFY(CompleteFilm(film));
        QVERIFY(QFileInfo(film).size() != firstSize);
        QVERIFY(dialogs_.Errors.isEmpty());
        dialog.close();
    }

    void ClosingWhileRecordingThenAFreshDialog() {
        const QString film = Film("Closed.avi");
        {
            TAviCapture dialog;
            dialog.show();
            const QPointer<CaptureWindowWidget> first = dialog.CaptureWindow;
            dialogs_.SaveAnswers = {film};
            QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            WaitForPictures(dialog, 3);
            dialog.close();
            QVERIFY(first.isNull());
            QVERIFY(!dialog.DriverConnected);
        }
        // Closing the capture window completed the film; nothing was lost.
        QVERIFY(CompleteFilm(film));
        QVERIFY(dialogs_.Errors.isEmpty());

        TAviCapture again;
        again.show();
        QVERIFY(again.CaptureWindow);
        QVERIFY(again.DriverConnected);
        QVERIFY(again.Edit1->text().isEmpty());
        QVERIFY(!again.FileChosen);
        CheckButtons(again, Buttons::PreviewingNoFile);
        again.close();
    }

    // Recording that cannot start, or fails on the way, is reported and
    // leaves no unreadable film; the buttons return to "Record".
    void FailuresAreReported() {
        SetCaptureDrivers(std::vector<torvi::CaptureSource>{});
        {
            TAviCapture dialog;
            dialog.show();
            QVERIFY(!dialog.DriverConnected);
            QVERIFY(dialog.CaptureWindow);
            dialogs_.SaveAnswers = {Film("NoDevice.avi")};
            QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
            CheckButtons(dialog, Buttons::Ready);
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            QCOMPARE(dialogs_.Errors.size(), 1);
            QVERIFY2(dialogs_.Errors[0].contains("no capture device"),
                     qPrintable(dialogs_.Errors[0]));
            QCOMPARE(dialogs_.ErrorIcons[0], MessageIcon::Stop);
            CheckButtons(dialog, Buttons::Ready);
            QVERIFY(!QFile::exists(Film("NoDevice.avi")));
            dialog.close();
        }
        init();
        dialogs_.Errors.clear();
        TAviCapture dialog;
        dialog.show();
        const QString unwritable = Film("missing/Capture.avi");
        dialogs_.SaveAnswers = {unwritable};
        QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        QCOMPARE(dialogs_.Errors.size(), 1);
        QVERIFY2(dialogs_.Errors[0].contains("Cannot create file " + unwritable),
                 qPrintable(dialogs_.Errors[0]));
        CheckButtons(dialog, Buttons::Ready);

        // The disk fills up part-way: the unfinished film is removed.
        const QString film = Film("Full.avi");
        dialogs_.SaveAnswers = {film};
        QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
        {
            torvi::test::FileSizeLimit limit(1 << 20);
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            CheckButtons(dialog, Buttons::Recording);
            QTRY_COMPARE_WITH_TIMEOUT(dialogs_.Errors.size(), 2, 30000);
        }
        QVERIFY2(dialogs_.Errors[1].contains("Cannot write file " + film),
                 qPrintable(dialogs_.Errors[1]));
        CheckButtons(dialog, Buttons::Ready);
        QVERIFY(!QFile::exists(film));
        QCOMPARE(QDir(folder_.path()).entryList({"Full*"}, QDir::Files), QStringList());
        dialog.close();
    }
};

QTEST_MAIN(CaptureDialogTest)
#include "CaptureDialogTest.moc"
