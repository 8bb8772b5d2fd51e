#include "ScriptedDialogs.h"

#include "Obrazek_U.h"
#include "PictureView.h"
#include "Windows.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

// Films opened through the main window: their texts, navigation and messages.
class FilmWindowTest : public QObject {
    Q_OBJECT

private:
    ScriptedDialogs* dialogs_ = nullptr;

    static QString Film(const char* name) {
        return QStringLiteral(TORVI_TEST_DATA "/films/") + QLatin1String(name);
    }
    void Open(const QString& path, int filter = 1) {
        dialogs_->OpenAnswers.push_back({path, filter});
        Obrazek->OtevtGIF1Click();
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

    void filmOpensAsAMeasurementAndStepsFrameByFrame() {
        Open(Film("mpeg4-250.avi"));
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(Obrazek->FileExt, std::string(".AVI"));
        QCOMPARE(Obrazek->FrameList.size(), std::size_t{250});
        QCOMPARE(Obrazek->FrameList[249], std::string("249"));
        QCOMPARE(Obrazek->StatusPanel0->text(),
                 QStringLiteral("Count of opened pictures *.AVI: 250"));
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("mpeg4-250.avi (0)"));
        QCOMPARE(Obrazek->ProgressBar->maximum(), 249);
        QVERIFY(Obrazek->StatusPanel1->text().isEmpty());
        QVERIFY(Obrazek->ClickHandlerInstalled());
        const torvi::Bitmap first = Obrazek->Image1->Picture();
        QVERIFY(!first.Empty());

        Obrazek->BitBtn2->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("mpeg4-250.avi (1)"));
        QVERIFY(!(Obrazek->Image1->Picture() == first));
        Obrazek->BitBtn7->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("mpeg4-250.avi (249)"));
        Obrazek->BitBtn2->click();
        QCOMPARE(Obrazek->Edit2->text(), QStringLiteral("mpeg4-250.avi (0)"));
        QCOMPARE(Obrazek->Image1->Picture(), first);
    }

    void mpegFilmsTakeTheirOwnTypeWhateverTheName() {
        Open(Film("mpeg1-opengop.mpg"), 2);
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(Obrazek->FileExt, std::string(".MPG"));
        QVERIFY(Obrazek->StatusPanel0->text().startsWith(
            QStringLiteral("Count of opened pictures *.MPG: ")));
        QVERIFY(Obrazek->Edit2->text().startsWith(QStringLiteral("mpeg1-opengop.mpg (")));
    }

    void unusableFilmsAreRefused_data() {
        QTest::addColumn<QString>("film");
        QTest::addColumn<QString>("message");
        QTest::newRow("two frames")
            << Film("mjpeg-2.avi") << "More than two pictures in *.AVI file are needed";
        QTest::newRow("one frame") << Film("mjpeg-1.avi") << "Missing system video codec";
        QTest::newRow("not a film") << Film("not-a-film.avi") << "Missing system video codec";
    }
    void unusableFilmsAreRefused() {
        QFETCH(QString, film);
        QFETCH(QString, message);
        Open(Film("mjpeg-3.avi"));
        QCOMPARE(Obrazek->FrameList.size(), std::size_t{3});
        Open(film);
        QCOMPARE(dialogs_->Errors, QStringList{message});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::Stop);
        QVERIFY(!Obrazek->BitBtn2->isEnabled());
        QVERIFY(!Obrazek->Button1->isEnabled());
        QCOMPARE(Obrazek->StatusPanel0->text(),
                 QStringLiteral("Count of opened pictures *.AVI: 3"));
    }
};

QTEST_MAIN(FilmWindowTest)
#include "FilmWindowTest.moc"
