// The speed and time left of a long run, on a clock the test sets.

#include "ProgressSpeed.h"

#include <gtest/gtest.h>

namespace {

struct FakeClock {
    double Now = 100;
    torvi::ProgressSpeed::Clock Clock() {
        return [this] { return Now; };
    }
};

TEST(ProgressSpeedTest, TellsNothingUntilAPhaseHasRunASecondAndAdvanced) {
    FakeClock clock;
    torvi::ProgressSpeed speed(clock.Clock());
    speed.Start(1000);
    clock.Now += 0.5;
    EXPECT_FALSE(speed.Update(50));
    EXPECT_FALSE(speed.Rate());
    clock.Now += 0.5;
    EXPECT_TRUE(speed.Update(120));
    EXPECT_NEAR(*speed.Rate(), 120, 1e-9);
    EXPECT_NEAR(*speed.SecondsLeft(), 880.0 / 120, 1e-9);

    // A stalled run (a long jump, a slow disk) has no speed to tell.
    torvi::ProgressSpeed stalled(clock.Clock());
    stalled.Start(1000);
    clock.Now += 3;
    EXPECT_FALSE(stalled.Update(0));
    EXPECT_FALSE(stalled.SecondsLeft());
}

TEST(ProgressSpeedTest, NewValuesAtMostTwiceASecond) {
    FakeClock clock;
    torvi::ProgressSpeed speed(clock.Clock());
    speed.Start(10000);
    int shown = 0;
    // Five seconds at 256 frames a second (a step the clock holds exactly):
    // new values every half second from the first second on.
    for (int frame = 1; frame <= 1280; ++frame) {
        clock.Now += 1.0 / 256;
        shown += speed.Update(frame);
    }
    EXPECT_EQ(shown, 9);
    EXPECT_NEAR(*speed.Rate(), 256, 1e-9);
    EXPECT_NEAR(*speed.SecondsLeft(), (10000 - 1280) / 256.0, 1e-9);
}

TEST(ProgressSpeedTest, FollowsAChangeOfSpeedAndForgetsTheLastPhase) {
    FakeClock clock;
    torvi::ProgressSpeed speed(clock.Clock());
    speed.Start(100000);
    long long done = 0;
    // A slow start (opening the film, the first jump), then 400 frames a
    // second for half a minute, then 100 a second once the picture gets busy.
    clock.Now += 2;
    done += 10;
    speed.Update(done);
    for (int i = 0; i < 60; ++i) {
        clock.Now += 0.5;
        speed.Update(done += 200);
    }
    EXPECT_NEAR(*speed.Rate(), 400, 1e-6);
    for (int i = 0; i < 30; ++i) {
        clock.Now += 0.5;
        speed.Update(done += 50);
    }
    EXPECT_NEAR(*speed.Rate(), 100, 1e-6);
    EXPECT_NEAR(*speed.SecondsLeft(), static_cast<double>(100000 - done) / 100, 1e-6);

    // The next phase starts knowing nothing.
    speed.Start(500);
    EXPECT_FALSE(speed.Rate());
    clock.Now += 1;
    EXPECT_TRUE(speed.Update(50));
    EXPECT_DOUBLE_EQ(*speed.SecondsLeft(), 9);
    // Past the last unit there is nothing left, not a negative time.
    clock.Now += 1;
    speed.Update(600);
    EXPECT_DOUBLE_EQ(*speed.SecondsLeft(), 0);
}

TEST(ProgressSpeedTest, DurationTextReadsAsAClock) {
    EXPECT_EQ(torvi::DurationText(0), "0:00");
    EXPECT_EQ(torvi::DurationText(-3), "0:00");
    EXPECT_EQ(torvi::DurationText(41.6), "0:42");
    EXPECT_EQ(torvi::DurationText(725), "12:05");
    EXPECT_EQ(torvi::DurationText(3599.4), "59:59");
    EXPECT_EQ(torvi::DurationText(3723), "1:02:03");
    EXPECT_EQ(torvi::DurationText(36000 * 3.0), "30:00:00");
}

} // namespace
