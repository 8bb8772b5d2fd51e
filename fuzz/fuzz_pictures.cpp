// Feeds arbitrary bytes to the picture registry, the way the open dialog's
// preview and the frame loader use it: content test first, then the format of
// the name's extension. The extension varies with the input's size so every
// fallback decoder is reached.
#include "Error.h"
#include "formats/PictureFormats.h"

#include <array>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static constexpr std::array<const char*, 8> Names = {"a.bmp", "a.gif", "a.jpg", "a.png",
                                                         "a.tif", "a.pcx", "a.tga", "a.xyz"};
    // Pictures whose compressed data gives no bound on their size (run
    // lengths, LZW, deflate, arithmetic coding) stay below the fuzzer's
    // memory limit; larger ones are the picture cap's business.
    const torvi::PictureByteLimit limit(std::size_t{1} << 24);
    try {
        const torvi::Bitmap bitmap =
            torvi::DecodeRegisteredPicture(data, size, Names[size % Names.size()]);
        if (bitmap.ByteSize() <= (std::size_t{1} << 24)) {
            const torvi::Bitmap converted = bitmap.ToBgr24();
            (void)converted;
        }
    } catch (const torvi::Error&) {
    }
    return 0;
}
