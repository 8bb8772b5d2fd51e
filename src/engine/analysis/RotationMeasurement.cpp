#include "RotationMeasurement.h"

#include "AngleUnwrapper.h"
#include "Error.h"
#include "GreyValue.h"
#include "HandMeter.h"
#include "PixelVectors.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace torvi {

namespace {

// Marks the pixels of one row of the square that vote: within reach (a bin
// in the table) and hand by the contrast rule, written as
// sign * (reference - grey) >= threshold with sign +1 for a dark hand and -1
// for a light one, which is Kontrast. The third byte of each reference pixel
// decides. Returns how many it marked.
int MarkVotersPortable(const std::uint8_t* grey, const std::uint8_t* reference,
                       const std::int16_t* bins, int n, int sign, int threshold,
                       std::uint8_t* voters) {
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const int difference = reference[3 * i + 2] - grey[i];
        const int votes = (bins[i] >= 0) & (sign * difference >= threshold);
        voters[i] = static_cast<std::uint8_t>(votes);
        count += votes;
    }
    return count;
}

// The same eight pixels at a time; the reference's third bytes are picked
// out of the interleaved rows as the grey values' colours are.
__attribute__((target("avx2"))) int MarkVotersAvx2(const std::uint8_t* grey,
                                                   const std::uint8_t* reference,
                                                   const std::int16_t* bins, int n, int sign,
                                                   int threshold, std::uint8_t* voters) {
    using namespace vectors;
    const __m256i thirdAt = ColourByte(2);
    const __m256i signs = _mm256_set1_epi32(sign < 0 ? -1 : 1);
    // a >= threshold is a > threshold - 1. Differences lie within -255 .. 255,
    // so holding the threshold within -256 .. 256 changes no vote.
    const __m256i below = _mm256_set1_epi32(std::clamp(threshold, -256, 256) - 1);
    const __m256i minusOne = _mm256_set1_epi32(-1);
    const __m256i one = _mm256_set1_epi32(1);
    int count = 0;
    int i = 0;
    for (; i + PixelsReadPerGroup <= n; i += 8) {
        const __m256i third = _mm256_shuffle_epi8(
            LoadEightPixels(reference + 3 * static_cast<std::ptrdiff_t>(i)), thirdAt);
        const __m256i greys =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(grey + i)));
        const __m256i binsHere =
            _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bins + i)));
        const __m256i difference = _mm256_sign_epi32(_mm256_sub_epi32(third, greys), signs);
        const __m256i votes = _mm256_and_si256(_mm256_cmpgt_epi32(difference, below),
                                               _mm256_cmpgt_epi32(binsHere, minusOne));
        count += __builtin_popcount(
            static_cast<unsigned>(_mm256_movemask_ps(_mm256_castsi256_ps(votes))));
        StoreLowBytes(voters + i, _mm256_and_si256(votes, one));
    }
    return count + MarkVotersPortable(grey + i, reference + 3 * static_cast<std::ptrdiff_t>(i),
                                      bins + i, n - i, sign, threshold, voters + i);
}

int MarkVoters(const std::uint8_t* grey, const std::uint8_t* reference, const std::int16_t* bins,
               int n, int sign, int threshold, std::uint8_t* voters) {
    using Function = int (*)(const std::uint8_t*, const std::uint8_t*, const std::int16_t*, int,
                             int, int, std::uint8_t*);
    static const Function chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? MarkVotersAvx2 : MarkVotersPortable;
    }();
    return chosen(grey, reference, bins, n, sign, threshold, voters);
}

void CheckSameSize(const Bitmap& frame, const Bitmap& reference) {
    if (frame.Width() != reference.Width() || frame.Height() != reference.Height() ||
        reference.Format() != PixelFormat::Pf24Bit)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
}

} // namespace

