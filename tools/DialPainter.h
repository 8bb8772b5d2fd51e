#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <string>
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

    // The looks of lab footage, all off by default. They take effect in
    // Paint(const DialFrame&) only; Paint(double) paints as before.
    //
    // A printed face: 100 divisions, numerals 0 to 90 and a line of print
    // under the hand's sweep (implies the grain and sheen of Detailed).
    bool Printed = false;
    // A cap over the pivot that hides the hand's root.
    bool HubCap = false;
    // A counterweight tail behind the pivot, as a share of the hand's length.
    double TailShare = 0;
    // A short second hand on the same pivot geared 1:12 (it turns a twelfth
    // of the big hand's turn), this share of the length, 9 pixels wide at
    // 480 rows; it starts at SecondStart degrees.
    double SecondShare = 0;
    double SecondStart = 200;
    // A soft shadow of the hands this many pixels (at 480 rows) aside, from
    // one lamp at the upper left.
    double Shadow = 0;
    // A bright reflection on the glass over part of the sweep.
    bool Glare = false;
    // The camera turned this many degrees about the horizontal line through
    // the pivot (the face seen as an ellipse, with perspective: the focal
    // length is twice the picture's height).
    double Tilt = 0;
};

// One frame of a film of the dial: the hand's direction on the dial's own
// plane, clockwise from up; how far it turned during the exposure (centred on
// Angle, at an even speed, so Angle is the mean direction); the whole
// picture shifted by the camera, in pixels; and the lamp's brightness.
struct DialFrame {
    double Angle = 0;
    double Smear = 0;
    double ShiftX = 0;
    double ShiftY = 0;
    double Gain = 1;
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

    // A frame of lab footage in the style's looks: shadow, hands, cap and
    // glare on the dial's plane, the smear of the exposure, the camera's
    // tilt and shake, the lamp's gain and the noise, in that order.
    const std::vector<std::uint8_t>& Paint(const DialFrame& frame);

    // Where a point of the dial's plane (pixels from the pivot, as painted
    // square-on) lands in the picture of a tilted camera, before any shake.
    void PlaneToPicture(double u, double v, double& x, double& y) const;

private:
    void PaintFace();
    void PaintDetails();
    void PaintTaperedHand(double degrees);
    void AddNoise();
    template <typename Visit>
    void VisitHand(double cx, double cy, double degrees, double length, double tail, double base,
                   double tip, Visit visit) const;
    void AddCoverage(std::vector<float>& cover, double degrees, double length, double tail,
                     double base, double tip, double offsetX, double offsetY, float share) const;
    void PaintPrint();

    int width_;
    int height_;
    DialStyle style_;
    int handLength_;
    double handHalfWidth_;
    std::uint32_t noiseState_;
    std::vector<std::uint8_t> face_;
    std::vector<std::uint8_t> frame_;
};

// A painted frame (rows of RGB, top row first) as the program's 24-bit picture.
torvi::Bitmap PaintedPicture(const std::vector<std::uint8_t>& rgb, int width, int height);

// The wandering hand's direction at frame `index` (fractions between frames
// too) of `count`, 0 <= d < 360: 40 % of the film turning by `turn` from
// `start`, speeding up and slowing down, 10 % still, 40 % turning back by one
// and a half times `turn`, 10 % still.
double WanderAngle(double index, int count, double start, double turn);

// Writes 24-bit RGB frames of width x height as a film at `path` with the
// ffmpeg tool at 25 frames a second, `options` its output options (codec,
// pixel format). Throws Error when ffmpeg cannot be run or fails.
void EncodeWithFfmpeg(const std::vector<std::vector<std::uint8_t>>& frames, int width, int height,
                      const std::string& options, const std::string& path);
