#include "measurement/ControlTable.h"

namespace torvi {

namespace {

constexpr Enabling O = Enabling::Off;
constexpr Enabling I = Enabling::On;
constexpr Enabling K = Enabling::Keep;

// One row per step, in the order of Step; columns in the order of Control:
// OK, Change, contrast field, arrows, B/W, frame field, navigation,
// animation, results, masking items, save captured, picture clicks, then the
// live window's device list, learn, measure, stop and record.
// "&Save result" leaves the contrast and frame fields as they were: on after
// the contrast step, off after "&Graph". A film's steps have the live
// window's controls off and a device's steps the main window's, but for the
// marking, which both share.
constexpr std::array<ControlEnabling, 16> Table{{
    /* Start           */ {O, O, O, O, O, O, O, O, O, O, O, O, O, O, O, O, O},
    /* NoMeasurement   */ {O, K, O, K, I, O, O, O, O, O, K, O, O, O, O, O, O},
    /* OpenFailed      */ {O, O, O, O, I, O, O, O, O, O, K, O, O, O, O, O, O},
    /* ChooseDevice    */ {O, O, O, O, O, O, O, O, O, O, O, O, I, O, O, O, I},
    /* MarkCentre      */ {O, O, O, O, I, O, I, I, O, I, I, I, I, O, O, O, I},
    /* MarkRadius      */ {O, O, O, O, I, O, I, I, O, I, I, I, I, O, O, O, I},
    /* Marked          */ {I, I, O, O, I, O, I, I, O, I, I, O, I, I, O, O, I},
    /* Confirmed       */ {I, I, O, O, O, O, I, I, O, I, I, O, O, O, O, O, O},
    /* ContrastSetting */ {O, I, I, I, O, I, I, I, I, I, I, O, O, O, O, O, O},
    /* FinishedGraph   */ {O, O, O, O, O, O, I, I, I, I, I, O, O, O, O, O, O},
    /* FinishedSaved   */ {O, O, K, O, O, K, I, I, I, I, I, O, O, O, O, O, O},
    /* Learning        */ {O, O, O, I, O, O, O, O, O, O, O, O, O, O, I, I, I},
    /* Learned         */ {O, I, O, I, O, O, O, O, O, O, O, O, I, I, I, O, I},
    /* Measuring       */ {O, O, O, O, O, O, O, O, O, O, O, O, O, O, O, I, O},
    /* Finished        */ {O, I, O, O, O, O, O, O, I, O, O, O, I, I, O, O, I},
    /* DeviceFailed    */ {O, O, O, O, O, O, O, O, O, O, O, O, I, O, O, O, I},
}};
static_assert(Table.size() == static_cast<std::size_t>(Step::DeviceFailed) + 1, "one row per step");

} // namespace

ControlEnabling EnabledControls(Step step, Activity activity) {
    ControlEnabling row = Table[static_cast<std::size_t>(step)];
    if (activity == Activity::Animating &&
        row[static_cast<std::size_t>(Control::Navigation)] == Enabling::On)
        row[static_cast<std::size_t>(Control::Navigation)] = Enabling::Off;
    return row;
}

const char* StepPrompt(Step step) {
    switch (step) {
    case Step::ChooseDevice:
        return "Choose a capture device, or a film to play as a camera.";
    case Step::MarkCentre:
        return "Set centre of dial.";
    case Step::MarkRadius:
        return "Set radius of hand.";
    case Step::ContrastSetting:
        return "Set contrast of picture to the best visibility of hand, together with less "
               "error disturbance.";
    case Step::Learning:
        return "Learning the background: keep the hand moving. Stop when only the hand shows "
               "white in the masking view.";
    case Step::Learned:
        return "Set the contrast so that the hand stands out, then measure.";
    case Step::Measuring:
        return "Measuring. Stop ends the run.";
    case Step::Finished:
        return "Save the result, or learn the background again for a new run.";
    default:
        return "";
    }
}

} // namespace torvi
