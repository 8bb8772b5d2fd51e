#include "Jadro_U.h"

#include "Error.h"
#include "Obrazek_U.h"
#include "PictureFiles.h"
#include "UserDialogs.h"
#include "analysis/Calibration.h"
#include "analysis/FrameLoader.h"

#include <QAction>
#include <QLabel>
#include <QProgressBar>
#include <QRadioButton>

#include <string_view>

namespace Jadro_U {

torvi::FrameSource Frames;
torvi::Bitmap ReferenceImage;
bool Calibrated = false;

bool LoadFrame(const std::string& reference, torvi::Bitmap& bitmap) {
    Frames.FileExt = Obrazek->FileExt;
    Frames.Folder = Obrazek->OpenedFolder;
    return Frames.LoadFrame(reference, bitmap);
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
            Obrazek->ProgressBar->setValue(
                static_cast<int>(std::min<std::int64_t>(done * 1000 / total, 1000)));
        TObrazek::ProcessMessages();
        return !Obrazek->Closing;
    });
    Obrazek->ProgressBar->setValue(0);
    Obrazek->StatusPanel1->clear();
    return last;
}

void GetVideoFrame(int index, torvi::Bitmap& bitmap) {
    Frames.GetVideoFrame(index, bitmap);
}

void CloseVideo() {
    Frames.CloseVideo();
}

torvi::HandColour HandColour() {
    return Obrazek->RadioButton2->isChecked() ? torvi::HandColour::Dark : torvi::HandColour::Light;
}

torvi::FrameLoader WindowFrameLoader() {
    return [](int index, torvi::Bitmap& frame) {
        if (Obrazek->Closing) throw torvi::gui::OperationAbandoned();
        const auto& list = Obrazek->FrameList;
        if (index < 0 || static_cast<std::size_t>(index) >= list.size())
            throw torvi::Error("Cannot read frame " + std::to_string(index + 1));
        if (!LoadFrame(list[static_cast<std::size_t>(index)], frame)) frame = torvi::Bitmap();
    };
}

bool Calibrate() {
    const int count = static_cast<int>(Obrazek->FrameList.size());
    Obrazek->StatusPanel1->setText(QStringLiteral("Calibration ..."));
    Obrazek->ProgressBar->setRange(0, std::max(count - 1, 0));
    TObrazek::ProcessMessages();
    Obrazek->Busy = true;
    const torvi::HandColour hand = HandColour();
    try {
        torvi::BuildReferenceImage(count, WindowFrameLoader(), hand, ReferenceImage, [](int i) {
            Obrazek->ProgressBar->setValue(i);
            TObrazek::ProcessMessages();
        });
    } catch (const torvi::gui::OperationAbandoned&) {
        Obrazek->Busy = false;
        return false;
    } catch (const torvi::Error& e) {
        Obrazek->Busy = false;
        if (std::string_view(e.what()) == torvi::PicturesNotEqual) {
            Obrazek->StatusPanel1->clear();
            torvi::gui::Dialogs().ShowError(Obrazek, QString::fromLatin1(torvi::PicturesNotEqual),
                                            torvi::gui::MessageIcon::Stop);
        } else {
            torvi::gui::ReportError(Obrazek, e);
        }
        return false;
    } catch (const std::exception& e) {
        Obrazek->Busy = false;
        torvi::gui::ReportError(Obrazek, e);
        return false;
    }
    Obrazek->Busy = false;
    Obrazek->SaveBMP1->setEnabled(true);
    Obrazek->ShowmaskedBMP1->setEnabled(true);
    Obrazek->ProgressBar->setValue(0);
    Obrazek->StatusPanel1->clear();
    TObrazek::ProcessMessages();
    // "B" or "W" chosen while the samples were read: the picture was built for
    // the other hand colour and the next use calibrates again.
    Calibrated = HandColour() == hand;
    return true;
}

void SavePicture(const std::string& path, const torvi::Bitmap& bitmap) {
    torvi::SavePicture(path, bitmap);
}

} // namespace Jadro_U
