#include "GuiFixtures.h"
#include "ScriptedDialogs.h"

#include "app/CommandLineFile.h"
#include "app/Windows.h"
#include "windows/Obrazek_U.h"

#include <QDir>
#include <QLineEdit>
#include <QtTest>

#include <memory>

// `torvi FILE`: the file is opened as if chosen in the open dialog with the
// type of its extension.
class CommandLineFileTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString sequence_;
    ScriptedDialogs* dialogs_ = nullptr;
    std::unique_ptr<TestProgram> program_;
    TObrazek* Obrazek = nullptr;

private Q_SLOTS:
    void initTestCase() { sequence_ = MakeBmpSequence(dir_, 4); }
    void init() {
        program_ = std::make_unique<TestProgram>();
        dialogs_ = &program_->Dialogs;
        Obrazek = &program_->Windows.Main;
    }
    void cleanup() {
        dialogs_ = nullptr;
        program_.reset();
    }

    void opensWithTheTypeOfItsExtension_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("filterIndex");
        QTest::addColumn<QString>("frameField");
        QTest::addColumn<int>("frames");
        QTest::addColumn<QString>("error");
        const QString films = QStringLiteral(TORVI_TEST_DATA "/films/");
        QTest::newRow("picture of a sequence")
            << QStringLiteral("SEQ/p003.bmp") << 3 << "p003.bmp" << 4 << QString();
        QTest::newRow("picture named from the current folder")
            << QStringLiteral("p002.bmp") << 3 << "p002.bmp" << 4 << QString();
        QTest::newRow("AVI film") << films + "mpeg4-250.avi" << 1 << "mpeg4-250.avi (0)" << 250
                                  << QString();
        QTest::newRow("MOV film under the container type")
            << films + "qtrle.mov" << 10 << "qtrle.mov (0)" << -1 << QString();
        QTest::newRow("unknown type") << QStringLiteral("SEQ/notes.txt") << 0 << "" << 0
                                      << "Unknown picture file extension (.TXT)";
        QTest::newRow("missing file")
            << QStringLiteral("SEQ/p009.bmp") << 0 << "" << 0 << "Cannot open file SEQ/p009.bmp";
    }
    void opensWithTheTypeOfItsExtension() {
        QFETCH(QString, path);
        QFETCH(int, filterIndex);
        QFETCH(QString, frameField);
        QFETCH(int, frames);
        QFETCH(QString, error);
        path.replace(QStringLiteral("SEQ"), sequence_);
        error.replace(QStringLiteral("SEQ"), sequence_);
        const QString cwd = QDir::currentPath();
        QDir::setCurrent(sequence_);
        const QString folder = QFileInfo(path).absolutePath();
        OpenCommandLineFile(*Obrazek, path);
        WaitForRun(Obrazek);
        QDir::setCurrent(cwd);

        if (!error.isEmpty()) {
            QCOMPARE(dialogs_->Errors, QStringList{error});
            QVERIFY(!Obrazek->Model.HasFrameList());
            return;
        }
        QCOMPARE(dialogs_->Errors, QStringList());
        QCOMPARE(dialogs_->OpenCount, 0);
        QCOMPARE(Obrazek->OpenPictureDialog1.FilterIndex, filterIndex);
        QCOMPARE(Obrazek->OpenPictureDialog1.Folder, folder);
        QCOMPARE(Obrazek->Edit2->text(), frameField);
        if (frames > 0) QCOMPARE(static_cast<int>(Obrazek->Model.Frames().size()), frames);
        QVERIFY(Obrazek->ClickHandlerInstalled());

        // The next Open shows the dialog again.
        Obrazek->OtevtGIF1Click();
        WaitForRun(Obrazek);
        QCOMPARE(dialogs_->OpenCount, 1);
    }
};

QTEST_MAIN(CommandLineFileTest)
#include "CommandLineFileTest.moc"
