#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace torvi {

// One thread that runs one job at a time beside its owner: the owner starts a
// job, goes on with its own work and later waits for the job to end. An
// exception thrown by the job reaches the owner from Wait.
class BackgroundJob {
public:
    BackgroundJob() = default;
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Starts `job` on the background thread, after waiting for the one before
    // it (whose exception, if any, is dropped: its owner no longer wants it).
    void Start(std::function<void()> job);
    // Waits until no job runs; rethrows the exception of the job that ended.
    void Wait();
    // Whether a job was started and not yet waited for.
    bool Started() const { return started_; }

private:
    void Run();

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;
    std::exception_ptr failure_;
    bool busy_ = false;
    bool quit_ = false;
    bool started_ = false; // owner's view; touched by the owner only
    std::thread thread_;   // started with the first job
};

} // namespace torvi
