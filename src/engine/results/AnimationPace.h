#pragma once

#include <cstdint>
#include <functional>
#include <optional>

namespace torvi {

// The longest single sleep of the playing loop: the window processes its
// events at least this often, however long a frame lasts.
inline constexpr std::uint32_t SleepSliceMilliseconds = 30;

// The wait of a pass while the rate is 0 and no usable rate has been read
// since playback started: short enough that "Stop" takes effect promptly.
inline constexpr std::uint32_t NoRateWaitMilliseconds = 100;

// The wait between two frames at a rate in frames per second:
// 1 / rate × 1000 milliseconds in extended precision, rounded to the nearest
// whole millisecond with a tie going to the even neighbour (16 fps gives 62).
// A wait beyond the 32-bit millisecond count is held at its maximum; above
// 2000 fps it is 0. Nothing for a rate of 0 (or a negative or NaN one), which
// has no usable wait.
std::optional<std::uint32_t> AnimationDelay(double rate);

// Takes the next sleep of a wait off remaining: 30 milliseconds while more
// than that remains, then the rest; 0 when nothing remains. A 40 ms wait is
// slept as 30 + 10, a 1000 ms wait as 33 × 30 + 10.
std::uint32_t TakeSleepSlice(std::uint32_t& remaining);

// The pace of the playing loop, kept from one pass to the next: the last
// usable rate (1 frame per second until one is read) and the last delay.
class AnimationPace {
public:
    struct Pass {
        bool Advance = false;   // show the next frame in this pass
        std::uint32_t Wait = 0; // milliseconds to wait after it
        bool operator==(const Pass&) const = default;
    };

    // One pass with the frame rate read from its field now, or nothing when
    // the field does not convert (the last rate then stays in use). At a rate
    // of 0 the frames stand still and the pass waits the last delay, or
    // NoRateWaitMilliseconds before any delay has been worked out.
    Pass NextPass(std::optional<long double> fieldRate);

    double Rate() const { return rate_; }

private:
    double rate_ = 1.0;
    std::optional<std::uint32_t> delay_;
};

// What the playing loop needs from the window. All are called on the
// caller's thread; the loop never sleeps longer than SleepSliceMilliseconds
// without calling ProcessEvents.
struct AnimationHooks {
    std::function<bool()> Stopped;                         // the stop flag
    std::function<std::optional<long double>()> FieldRate; // the rate field converted now
    std::function<void()> Advance;                         // show the next frame, wrapping
    std::function<void()> ProcessEvents;                   // let the window breathe
    std::function<void(std::uint32_t)> Sleep;              // sleep that many milliseconds
    // Optional: answers true when the rest of a wait must be skipped, for a
    // program that is closing and should not sit out a long frame period.
    std::function<bool()> CutWait = nullptr;
};

// Plays until Stopped() answers true at the top of a pass: reads the rate,
// advances one frame unless the rate is 0, processes events, then waits the
// pass's delay in slices with events processed after each. A stop requested
// during a wait ends the loop once that wait has run out, or at once when
// CutWait answers true.
void RunAnimation(const AnimationHooks& hooks);

} // namespace torvi
