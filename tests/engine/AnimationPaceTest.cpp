#include "results/AnimationPace.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <string>
#include <vector>

using namespace torvi;

namespace {

std::vector<std::uint32_t> Slices(std::uint32_t delay) {
    std::vector<std::uint32_t> slices;
    while (delay > 0)
        slices.push_back(TakeSleepSlice(delay));
    return slices;
}

// A window stand-in that records what the playing loop does.
struct FakeWindow {
    bool Stopped = false;
    std::optional<long double> Rate = 25.0L;
    int Frame = 0;
    std::vector<std::string> Log;
    std::function<void(FakeWindow&)> OnEvents;

    AnimationHooks Hooks() {
        return {[this] { return Stopped; }, [this] { return Rate; },
                [this] {
                    ++Frame;
                    Log.push_back("next");
                },
                [this] {
                    Log.push_back("events");
                    if (OnEvents) OnEvents(*this);
                },
                [this](std::uint32_t ms) { Log.push_back("sleep " + std::to_string(ms)); }};
    }
};

} // namespace

TEST(AnimationPace, DelayIsRoundedMillisecondsTiesToEven) {
    EXPECT_EQ(AnimationDelay(25), 40u);
    EXPECT_EQ(AnimationDelay(1), 1000u);
    EXPECT_EQ(AnimationDelay(16), 62u); // 62.5
    EXPECT_EQ(AnimationDelay(29.97), 33u);
    EXPECT_EQ(AnimationDelay(1.0 / 3), 3000u);
    EXPECT_EQ(AnimationDelay(1999), 1u);
    EXPECT_EQ(AnimationDelay(2000), 0u); // 0.5
    EXPECT_EQ(AnimationDelay(2001), 0u);
    EXPECT_EQ(AnimationDelay(std::numeric_limits<double>::infinity()), 0u);
    EXPECT_EQ(AnimationDelay(1e-7), std::numeric_limits<std::uint32_t>::max());
    EXPECT_EQ(AnimationDelay(std::numeric_limits<double>::denorm_min()),
              std::numeric_limits<std::uint32_t>::max());
    EXPECT_EQ(AnimationDelay(0), std::nullopt);
    EXPECT_EQ(AnimationDelay(-0.0), std::nullopt);
    EXPECT_EQ(AnimationDelay(std::numeric_limits<double>::quiet_NaN()), std::nullopt);
}

TEST(AnimationPace, WaitsInSlicesOfAtMostThirty) {
    EXPECT_EQ(Slices(40), (std::vector<std::uint32_t>{30, 10}));
    std::vector<std::uint32_t> second(33, 30);
    second.push_back(10);
    EXPECT_EQ(Slices(1000), second);
    EXPECT_EQ(Slices(30), (std::vector<std::uint32_t>{30}));
    EXPECT_EQ(Slices(31), (std::vector<std::uint32_t>{30, 1}));
    EXPECT_TRUE(Slices(0).empty());
    std::uint32_t longest = std::numeric_limits<std::uint32_t>::max();
    EXPECT_EQ(TakeSleepSlice(longest), 30u);
    EXPECT_EQ(longest, std::numeric_limits<std::uint32_t>::max() - 30);
}

TEST(AnimationPace, KeepsLastUsableRateAndDelay) {
    using Pass = AnimationPace::Pass;
    AnimationPace pace;
    EXPECT_EQ(pace.NextPass(std::nullopt), (Pass{true, 1000})); // starts at 1 per second
    EXPECT_EQ(pace.NextPass(25.0L), (Pass{true, 40}));
    EXPECT_EQ(pace.NextPass(std::nullopt), (Pass{true, 40})); // field emptied
    EXPECT_EQ(pace.NextPass(0.0L), (Pass{false, 40}));        // stands still
    EXPECT_EQ(pace.NextPass(std::nullopt), (Pass{false, 40}));
    EXPECT_EQ(pace.Rate(), 0.0);
    EXPECT_EQ(pace.NextPass(16.0L), (Pass{true, 62}));
    EXPECT_EQ(pace.NextPass(3000.0L), (Pass{true, 0}));

    AnimationPace stillFromStart;
    EXPECT_EQ(stillFromStart.NextPass(0.0L), (Pass{false, NoRateWaitMilliseconds}));
    EXPECT_EQ(stillFromStart.NextPass(std::nullopt), (Pass{false, NoRateWaitMilliseconds}));
}

TEST(AnimationPace, StopDuringWaitEndsLoopAfterThatWait) {
    FakeWindow window;
    int events = 0;
    window.OnEvents = [&events](FakeWindow& w) {
        if (++events == 3) w.Stopped = true; // the press on "Stop" after the first slice
    };
    RunAnimation(window.Hooks());
    EXPECT_EQ(window.Frame, 1);
    EXPECT_EQ(window.Log, (std::vector<std::string>{"next", "events", "sleep 30", "events",
                                                    "sleep 10", "events"}));
}

TEST(AnimationPace, ClosingCanCutALongWait) {
    FakeWindow window;
    window.Rate = 0.001L; // a frame every 1000 seconds
    bool closing = false;
    window.OnEvents = [&closing](FakeWindow& w) {
        if (w.Log.size() == 4) closing = w.Stopped = true;
    };
    AnimationHooks hooks = window.Hooks();
    hooks.CutWait = [&closing] { return closing; };
    RunAnimation(hooks);
    EXPECT_EQ(window.Log, (std::vector<std::string>{"next", "events", "sleep 30", "events"}));
}

TEST(AnimationPace, FastRatesSkipSleepAndZeroRateStandsStill) {
    FakeWindow fast;
    fast.Rate = 5000.0L;
    fast.OnEvents = [](FakeWindow& w) {
        if (w.Frame == 3) w.Stopped = true; // closing the window during playback
    };
    RunAnimation(fast.Hooks());
    EXPECT_EQ(fast.Log,
              (std::vector<std::string>{"next", "events", "next", "events", "next", "events"}));

    FakeWindow still;
    still.Rate = 0.0L;
    still.OnEvents = [](FakeWindow& w) {
        if (std::count(w.Log.begin(), w.Log.end(), "events") == 10) w.Stopped = true;
    };
    RunAnimation(still.Hooks());
    EXPECT_EQ(still.Frame, 0);
    // Two passes of 100 ms: 30 + 30 + 30 + 10 each.
    std::vector<std::string> pass{"events",   "sleep 30", "events",   "sleep 30", "events",
                                  "sleep 30", "events",   "sleep 10", "events"};
    std::vector<std::string> expected = pass;
    expected.insert(expected.end(), pass.begin(), pass.end());
    EXPECT_EQ(still.Log, expected);
}
