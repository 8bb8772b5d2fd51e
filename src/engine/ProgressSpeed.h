#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

namespace torvi {

// How fast a long run advances and about how long it has left, as the ffmpeg
// tool and pv show them. The owner starts it for each phase (the film's index,
// the calibration, the measurement) with the phase's number of units and
// reports each unit done; the speed is taken over the last ten seconds or so,
// so the slow start of a phase (opening the film, the first jumps) weighs
// less and less as it runs. It reads the time from the clock it is given
// (seconds, never going back) so that tests can set the time.
class ProgressSpeed {
public:
    using Clock = std::function<double()>;

    // A steady clock in seconds.
    static double SteadySeconds();

    explicit ProgressSpeed(Clock clock = SteadySeconds);

    // A new phase of `total` units, none of them done yet.
    void Start(long long total);
    // `done` units of the phase are done now. True when the speed and time
    // left have a new value worth showing: at most twice a second, so a
    // caller may redraw on true alone.
    bool Update(long long done);

    // Units per second, once the phase has run long enough to tell (a second)
    // and has advanced.
    std::optional<double> Rate() const;
    // Seconds until every unit is done at that speed.
    std::optional<double> SecondsLeft() const;

private:
    struct Sample {
        double Time;
        long long Done;
    };
    Clock clock_;
    long long total_ = 0;
    long long done_ = 0;
    // The samples of the last Window seconds, oldest first, at least Interval
    // apart; the oldest may be older, so that together they span the window.
    std::deque<Sample> samples_;
};

// A time left as a clock shows it: "0:42", "12:05", "1:02:03".
std::string DurationText(double seconds);

} // namespace torvi
