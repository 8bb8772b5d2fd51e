#include "Maskovani_U.h"

#include "BitmapImage.h"
#include "Jadro_U.h"
#include "Obrazek_U.h"
#include "PictureView.h"
#include "UpDown.h"
#include "UserDialogs.h"
#include "analysis/Masking.h"

#include <QFrame>
#include <QLabel>

TMaskovani* Maskovani = nullptr;

TMaskovani::TMaskovani(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint) {
    setWindowTitle(QStringLiteral("Masking"));
    move(348, 136);
    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setLineWidth(1);
    Bevel1->move(0, 0);
    Image1 = new QLabel(this);
    Image1->move(1, 1);
}

namespace {

torvi::MeasurementSettings CurrentSettings(int threshold) {
    torvi::MeasurementSettings settings;
    settings.CentreX = Obrazek->CentreX;
    settings.CentreY = Obrazek->CentreY;
    settings.HandRadius = Obrazek->HandRadius;
    settings.ContrastThreshold = threshold;
    settings.Hand = Jadro_U::HandColour();
    return settings;
}

} // namespace

std::uint8_t TMaskovani::Kontrast(std::int16_t difference) const {
    return torvi::Kontrast(difference, ContrastThreshold, Jadro_U::HandColour());
}

void TMaskovani::Obraz(const std::string& reference) {
    torvi::Bitmap frame;
    Jadro_U::LoadFrame(reference, frame);
    const torvi::Bitmap masked =
        torvi::MaskingPicture(frame, Jadro_U::ReferenceImage, CurrentSettings(ContrastThreshold));
    Image1->setPixmap(QPixmap::fromImage(torvi::gui::ToQImage(masked)));
    Shown = masked;
}

void TMaskovani::FormShow() {
    const QSize frame = Obrazek->Image1->size();
    const torvi::PixelSquare square =
        torvi::MaskingSquare(CurrentSettings(ContrastThreshold), frame.width(), frame.height());
    const int w = square.Width;
    const int h = square.Height;
    setFixedSize(w + 2, h + 2);
    Bevel1->setGeometry(0, 0, w + 2, h + 2);
    Image1->setGeometry(1, 1, w, h);
    ContrastThreshold = 60;
    Obrazek->UpDown1->SetPosition(60);
    if (Obrazek->FrameList.empty() || Obrazek->CurrentIndex < 0 ||
        Obrazek->CurrentIndex >= static_cast<int>(Obrazek->FrameList.size()))
        return;
    Obraz(Obrazek->FrameList[static_cast<std::size_t>(Obrazek->CurrentIndex)]);
}

void TMaskovani::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    torvi::gui::Guarded(this, [&] { FormShow(); });
}
