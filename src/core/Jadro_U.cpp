#include "Jadro_U.h"

#include "Obrazek_U.h"
#include "PictureFiles.h"

#include <QLabel>
#include <QProgressBar>

namespace Jadro_U {

torvi::FrameSource Frames;
torvi::Bitmap ReferenceImage;
bool Calibrated = false;

void LoadFrame(const std::string& reference, torvi::Bitmap& bitmap) {
    Frames.FileExt = Obrazek->FileExt;
    Frames.Folder = Obrazek->OpenedFolder;
    Frames.LoadFrame(reference, bitmap);
}

int OpenVideo(const std::string& path) {
    // Indexing a long film takes a while: show how far it is and keep the
    // window alive meanwhile.
    Obrazek->StatusPanel1->setText(QStringLiteral("Opening ..."));
    Obrazek->ProgressBar->setRange(0, 1000);
    Obrazek->ProgressBar->setValue(0);
    TObrazek::ProcessMessages();
    const int last = Frames.OpenVideo(path, [](std::int64_t done, std::int64_t total) {
        if (total > 0)
            Obrazek->ProgressBar->setValue(static_cast<int>(std::min<std::int64_t>(done * 1000 / total, 1000)));
        TObrazek::ProcessMessages();
        return !Obrazek->Closing;
    });
    Obrazek->ProgressBar->setValue(0);
    Obrazek->StatusPanel1->clear();
    return last;
}

void GetVideoFrame(int index, torvi::Bitmap& bitmap) { Frames.GetVideoFrame(index, bitmap); }

void CloseVideo() { Frames.CloseVideo(); }

bool Calibrate() {
    Calibrated = true;
    return true;
}

void SavePicture(const std::string& path, const torvi::Bitmap& bitmap) {
    torvi::SavePicture(path, bitmap);
}

} // namespace Jadro_U
