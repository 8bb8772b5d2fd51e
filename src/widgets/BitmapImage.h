#pragma once

#include "Bitmap.h"

#include <QImage>

namespace torvi::gui {

// A copy of the picture for the screen (24 bits, whatever its own format).
QImage ToQImage(const torvi::Bitmap& bitmap);

// A 24-bit picture from a screen image (alpha dropped).
torvi::Bitmap FromQImage(const QImage& image);

} // namespace torvi::gui
