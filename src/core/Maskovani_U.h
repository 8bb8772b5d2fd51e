#pragma once

#include "Bitmap.h"

#include <QWidget>

#include <cstdint>
#include <string>

class QFrame;
class QLabel;

// The "Masking" window: the square around the dial centre with the pixels
// that count as hand in white, redrawn for every frame and contrast change,
// so the user can choose the contrast threshold.
class TMaskovani : public QWidget {
    Q_OBJECT
public:
    explicit TMaskovani(QWidget* parent = nullptr);

    std::int32_t ContrastThreshold = 60;
    QLabel* Image1 = nullptr;
    QFrame* Bevel1 = nullptr;
    // The masked square last drawn.
    torvi::Bitmap Shown;

    // 255 when a pixel whose grey is `difference` below the background counts
    // as hand (above it, for a light hand), else 0.
    std::uint8_t Kontrast(std::int16_t difference) const;
    // Redraws the masked square for the frame with the current threshold.
    void Obraz(const std::string& reference);
    // Sizes the window to the square, resets the threshold to 60 and draws.
    void FormShow();

protected:
    void showEvent(QShowEvent* event) override;
};

extern TMaskovani* Maskovani;
