#include "widgets/PicturePane.h"
#include "Bitmap.h"
#include "widgets/PictureView.h"
#include "widgets/TimeValueChart.h"

#include <QApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>
#include <QtTest>

namespace {

// A picture whose neighbouring pixels differ: blue = x, green = y (mod 256).
torvi::Bitmap Numbered(int width, int height) {
    torvi::Bitmap picture(width, height, torvi::PixelFormat::Pf24Bit);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = picture.ScanLine(y) + 3 * x;
            p[0] = static_cast<std::uint8_t>(x);
            p[1] = static_cast<std::uint8_t>(y);
            p[2] = 100;
        }
    return picture;
}

bool IsMark(QRgb pixel) {
    // Yellow, or mostly yellow where a line covers part of a pixel.
    return qRed(pixel) > 150 && qGreen(pixel) > 130 && qBlue(pixel) < 90;
}

} // namespace

// The picture view and its pane: fitting, zoom, the clicks at every zoom
// and the marks; the graph's clicks.
class PicturePaneTest : public QObject {
    Q_OBJECT

private:
    // The picture pixel a left click at a point of the pane's viewport reports.
    static QPoint ClickAt(PicturePane& pane, QPoint onViewport) {
        PictureView* view = pane.View();
        QSignalSpy clicks(view, &PictureView::MouseDown);
        QTest::mouseClick(view, Qt::LeftButton, {},
                          view->mapFrom(pane.Scroll()->viewport(), onViewport));
        if (clicks.size() != 1) return {-1, -1};
        return {clicks.at(0).at(1).toInt(), clicks.at(0).at(2).toInt()};
    }

private Q_SLOTS:
    void largePictureIsFittedAndClicksLandOnItsPixelsAtEveryZoom() {
        PicturePane pane;
        pane.resize(1000, 700);
        pane.show();
        QVERIFY(QTest::qWaitForWindowExposed(&pane));
        PictureView* view = pane.View();
        QWidget* viewport = pane.Scroll()->viewport();
        view->SetPicture(Numbered(1920, 1080));

        // All of it on view, aspect kept, fitted to the width, no scrolling.
        QVERIFY(pane.Fitting());
        QVERIFY(view->width() <= viewport->width() && view->height() <= viewport->height());
        QVERIFY(viewport->width() - view->width() <= 1);
        QVERIFY(std::abs(view->width() * 1080.0 / 1920 - view->height()) <= 1);
        QCOMPARE(pane.Scroll()->verticalScrollBar()->maximum(), 0);
        const QPoint middle = ClickAt(pane, QPoint(viewport->width(), viewport->height()) / 2);
        QVERIFY(std::abs(middle.x() - 960) <= 1 && std::abs(middle.y() - 540) <= 1);

        // Ctrl + wheel zooms about the mouse: once the picture fills the
        // space, the pixel under the mouse stays there.
        const QPoint at(viewport->width() / 4, viewport->height() / 3);
        const auto wheelUp = [&] {
            QWheelEvent wheel(at, viewport->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                              Qt::ControlModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(viewport, &wheel);
            // The scroll bars appear as they do on the screen, after the event.
            QCoreApplication::processEvents();
        };
        wheelUp();
        const QPoint before = ClickAt(pane, at);
        while (view->Zoom() < 4)
            wheelUp();
        QCOMPARE(view->Zoom(), 4.0);
        QVERIFY(!pane.Fitting());
        const QPoint after = ClickAt(pane, at);
        QVERIFY((after - before).manhattanLength() <= 2);
        QCOMPARE(ClickAt(pane, at + QPoint(8, 4)), after + QPoint(2, 1));

        // Above 100 % every picture pixel is a square of 4 x 4, not smoothed.
        const QImage block = view->grab(QRect(after.x() * 4, after.y() * 4, 8, 4)).toImage();
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 8; ++x)
                QCOMPARE(qBlue(block.pixel(x, y)), (after.x() + x / 4) % 256);

        // A click gives the pane the keys: - and + step the zoom.
        QCOMPARE(QApplication::focusWidget(), pane.Scroll());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Minus);
        QCOMPARE(view->Zoom(), 3.0);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Plus);
        QCOMPARE(view->Zoom(), 4.0);

        // Fit again; a small picture stands in the middle and a click beside it does nothing.
        pane.Fit();
        QCoreApplication::processEvents();
        QVERIFY(std::abs(ClickAt(pane, QPoint(viewport->width(), viewport->height()) / 2).x() -
                         960) <= 1);
        view->SetPicture(Numbered(100, 50));
        QCOMPARE(view->Zoom(), 1.0);
        QCOMPARE(ClickAt(pane, view->pos() + QPoint(50, 25)), QPoint(50, 25));
        QSignalSpy clicks(view, &PictureView::MouseDown);
        QTest::mouseClick(viewport, Qt::LeftButton, {}, QPoint(5, 5));
        QVERIFY(clicks.isEmpty());
    }

    void marksAreDrawnOverThePictureOnly() {
        PictureView view;
        torvi::Bitmap grey(200, 150, torvi::PixelFormat::Pf24Bit);
        for (int y = 0; y < grey.Height(); ++y)
            std::fill(grey.ScanLine(y), grey.ScanLine(y) + 3 * grey.Width(), std::uint8_t{128});
        view.SetPicture(grey);
        view.SetMarks(QPoint(80, 60), 40, QPoint(80, 20));
        view.SetMeasuredDirection(45, QStringLiteral("45"));

        QImage shown = view.grab().toImage();
        QVERIFY(IsMark(shown.pixel(80, 55))); // the cross
        QVERIFY(IsMark(shown.pixel(75, 60)));
        QVERIFY(IsMark(shown.pixel(120, 60))); // the circle of the radius
        QVERIFY(IsMark(shown.pixel(80, 100)));
        QVERIFY(!IsMark(shown.pixel(100, 80))); // inside the circle, off the marks
        // The measured direction: a line up and right from the centre.
        const QRgb onLine = shown.pixel(80 + 14, 60 - 14);
        QVERIFY(qRed(onLine) > 200 && qGreen(onLine) < 140);

        view.SetZoom(2);
        shown = view.grab().toImage();
        QVERIFY(IsMark(shown.pixel(241, 121))); // (80.5 + 40, 60.5) at 200 %

        view.SetMarksShown(false);
        shown = view.grab().toImage();
        QCOMPARE(shown.pixel(241, 121), qRgb(128, 128, 128));
        QVERIFY(view.Picture() == grey);
    }

    void graphClickReportsThePointAndDragZooms() {
        auto* series = new QLineSeries;
        for (int k = 0; k <= 10; ++k)
            series->append(k / 10.0, k * k);
        const TimeValueChart made = NewTimeValueChart(series);
        made.AxisX->setRange(0, 1);
        made.AxisY->setRange(0, 100);
        TimeValueChartView view(made.Chart);
        view.resize(600, 400);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QSignalSpy clicked(&view, &TimeValueChartView::PointClicked);
        const auto onView = [&](QPointF value) {
            return view.mapFromScene(made.Chart->mapToPosition(value, series));
        };
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, onView({0.7, 20}));
        QVERIFY(clicked.wait());
        QCOMPARE(clicked.at(0).at(0).toInt(), 7);

        QTest::mousePress(view.viewport(), Qt::LeftButton, {}, onView({0.2, 80}));
        QTest::mouseMove(view.viewport(), onView({0.4, 50}));
        QTest::mouseRelease(view.viewport(), Qt::LeftButton, {}, onView({0.4, 20}));
        QVERIFY(std::abs(made.AxisX->min() - 0.2) < 0.02 &&
                std::abs(made.AxisX->max() - 0.4) < 0.02);
        QTest::mouseDClick(view.viewport(), Qt::LeftButton, {}, onView({0.3, 50}));
        QCOMPARE(made.AxisX->max(), 1.0);
    }
};

QTEST_MAIN(PicturePaneTest)
#include "PicturePaneTest.moc"
