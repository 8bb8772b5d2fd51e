#pragma once

namespace torvi {

// Turns directions into the continuous turn as they come: a step of more
// than 180 degrees between neighbours is taken as crossing 12 o'clock, one
// of exactly 180 as it is, and the turn counts from the first direction.
// Whole degrees and fine angles go through this one rule.
class AngleUnwrapper {
public:
    // The turn of the next direction (0 <= direction < 360) since the first.
    double Next(double direction);

private:
    bool started_ = false;
    double turns_ = 0;
    double previous_ = 0;
    double first_ = 0;
};

} // namespace torvi
