#pragma once

#include <cstdint>
#include <vector>

// Paints the synthetic dial of the sample films: a cream dial face with tick
// marks on a slate background and one dark hand from the centre. The picture
// scales with its height, so the sample (320 x 240) and the benchmark film
// (1280 x 720) show the same dial. Pixels are RGB bytes, rows top-down.
//
// The hand is drawn symmetric about its ray from the centre pixel, so the
// direction Torvi measures is the angle it was painted at.
class DialPainter {
public:
    DialPainter(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int CentreX() const { return width_ / 2; }
    int CentreY() const { return height_ / 2; }
    // Length of the hand from the centre to its tip, in pixels.
    int HandLength() const { return handLength_; }

    // The picture with the hand at `degrees` clockwise from straight up. The
    // returned bytes stay valid until the next call.
    const std::vector<std::uint8_t>& Paint(double degrees);

private:
    void PaintFace();

    int width_;
    int height_;
    int handLength_;
    double handHalfWidth_;
    std::vector<std::uint8_t> face_;
    std::vector<std::uint8_t> frame_;
};
