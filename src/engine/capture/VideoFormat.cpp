#include "capture/VideoFormat.h"

#include "Error.h"

#include <string>

namespace torvi {

BitmapInfoHeader RgbVideoFormat(int width, int height) {
    BitmapInfoHeader header;
    header.Width = width;
    header.Height = height;
    header.SizeImage = static_cast<std::uint32_t>(width) * static_cast<std::uint32_t>(height) * 2;
    return header;
}

std::array<std::uint8_t, VideoFormatBlockSize> VideoFormatBlock(const BitmapInfoHeader& header) {
    std::array<std::uint8_t, VideoFormatBlockSize> block{};
    header.Write(block.data());
    return block;
}

CaptureFormat ParseVideoFormat(const std::uint8_t* data, std::size_t length) {
    if (data == nullptr || length < BitmapInfoHeaderSize)
        throw Error("The video format block is too short");
    const BitmapInfoHeader h = BitmapInfoHeader::Read(data);
    if (h.Size < BitmapInfoHeaderSize || h.Size > length)
        throw Error("The video format block has a header size of " + std::to_string(h.Size));
    if (h.Planes != 1 || h.BitCount != 16 || h.Compression != BI_RGB)
        throw Error("Only uncompressed 16-bit pictures can be captured");
    // A negative height would mean rows from the top; the recorder writes
    // them from the bottom, as most players expect of an uncompressed film.
    if (h.Width < 2 || h.Height < 1 || h.Width > MaxCaptureDimension ||
        h.Height > MaxCaptureDimension || h.Width % 2 != 0)
        throw Error("A capture picture of " + std::to_string(h.Width) + " x " +
                    std::to_string(h.Height) + " pixels is not possible");
    const auto needed =
        static_cast<std::uint64_t>(h.Width) * static_cast<std::uint64_t>(h.Height) * 2;
    if (h.SizeImage != 0 && h.SizeImage != needed)
        throw Error("The video format block declares an image size of " +
                    std::to_string(h.SizeImage) + " bytes instead of " + std::to_string(needed));
    return {h.Width, h.Height};
}

} // namespace torvi
