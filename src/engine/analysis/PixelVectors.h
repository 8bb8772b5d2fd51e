#pragma once

// Helpers for the AVX2 pixel loops: eight 24-bit pixels into one register and
// eight 32-bit results back out as bytes. Callers are AVX2 functions picked
// at run time; nothing here runs on a processor without AVX2.

#include <cstddef>
#include <cstdint>
#include <immintrin.h>

namespace torvi::vectors {

// Pixels needed after a group's start so that LoadEightPixels stays inside
// the row: it reads 28 bytes, nine and a third pixels.
inline constexpr int PixelsReadPerGroup = 10;

// Pixels 0-3 of `bgr` at the start of the register's low half, pixels 4-7 at
// the start of its high half, so that one in-lane byte shuffle can spread a
// colour over eight 32-bit lanes in pixel order.
__attribute__((target("avx2"))) inline __m256i LoadEightPixels(const std::uint8_t* bgr) {
    return _mm256_setr_m128i(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr)),
                             _mm_loadu_si128(reinterpret_cast<const __m128i*>(bgr + 12)));
}

// The shuffle picking byte `at` (0, 1 or 2) of pixels 0-3 in each half into
// the low byte of a 32-bit lane.
__attribute__((target("avx2"))) inline __m256i ColourByte(int at) {
    const auto b = [at](int pixel) { return static_cast<char>(3 * pixel + at); };
    return _mm256_setr_epi8(b(0), -1, -1, -1, b(1), -1, -1, -1, b(2), -1, -1, -1, b(3), -1, -1, -1,
                            b(0), -1, -1, -1, b(1), -1, -1, -1, b(2), -1, -1, -1, b(3), -1, -1, -1);
}

// Stores the low byte of each of the eight 32-bit lanes to out[0 .. 7].
__attribute__((target("avx2"))) inline void StoreLowBytes(std::uint8_t* out, __m256i lanes) {
    const __m256i lowBytes =
        _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12,
                         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    const __m256i halvesTogether = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
    const __m256i packed =
        _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(lanes, lowBytes), halvesTogether);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(packed));
}

} // namespace torvi::vectors
