#include "formats/BmpCodec.h"

#include "Error.h"

namespace torvi {

Bitmap DecodeBmp(const std::uint8_t*, std::size_t) {
    throw Error(BitmapNotValid);
}

std::vector<std::uint8_t> EncodeBmp(const Bitmap&) {
    throw Error("not yet");
}

} // namespace torvi
