#include "GuiFixtures.h"
#include "ScriptedDialogs.h"
#include "app/Windows.h"

#include "widgets/PictureView.h"
#include "windows/Graf_U.h"
#include "windows/Maskovani_U.h"
#include "windows/Obrazek_U.h"

#include <QChartView>
#include <QLineEdit>
#include <QLineSeries>
#include <QMimeData>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>

namespace {
std::unique_ptr<TestProgram> program_;
TObrazek* W = nullptr;
} // namespace

// What the main window adds around its picture: files dropped on it, the
// film's own rate, the graph leading back to a frame and that frame's
// measured direction.
class PictureWindowTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dial_;
    ScriptedDialogs* dialogs_ = nullptr;
    const std::vector<double> angles_{0, 45, 90, 135, 180, 225, 270, 315, 0, 45};

    static void Drop(const QString& path) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(path)});
        const QPoint middle = W->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(W, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(middle, Qt::CopyAction, &data, Qt::LeftButton, {});
        QCoreApplication::sendEvent(W, &drop);
        QVERIFY(drop.isAccepted());
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

    void droppedFilmsOpenWithTheirOwnRate() {
        const QString films = QStringLiteral(TORVI_TEST_DATA "/films/");
        Drop(films + QStringLiteral("rate-30.mp4"));
        QTRY_COMPARE(W->Edit2->text(), QStringLiteral("rate-30.mp4 (0)"));
        QCOMPARE(W->Edit3->text(), QStringLiteral("30"));

        // Written with the user's separator.
        const QByteArray before = qgetenv("LC_ALL");
        qputenv("LC_ALL", "de_DE.UTF-8");
        Drop(films + QStringLiteral("rate-29.97.mp4"));
        QTRY_COMPARE(W->Edit2->text(), QStringLiteral("rate-29.97.mp4 (0)"));
        QCOMPARE(W->Edit3->text(), QStringLiteral("29,97"));
        qputenv("LC_ALL", before);

        // Pictures have no rate of their own: the usual 25 comes back.
        Drop(dial_.filePath(QStringLiteral("d003.bmp")));
        QTRY_COMPARE(W->Edit2->text(), QStringLiteral("d003.bmp"));
        QCOMPARE(W->Edit3->text(), QStringLiteral("25"));
        QVERIFY(dialogs_->Errors.isEmpty());
    }

    void graphClickShowsThatFrameWithItsMeasuredDirection() {
        Drop(dial_.filePath(QStringLiteral("d001.bmp")));
        QTRY_VERIFY(W->ClickHandlerInstalled());
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 10));
        W->Button2->click();
        WaitForRun(W);
        // A masking square this small is shown pixel for pixel.
        QTRY_VERIFY(W->Maskovani->isVisible());
        QCOMPARE(W->Maskovani->Image1->Zoom(), 1.0);
        QVERIFY(W->Maskovani->Image1->Picture() == W->Maskovani->Shown);
        // The graph is modal: it is shown again after the measurement, on its own.
        auto* poll = new QTimer(W->Graf);
        connect(poll, &QTimer::timeout, poll, [poll] {
            if (!W->Graf->isVisible()) return;
            W->Graf->accept();
            poll->deleteLater();
        });
        poll->start(5);
        W->BitBtn3->click();
        WaitForRun(W);
        QVERIFY(W->Model.ResultsValid());

        W->Graf->show();
        QVERIFY(QTest::qWaitForWindowExposed(W->Graf));
        QChart* chart = W->Graf->Chart1->chart();
        const QPointF point = W->Graf->Series1->points().at(6);
        const QPoint at =
            W->Graf->Chart1->mapFromScene(chart->mapToPosition(point, W->Graf->Series1));
        QTest::mouseClick(W->Graf->Chart1->viewport(), Qt::LeftButton, {}, at);
        QTRY_COMPARE(W->Model.CurrentIndex(), 6);
        QCOMPARE(W->Edit2->text(), QStringLiteral("d007.bmp"));
        QVERIFY(W->Image1->MeasuredDirection());
        QCOMPARE(*W->Image1->MeasuredDirection(), angles_[6]);
    }
};

QTEST_MAIN(PictureWindowTest)
#include "PictureWindowTest.moc"
