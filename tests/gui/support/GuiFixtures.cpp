#include "GuiFixtures.h"

#include "PictureFiles.h"
#include "windows/MeasurementSignals.h"
#include "windows/Obrazek_U.h"

#include <QTest>

#include <QDir>

void WriteDialPicture(const QString& path, int width, int height, int grey) {
    torvi::Bitmap picture(width, height, torvi::PixelFormat::Pf24Bit);
    picture.Fill(static_cast<std::uint8_t>(grey));
    torvi::SavePicture(path.toStdString(), picture);
}

QString MakeBmpSequence(const QTemporaryDir& dir, int count, int width, int height) {
    for (int i = 1; i <= count; ++i)
        WriteDialPicture(dir.filePath(QStringLiteral("p%1.bmp").arg(i, 3, 10, QLatin1Char('0'))),
                         width, height, 100 + i);
    return dir.path();
}

#include <cmath>

void MakeDialSequence(const QTemporaryDir& dir, const std::vector<double>& angles) {
    for (std::size_t i = 0; i < angles.size(); ++i) {
        torvi::Bitmap dial(81, 81, torvi::PixelFormat::Pf24Bit);
        dial.Fill(220);
        const double a = angles[i] * M_PI / 180.0;
        for (double r = 0; r <= 30; r += 0.25) {
            const int x = static_cast<int>(std::lround(40 + r * std::sin(a)));
            const int y = static_cast<int>(std::lround(40 - r * std::cos(a)));
            std::uint8_t* p = dial.ScanLine(y) + 3 * x;
            p[0] = p[1] = p[2] = 20;
        }
        torvi::SavePicture(
            dir.filePath(QStringLiteral("d%1.bmp").arg(i + 1, 3, 10, QLatin1Char('0')))
                .toStdString(),
            dial);
    }
}

void WaitForRun(TObrazek* window) {
    if (!QTest::qWaitFor([window] { return !window->Signals->RunGoing(); }, 60000))
        qWarning("the run did not end within a minute");
}
