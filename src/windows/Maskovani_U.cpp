#include "Maskovani_U.h"

#include "MeasurementSignals.h"
#include "analysis/Masking.h"
#include "measurement/Measurement.h"
#include "widgets/BitmapImage.h"

#include <QFrame>
#include <QLabel>

TMaskovani::TMaskovani(torvi::Measurement& model, MeasurementSignals& signals, QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      model_(model) {
    setWindowTitle(QStringLiteral("Masking"));
    move(348, 136);
    Bevel1 = new QFrame(this);
    Bevel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Bevel1->setLineWidth(1);
    Bevel1->move(0, 0);
    Image1 = new QLabel(this);
    Image1->move(1, 1);

    connect(&signals, &MeasurementSignals::maskChanged, this, &TMaskovani::Obraz);
    connect(&signals, &MeasurementSignals::stepChanged, this, [this](torvi::Step step) {
        const bool wanted = step == torvi::Step::ContrastSetting;
        if (wanted && !isVisible()) {
            FormShow();
            show();
        } else if (!wanted && isVisible()) {
            close();
        }
    });
}

std::uint8_t TMaskovani::Kontrast(std::int16_t difference) const {
    return torvi::Kontrast(difference, model_.ContrastThreshold(), model_.Hand());
}

void TMaskovani::Obraz(const torvi::Bitmap& masked) {
    Image1->setPixmap(QPixmap::fromImage(torvi::gui::ToQImage(masked)));
    Shown = masked;
}

void TMaskovani::FormShow() {
    const torvi::PixelSquare square = model_.MaskingSquare();
    setFixedSize(square.Width + 2, square.Height + 2);
    Bevel1->setGeometry(0, 0, square.Width + 2, square.Height + 2);
    Image1->setGeometry(1, 1, square.Width, square.Height);
}
