#include "Maskovani_U.h"

#include "MeasurementSignals.h"
#include "analysis/Masking.h"
#include "measurement/Measurement.h"
#include "widgets/PicturePane.h"
#include "widgets/PictureView.h"

#include <QGuiApplication>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>

TMaskovani::TMaskovani(torvi::Measurement& model, MeasurementSignals& signals, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint),
      model_(model) {
    setWindowTitle(QStringLiteral("Masking"));
    move(348, 136);
    Pane = new PicturePane(this);
    Image1 = Pane->View();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Pane);

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
    Image1->SetPicture(masked);
    Shown = masked;
}

void TMaskovani::FormShow() {
    // The square at its natural size, pixel for pixel, unless it takes more
    // than about half the screen: then it is shown fitted to that much.
    const torvi::PixelSquare square = model_.MaskingSquare();
    QSize shown(std::max(square.Width, 1), std::max(square.Height, 1));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize half = screen->availableGeometry().size() / 2;
        if (shown.width() > half.width() || shown.height() > half.height())
            shown = shown.scaled(half, Qt::KeepAspectRatio);
    }
    resize(Pane->SizeFor(shown).expandedTo(minimumSizeHint()));
    Pane->Fit();
}
