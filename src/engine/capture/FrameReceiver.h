#pragma once

#include "Bitmap.h"

#include <cstdint>
#include <string>

namespace torvi {

// Takes every picture a capture device delivers, on the device's own worker
// thread, with the device's timestamp. A receiver must return quickly: a
// receiver that takes long holds up the device, which then drops pictures
// of its own. The picture is valid only during the call.
class FrameReceiver {
public:
    virtual ~FrameReceiver() = default;
    // One picture (15-bit, rows from the top, of the device's format) and its
    // time in microseconds on the device's clock.
    virtual void ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) = 0;
    // The device delivers no more pictures: `failure` says why, and is empty
    // when a played film came to its end. Not called when the device is
    // closed by its owner.
    virtual void DeviceEnded(const std::string& failure) = 0;
};

} // namespace torvi
