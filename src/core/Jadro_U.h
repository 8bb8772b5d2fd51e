#pragma once

#include "Bitmap.h"
#include "FrameSource.h"
#include "analysis/FrameLoader.h"
#include "analysis/HandColour.h"

#include <string>

// The core unit: loading frames of the open measurement, the open film, and
// the background picture of the dial that calibration builds.
namespace Jadro_U {

// Frame decoding and the open film (one at a time).
extern torvi::FrameSource Frames;
// The dial without its hand: one grey value in all three bytes of each pixel.
extern torvi::Bitmap ReferenceImage;
// ReferenceImage fits the current frames and hand colour.
extern bool Calibrated;

// Fills the bitmap with the frame the reference names, decoded by the main
// window's FileExt. A film frame that cannot be delivered leaves the bitmap
// as it was and gives false. Decoder errors propagate to the caller.
bool LoadFrame(const std::string& reference, torvi::Bitmap& bitmap);

// Opens a film and returns the index of its last frame, or -1. Shows the
// indexing progress in the main window's status bar.
int OpenVideo(const std::string& path);
void GetVideoFrame(int index, torvi::Bitmap& bitmap);
void CloseVideo();

// The hand colour chosen in the main window ("B" is a dark hand).
torvi::HandColour HandColour();

// Loads frame `index` of the main window's frame list for the analysis. Ends
// the running operation with torvi::gui::OperationAbandoned when the window is closing.
torvi::FrameLoader WindowFrameLoader();

// Builds ReferenceImage from frames sampled over the whole measurement.
// Returns false when it failed (the message has been shown).
bool Calibrate();

// Writes a picture: BMP for .bmp names, TIFF for .tif/.tiff names; other
// names are refused with an error.
void SavePicture(const std::string& path, const torvi::Bitmap& bitmap);

} // namespace Jadro_U
