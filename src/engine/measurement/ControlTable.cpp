#include "measurement/ControlTable.h"

namespace torvi {

namespace {

constexpr Enabling O = Enabling::Off;
constexpr Enabling I = Enabling::On;
constexpr Enabling K = Enabling::Keep;

// One row per step, in the order of Step; columns in the order of Control:
// OK, Change, contrast field, arrows, B/W, frame field, navigation,
// animation, results, masking items, save captured, picture clicks.
// "&Save result" leaves the contrast and frame fields as they were: on after
// the contrast step, off after "&Graph".
constexpr std::array<ControlEnabling, 10> Table{{
    /* Start           */ {O, O, O, O, O, O, O, O, O, O, O, O},
    /* NoMeasurement   */ {O, K, O, K, I, O, O, O, O, O, K, O},
    /* OpenFailed      */ {O, O, O, O, I, O, O, O, O, O, K, O},
    /* MarkCentre      */ {O, O, O, O, I, O, I, I, O, I, I, I},
    /* MarkRadius      */ {O, O, O, O, I, O, I, I, O, I, I, I},
    /* Marked          */ {I, I, O, O, I, O, I, I, O, I, I, O},
    /* Confirmed       */ {I, I, O, O, O, O, I, I, O, I, I, O},
    /* ContrastSetting */ {O, I, I, I, O, I, I, I, I, I, I, O},
    /* FinishedGraph   */ {O, O, O, O, O, O, I, I, I, I, I, O},
    /* FinishedSaved   */ {O, O, K, O, O, K, I, I, I, I, I, O},
}};
static_assert(Table.size() == static_cast<std::size_t>(Step::FinishedSaved) + 1,
              "one row per step");

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
    case Step::MarkCentre:
        return "Set centre of dial.";
    case Step::MarkRadius:
        return "Set radius of hand.";
    case Step::ContrastSetting:
        return "Set contrast of picture to the best visibility of hand, together with less "
               "error disturbance.";
    default:
        return "";
    }
}

} // namespace torvi
