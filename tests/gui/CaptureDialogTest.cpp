#include "../engine/CaptureTestSupport.h"
#include "AVICap.h"
#include "AviCapture_U.h"
#include "CaptureWindowWidget.h"
#include "UserDialogs.h"

#include <QFile>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
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

    void ShowError(QWidget*, const QString& text, MessageIcon icon) override {
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

struct SentMessage {
    HWND Window;
    UINT Message;
    WPARAM WParam;
    QByteArray Block; // the video format block, for that message
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
    QList<SentMessage> sent_;
    QTemporaryDir folder_;

    QString Film(const QString& name) const { return folder_.filePath(name); }
    QList<UINT> Messages() const {
        QList<UINT> messages;
        for (const SentMessage& m : sent_)
            messages.append(m.Message);
        return messages;
    }
    // Waits for some live pictures, which a running recording also writes.
    static void WaitForPictures(int count) {
        auto* window = CaptureWindowFromHandle(CaptureWindow);
        QVERIFY(window != nullptr);
        QSignalSpy shown(window, &CaptureWindowWidget::PictureShown);
        QTRY_VERIFY_WITH_TIMEOUT(shown.count() >= count, 30000);
    }

private Q_SLOTS:
    void init() {
        dialogs_ = ScriptedDialogs();
        SetDialogs(&dialogs_);
        SetCaptureDrivers(std::vector{torvi::CaptureSource::Synthetic(
            320, 240, 25, "drawbox=x=0:y=0:w=iw:h=ih/10:color=white:t=fill")});
        sent_.clear();
        SetMessageObserver([this](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
            QByteArray block;
            if (message == WM_CAP_SET_VIDEOFORMAT)
                block = QByteArray(reinterpret_cast<const char*>(lParam), static_cast<int>(wParam));
            sent_.append({window, message, wParam, block});
        });
    }
    void cleanup() {
        SetMessageObserver({});
        SetCaptureDrivers(std::nullopt);
        SetDialogs(nullptr);
        QCOMPARE(CaptureWindow, HWND{0});
    }

    void WindowAndFileDialog() {
        TAviCapture dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("Record AVI"));
        QCOMPARE(dialog.size(), QSize(320, 297));
        QCOMPARE(dialog.Panel1->geometry(), QRect(0, 0, 320, 240));
        QVERIFY(dialog.Edit1->isReadOnly());
        QVERIFY(!dialog.FileChosen);
        QVERIFY(!dialog.PreviewStarted);
        QCOMPARE(CaptureWindow, HWND{0}); // nothing is created before the showing

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
        QVERIFY(DriverConnected);
        QVERIFY(IsWindow(CaptureWindow));
        auto* window = CaptureWindowFromHandle(CaptureWindow);
        QCOMPARE(window->parentWidget(), dialog.Panel1);
        QCOMPARE(window->geometry(), dialog.Panel1->rect());
        QVERIFY(window->isVisible());

        QCOMPARE(Messages(), (QList<UINT>{WM_CAP_DRIVER_CONNECT, WM_CAP_SET_VIDEOFORMAT,
                                          WM_CAP_DRIVER_DISCONNECT, WM_CAP_DRIVER_CONNECT,
                                          WM_CAP_SET_OVERLAY}));
        for (const SentMessage& m : sent_)
            QCOMPARE(m.Window, CaptureWindow);
        QCOMPARE(sent_[0].WParam, WPARAM{0}); // driver 0
        QCOMPARE(sent_[1].WParam, WPARAM{44});
        QCOMPARE(sent_[1].Block.size(), 44);
        const auto* block = reinterpret_cast<const unsigned char*>(sent_[1].Block.constData());
        QCOMPARE(block[20] | block[21] << 8 | block[22] << 16, 153600);
        QCOMPARE(sent_[4].WParam, ~WPARAM{0});
        QCOMPARE(window->Format(), (torvi::CaptureFormat{320, 240}));

        WaitForPictures(2);
        const QImage picture = window->Picture();
        QCOMPARE(picture.size(), QSize(320, 240));
        QCOMPARE(picture.pixelColor(160, 10), QColor(248, 248, 248)); // 5-bit white
        QVERIFY(picture.pixelColor(160, 230) != QColor(248, 248, 248));

        dialog.close();
        QVERIFY(!IsWindow(sent_[0].Window));
        QVERIFY(!DriverConnected);
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

        sent_.clear();
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Recording);
        QCOMPARE(Messages(), (QList<UINT>{WM_CAP_FILE_SET_CAPTURE_FILEA, WM_CAP_SEQUENCE}));
        WaitForPictures(5);
        QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Ready);
        QCOMPARE(Messages().last(), WM_CAP_STOP);
        QVERIFY(CompleteFilm(film));
        const qint64 firstSize = QFileInfo(film).size();

        // Stopped: "Record" records again into the same file.
        QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Recording);
        WaitForPictures(2);
        QTest::mouseClick(dialog.BitBtn2, Qt::LeftButton);
        CheckButtons(dialog, Buttons::Ready);
        QVERIFY(CompleteFilm(film));
        QVERIFY(QFileInfo(film).size() != firstSize);
        QVERIFY(dialogs_.Errors.isEmpty());
        dialog.close();
    }

    void ClosingWhileRecordingThenAFreshDialog() {
        const QString film = Film("Closed.avi");
        HWND first = 0;
        {
            TAviCapture dialog;
            dialog.show();
            first = CaptureWindow;
            dialogs_.SaveAnswers = {film};
            QTest::mouseClick(dialog.BitBtn3, Qt::LeftButton);
            QTest::mouseClick(dialog.BitBtn1, Qt::LeftButton);
            WaitForPictures(3);
            sent_.clear();
            dialog.close();
            QCOMPARE(CaptureWindow, HWND{0});
            QVERIFY(!IsWindow(first));
            QVERIFY(!Messages().contains(WM_CAP_STOP));
            QVERIFY(Messages().contains(WM_CAP_DRIVER_DISCONNECT));
        }
        // Closing the capture window completed the film; nothing was lost.
        QVERIFY(CompleteFilm(film));
        QVERIFY(dialogs_.Errors.isEmpty());

        TAviCapture again;
        again.show();
        QVERIFY(IsWindow(CaptureWindow));
        QVERIFY(CaptureWindow != first);
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
            QVERIFY(!DriverConnected);
            QVERIFY(IsWindow(CaptureWindow));
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
