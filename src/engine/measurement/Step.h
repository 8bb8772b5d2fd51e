#pragma once

namespace torvi {

// Where the user is in the measurement's workflow. Every step but Start,
// OpenFailed and Confirmed is one the user sees named in the prompt or the
// results; those three differ from their neighbours only in what they enable.
enum class Step {
    Start,           // nothing opened yet: every workflow control is off
    NoMeasurement,   // an Open began (and was cancelled): the earlier measurement may resume
    OpenFailed,      // an Open was confirmed and failed: nothing is left to resume
    MarkCentre,      // waiting for the click on the dial centre
    MarkRadius,      // waiting for the click on the tip of the big hand
    Marked,          // centre and radius set; waiting for "OK" or "&Change"
    Confirmed,       // "OK" pressed: calibrating, or the calibration failed
    ContrastSetting, // calibrated; the masking window shows the contrast
    FinishedGraph,   // "&Graph" asked for the result
    FinishedSaved,   // "&Save result" asked for the result
};

// What runs besides the step: a calibration or measurement on its worker, or
// the animation.
enum class Activity { Idle, Running, Animating };

} // namespace torvi
