#include "video/BackgroundJob.h"

#include <utility>

namespace torvi {

BackgroundJob::~BackgroundJob() {
    if (!thread_.joinable()) return;
    {
        // Told under the lock, so that a thread checker sees whom it wakes.
        const std::lock_guard lock(mutex_);
        quit_ = true;
        changed_.notify_all();
    }
    thread_.join();
}

void BackgroundJob::Start(std::function<void()> job) {
    if (started_) {
        try {
            Wait();
        } catch (...) { // NOLINT(bugprone-empty-catch): the old job's result is unwanted
        }
    }
    {
        const std::lock_guard lock(mutex_);
        job_ = std::move(job);
        failure_ = nullptr;
        busy_ = true;
        changed_.notify_all();
    }
    started_ = true;
    if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void BackgroundJob::Wait() {
    if (!started_) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !busy_; });
    started_ = false;
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void BackgroundJob::Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return busy_ || quit_; });
        if (!busy_) return;
        std::function<void()> job = std::move(job_);
        lock.unlock();
        std::exception_ptr failure;
        try {
            job();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        busy_ = false;
        changed_.notify_all();
    }
}

} // namespace torvi
