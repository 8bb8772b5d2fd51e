#include "AngleUnwrapper.h"

namespace torvi {

double AngleUnwrapper::Next(double direction) {
    if (!started_) {
        started_ = true;
        previous_ = first_ = direction;
        return 0;
    }
    const double diff = previous_ - (direction + 360.0 * turns_);
    if (diff > 180.0)
        ++turns_;
    else if (diff < -180.0)
        --turns_;
    previous_ = direction + 360.0 * turns_;
    return previous_ - first_;
}

} // namespace torvi
