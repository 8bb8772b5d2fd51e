// Feeds arbitrary bytes to the PCX reader: it must decode them or refuse
// them with an Error, never crash, hang or read out of bounds.
#include "Error.h"
#include "formats/PcxReader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Pictures whose compressed data gives no bound on their size (run
    // lengths, LZW, deflate, arithmetic coding) stay below the fuzzer's
    // memory limit; larger ones are the picture cap's business.
    const torvi::PictureByteLimit limit(std::size_t{1} << 24);
    try {
        const torvi::Bitmap bitmap = torvi::DecodePcx(data, size);
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
