#include "Calibration.h"

#include "Error.h"
#include "GreyValue.h"

#include <algorithm>
#include <atomic>
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
    // Sample 0 is the caller's; the rest are handed out in order, each to
    // the loader that is free (a film's sample costs more or less decoding
    // by where it lies in its GOP). A loader that fails stops the handing
    // out and notes where it failed.
    std::atomic<std::size_t> next{1};
    const auto foldTaken = [&](const FrameLoader& load, std::size_t at, Bitmap& into,
                               const FrameProgress& report, std::size_t& failedAt) {
        Bitmap frame;
        bool first = into.Empty();
        for (; at < samples.size(); at = next++) {
            try {
                const ExpectedPictureSize expected(into.Width(), into.Height());
                LoadAnalysisFrame(load, samples[at], frame);
                // The first sample gives the picture its size, and every
                // later sample is compared with it.
                FoldCalibrationFrame(into, frame, first, hand);
                first = false;
                if (report) report(samples[at]);
            } catch (...) {
                failedAt = at;
                next = samples.size();
                throw;
            }
        }
    };
    std::size_t failedAt = samples.size();
    if (!second || samples.size() < 2) {
        foldTaken(loadFrame, 0, reference, progress, failedAt); // every sample, in order
        return;
    }
    Bitmap other;
    std::exception_ptr otherFailure;
    std::size_t otherFailedAt = samples.size();
    int callerLast = -1;
    const FrameProgress callerReport = [&](int index) {
        callerLast = index;
        if (progress) progress(index);
    };
    std::thread helper;
    try {
        helper = std::thread([&] {
            try {
                foldTaken(second, next++, other, {}, otherFailedAt);
            } catch (...) {
                otherFailure = std::current_exception();
            }
        });
    } catch (const std::system_error&) {
        foldTaken(loadFrame, 0, reference, progress, failedAt); // no thread to be had
        return;
    }
    try {
        foldTaken(loadFrame, 0, reference, callerReport, failedAt);
    } catch (...) {
        helper.join();
        // The error of the earliest sample, whichever thread met it.
        if (otherFailure && otherFailedAt < failedAt) std::rethrow_exception(otherFailure);
        throw;
    }
    helper.join();
    if (otherFailure) std::rethrow_exception(otherFailure);
    if (!other.Empty()) FoldCalibrationFrame(reference, other, false, hand);
    if (progress && callerLast != samples.back()) progress(samples.back());
}

} // namespace torvi
