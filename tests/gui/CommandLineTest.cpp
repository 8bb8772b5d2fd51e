#include "GuiFixtures.h"
#include "ScriptedDialogs.h"

#include "Obrazek_U.h"
#include "PictureView.h"
#include "UpDown.h"
#include "Windows.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

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
        CreateWindows();
        dialogs.OpenAnswers.push_back({dial_.filePath(QStringLiteral("d003.bmp")), 3});
        Obrazek->OtevtGIF1Click();
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(40, 40));
        QTest::mouseClick(Obrazek->Image1, Qt::LeftButton, {}, QPoint(52, 13));
        Obrazek->Button2->click();
        Obrazek->UpDown1->Step(-1);
        Obrazek->UpDown1->Step(-1);
        Obrazek->Edit5->setText(QString::fromUtf8("Zkou\u0161ka \u0159\u00e9"));
        Obrazek->Edit3->setText(QStringLiteral("29.97"));
        const QString windowFile = dial_.filePath(QStringLiteral("window.txt"));
        dialogs.SaveAnswers.push_back(windowFile);
        Obrazek->BitBtn4->click();
        DestroyWindows();
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
            message = QStringLiteral("torvi-measure: Missing system video codec");
        }
        const Run run = Measure(args);
        QCOMPARE(run.Status, status);
        QCOMPARE(QString::fromUtf8(run.Err).section(QLatin1Char('\n'), 0, 0), message);
        QVERIFY(run.Out.isEmpty());
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
        QCOMPARE(lines.value(0), QByteArray("frame,time,direction,unwrapped,peak_votes,hand_pixels,"
                                            "large_step,fine_direction,fine_unwrapped"));
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
        }
        QVERIFY(ReadFile(reference).startsWith("BM"));
    }
};

QTEST_MAIN(CommandLineTest)
#include "CommandLineTest.moc"