FrameVotes CountVotes(const Bitmap& frame, const Bitmap& reference, const DirectionTable& table,
                      int contrastThreshold, HandColour hand) {
    CheckSameSize(frame, reference);
    if (frame.Format() != PixelFormat::Pf24Bit)
        return CountVotes(frame.ToBgr24(), reference, table, contrastThreshold, hand);
    const PixelSquare& square = table.Square();
    if (!square.Empty() &&
        (square.X0 + square.Width > frame.Width() || square.Y0 + square.Height > frame.Height()))
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);

    // Counting in 32 bits and capping afterwards is the same as counters that
    // stop at 65535, and keeps the inner loop free of the test.
    std::array<std::uint32_t, 360> counts{};
    FrameVotes result;
    const auto width = static_cast<std::size_t>(square.Width);
    std::vector<std::uint8_t> grey(width);
    std::vector<std::uint8_t> voters(width);
    const std::size_t offset = 3 * static_cast<std::size_t>(square.X0);
    const int sign = hand == HandColour::Dark ? 1 : -1;
    for (int row = 0; row < square.Height; ++row) {
        // Only the columns within reach can vote.
        const DirectionTable::Span span = table.RowSpan(row);
        const int n = span.End - span.First;
        if (n <= 0) continue;
        const std::int16_t* bins = table.Row(row) + span.First;
        const std::size_t at = offset + 3 * static_cast<std::size_t>(span.First);
        GreyRow(frame, square.Y0 + row, square.X0 + span.First, n, grey.data());
        const int marked = MarkVoters(grey.data(), reference.ScanLine(square.Y0 + row) + at, bins,
                                      n, sign, contrastThreshold, voters.data());
        if (marked == 0) continue;
        result.HandPixels += static_cast<std::uint32_t>(marked);
        const std::uint8_t* from = voters.data();
        const std::uint8_t* end = from + n;
        while (const void* hit = std::memchr(from, 1, static_cast<std::size_t>(end - from))) {
            const auto col =
                static_cast<std::size_t>(static_cast<const std::uint8_t*>(hit) - voters.data());
            ++counts[static_cast<std::size_t>(bins[col])];
            from = voters.data() + col + 1;
        }
    }
    for (std::size_t bin = 0; bin < counts.size(); ++bin)
        result.Histogram[bin] =
            static_cast<std::uint16_t>(std::min<std::uint32_t>(counts[bin], 65535u));
    return result;
}

int PeakBin(const VoteHistogram& histogram) {
    int peak = 0;
    std::uint16_t best = 0;
    for (int bin = 0; bin < 360; ++bin) {
        if (histogram[static_cast<std::size_t>(bin)] > best) {
            best = histogram[static_cast<std::size_t>(bin)];
            peak = bin;
        }
    }
    return peak;
}

std::vector<std::int32_t> UnwrapAngles(const std::vector<std::uint16_t>& angles) {
    std::vector<std::int32_t> unwrapped;
    unwrapped.reserve(angles.size());
    AngleUnwrapper unwrapper;
    for (const std::uint16_t angle : angles) {
        const double value = unwrapper.Next(angle);
        if (value > std::numeric_limits<std::int32_t>::max() ||
            value < std::numeric_limits<std::int32_t>::min())
            throw Error("The hand turned too far to be recorded");
        unwrapped.push_back(static_cast<std::int32_t>(value));
    }
    return unwrapped;
}

RotationResult MeasureHandRotation(int frameCount, const FrameLoader& loadFrame,
                                   const Bitmap& reference, const MeasurementSettings& settings,
                                   const FrameProgress& progress, const FineAngleSetup& fine) {
    if (frameCount < 1) return {};
    HandMeter meter(settings, reference, fine);
    // One picture serves every frame: a film's frames overwrite it in place.
    Bitmap frame;
    const ExpectedPictureSize expected(reference.Width(), reference.Height());
    for (int index = 0; index < frameCount; ++index) {
        LoadAnalysisFrame(loadFrame, index, frame);
        meter.Measure(frame);
        if (progress) progress(index);
    }
    return meter.Result();
}

} // namespace torvi
