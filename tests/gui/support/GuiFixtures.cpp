#include "GuiFixtures.h"

#include "PictureFiles.h"

#include <QDir>

void WriteDialPicture(const QString& path, int width, int height, int grey) {
    torvi::Bitmap picture(width, height, torvi::PixelFormat::Pf24Bit);
    picture.Fill(static_cast<std::uint8_t>(grey));
    torvi::SavePicture(path.toStdString(), picture);
}

QString MakeBmpSequence(const QTemporaryDir& dir, int count, int width, int height) {
    for (int i = 1; i <= count; ++i)
        WriteDialPicture(dir.filePath(QStringLiteral("p%1.bmp").arg(i, 3, 10, QLatin1Char('0'))), width,
                         height, 100 + i);
    return dir.path();
}
