#pragma once

#include "Bitmap.h"
#include "ScriptedDialogs.h"
#include "app/Windows.h"

#include <QString>
#include <QTemporaryDir>

#include <vector>

// Writes a small 24-bit BMP whose every pixel is the given grey, with a
// dark line of the given column drawn from the centre upwards.
void WriteDialPicture(const QString& path, int width, int height, int grey);

// A folder of `count` BMP pictures named p001.bmp, p002.bmp, ...
QString MakeBmpSequence(const QTemporaryDir& dir, int count, int width = 40, int height = 30);

// A light dial 81 x 81 with its centre at (40, 40) and a dark hand of length
// 30 pointing at each angle (degrees clockwise from 12 o'clock), one picture
// d001.bmp, d002.bmp, ... per angle.
void MakeDialSequence(const QTemporaryDir& dir, const std::vector<double>& angles);

class TObrazek;

// The program's windows for one test function, made as start-up makes them,
// with the dialogs answered from a script: installed before the windows are
// made, removed after they are gone. Made in init(), dropped in cleanup().
struct TestProgram {
    ScriptedDialogs Dialogs;
    ProgramWindows Windows;
};

// Waits until the window's calibration or measurement has ended and its
// outcome has been taken (at most 60 seconds).
void WaitForRun(TObrazek* window);
