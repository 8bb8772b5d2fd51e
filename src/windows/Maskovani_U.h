#pragma once

#include "Bitmap.h"

#include <QWidget>

#include <cstdint>

class QFrame;
class QLabel;
class MeasurementSignals;
namespace torvi {
class Measurement;
}

// The "Masking" window: the square around the dial centre with the pixels
// that count as hand in white, redrawn for every frame and contrast change,
// so the user can choose the contrast threshold. It shows itself for the
// contrast step and hides otherwise.
class TMaskovani : public QWidget {
    Q_OBJECT
public:
    TMaskovani(torvi::Measurement& model, MeasurementSignals& signals, QWidget* parent = nullptr);

    QLabel* Image1 = nullptr;
    QFrame* Bevel1 = nullptr;
    // The masked square last drawn.
    torvi::Bitmap Shown;

    // 255 when a pixel whose grey is `difference` below the background counts
    // as hand (above it, for a light hand), else 0.
    std::uint8_t Kontrast(std::int16_t difference) const;
    // Shows a masked square.
    void Obraz(const torvi::Bitmap& masked);
    // Sizes the window to the square around the centre.
    void FormShow();

private:
    torvi::Measurement& model_;
};
