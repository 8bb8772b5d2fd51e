#include "GuiFixtures.h"
#include "ScriptedDialogs.h"
#include "app/Windows.h"

#include "widgets/PictureView.h"
#include "windows/Obrazek_U.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QtTest>

namespace {
// The program of the running test, made as start-up makes it.
std::unique_ptr<TestProgram> program_;
TObrazek* W = nullptr;
} // namespace

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
        W->OtevtGIF1Click();
        WaitForRun(W);
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

    void filmOpensAsAMeasurementAndStepsFrameByFrame() {
        Open(Film("mpeg4-250.avi"));
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(W->Model.FileExt(), std::string(".AVI"));
        QCOMPARE(W->Model.Frames().size(), std::size_t{250});
        QCOMPARE(W->Model.Frames()[249], std::string("249"));
        QCOMPARE(W->StatusPanel0->text(), QStringLiteral("Count of opened pictures *.AVI: 250"));
        QCOMPARE(W->Edit2->text(), QStringLiteral("mpeg4-250.avi (0)"));
        QCOMPARE(W->ProgressBar->maximum(), 249);
        QVERIFY(W->StatusPanel1->text().isEmpty());
        QVERIFY(W->ClickHandlerInstalled());
        const torvi::Bitmap first = W->Image1->Picture();
        QVERIFY(!first.Empty());

        W->BitBtn2->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("mpeg4-250.avi (1)"));
        QVERIFY(!(W->Image1->Picture() == first));
        W->BitBtn7->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("mpeg4-250.avi (249)"));
        W->BitBtn2->click();
        QCOMPARE(W->Edit2->text(), QStringLiteral("mpeg4-250.avi (0)"));
        QCOMPARE(W->Image1->Picture(), first);
    }

    void mpegFilmsTakeTheirOwnTypeWhateverTheName() {
        Open(Film("mpeg1-opengop.mpg"), 2);
        QVERIFY(dialogs_->Errors.isEmpty());
        QCOMPARE(W->Model.FileExt(), std::string(".MPG"));
        QVERIFY(
            W->StatusPanel0->text().startsWith(QStringLiteral("Count of opened pictures *.MPG: ")));
        QVERIFY(W->Edit2->text().startsWith(QStringLiteral("mpeg1-opengop.mpg (")));
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
        QCOMPARE(W->Model.Frames().size(), std::size_t{3});
        Open(film);
        QCOMPARE(dialogs_->Errors, QStringList{message});
        QCOMPARE(dialogs_->ErrorIcons.constFirst(), torvi::gui::MessageIcon::Stop);
        QVERIFY(!W->BitBtn2->isEnabled());
        QVERIFY(!W->Button1->isEnabled());
        QCOMPARE(W->StatusPanel0->text(), QStringLiteral("Count of opened pictures *.AVI: 3"));
        // FFmpeg's own reason goes with the codec message; the status bar is
        // left as the Open found it.
        QCOMPARE(!dialogs_->Details.constFirst().isEmpty(),
                 film.endsWith(QStringLiteral("not-a-film.avi")));
        QVERIFY(W->StatusPanel1->text().isEmpty());
        QCOMPARE(W->ProgressBar->maximum(), 2);
        QCOMPARE(W->ProgressBar->value(), 0);
    }
};

QTEST_MAIN(FilmWindowTest)
#include "FilmWindowTest.moc"
