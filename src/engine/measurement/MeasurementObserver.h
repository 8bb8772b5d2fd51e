#pragma once

#include "measurement/Step.h"

#include <cstddef>
#include <string>

namespace torvi {

class Bitmap;
class Error;

// What the progress bar counts.
enum class Progress { None, Opening, Calibration, Measurement };

// What a measurement tells the front end about itself. Every call comes on
// the thread that called the measurement's operation (or its Poll); the
// defaults ignore it.
class MeasurementObserver {
public:
    virtual ~MeasurementObserver() = default;

    virtual void StepChanged(Step) {}
    // A long operation began (its kind and its status text: "Opening ...",
    // "Calibration ...", "Calculation ...") or ended (None, an empty text).
    // Its progress follows: a film's opening counts to 1000, the others
    // count the frames.
    virtual void ActivityChanged(Progress, const std::string&) {}
    // "Count of opened pictures *.BMP: 3" after a successful list of frames.
    virtual void FrameCountChanged(const std::string&) {}
    virtual void ProgressRangeChanged(int /*maximum*/) {}
    virtual void ProgressChanged(int /*value*/) {}
    // The marks, as the window shows them next to "Centre:" and "Radius of big hand:".
    virtual void CentreChanged(int /*x*/, int /*y*/) {}
    virtual void RadiusChanged(int /*radius*/) {}
    // The frame at CurrentIndex is about to be shown; its frame field text.
    virtual void FrameFieldChanged(const std::string&) {}
    // A newly loaded picture for the view; valid during the call only.
    virtual void PictureChanged(const Bitmap&) {}
    // A newly built masking picture; valid during the call only.
    virtual void MaskChanged(const Bitmap&) {}
    virtual void ContrastChanged(int) {}
    // A device's run measured new frames; `total` measured so far.
    virtual void FramesMeasured(std::size_t /*total*/) {}
    // An operation ended on this error; the measurement keeps the state it had reached.
    virtual void Failed(const Error&) {}
};

} // namespace torvi
