// Feeds arbitrary bytes to the BMP reader: it must decode them or refuse
// them with an Error, never crash, hang or read out of bounds.
#include "Error.h"
#include "formats/BmpCodec.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

std::int64_t Int32At(const std::uint8_t* p) {
    const std::uint32_t bits = p[0] | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
                               (std::uint32_t{p[3]} << 24);
    return static_cast<std::int32_t>(bits);
}

// Run-length pictures may be huge for a few bytes of data, and clearing a
// gigabyte under the sanitizers takes a second without reaching new code.
// Such sizes are the corrupt-file tests' business; the fuzzer skips them.
bool DeclaresHugePicture(const std::uint8_t* data, std::size_t size) {
    if (size < 26 || data[0] != 'B' || data[1] != 'M') return false;
    const std::int64_t header = Int32At(data + 14);
    std::int64_t width = 0, height = 0;
    if (header == 12) {
        width = data[18] | (data[19] << 8);
        height = data[20] | (data[21] << 8);
    } else {
        width = Int32At(data + 18);
        height = Int32At(data + 22);
    }
    return std::abs(width) * std::abs(height) > (std::int64_t{1} << 22);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (DeclaresHugePicture(data, size)) return 0;
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
