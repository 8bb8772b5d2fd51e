#pragma once

#include "Bitmap.h"

#include <string>

namespace torvi {

// Decodes the picture file with the decoder that FileExt selects: ".BMP",
// ".GIF" and ".JPG" go to their own decoders; ".TIF", ".PCX", ".TGA" and
// ".PNG" to the format that recognises the content, else to the format of
// the file's own extension. An empty GIF (no image) gives an empty Bitmap.
// Throws Error with the decoder's message.
Bitmap LoadPictureFile(const std::string& path, const std::string& fileExt);

// Decodes a picture by its content, or failing that by its extension (BMP,
// GIF, JPEG, PNG, TIFF, PCX or TGA): what the open dialog's preview shows.
Bitmap LoadAnyPicture(const std::string& path);

// Writes the picture in its own pixel format: a BMP file for a ".bmp" name,
// an LZW-compressed TIFF file for ".tif" and ".tiff" (any letter case; 15-
// and 16-bit pictures go to TIFF as 24 bits). Any other name is
// refused with "Unknown picture file extension (.%s)". The file is complete
// or not written at all.
void SavePicture(const std::string& path, const Bitmap& bitmap);

} // namespace torvi
