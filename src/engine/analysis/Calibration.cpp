#include "Calibration.h"

#include "Error.h"
#include "GreyValue.h"

#include <algorithm>

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

void StartReference(Bitmap& reference, const Bitmap& frame) {
    const GreyTable& grey = GreyTable::Instance();
    reference.Assign(frame.Width(), frame.Height(), PixelFormat::Pf24Bit);
    for (int y = 0; y < frame.Height(); ++y) {
        const std::uint8_t* src = frame.ScanLine(y);
        std::uint8_t* dst = reference.ScanLine(y);
        for (int x = 0; x < frame.Width(); ++x, src += 3, dst += 3) {
            const std::uint8_t g = grey.Value(src);
            dst[0] = dst[1] = dst[2] = g;
        }
    }
}

template <bool KeepBrighter> void FoldInto(Bitmap& reference, const Bitmap& frame) {
    const GreyTable& grey = GreyTable::Instance();
    for (int y = 0; y < frame.Height(); ++y) {
        const std::uint8_t* src = frame.ScanLine(y);
        std::uint8_t* dst = reference.ScanLine(y);
        for (int x = 0; x < frame.Width(); ++x, src += 3, dst += 3) {
            const std::uint8_t g = grey.Value(src);
            // Writing the kept value back unconditionally avoids a branch the
            // processor cannot predict on a noisy picture.
            const std::uint8_t kept = KeepBrighter ? std::max(g, dst[0]) : std::min(g, dst[0]);
            dst[0] = dst[1] = dst[2] = kept;
        }
    }
}

} // namespace

void FoldCalibrationFrame(Bitmap& reference, const Bitmap& frame, bool firstSample,
                          HandColour hand) {
    if (!firstSample &&
        (frame.Width() != reference.Width() || frame.Height() != reference.Height() ||
         reference.Format() != PixelFormat::Pf24Bit))
        throw Error(PicturesNotEqual);
    if (frame.Format() != PixelFormat::Pf24Bit) {
        FoldCalibrationFrame(reference, frame.ToBgr24(), firstSample, hand);
        return;
    }
    if (firstSample)
        StartReference(reference, frame);
    else if (hand == HandColour::Dark)
        FoldInto<true>(reference, frame);
    else
        FoldInto<false>(reference, frame);
}

void BuildReferenceImage(int frameCount, const FrameLoader& loadFrame, HandColour hand,
                         Bitmap& reference, const FrameProgress& progress) {
    if (frameCount < 1) throw Error("There are no frames to calibrate");
    reference = Bitmap();
    bool first = true;
    for (const int index : CalibrationSamples(frameCount)) {
        Bitmap frame = loadFrame(index);
        // Frame 0 is the first sample, so the reference takes its size and
        // every later sample is compared with it.
        FoldCalibrationFrame(reference, frame, first, hand);
        first = false;
        frame = Bitmap();
        if (progress) progress(index);
    }
}

} // namespace torvi
