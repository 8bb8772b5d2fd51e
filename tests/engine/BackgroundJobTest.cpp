#include "video/BackgroundJob.h"
#include "Error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace torvi {
namespace {

TEST(BackgroundJob, RunsJobsOneAfterAnotherAndHandsBackTheirErrors) {
    BackgroundJob job;
    job.Wait(); // nothing started: returns at once
    int total = 0;
    for (int i = 1; i <= 50; ++i) {
        job.Start([&total, i] { total += i; });
        job.Wait();
    }
    EXPECT_EQ(total, 1275);
    EXPECT_FALSE(job.Started());

    job.Start([] { throw Error("Film frame cannot be converted"); });
    try {
        job.Wait();
        FAIL() << "the job's error was lost";
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), "Film frame cannot be converted");
    }
    // The error is handed over once; the thread goes on with new jobs.
    job.Wait();
    job.Start([&total] { total = 0; });
    job.Wait();
    EXPECT_EQ(total, 0);

    // A new job waits for the one before; that one's error is not wanted.
    std::atomic<int> order{0};
    job.Start([&order] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        order = 1;
        throw Error("old");
    });
    job.Start([&order] { order = order * 10 + 2; });
    EXPECT_NO_THROW(job.Wait());
    EXPECT_EQ(order, 12);
}

TEST(BackgroundJob, EndsOnlyAfterItsRunningJob) {
    std::atomic<bool> finished{false};
    {
        BackgroundJob job;
        job.Start([&finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            finished = true;
        });
    }
    EXPECT_TRUE(finished);
}

} // namespace
} // namespace torvi
