#pragma once

#include <cstdint>
#include <vector>

// How the dial looks beyond the plain sample dial. The default is the sample
// dial exactly as the sample films were painted.
struct DialStyle {
    // Width of the hand at the pivot in pixels, tapering to a third of it
    // (at least 1) at the tip; 0 gives the sample's even, round-ended hand.
    double HandWidth = 0;
    // A light hand on a dark face instead of a dark hand on a cream face.
    bool LightHand = false;
    // A textured face with numerals 1 to 12 under the hand's sweep.
    bool Detailed = false;
    // Each frame gets noise of up to this many grey levels either way.
    int Noise = 0;
    // Where the pivot (and the dial around it) lies, in pixels from the
    // picture's centre pixel: fractions give a pivot between pixels.
    double PivotX = 0;
    double PivotY = 0;
    std::uint32_t Seed = 1;
};

// Paints the synthetic dial of the sample films: a cream dial face with tick
// marks on a slate background and one dark hand from the centre. The picture
// scales with its height, so the sample (320 x 240) and the benchmark film
// (1280 x 720) show the same dial. Pixels are RGB bytes, rows top-down.
//
// The hand is drawn symmetric about its ray from the pivot, so the
// direction Torvi measures is the angle it was painted at.
class DialPainter {
public:
    DialPainter(int width, int height, const DialStyle& style = {});

    int Width() const { return width_; }
    int Height() const { return height_; }
    int CentreX() const { return width_ / 2; }
    int CentreY() const { return height_ / 2; }
    // The pivot of the hand, in pixels (CentreX, CentreY unless the style
    // moves it).
    double PivotX() const { return CentreX() + style_.PivotX; }
    double PivotY() const { return CentreY() + style_.PivotY; }
    // Length of the hand from the centre to its tip, in pixels.
    int HandLength() const { return handLength_; }

    // The picture with the hand at `degrees` clockwise from straight up. The
    // returned bytes stay valid until the next call.
    const std::vector<std::uint8_t>& Paint(double degrees);

private:
    void PaintFace();
    void PaintDetails();
    void PaintTaperedHand(double degrees);
    void AddNoise();

    int width_;
    int height_;
    DialStyle style_;
    int handLength_;
    double handHalfWidth_;
    std::uint32_t noiseState_;
    std::vector<std::uint8_t> face_;
    std::vector<std::uint8_t> frame_;
};
