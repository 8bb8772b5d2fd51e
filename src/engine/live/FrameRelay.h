#pragma once

#include "capture/FrameReceiver.h"
#include "live/LiveMeasurement.h"

#include <cstdint>
#include <mutex>
#include <string>

namespace torvi {

// Takes a device's pictures and hands them to a live measurement while one
// is attached and wants them; remembers that the device ended. The device
// delivers on its own thread; everything else is called from the owner's.
class FrameRelay final : public FrameReceiver {
public:
    void ReceiveFrame(const Bitmap& picture, std::int64_t timestampMicroseconds) override;
    void DeviceEnded(const std::string& failure) override;

    void Attach(LiveMeasurement* target);
    void SetForwarding(bool forwarding);
    bool Ended() const;
    // Why the device ended; empty for a played film's end.
    std::string Failure() const;
    // Forgets an end, for a device opened anew.
    void Reset();

private:
    mutable std::mutex lock_;
    LiveMeasurement* target_ = nullptr;
    bool forwarding_ = false;
    bool ended_ = false;
    std::string failure_;
};

} // namespace torvi
