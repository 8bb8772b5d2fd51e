#include "GreyValue.h"

#include "PixelVectors.h"
#include "Rounding.h"

#include <cstring>

namespace torvi {

std::uint8_t ExactGreyValue(std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    const long double sum = static_cast<long double>(red) * 0.299L +
                            static_cast<long double>(green) * 0.587L +
                            static_cast<long double>(blue) * 0.114L;
    return static_cast<std::uint8_t>(RoundHalfEven(sum));
}

namespace {

// Grey values of n pixels, rounding the ties down, and whether each pixel is a
// tie. Single-precision floats are exact enough here: the sum times 1000 is
// an integer below 2^18, so sum + 499.5 is exact, and the product with 0.001f
// is off by less than 4e-5 while its fraction stays at least 0.0005 away from
// a whole number. The exhaustive test over all colours checks this.
bool GreyChunkPortable(const std::uint8_t* bgr, int n, std::uint8_t* out, std::uint8_t* ties) {
    int any = 0;
    for (int i = 0; i < n; ++i) {
        const std::uint8_t* p = bgr + 3 * i;
        const auto sum = static_cast<float>(114 * p[0] + 587 * p[1] + 299 * p[2]);
        const int down = static_cast<int>((sum + 499.5f) * 0.001f);
        const int up = static_cast<int>((sum + 500.5f) * 0.001f);
        out[i] = static_cast<std::uint8_t>(down);
        ties[i] = static_cast<std::uint8_t>(up - down);
        any |= up - down;
    }
    return any != 0;
}

// The same arithmetic eight pixels at a time: the compiler does not split the
// interleaved colour bytes by itself. Byte shuffles make (blue, green) and
// (red, 0) pairs of 16-bit words in eight 32-bit lanes, and two multiply-adds
// give the weighted sums.
__attribute__((target("avx2"))) bool GreyChunkAvx2(const std::uint8_t* bgr, int n,
                                                   std::uint8_t* out, std::uint8_t* ties) {
    using namespace vectors;
    // Blue in the lane's first 16-bit word, green in its second.
    const __m256i blueGreenAt =
        _mm256_setr_epi8(0, -1, 1, -1, 3, -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1, 0, -1, 1, -1, 3,
                         -1, 4, -1, 6, -1, 7, -1, 9, -1, 10, -1);
    const __m256i redAt = ColourByte(2);
    const __m256i blueGreenWeights = _mm256_set1_epi32((587 << 16) | 114);
    const __m256i redWeight = _mm256_set1_epi32(299);
    const __m256 belowHalf = _mm256_set1_ps(499.5f);
    const __m256 aboveHalf = _mm256_set1_ps(500.5f);
    const __m256 thousandth = _mm256_set1_ps(0.001f);
    __m256i any = _mm256_setzero_si256();
    int i = 0;
    for (; i + PixelsReadPerGroup <= n; i += 8) {
        const __m256i bytes = LoadEightPixels(bgr + 3 * static_cast<std::ptrdiff_t>(i));
        const __m256i sum = _mm256_add_epi32(
            _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, blueGreenAt), blueGreenWeights),
            _mm256_madd_epi16(_mm256_shuffle_epi8(bytes, redAt), redWeight));
        const __m256 total = _mm256_cvtepi32_ps(sum);
        const __m256i down =
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(total, belowHalf), thousandth));
        const __m256i up =
            _mm256_cvttps_epi32(_mm256_mul_ps(_mm256_add_ps(total, aboveHalf), thousandth));
        const __m256i tie = _mm256_sub_epi32(up, down);
        any = _mm256_or_si256(any, tie);
        StoreLowBytes(out + i, down);
        StoreLowBytes(ties + i, tie);
    }
    const bool anyTie = !_mm256_testz_si256(any, any);
    return GreyChunkPortable(bgr + 3 * static_cast<std::ptrdiff_t>(i), n - i, out + i, ties + i) ||
           anyTie;
}

bool GreyChunk(const std::uint8_t* bgr, int n, std::uint8_t* out, std::uint8_t* ties) {
    using Function = bool (*)(const std::uint8_t*, int, std::uint8_t*, std::uint8_t*);
    static const Function chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? GreyChunkAvx2 : GreyChunkPortable;
    }();
    return chosen(bgr, n, out, ties);
}

} // namespace

void GreyTable::Row(const std::uint8_t* bgr, int count, std::uint8_t* out) const {
    constexpr int Chunk = 512;
    std::uint8_t ties[Chunk];
    for (int start = 0; start < count; start += Chunk) {
        const int n = count - start < Chunk ? count - start : Chunk;
        const std::uint8_t* pixels = bgr + 3 * static_cast<std::size_t>(start);
        std::uint8_t* grey = out + start;
        if (!GreyChunk(pixels, n, grey, ties)) continue;
        // About one colour in a thousand is a tie; find them with memchr.
        const std::uint8_t* from = ties;
        while (const void* hit = std::memchr(from, 1, static_cast<std::size_t>(ties + n - from))) {
            const auto i = static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - ties);
            if (TieRoundsUp(pixels[3 * i + 1], pixels[3 * i + 2])) ++grey[i];
            from = ties + i + 1;
        }
    }
}

const std::uint8_t* GreyRowOf(const Bitmap& picture, int y, int x, int count,
                              std::uint8_t* buffer) {
    if (picture.HasLumaGrey()) return picture.LumaGreyLine(y) + x;
    GreyRow(picture, y, x, count, buffer);
    return buffer;
}

void GreyRow(const Bitmap& picture, int y, int x, int count, std::uint8_t* out) {
    if (picture.HasLumaGrey()) {
        std::memcpy(out, picture.LumaGreyLine(y) + x, static_cast<std::size_t>(count));
        return;
    }
    GreyTable::Instance().Row(picture.ScanLine(y) + 3 * static_cast<std::size_t>(x), count, out);
}

const GreyTable& GreyTable::Instance() {
    static const GreyTable table;
    return table;
}

GreyTable::GreyTable() {
    // 57 * 193 = 11001, so 193 is the inverse of 57 modulo 500: from
    // 114 B = c (mod 1000) with c even follows B = 193 * c / 2 (mod 500).
    for (std::uint32_t red = 0; red < 256; ++red) {
        for (std::uint32_t green = 0; green < 256; ++green) {
            const std::uint32_t partial = (299u * red + 587u * green) % 1000u;
            const std::uint32_t needed = (1500u - partial) % 1000u;
            if (needed % 2u != 0u) continue;
            const std::uint32_t blue = (193u * (needed / 2u)) % 500u;
            if (blue > 255u) continue;
            const std::uint32_t whole = (299u * red + 587u * green + 114u * blue) / 1000u;
            const std::uint8_t exact =
                ExactGreyValue(static_cast<std::uint8_t>(blue), static_cast<std::uint8_t>(green),
                               static_cast<std::uint8_t>(red));
            if (exact == whole + 1u) {
                const std::uint32_t pair = (red << 8) | green;
                tieRoundsUp_[pair >> 6] |= std::uint64_t{1} << (pair & 63u);
            }
        }
    }
}

} // namespace torvi
