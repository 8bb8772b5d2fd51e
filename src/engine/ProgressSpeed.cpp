#include "ProgressSpeed.h"

#include <chrono>
#include <cmath>
#include <cstdio>

namespace torvi {

namespace {
// pv redraws once a second, the ffmpeg tool twice; a sample every half second
// over ten seconds follows a change of speed within a few redraws.
constexpr double Interval = 0.5;
constexpr double Window = 10;
// Less than a second of a phase says little about its speed.
constexpr double MinimumSpan = 1;
} // namespace

double ProgressSpeed::SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

ProgressSpeed::ProgressSpeed(Clock clock) : clock_(std::move(clock)) {}

void ProgressSpeed::Start(long long total) {
    total_ = total;
    done_ = 0;
    samples_.clear();
    samples_.push_back({clock_(), 0});
}

bool ProgressSpeed::Update(long long done) {
    if (samples_.empty()) Start(total_);
    done_ = done;
    const double now = clock_();
    if (now - samples_.back().Time < Interval) return false;
    samples_.push_back({now, done});
    while (samples_.size() > 2 && now - samples_[1].Time >= Window)
        samples_.pop_front();
    return Rate().has_value();
}

std::optional<double> ProgressSpeed::Rate() const {
    if (samples_.size() < 2) return std::nullopt;
    const Sample& first = samples_.front();
    const Sample& last = samples_.back();
    const double span = last.Time - first.Time;
    if (span < MinimumSpan || last.Done <= first.Done) return std::nullopt;
    return static_cast<double>(last.Done - first.Done) / span;
}

std::optional<double> ProgressSpeed::SecondsLeft() const {
    const std::optional<double> rate = Rate();
    if (!rate) return std::nullopt;
    const long long left = total_ > done_ ? total_ - done_ : 0;
    return static_cast<double>(left) / *rate;
}

std::string DurationText(double seconds) {
    const long long whole = seconds > 0 ? std::llround(seconds) : 0;
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60,
                      whole % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", whole / 60, whole % 60);
    return text;
}

} // namespace torvi
