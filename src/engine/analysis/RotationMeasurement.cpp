#include "RotationMeasurement.h"

#include "AngleUnwrapper.h"
#include "Error.h"
#include "GreyValue.h"
#include "HandMeter.h"

#include <algorithm>
#include <immintrin.h>
#include <limits>

namespace torvi {

namespace {

// Counts the pixels of one row of the square whose grey lies within their
// own range, each in its bin's counter; gives how many there were. A pixel
// beyond reach has an empty range, so its bin (NoVote) is never read.
int VoteRowPortable(const std::uint8_t* grey, const std::uint8_t* lowest,
                    const std::uint8_t* highest, const std::int16_t* bins, int n,
                    std::uint32_t* counts) {
    int count = 0;
    for (int i = 0; i < n; ++i) {
        if (grey[i] >= lowest[i] && grey[i] <= highest[i]) {
            ++counts[bins[i]];
            ++count;
        }
    }
    return count;
}

// The same 32 pixels at a time; the hand's few pixels are then picked out of
// the mask bit by bit.
__attribute__((target("avx2"))) int VoteRowAvx2(const std::uint8_t* grey,
                                                const std::uint8_t* lowest,
                                                const std::uint8_t* highest,
                                                const std::int16_t* bins, int n,
                                                std::uint32_t* counts) {
    int count = 0;
    int i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i g = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(grey + i));
        const __m256i low = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(lowest + i));
        const __m256i high = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(highest + i));
        const __m256i within = _mm256_and_si256(_mm256_cmpeq_epi8(_mm256_max_epu8(g, low), g),
                                                _mm256_cmpeq_epi8(_mm256_min_epu8(g, high), g));
        auto mask = static_cast<std::uint32_t>(_mm256_movemask_epi8(within));
        count += __builtin_popcount(mask);
        while (mask != 0) {
            ++counts[bins[i + __builtin_ctz(mask)]];
            mask &= mask - 1;
        }
    }
    return count + VoteRowPortable(grey + i, lowest + i, highest + i, bins + i, n - i, counts);
}

int VoteRow(const std::uint8_t* grey, const std::uint8_t* lowest, const std::uint8_t* highest,
            const std::int16_t* bins, int n, std::uint32_t* counts) {
    using Function = int (*)(const std::uint8_t*, const std::uint8_t*, const std::uint8_t*,
                             const std::int16_t*, int, std::uint32_t*);
    static const Function chosen = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") ? VoteRowAvx2 : VoteRowPortable;
    }();
    return chosen(grey, lowest, highest, bins, n, counts);
}

void CheckSameSize(const Bitmap& frame, const Bitmap& reference) {
    if (frame.Width() != reference.Width() || frame.Height() != reference.Height() ||
        reference.Format() != PixelFormat::Pf24Bit)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
}

} // namespace

VoteCounter::VoteCounter(const Bitmap& reference, const DirectionTable& table,
                         int contrastThreshold, HandColour hand)
    : table_(table), width_(reference.Width()), height_(reference.Height()) {
    CheckSameSize(reference, reference);
    const PixelSquare& square = table.Square();
    if (square.Empty()) return;
    if (square.X0 < 0 || square.Y0 < 0 || square.X0 + square.Width > width_ ||
        square.Y0 + square.Height > height_)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    // For each reference grey, the greys the rule calls hand: a range, since
    // the rule compares their difference with the threshold.
    const int sign = hand == HandColour::Dark ? 1 : -1;
    std::array<std::uint8_t, 256> lowestFor{};
    std::array<std::uint8_t, 256> highestFor{};
    for (int ref = 0; ref < 256; ++ref) {
        int lowest = 256;
        int highest = -1;
        for (int grey = 0; grey < 256; ++grey) {
            if (sign * (ref - grey) >= contrastThreshold) {
                lowest = std::min(lowest, grey);
                highest = std::max(highest, grey);
            }
        }
        if (highest < 0) lowest = 1, highest = 0;
        lowestFor[static_cast<std::size_t>(ref)] = static_cast<std::uint8_t>(lowest);
        highestFor[static_cast<std::size_t>(ref)] = static_cast<std::uint8_t>(highest);
    }
    const auto size =
        static_cast<std::size_t>(square.Width) * static_cast<std::size_t>(square.Height);
    lowest_.assign(size, 1);
    highest_.assign(size, 0);
    for (int row = 0; row < square.Height; ++row) {
        const std::int16_t* bins = table.Row(row);
        const std::uint8_t* ref = reference.ScanLine(square.Y0 + row) + 3 * square.X0;
        const std::size_t at = static_cast<std::size_t>(row) * static_cast<std::size_t>(square.Width);
        for (int col = 0; col < square.Width; ++col) {
            if (bins[col] < 0) continue;
            const std::uint8_t third = ref[3 * col + 2];
            lowest_[at + static_cast<std::size_t>(col)] = lowestFor[third];
            highest_[at + static_cast<std::size_t>(col)] = highestFor[third];
        }
    }
}

FrameVotes VoteCounter::Count(const Bitmap& frame) const {
    if (frame.Width() != width_ || frame.Height() != height_)
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    if (frame.Format() != PixelFormat::Pf24Bit) return Count(frame.ToBgr24());
    const PixelSquare& square = table_.Square();
    // Counting in 32 bits and capping afterwards is the same as counters that
    // stop at 65535, and keeps the inner loop free of the test.
    std::array<std::uint32_t, 360> counts{};
    FrameVotes result;
    // Grey is computed into a row of its own only where the frame carries no
    // grey plane.
    std::vector<std::uint8_t> buffer(
        frame.HasLumaGrey() ? 0 : static_cast<std::size_t>(std::max(square.Width, 0)));
    for (int row = 0; row < square.Height; ++row) {
        // Only the columns within reach can vote.
        const DirectionTable::Span span = table_.RowSpan(row);
        const int n = span.End - span.First;
        if (n <= 0) continue;
        const std::size_t at =
            static_cast<std::size_t>(row) * static_cast<std::size_t>(square.Width) +
            static_cast<std::size_t>(span.First);
        const std::uint8_t* grey =
            GreyRowOf(frame, square.Y0 + row, square.X0 + span.First, n, buffer.data());
        result.HandPixels += static_cast<std::uint32_t>(
            VoteRow(grey, lowest_.data() + at, highest_.data() + at, table_.Row(row) + span.First,
                    n, counts.data()));
    }
    for (std::size_t bin = 0; bin < counts.size(); ++bin)
        result.Histogram[bin] =
            static_cast<std::uint16_t>(std::min<std::uint32_t>(counts[bin], 65535u));
    return result;
}

FrameVotes CountVotes(const Bitmap& frame, const Bitmap& reference, const DirectionTable& table,
                      int contrastThreshold, HandColour hand) {
    CheckSameSize(frame, reference);
    return VoteCounter(reference, table, contrastThreshold, hand).Count(frame);
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
