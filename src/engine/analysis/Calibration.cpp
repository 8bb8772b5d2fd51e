#include "Calibration.h"

#include "Error.h"
#include "GreyValue.h"

#include <algorithm>
#include <exception>
#include <system_error>
#include <thread>

namespace torvi {

std::vector<int> CalibrationSamples(int frameCount) {
    std::vector<int> samples;
    if (frameCount < 1) return samples;
    const int step = std::max((frameCount - 1) / 10, 1);
    // Counting in long long keeps i + step from overflowing near INT_MAX.
    for (long long i = 0; i <= frameCount - 1; i += step)
        samples.push_back(static_cast<int>(i));
    return samples;
}

namespace {

// The row loops are built twice, for processors with and without AVX2; the
// AVX2 version treats 32 pixels at a time. Both give the same bytes.

__attribute__((target_clones("avx2", "default"))) void SetRow(const std::uint8_t* grey,
                                                              std::uint8_t* dst, int n) {
    for (int i = 0; i < n; ++i)
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = grey[i];
}

// Writing the kept value back unconditionally keeps the loop free of a branch
// the processor could not predict on a noisy picture.
__attribute__((target_clones("avx2", "default"))) void KeepBrighterRow(const std::uint8_t* grey,
                                                                       std::uint8_t* dst, int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint8_t kept = std::max(grey[i], dst[3 * i]);
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = kept;
    }
}

__attribute__((target_clones("avx2", "default"))) void KeepDarkerRow(const std::uint8_t* grey,
                                                                     std::uint8_t* dst, int n) {
    for (int i = 0; i < n; ++i) {
        const std::uint8_t kept = std::min(grey[i], dst[3 * i]);
        dst[3 * i] = dst[3 * i + 1] = dst[3 * i + 2] = kept;
    }
}

void FoldRows(Bitmap& reference, const Bitmap& frame,
              void (*rowFold)(const std::uint8_t*, std::uint8_t*, int)) {
    std::vector<std::uint8_t> greyRow(static_cast<std::size_t>(frame.Width()));
    for (int y = 0; y < frame.Height(); ++y) {
        GreyRow(frame, y, 0, frame.Width(), greyRow.data());
        rowFold(greyRow.data(), reference.ScanLine(y), frame.Width());
    }
}

} // namespace

void FoldCalibrationFrame(Bitmap& reference, const Bitmap& frame, bool firstSample,
                          HandColour hand) {
    if (!firstSample &&
        (frame.Width() != reference.Width() || frame.Height() != reference.Height() ||
         reference.Format() != PixelFormat::Pf24Bit))
        throw Error(ErrorKind::SizesNotEqual, PicturesNotEqual);
    if (frame.Format() != PixelFormat::Pf24Bit) {
        FoldCalibrationFrame(reference, frame.ToBgr24(), firstSample, hand);
        return;
    }
    if (firstSample) {
        reference.Assign(frame.Width(), frame.Height(), PixelFormat::Pf24Bit);
        FoldRows(reference, frame, SetRow);
    } else {
        FoldRows(reference, frame, hand == HandColour::Dark ? KeepBrighterRow : KeepDarkerRow);
    }
}

void BuildReferenceImage(int frameCount, const FrameLoader& loadFrame, HandColour hand,
                         Bitmap& reference, const FrameProgress& progress,
                         const FrameLoader& second) {
    if (frameCount < 1) throw Error("There are no frames to calibrate");
    reference = Bitmap();
    const std::vector<int> samples = CalibrationSamples(frameCount);
    // Folds the samples at positions first, first + step, ... into `into`;
    // gives the position that failed, or samples.size().
    const auto foldEvery = [&](const FrameLoader& load, std::size_t first, std::size_t step,
                               Bitmap& into, const FrameProgress& report) {
        Bitmap frame;
        for (std::size_t at = first; at < samples.size(); at += step) {
            const ExpectedPictureSize expected(into.Width(), into.Height());
            LoadAnalysisFrame(load, samples[at], frame);
            // The first sample gives the reference its size, and every
            // later sample is compared with it.
            FoldCalibrationFrame(into, frame, at == first, hand);
            if (report) report(samples[at]);
        }
    };
    if (!second || samples.size() < 2) {
        foldEvery(loadFrame, 0, 1, reference, progress);
        return;
    }
    Bitmap odd;
    std::exception_ptr oddFailure;
    std::size_t oddFailedAt = samples.size();
    std::size_t oddDone = 1;
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                foldEvery(second, 1, 2, odd, [&](int) { oddDone += 2; });
            } catch (...) {
                oddFailure = std::current_exception();
                oddFailedAt = oddDone;
            }
        });
    } catch (const std::system_error&) {
        foldEvery(loadFrame, 0, 1, reference, progress); // no thread to be had
        return;
    }
    std::size_t evenDone = 0;
    try {
        foldEvery(loadFrame, 0, 2, reference, [&](int index) {
            evenDone += 2;
            if (progress) progress(index);
        });
    } catch (...) {
        helper.join();
        if (oddFailure && oddFailedAt < evenDone) std::rethrow_exception(oddFailure);
        throw;
    }
    helper.join();
    if (oddFailure) std::rethrow_exception(oddFailure);
    FoldCalibrationFrame(reference, odd, false, hand);
    if (progress && samples.size() % 2 == 0) progress(samples.back());
}

} // namespace torvi
