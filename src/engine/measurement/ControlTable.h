#pragma once

#include "measurement/Step.h"

#include <array>
#include <cstddef>

namespace torvi {

// The controls and menu items whose enabling follows the workflow, of the
// main window and of the live window. Several controls that always go
// together share one entry ("B" and "W"; the four navigation buttons;
// "&Graph", "&Save result" and "&Save TXT", or the live window's two saves;
// the two masking items).
enum class Control {
    Ok,
    Change,
    ContrastField,
    ContrastArrows,
    HandColour,
    FrameField,
    Navigation,
    Animation,
    Results,
    MaskingItems,
    SaveCaptured,
    PictureClicks,
    DeviceList,
    Learn,
    Measure,
    Stop,
    Record,
    Count
};

inline constexpr std::size_t ControlCount = static_cast<std::size_t>(Control::Count);

// Off or on; Keep leaves a control as the step before left it (the reset of
// an Open does not touch "&Change", the contrast arrows or "Save captured
// BMP...", so a cancelled Open can resume the measurement on view).
enum class Enabling { Off, On, Keep };

using ControlEnabling = std::array<Enabling, ControlCount>;

// The one table of the program that says which controls a step enables; a
// running animation turns the navigation buttons off.
ControlEnabling EnabledControls(Step step, Activity activity = Activity::Idle);

inline Enabling EnablingOf(const ControlEnabling& table, Control control) {
    return table[static_cast<std::size_t>(control)];
}

// The controls as the steps so far left them: each step's row applied over
// the one before, Keep leaving a control as it was. A measurement holds one
// and refuses what it has off.
class EnabledState {
public:
    void Apply(const ControlEnabling& row) {
        for (std::size_t c = 0; c < ControlCount; ++c)
            if (row[c] != Enabling::Keep) on_[c] = row[c] == Enabling::On;
    }
    bool On(Control control) const { return on_[static_cast<std::size_t>(control)]; }

private:
    std::array<bool, ControlCount> on_{};
};

// The prompt the step shows, empty for none.
const char* StepPrompt(Step step);

// Whether the picture shows the cross cursor (marking runs).
inline bool CrossCursor(Step step) {
    return step == Step::MarkCentre || step == Step::MarkRadius;
}

} // namespace torvi
