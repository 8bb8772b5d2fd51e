#include "AnimationPace.h"

#include <cmath>
#include <limits>

namespace torvi {

std::optional<std::uint32_t> AnimationDelay(double rate) {
    if (!(rate > 0)) return std::nullopt;
    const long double exact = 1.0L / static_cast<long double>(rate) * 1000.0L;
    constexpr auto Longest = std::numeric_limits<std::uint32_t>::max();
    if (exact >= static_cast<long double>(Longest)) return Longest;
    long double whole = std::floor(exact);
    const long double fraction = exact - whole;
    if (fraction > 0.5L || (fraction == 0.5L && std::fmod(whole, 2.0L) != 0)) whole += 1;
    return static_cast<std::uint32_t>(whole);
}

std::uint32_t TakeSleepSlice(std::uint32_t& remaining) {
    const std::uint32_t slice =
        remaining > SleepSliceMilliseconds ? SleepSliceMilliseconds : remaining;
    remaining -= slice;
    return slice;
}

AnimationPace::Pass AnimationPace::NextPass(std::optional<long double> fieldRate) {
    if (fieldRate) rate_ = static_cast<double>(*fieldRate);
    const std::optional<std::uint32_t> delay = AnimationDelay(rate_);
    if (!delay) {
        rate_ = 0;
        return {false, delay_.value_or(NoRateWaitMilliseconds)};
    }
    delay_ = delay;
    return {true, *delay};
}

void RunAnimation(const AnimationHooks& hooks) {
    AnimationPace pace;
    while (!hooks.Stopped()) {
        const AnimationPace::Pass pass = pace.NextPass(hooks.FieldRate());
        if (pass.Advance) hooks.Advance();
        hooks.ProcessEvents();
        for (std::uint32_t remaining = pass.Wait; remaining > 0;) {
            hooks.Sleep(TakeSleepSlice(remaining));
            hooks.ProcessEvents();
            if (hooks.CutWait && hooks.CutWait()) break;
        }
    }
}

} // namespace torvi
