#include "GuiFixtures.h"
#include "PictureFiles.h"
#include "ScriptedDialogs.h"
#include "app/Windows.h"

#include "widgets/PictureView.h"
#include "widgets/UpDown.h"
#include "windows/Obrazek_U.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {
// The program of the running test, made as start-up makes it.
std::unique_ptr<ProgramWindows> program_;
TObrazek* W = nullptr;
} // namespace

// torvi-measure against the window: the same settings must give the same file.
class CommandLineTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dial_;
    const QString tool_ = QStringLiteral(TORVI_BUILD_DIR "/src/cli/torvi-measure");

    struct Run {
        int Status;
        QByteArray Out, Err;
    };
    Run Measure(const QStringList& args, const QString& locale = QStringLiteral("C.UTF-8")) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), locale);
        p.setProcessEnvironment(env);
        p.start(tool_, args);
        if (!p.waitForFinished(60000)) return {-1, {}, {}};
        return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1,
                p.readAllStandardOutput(), p.readAllStandardError()};
    }
    static QByteArray ReadFile(const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(QFile::exists(tool_));
        MakeDialSequence(dial_, {0, 45, 90, 180, 315, 45, 90});
    }

    void toolWritesWhatTheWindowSaves() {
        // The window: open, mark, light hand off, OK, contrast 58, save.
        ScriptedDialogs dialogs;
        program_ = std::make_unique<ProgramWindows>();
        W = &program_->Main;
        dialogs.OpenAnswers.push_back({dial_.filePath(QStringLiteral("d003.bmp")), 3});
        W->OtevtGIF1Click();
        WaitForRun(W);
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(52, 13));
        W->Button2->click();
        WaitForRun(W);
        W->UpDown1->Step(-1);
        W->UpDown1->Step(-1);
        W->Edit5->setText(QString::fromUtf8("Zkou\u0161ka \u0159\u00e9"));
        W->Edit3->setText(QStringLiteral("29.97"));
        const QString windowFile = dial_.filePath(QStringLiteral("window.txt"));
        dialogs.SaveAnswers.push_back(windowFile);
        W->BitBtn4->click();
        WaitForRun(W);
        W = nullptr;
        program_.reset();
        QVERIFY(dialogs.Errors.isEmpty());

        const QString toolFile = dial_.filePath(QStringLiteral("tool.txt"));
        const Run run = Measure(
            {dial_.filePath(QStringLiteral("d003.bmp")), QStringLiteral("--centre"),
             QStringLiteral("40:40"), QStringLiteral("--tip"), QStringLiteral("52:13"),
             QStringLiteral("--contrast"), QStringLiteral("58"), QStringLiteral("--fps"),
             QStringLiteral("29.97"), QStringLiteral("--sample"),
             QString::fromUtf8("Zkou\u0161ka \u0159\u00e9"), QStringLiteral("-o"), toolFile});
        QCOMPARE(run.Status, 0);
        QVERIFY(run.Err.isEmpty()); // no progress display when standard error is not a terminal
        QCOMPARE(ReadFile(toolFile), ReadFile(windowFile));
        QVERIFY(ReadFile(toolFile).startsWith("Sample: Zkou\x9aka ?\xe9\r\n"));

        // Without -o the table goes to standard output.
        const Run toStdout =
            Measure({dial_.filePath(QStringLiteral("d001.bmp")), QStringLiteral("--centre"),
                     QStringLiteral("40:40"), QStringLiteral("--radius"), QStringLiteral("30")});
        QCOMPARE(toStdout.Status, 0);
        QVERIFY(toStdout.Out.contains("     0.28000           450.00000\r\n\x0c\r\n"));
    }

    void commaLocaleReadsAndWritesCommas() {
        const Run run =
            Measure({dial_.filePath(QStringLiteral("d001.bmp")), QStringLiteral("--centre"),
                     QStringLiteral("40:40"), QStringLiteral("--radius"), QStringLiteral("30"),
                     QStringLiteral("--fps"), QStringLiteral("12,5")},
                    QStringLiteral("de_DE.UTF-8"));
        QCOMPARE(run.Status, 0);
        QVERIFY(run.Out.contains("Number of frames per second    (x-axis): 12,5\r\n"));
        QVERIFY(run.Out.contains("     0,08000             0,00000\r\n"));
        const Run point =
            Measure({dial_.filePath(QStringLiteral("d001.bmp")), QStringLiteral("--centre"),
                     QStringLiteral("40:40"), QStringLiteral("--radius"), QStringLiteral("30"),
                     QStringLiteral("--fps"), QStringLiteral("12.5")},
                    QStringLiteral("de_DE.UTF-8"));
        QCOMPARE(point.Status, 1);
        QCOMPARE(point.Err, QByteArray("torvi-measure: The values you entered are not valid.\n"));
    }

    void filmIsTimedAtItsOwnRateUnlessFpsIsGiven() {
        const QString film = QStringLiteral(TORVI_TEST_DATA "/films/rate-29.97.mp4");
        const QStringList marks{QStringLiteral("--centre"), QStringLiteral("16:12"),
                                QStringLiteral("--radius"), QStringLiteral("8")};
        const Run own = Measure(QStringList{film} + marks, QStringLiteral("de_DE.UTF-8"));
        QCOMPARE(own.Status, 0);
        QVERIFY(own.Out.contains("Number of frames per second    (x-axis): 29,97\r\n"));
        const Run given = Measure(QStringList{film} + marks +
                                  QStringList{QStringLiteral("--fps"), QStringLiteral("25")});
        QCOMPARE(given.Status, 0);
        QVERIFY(given.Out.contains("Number of frames per second    (x-axis): 25\r\n"));
    }

    void toolAndWindowAgreeWhereTheCLibraryLacksTheLocale() {
        // pl_PL is not generated for the tests, so the C library knows no
        // Polish; both programs take it from the engine's locale data: a comma
        // separator and Windows-1250.
        const QByteArray polish("pl_PL.UTF-8");
        const QByteArray before = qgetenv("LC_ALL");
        qputenv("LC_ALL", polish);
        ScriptedDialogs dialogs;
        program_ = std::make_unique<ProgramWindows>();
        W = &program_->Main;
        dialogs.OpenAnswers.push_back({dial_.filePath(QStringLiteral("d002.bmp")), 3});
        W->OtevtGIF1Click();
        WaitForRun(W);
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(W->Image1, Qt::LeftButton, {}, QPoint(52, 13));
        W->Button2->click();
        WaitForRun(W);
        W->Edit5->setText(QString::fromUtf8("Pr\u00f3ba \u0142"));
        W->Edit3->setText(QStringLiteral("29.9,7"));
        QCOMPARE(W->Edit3->text(), QStringLiteral("299,7"));
        const QString windowFile = dial_.filePath(QStringLiteral("polish-window.txt"));
        dialogs.SaveAnswers.push_back(windowFile);
        W->BitBtn4->click();
        WaitForRun(W);
        W = nullptr;
        program_.reset();
        qputenv("LC_ALL", before);
        QVERIFY(dialogs.Errors.isEmpty());

        const QString toolFile = dial_.filePath(QStringLiteral("polish-tool.txt"));
        const Run run =
            Measure({dial_.filePath(QStringLiteral("d001.bmp")), QStringLiteral("--centre"),
                     QStringLiteral("40:40"), QStringLiteral("--tip"), QStringLiteral("52:13"),
                     QStringLiteral("--fps"), QStringLiteral("299,7"), QStringLiteral("--sample"),
                     QString::fromUtf8("Pr\u00f3ba \u0142"), QStringLiteral("-o"), toolFile},
                    QString::fromLatin1(polish));
        QCOMPARE(run.Status, 0);
        QCOMPARE(ReadFile(toolFile), ReadFile(windowFile));
        QVERIFY(ReadFile(toolFile).startsWith(
            "Sample: Pr\xf3"
            "ba \xb3\r\nNumber of frames per second    (x-axis): 299,7\r\n"));
        QVERIFY(ReadFile(toolFile).contains("\r\n     0,00334 "));
    }

    void codePageOverride() {
        const QStringList args{dial_.filePath(QStringLiteral("d001.bmp")),
                               QStringLiteral("--centre"),
                               QStringLiteral("40:40"),
                               QStringLiteral("--radius"),
                               QStringLiteral("30"),
                               QStringLiteral("--sample"),
                               QString::fromUtf8("\u041f\u0440\u043e\u0431\u0430 \u00b0")};
        const Run western = Measure(args);
        QVERIFY(western.Out.startsWith("Sample: ????? \xb0\r\n"));
        const Run cyrillic =
            Measure(args + QStringList{QStringLiteral("--codepage"), QStringLiteral("1251")});
        QCOMPARE(cyrillic.Status, 0);
        QVERIFY(cyrillic.Out.startsWith("Sample: \xcf\xf0\xee\xe1\xe0 \xb0\r\n"));
        // Russian writes commas, so only the sample lines compare.
        QVERIFY(Measure(args, QStringLiteral("ru_RU.UTF-8"))
                    .Out.startsWith("Sample: \xcf\xf0\xee\xe1\xe0 \xb0\r\n"));
        QVERIFY(Measure(args + QStringList{QStringLiteral("--codepage"), QStringLiteral("1252")},
                        QStringLiteral("ru_RU.UTF-8"))
                    .Out.startsWith("Sample: ????? \xb0\r\n"));
        for (const QString& wrong : {QStringLiteral("437"), QStringLiteral("65001")}) {
            const Run run = Measure(args + QStringList{QStringLiteral("--codepage"), wrong});
            QCOMPARE(run.Status, 2);
            QCOMPARE(QString::fromUtf8(run.Err).section(QLatin1Char('\n'), 0, 0),
                     QStringLiteral("torvi-measure: --codepage is one of 874, 1250, 1251, 1252, "
                                    "1253, 1254, 1255, 1256, 1257, 1258"));
            QVERIFY(run.Out.isEmpty());
        }
    }

    void usageAndInputErrors_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString d1 = dial_.filePath(QStringLiteral("d001.bmp"));
        QTest::newRow("no centre")
            << QStringList{d1, QStringLiteral("--radius"), QStringLiteral("3")} << 2
            << "torvi-measure: --centre is needed";
        QTest::newRow("radius and tip") << QStringList{d1,
                                                       QStringLiteral("--centre"),
                                                       QStringLiteral("1:1"),
                                                       QStringLiteral("--radius"),
                                                       QStringLiteral("3"),
                                                       QStringLiteral("--tip"),
                                                       QStringLiteral("2:2")}
                                        << 2 << "torvi-measure: give either --radius or --tip";
        QTest::newRow("bad number")
            << QStringList{d1, QStringLiteral("--centre"), QStringLiteral("1:x"),
                           QStringLiteral("--radius"), QStringLiteral("3")}
            << 2 << "torvi-measure: option --centre needs a whole number, not \"x\"";
        QTest::newRow("rate 0") << QStringList{d1,
                                               QStringLiteral("--centre"),
                                               QStringLiteral("1:1"),
                                               QStringLiteral("--radius"),
                                               QStringLiteral("3"),
                                               QStringLiteral("--fps"),
                                               QStringLiteral("0")}
                                << 1 << "torvi-measure: The values you entered are not valid.";
        QTest::newRow("missing") << QStringList{dial_.filePath(QStringLiteral("none.bmp")),
                                                QStringLiteral("--centre"), QStringLiteral("1:1"),
                                                QStringLiteral("--radius"), QStringLiteral("3")}
                                 << 1
                                 << "torvi-measure: Cannot open file " +
                                        dial_.filePath(QStringLiteral("none.bmp"));
        QTest::newRow("no output folder")
            << QStringList{d1,
                           QStringLiteral("--centre"),
                           QStringLiteral("1:1"),
                           QStringLiteral("--radius"),
                           QStringLiteral("3"),
                           QStringLiteral("--out-dir"),
                           dial_.filePath(QStringLiteral("absent"))}
            << 2 << "torvi-measure: there is no folder " + dial_.filePath(QStringLiteral("absent"));
        QTest::newRow("film of nothing")
            << QStringList{dial_.filePath(QStringLiteral("d001.bmp"))
                               .replace(QStringLiteral(".bmp"), QStringLiteral(".avi")),
                           QStringLiteral("--centre"), QStringLiteral("1:1"),
                           QStringLiteral("--radius"), QStringLiteral("3")}
            << 1 << QString();
    }
    void usageAndInputErrors() {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, message);
        if (args.constFirst().endsWith(QStringLiteral(".avi"))) {
            QFile notAFilm(args.constFirst());
            QVERIFY(notAFilm.open(QIODevice::WriteOnly));
            notAFilm.write("RIFF and nothing else");
            notAFilm.close();
            // FFmpeg's own reason follows the program's message.
            message =
                QStringLiteral("torvi-measure: Missing system video codec: Cannot open file ") +
                args.constFirst();
        }
        const Run run = Measure(args);
        QCOMPARE(run.Status, status);
        const QString first = QString::fromUtf8(run.Err).section(QLatin1Char('\n'), 0, 0);
        if (args.constFirst().endsWith(QStringLiteral(".avi")))
            QVERIFY2(first.startsWith(message) && first.endsWith(QLatin1Char(')')),
                     qPrintable(first));
        else
            QCOMPARE(first, message);
        QVERIFY(run.Out.isEmpty());
    }

    // A run that measured nothing, or less than it seems, says so; a failed
    // input leaves an earlier result file of its name as it was.
    void nothingMeasuredIsSaid_data() {
        QTest::addColumn<QStringList>("settings");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("message");
        const QString check = QStringLiteral("; check --centre, --radius, --hand and --contrast");
        QTest::newRow("centre outside")
            << QStringList{QStringLiteral("--centre"), QStringLiteral("900:81"),
                           QStringLiteral("--radius"), QStringLiteral("50")}
            << 1 << QString::fromUtf8("the centre 900:81 lies outside the 81 \u00d7 81 picture");
        QTest::newRow("tip outside")
            << QStringList{QStringLiteral("--centre"), QStringLiteral("40:40"),
                           QStringLiteral("--tip"), QStringLiteral("40:-60")}
            << 0 << QString();
        QTest::newRow("no hand pixels")
            << QStringList{QStringLiteral("--centre"),   QStringLiteral("40:40"),
                           QStringLiteral("--radius"),   QStringLiteral("30"),
                           QStringLiteral("--contrast"), QStringLiteral("255")}
            << 1 << "no frame shows hand pixels" + check;
        // Only the hands at 90 degrees reach a circle of 5 pixels around 70:40.
        QTest::newRow("some frames without")
            << QStringList{QStringLiteral("--centre"), QStringLiteral("70:40"),
                           QStringLiteral("--radius"), QStringLiteral("5")}
            << 0 << "5 of 7 frames show no hand pixels" + check;
    }
    void nothingMeasuredIsSaid() {
        QFETCH(QStringList, settings);
        QFETCH(int, status);
        QFETCH(QString, message);
        QTemporaryDir out;
        const QString result = out.filePath(QStringLiteral("result.txt"));
        QFile earlier(result);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("earlier");
        earlier.close();
        const Run run =
            Measure(QStringList{dial_.filePath(QStringLiteral("d001.bmp")),
                                QStringLiteral("--quiet"), QStringLiteral("-o"), result} +
                    settings);
        QCOMPARE(run.Status, status);
        QCOMPARE(QString::fromUtf8(run.Err),
                 message.isEmpty() ? QString() : "torvi-measure: " + message + '\n');
        QCOMPARE(ReadFile(result).startsWith("Sample: "), status == 0);
        if (status != 0) QCOMPARE(ReadFile(result), QByteArray("earlier"));
    }

    // A frame the contrast rule floods (the lamp dimmed: the whole face
    // darker than the background by the threshold) is counted in one line,
    // with --quiet too, and flagged in --frames; a rim given by points that
    // lie on no ellipse is refused.
    void floodedFramesAreSaid() {
        QTemporaryDir flooded;
        MakeDialSequence(flooded, {0, 45, 90, 135, 180, 225, 270, 315});
        torvi::Bitmap dark(81, 81, torvi::PixelFormat::Pf24Bit);
        dark.Fill(20);
        torvi::SavePicture(flooded.filePath(QStringLiteral("d005.bmp")).toStdString(), dark);
        QTemporaryDir out;
        const QString csv = out.filePath(QStringLiteral("frames.csv"));
        const QStringList settings{QStringLiteral("--centre"), QStringLiteral("40:40"),
                                   QStringLiteral("--radius"), QStringLiteral("30"),
                                   QStringLiteral("--quiet")};
        const Run run = Measure(QStringList{flooded.filePath(QStringLiteral("d001.bmp")),
                                            QStringLiteral("--frames"), csv, QStringLiteral("-o"),
                                            out.filePath(QStringLiteral("r.txt"))} +
                                settings);
        QCOMPARE(run.Status, 0);
        QVERIFY2(run.Err.startsWith("torvi-measure: 1 of 8 frames are flooded: "), run.Err);
        const QList<QByteArray> lines = ReadFile(csv).split('\n');
        for (int frame = 1; frame <= 8; ++frame)
            QCOMPARE(lines.value(frame).split(',').value(10), QByteArray(frame == 5 ? "1" : "0"));

        const Run line = Measure(QStringList{flooded.filePath(QStringLiteral("d001.bmp")),
                                             QStringLiteral("--fine"), QStringLiteral("--rim"),
                                             QStringLiteral("0:0,1:1,2:2,3:3,4:4")} +
                                 settings);
        QCOMPARE(line.Status, 1);
        QVERIFY2(line.Err.contains("the points of --rim lie on no ellipse"), line.Err);
    }

    void severalInputsEachSayWhatTheyMeasured() {
        QTemporaryDir still; // a hand that never moves is part of the dial's background
        MakeDialSequence(still, {90, 90, 90});
        QTemporaryDir out;
        const QString stillInput = still.filePath(QStringLiteral("d001.bmp"));
        const QString dialInput = dial_.filePath(QStringLiteral("d002.bmp"));
        const Run run = Measure({stillInput, dialInput, QStringLiteral("--out-dir"), out.path(),
                                 QStringLiteral("--centre"), QStringLiteral("70:40"),
                                 QStringLiteral("--radius"), QStringLiteral("5")});
        QCOMPARE(run.Status, 1);
        const QString check = QStringLiteral("; check --centre, --radius, --hand and --contrast\n");
        QCOMPARE(QString::fromUtf8(run.Err),
                 "torvi-measure: " + stillInput + ": no frame shows hand pixels" + check +
                     "torvi-measure: " + dialInput + ": 5 of 7 frames show no hand pixels" + check);
        QVERIFY(!QFile::exists(out.filePath(QStringLiteral("d001.txt"))));
        QVERIFY(ReadFile(out.filePath(QStringLiteral("d002.txt"))).startsWith("Sample: "));
    }

    void severalInputsAndFramesTable() {
        QTemporaryDir second;
        MakeDialSequence(second, {90, 270, 225});
        QTemporaryDir out;
        const QStringList common{QStringLiteral("--centre"), QStringLiteral("40:40"),
                                 QStringLiteral("--radius"), QStringLiteral("30")};
        const Run run = Measure(QStringList{dial_.filePath(QStringLiteral("d001.bmp")),
                                            second.filePath(QStringLiteral("d002.bmp")),
                                            QStringLiteral("--out-dir"), out.path()} +
                                common);
        QCOMPARE(run.Status, 0);
        QVERIFY(ReadFile(out.filePath(QStringLiteral("d001.txt")))
                    .contains("     0.28000           450.00000\r\n"));
        QVERIFY(ReadFile(out.filePath(QStringLiteral("d002.txt")))
                    .contains("     0.12000           135.00000\r\n"));

        const Run clash = Measure(QStringList{dial_.filePath(QStringLiteral("d001.bmp")),
                                              second.filePath(QStringLiteral("d001.bmp")),
                                              QStringLiteral("--out-dir"), out.path()} +
                                  common);
        QCOMPARE(clash.Status, 2);

        const QString csv = out.filePath(QStringLiteral("frames.csv"));
        const QString reference = out.filePath(QStringLiteral("dial.bmp"));
        const Run frames = Measure(
            QStringList{second.filePath(QStringLiteral("d001.bmp")), QStringLiteral("--frames"),
                        csv, QStringLiteral("--reference"), reference, QStringLiteral("-o"),
                        out.filePath(QStringLiteral("r.txt"))} +
            common);
        QCOMPARE(frames.Status, 0);
        const QList<QByteArray> lines = ReadFile(csv).split('\n');
        QCOMPARE(lines.value(0),
                 QByteArray("frame,time,direction,unwrapped,peak_votes,hand_pixels,large_step,"
                            "fine_direction,fine_unwrapped,film_time,flooded,fine_residual,"
                            "fine_share"));
        // frame, time, direction, unwrapped, large step, and the fine angle
        // within a degree of the whole one.
        const struct {
            const char* Start;
            const char* LargeStep;
            double Fine, FineTurn;
        } rows[] = {{"1,0.04000,90,0,", "0", 90, 0},
                    {"2,0.08000,270,180,", "1", 270, 180}, // half a turn: a guess
                    {"3,0.12000,225,135,", "0", 225, 135}};
        for (int i = 0; i < 3; ++i) {
            const QByteArray line = lines.value(i + 1);
            const QList<QByteArray> fields = line.split(',');
            QVERIFY2(line.startsWith(rows[i].Start), line.constData());
            QCOMPARE(fields.value(6), QByteArray(rows[i].LargeStep));
            QVERIFY(fields.value(7).contains('.') &&
                    fields.value(7).split('.').value(1).size() == 3);
            QVERIFY2(std::abs(fields.value(7).toDouble() - rows[i].Fine) < 1, line.constData());
            QVERIFY2(std::abs(fields.value(8).toDouble() - rows[i].FineTurn) < 1, line.constData());
            QVERIFY2(fields.value(9).isEmpty(), line.constData()); // pictures have no film time
            QCOMPARE(fields.value(10), QByteArray("0"));           // no frame flooded
            QVERIFY2(fields.value(11).toDouble() < 2, line.constData()); // a clean hand's residual
        }
        QVERIFY(ReadFile(reference).startsWith("BM"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
