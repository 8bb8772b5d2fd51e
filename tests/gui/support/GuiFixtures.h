#pragma once

#include "Bitmap.h"

#include <QString>
#include <QTemporaryDir>

// Writes a small 24-bit BMP whose every pixel is the given grey, with a
// dark line of the given column drawn from the centre upwards.
void WriteDialPicture(const QString& path, int width, int height, int grey);

// A folder of `count` BMP pictures named p001.bmp, p002.bmp, ...
QString MakeBmpSequence(const QTemporaryDir& dir, int count, int width = 40, int height = 30);
