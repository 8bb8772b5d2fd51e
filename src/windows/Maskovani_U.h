#pragma once

#include "Bitmap.h"

#include <QWidget>

#include <cstdint>

class MeasurementSignals;
class PicturePane;
class PictureView;
namespace torvi {
class Measurement;
}

// The "Masking" window: the square around the dial centre with the pixels
// that count as hand in white, redrawn for every frame and contrast change,
// so the user can choose the contrast threshold. It shows itself for the
// contrast step and hides otherwise. A square larger than about half the
// screen is shown fitted; the user can zoom it (at 100 % its pixels are
// the masking's own).
class TMaskovani : public QWidget {
    Q_OBJECT
public:
    TMaskovani(torvi::Measurement& model, MeasurementSignals& signals, QWidget* parent = nullptr);

    PicturePane* Pane = nullptr;
    PictureView* Image1 = nullptr;
    // The masked square last drawn.
    torvi::Bitmap Shown;

    // 255 when a pixel whose grey is `difference` below the background counts
    // as hand (above it, for a light hand), else 0.
    std::uint8_t Kontrast(std::int16_t difference) const;
    // Shows a masked square.
    void Obraz(const torvi::Bitmap& masked);
    // Sizes the window to the square around the centre (or to half the screen).
    void FormShow();

private:
    torvi::Measurement& model_;
};
