#include "live/FrameRelay.h"

namespace torvi {

void FrameRelay::ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) {
    std::lock_guard lock(lock_);
    if (forwarding_ && target_ != nullptr) target_->ReceiveFrame(picture, timestampMicroseconds);
}

void FrameRelay::DeviceEnded(const std::string& failure) {
    std::lock_guard lock(lock_);
    ended_ = true;
    failure_ = failure;
    if (target_ != nullptr) target_->DeviceEnded(failure);
}

void FrameRelay::Attach(LiveMeasurement* target) {
    std::lock_guard lock(lock_);
    target_ = target;
    if (target_ == nullptr) forwarding_ = false;
}

void FrameRelay::SetForwarding(bool forwarding) {
    std::lock_guard lock(lock_);
    forwarding_ = forwarding;
}

bool FrameRelay::Ended() const {
    std::lock_guard lock(lock_);
    return ended_;
}

std::string FrameRelay::Failure() const {
    std::lock_guard lock(lock_);
    return failure_;
}

void FrameRelay::Reset() {
    std::lock_guard lock(lock_);
    ended_ = false;
    failure_.clear();
}

} // namespace torvi
