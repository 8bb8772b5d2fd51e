#pragma once

namespace torvi {

// Where the user is in a measurement's workflow. A measurement of a film or
// of pictures goes from Start through the marking to a result; one of a
// capture device (a camera, or a film played as one) goes from ChooseDevice
// through the same marking, learning its background and measuring. Every
// step but Start, OpenFailed and Confirmed is one the user sees named in the
// prompt or the results; those three differ from their neighbours only in
// what they enable.
enum class Step {
    Start,           // nothing opened yet: every workflow control is off
    NoMeasurement,   // an Open began (and was cancelled): the earlier measurement may resume
    OpenFailed,      // an Open was confirmed and failed: nothing is left to resume
    ChooseDevice,    // no capture device is open
    MarkCentre,      // waiting for the click on the dial centre
    MarkRadius,      // waiting for the click on the tip of the big hand
    Marked,          // centre and radius set; waiting for "OK", B or W, learning or "&Change"
    Confirmed,       // "OK" pressed: calibrating, or the calibration failed
    ContrastSetting, // calibrated; the masking window shows the contrast
    FinishedGraph,   // "&Graph" asked for the result
    FinishedSaved,   // "&Save result" asked for the result
    Learning,        // every picture of the device folds into the background
    Learned,         // the background stays; contrast, then measuring
    Measuring,       // every picture of the device gives the hand's direction
    Finished,        // the device's run ended; its result can be saved
    DeviceFailed,    // the device could not be opened, or failed before measuring
};

// What runs besides the step: a long run on its worker (opening a film,
// calibration, measurement), or the animation.
enum class Activity { Idle, Running, Animating };

} // namespace torvi
