// Feeds arbitrary bytes to the BMP reader: it must decode them or refuse
// them with an Error, never crash, hang or read out of bounds.
#include "Error.h"
#include "formats/BmpCodec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Run-length pictures may be huge for a few bytes of data, which only
    // the picture cap bounds; clearing a gigabyte under the sanitizers takes
    // a second without reaching new code, and would pass the fuzzer's memory
    // limit. Such sizes are the corrupt-file tests' business.
    const torvi::PictureByteLimit limit(std::size_t{1} << 24);
    try {
        const torvi::Bitmap bitmap = torvi::DecodeBmp(data, size);
        // Reading every pixel back catches a picture whose rows and size
        // disagree; huge pictures are left out to keep the runs fast.
        if (bitmap.ByteSize() <= (std::size_t{1} << 24)) {
            const torvi::Bitmap converted = bitmap.ToBgr24();
            (void)converted;
        }
    } catch (const torvi::Error&) {
    }
    return 0;
}
